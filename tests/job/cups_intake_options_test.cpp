// The CUPS options string: parameter values, host names and the options
// that fill the job record.
#include <memory>

#include "foundation/ja.h"
#include "foundation/os_process.h"
#include "intake_test_support.h"
#include "job/cups_intake.h"

namespace {

TEST(CupsOptionsParam, ValuesAreTakenUpToTheFirstUnescapedBlank) {
  struct {
    const char* text;
    const char* name;
    int caseless;
    int result;
    const char* value;
  } cases[] = {
      {"a=1 job-originating-host-name=pc7 b=2", "job-originating-host-name", 1, 1, "pc7"},
      {"JOB-ORIGINATING-HOST-NAME=pc7", "job-originating-host-name", 1, 1, "pc7"},
      {"JOB-ORIGINATING-HOST-NAME=pc7", "job-originating-host-name", 0, 0, ""},
      {"title=My\\ Report x=1", "title", 0, 1, "My Report"},
      {"title=a\\\\b", "title", 0, 1, "a\\b"},
      {"title=ends\\", "title", 0, 1, "ends"},
      {"HostName pc7", "HostName", 1, 0, ""},
      {"HostNameX=pc7 HostName=pc8", "HostName", 1, 1, "pc8"},
      {"number-up-layout=lrtb number-up=2", "number-up", 1, 1, "2"},
      {"job-number-up=4 number-up=2", "number-up", 1, 1, "2"},
      {"job-number-up=4", "number-up", 1, 0, ""},
      {"HostName=", "HostName", 1, 1, ""},
      {"other=1", "HostName", 1, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[64] = "unchanged";
    EXPECT_EQ(common_extract_param_string(buffer, sizeof buffer, c.text, c.name, c.caseless),
              c.result);
    if (c.result == 1) { EXPECT_STREQ(buffer, c.value); }
  }
}

TEST(CupsOptionsParam, LongValueIsCutToTheBuffer) {
  char buffer[5];
  EXPECT_EQ(common_extract_param_string(buffer, sizeof buffer, "n=abcdefgh", "n", 0), 1);
  EXPECT_STREQ(buffer, "abcd");
}

TEST(CupsOptionsHostname, BracketedAddressesAreTrimmed) {
  struct {
    const char* text;
    std::size_t size;
    int result;
    const char* host;
  } cases[] = {
      {"pc7.example.com", 64, 1, "pc7.example.com"},
      {"[::1]", 64, 1, "[::1]"},
      {"[fe80::1%eth0]", 64, 1, "[fe80::1]"},
      {"[v4.host]", 64, 0, "[v4.host]"},
      {"[2001:db8::7]", 64, 1, "[2001:db8::7]"},
      {"abcdefgh", 5, 0, "abcd"},
      {"seven77", 8, 1, "seven77"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[64];
    EXPECT_EQ(common_extract_valid_hostname(buffer, c.size, c.text), c.result);
    EXPECT_STREQ(buffer, c.host);
  }
}

class CupsOptionsInfo : public intake_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ja_.reset(analyzer_create_job_attribs());
    ASSERT_NE(ja_, nullptr);
  }
  JobAttribsPtr ja_;
};

TEST_F(CupsOptionsInfo, ClientMachineFromTheOptions) {
  char own[1024];
  ASSERT_EQ(os_get_computer_name(own, sizeof own), 1);
  struct {
    const char* options;
    std::string client;
  } cases[] = {
      {"job-uuid=x job-originating-host-name=pc7 HostName=other", "pc7"},
      {"job-originating-host-name=[fe80::1%eth0] x=1", "[fe80::1]"},
      {"HostName=pc8", "pc8"},
      {"job-originating-host-name=localhost", own},
      {"job-originating-host-name=127.0.0.1", own},
      {"HostName=LOCALHOST", own},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    ja_->client_machine[0] = '\0';
    EXPECT_EQ(common_extract_cups_options_info(ja_.get(), c.options, 0), 1);
    EXPECT_EQ(std::string(ja_->client_machine), c.client);
  }
}

TEST_F(CupsOptionsInfo, CanonOptionsOnlyWithTheCanonFlag) {
  const char* options = "CNColorMode=mono CNCopies=3 CNDuplex=DUPLEX PageSize=A4 x=1";
  ASSERT_EQ(common_extract_cups_options_info(ja_.get(), options, 0), 1);
  EXPECT_EQ(ja_->is_grayscale, 0);
  EXPECT_EQ(ja_->copy_count, 1);
  ASSERT_EQ(common_extract_cups_options_info(ja_.get(), options, 1), 1);
  EXPECT_EQ(ja_->is_grayscale, 1);
  EXPECT_EQ(ja_->copy_count, 3);
  EXPECT_EQ(ja_->is_duplex, 1);
  EXPECT_STREQ(ja_->paper_size_name, "A4");
  EXPECT_NE(log_text().find("extract_canon_options: matches 'CNCopies=3' copies=3"),
            std::string::npos);
}

TEST_F(CupsOptionsInfo, CanonValuesThatDoNotApply) {
  ASSERT_EQ(common_extract_cups_options_info(ja_.get(),
                                             "CNColorMode=color CNCopies=0 CNDuplex=simplex", 1),
            1);
  EXPECT_EQ(ja_->is_grayscale, 0);
  EXPECT_EQ(ja_->copy_count, 1);
  EXPECT_EQ(ja_->is_duplex, 0);
}

}  // namespace
