// Redirected jobs: reading the uid from a document name, building the name,
// the server's confirmation, and the hand-over through the print command.
#include "job/redirect.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/ja.h"
#include "job_test_support.h"

namespace {


TEST(RedirectUid, FromDocumentNames) {
  const sw_test::ScopedGlobalContext context;
  struct Case {
    const char* name;
    const char* uid;  // null: none
  };
  const Case cases[] = {
      {"R:1234:report.pdf", "1234"},
      {"R_1234_report.pdf", "1234"},
      {"R:123:report.pdf", nullptr},  // too short
      {"R:1234", nullptr},            // no second separator
      {"R_1234:x", nullptr},          // the separator is the second character
      {"R:a_b-c:x", "a_b-c"},
      {"X:1234:x", nullptr},
      {"R", nullptr},
      {"", nullptr},
      {"R:0123456789012345678901234567890123456789012345678:x",
       "0123456789012345678901234567890123456789012345678"},  // 49 characters
      {"R:01234567890123456789012345678901234567890123456789:x", nullptr},  // 50
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    char buffer[REDIRECT_DOC_UID_SIZE] = "";
    const char* got = extract_redirect_uid(buffer, sizeof buffer, c.name);
    if (c.uid == nullptr) {
      EXPECT_EQ(got, nullptr);
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_STREQ(got, c.uid);
    }
    EXPECT_EQ(redirect_is_potentially_a_redirected_job(c.name), c.uid != nullptr ? 1 : 0);
  }
  char small[5];
  EXPECT_EQ(extract_redirect_uid(small, sizeof small, "R:12345:x"), nullptr);
}

TEST(RedirectUid, OldServersNeverRedirect) {
  const sw_test::ScopedGlobalContext context;
  global_ctx.env_version = 4;
  char buffer[REDIRECT_DOC_UID_SIZE];
  EXPECT_EQ(extract_redirect_uid(buffer, sizeof buffer, "R:1234:report.pdf"), nullptr);
  EXPECT_EQ(redirect_is_potentially_a_redirected_job("R:1234:report.pdf"), 0);
}

TEST(RedirectName, BuiltAndCut) {
  char name[REDIRECT_DOC_NAME_SIZE];
  EXPECT_EQ(redirect_build_redir_doc_name(name, sizeof name, "report.pdf", "abcd1234"), 21);
  EXPECT_STREQ(name, "R:abcd1234:report.pdf");
  const std::string long_title(400, 't');
  EXPECT_EQ(redirect_build_redir_doc_name(name, sizeof name, long_title.c_str(), "abcd1234"), 411);
  EXPECT_EQ(std::string(name), ("R:abcd1234:" + long_title).substr(0, 254));
  char small[8];
  (void)redirect_build_redir_doc_name(small, sizeof small, "report.pdf", "abcd1234");
  EXPECT_STREQ(small, "R:abcd1");
}

class RedirectServerTest : public job_test::StandinJobTest {};

TEST_F(RedirectServerTest, ServerConfirmsOrDenies) {
  struct Case {
    const char* answer;
    const char* name;
    int expected;
    bool called;
  };
  const Case cases[] = {
      {"true", "R:abcd1234:report", 1, true},
      {"false", "R:abcd1234:report", 0, true},
      {"\"yes\"", "R:abcd1234:report", 0, true},  // not a boolean: the call fails
      {"true", "report", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.answer) + " " + c.name);
    standin_.write_script(std::string("{\"methods\": {\"spoolwarden.validateAndRegisterRedirectedJob\": ") +
                    c.answer + "}}");
    const std::size_t before =
        standin_.calls_of("spoolwarden.validateAndRegisterRedirectedJob").size();
    EXPECT_EQ(redirect_is_redirected_job(c.name, "77"), c.expected);
    const auto calls = standin_.calls_of("spoolwarden.validateAndRegisterRedirectedJob");
    ASSERT_EQ(calls.size(), before + (c.called ? 1 : 0));
    if (c.called) {
      ASSERT_EQ(calls.back().params.size(), 2u);
      EXPECT_EQ(calls.back().params[0].value, "abcd1234");
      EXPECT_EQ(calls.back().params[1].value, "77");
    }
  }
}

TEST_F(RedirectServerTest, RedirectJobPrintsUnderTheRedirectName) {
  const std::string rec = job_test::make_recorder(dir_, "lp", 0);
  job_test::copy_text(global_ctx.redirect_cmd, CONFIG_TEXT_SIZE,
                      "\"" + rec + "\" -d \"%printer%\" -h \"%server%\" -t \"%docname%\" -U "
                      "%username% -o raw \"%spoolfile%\"");
  JobAttribsPtr ja(analyzer_create_job_attribs());
  job_test::copy_text(ja->document_name, sizeof ja->document_name, "Budget $(id)");
  job_test::copy_text(ja->username, sizeof ja->username, "carol");
  job_test::copy_text(ja->spool_file, sizeof ja->spool_file, dir_ / "job.spl");
  sw_test::write_file(dir_ / "job.spl", "data");
  sw_test::write_file(dir_ / "other.spl", "data");
  struct Case {
    const char* file;
    std::string expected_file;
  };
  const std::string other = dir_ / "other.spl";
  const Case cases[] = {{nullptr, dir_ / "job.spl"}, {"", dir_ / "job.spl"},
                        {other.c_str(), other}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected_file);
    ASSERT_EQ(redirect_job(ja.get(), c.file, "remote", "target", "abcd1234"), 1);
    const std::vector<std::string> want = {"-d", "target", "-h",  "remote",
                                           "-t", "R:abcd1234:Budget $(id)",
                                           "-U", "carol",  "-o",  "raw", c.expected_file};
    EXPECT_EQ(job_test::recorded_argv(dir_, "lp"), want);
  }
  job_test::copy_text(global_ctx.redirect_cmd, CONFIG_TEXT_SIZE, "\"" + rec + "\" %printer%");
  EXPECT_EQ(redirect_job(ja.get(), nullptr, "remote", "target", "abcd1234"), 0);
}

}  // namespace
