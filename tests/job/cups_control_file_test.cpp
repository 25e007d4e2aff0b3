// The CUPS control file scan. CUPS writes these files only from a running
// scheduler (the end-to-end tests read real ones); here the attribute
// records are built field by field so that each rule and each bound is
// reached on purpose.
#include <cstring>
#include <memory>

#include "foundation/ja.h"
#include "foundation/os_process.h"
#include "intake_test_support.h"
#include "job/cups_intake.h"

namespace {

// One IPP attribute: value tag, name length, name, value length, value.
std::string attr(std::uint8_t tag, const std::string& name, const std::string& value) {
  std::string out(1, static_cast<char>(tag));
  out += static_cast<char>(name.size() >> 8);
  out += static_cast<char>(name.size() & 0xFF);
  out += name;
  out += static_cast<char>(value.size() >> 8);
  out += static_cast<char>(value.size() & 0xFF);
  out += value;
  return out;
}
std::string name_attr(const std::string& name, const std::string& value) {
  return attr(0x42, name, value);  // nameWithoutLanguage
}
std::string keyword(const std::string& name, const std::string& value) {
  return attr(0x44, name, value);
}
std::string integer(const std::string& name, std::uint32_t v) {
  std::string bytes = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  return attr(0x21, name, bytes);
}
// Version 2.0, status 0, request id 1, job attributes group ... end tag.
std::string control_file(const std::string& attributes) {
  return std::string("\x02\x00\x00\x00\x00\x00\x00\x01\x02", 9) + attributes + "\x03";
}

class ControlFileTest : public intake_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ja_.reset(analyzer_create_job_attribs());
    ASSERT_NE(ja_, nullptr);
  }
  int scan(const std::string& bytes) {
    // An exact-size heap copy, so that a read past the end is caught.
    auto copy = std::make_unique<std::uint8_t[]>(bytes.size() + 1);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    return common_extract_cups_control_data(ja_.get(), copy.get(), bytes.size());
  }
  JobAttribsPtr ja_;
};

TEST_F(ControlFileTest, AttributesFillTheJobRecord) {
  std::string file = control_file(
      name_attr("job-name", "Quarterly copies of report") + integer("copies", 2) +
      keyword("media-source", "tray-1") + keyword("media", "iso_a4_210x297mm") +
      name_attr("job-originating-host-name", "pc7.example.com") + keyword("sides", "two-sided") +
      attr(0x41, "job-printer-state-message", "ColorModel=Gray"));
  ASSERT_EQ(scan(file), 1);
  EXPECT_STREQ(ja_->client_machine, "pc7.example.com");
  EXPECT_STREQ(ja_->paper_size_name, "iso_a4_210x297mm");
  EXPECT_EQ(ja_->is_grayscale, 1);
  EXPECT_EQ(ja_->copy_count, 1) << "control-file copies are only logged";
  EXPECT_NE(log_text().find("Found control files copies of: '2'"), std::string::npos);
}

TEST_F(ControlFileTest, PaperFromMediaAndApplePaperInfo) {
  struct {
    const char* name;
    std::string attributes;
    const char* paper;
    int height;
    int width;
  } cases[] = {
      {"custom media in points", keyword("media", "Custom.595.28x841.89"), "", 297, 210},
      {"custom media, caseless", keyword("media", "custom.612x792"), "", 279, 216},
      {"custom media with a zero side", keyword("media", "Custom.0x792"), "Custom.0x792", -1, -1},
      {"PMPaperName wins over media",
       keyword("media", "na_letter") + name_attr("com.apple.print.PaperInfo.PMPaperName", "A4"),
       "A4", -1, -1},
      {"page rectangle",
       name_attr("com.apple.print.PageFormat.PMAdjustedPaperRect..a.0..n.", "0") +
           name_attr("com.apple.print.PageFormat.PMAdjustedPaperRect..a.1..n.", "0") +
           name_attr("com.apple.print.PageFormat.PMAdjustedPaperRect..a.2..n.", "595.28") +
           name_attr("com.apple.print.PageFormat.PMAdjustedPaperRect..a.3..n.", "841.89"),
       "", 297, 210},
      {"implausible rectangle",
       name_attr("com.apple.print.PageFormat.PMAdjustedPaperRect..a.2..n.", "1e300") +
           name_attr("com.apple.print.PageFormat.PMAdjustedPaperRect..a.3..n.", "1e300"),
       "", -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ja_.reset(analyzer_create_job_attribs());
    ASSERT_EQ(scan(control_file(c.attributes)), 1);
    EXPECT_STREQ(ja_->paper_size_name, c.paper);
    EXPECT_EQ(ja_->page_height_mm, c.height);
    EXPECT_EQ(ja_->page_width_mm, c.width);
  }
}

TEST_F(ControlFileTest, PagesFromSidesImagedAndNumberUp) {
  struct {
    const char* name;
    std::string attributes;
    int pages_before;
    int colour_before;
    int pages;
    int colour;
  } cases[] = {
      {"number-up 4 turns 9 pages into 3", keyword("x-options", "number-up=4 fit"), 9, 9, 3, 3},
      {"number-up 12", keyword("x-options", "number-up=12\tx"), 25, -1, 3, -1},
      {"sides imaged", keyword("x", "com.apple.print.PrintSettings.PMTotalSidesImaged..n.=7 and more text"), 2, -1, 7, -1},
      {"nothing", keyword("x", "plain"), 5, 2, 5, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ja_.reset(analyzer_create_job_attribs());
    ja_->pages = c.pages_before;
    ja_->color_pages = c.colour_before;
    ASSERT_EQ(scan(control_file(c.attributes)), 1);
    EXPECT_EQ(ja_->pages, c.pages);
    EXPECT_EQ(ja_->color_pages, c.colour);
  }
}

TEST_F(ControlFileTest, DuplexAndGrayscaleRules) {
  struct {
    const char* name;
    std::string attributes;
    int duplex;
    int gray;
  } cases[] = {
      {"sides=two-sided text", keyword("x", "sides=two-sided-long-edge"), 1, 0},
      {"sides=one-sided text", keyword("x", "sides=one-sided-padding"), 0, 0},
      {"PMDuplexing 2", keyword("x", "com.apple.print.PaperInfo..PMDuplexing..n.=2 rest"), 1, 0},
      {"PMDuplexing 0", keyword("x", "com.apple.print.PaperInfo..PMDuplexing..n.=0 rest"), 0, 0},
      {"Duplex attribute", keyword("Duplex", "Duplex") + keyword("padding", "0123456789"), 1, 0},
      {"FXColorMode Black", keyword("FXColorMode", "Black") + keyword("padding", "0123456789"), 0,
       1},
      {"ARDocColor Black", keyword("ARDocColor", "Black") + keyword("padding", "0123456789"), 0,
       1},
      {"FXColorMode Color", keyword("FXColorMode", "Color") + keyword("padding", "0123456789"), 0,
       0},
      {"ColorModel=Mono", keyword("x", "ColorModel=Mono and so on"), 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ja_.reset(analyzer_create_job_attribs());
    ASSERT_EQ(scan(control_file(c.attributes)), 1);
    EXPECT_EQ(ja_->is_duplex, c.duplex);
    EXPECT_EQ(ja_->is_grayscale, c.gray);
  }
}

TEST_F(ControlFileTest, BadValuesEndTheReadingWithoutChanges) {
  struct {
    const char* name;
    std::string attributes;
    const char* message;
  } cases[] = {
      {"copies of the wrong size", attr(0x21, "copies", std::string("\x00\x02", 2)),
       "Error: copies is no of expected size: 2"},
      {"number-up 100", keyword("x", "number-up=100 padding"), "String too long"},
      {"number-up without a value", keyword("x", "number-up= padding"), "String too long"},
      {"number-up not a number", keyword("x", "number-up=x4 padding"), "Not a number"},
      {"number-up 0", keyword("x", "number-up=0 padding"), "Implausible n_up=0"},
      {"PMDuplexing not a digit", keyword("x", "com.apple.print.PaperInfo..PMDuplexing..n.=x rest"),
       "Error reading PMDuplexing, plex_code=0x78"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ja_.reset(analyzer_create_job_attribs());
    ja_->pages = 9;
    std::string file = control_file(name_attr("job-originating-host-name", "pc7") +
                                    c.attributes + keyword("x", "sides=two-sided more"));
    EXPECT_EQ(scan(file), 0);
    EXPECT_STREQ(ja_->client_machine, "");
    EXPECT_EQ(ja_->is_duplex, 0);
    EXPECT_EQ(ja_->pages, 9);
    EXPECT_NE(log_text().find(c.message), std::string::npos);
  }
}

TEST_F(ControlFileTest, LengthsThatRunPastTheEndAreRefused) {
  // The value lengths of the last attribute claim more bytes than the file has.
  const std::string host = "job-originating-host-name";
  const std::string cut_host = std::string("\x42\x00\x19", 3) + host + std::string("\x7F\xFF", 2) +
                               "pc7" + std::string(8, ' ');
  const std::string cut_copies = std::string("\x21\x00\x06", 3) + "copies" +
                                 std::string("\x00\x04\x00", 3);
  ASSERT_EQ(scan(control_file("") + cut_host), 1);
  EXPECT_STREQ(ja_->client_machine, "");
  EXPECT_NE(log_text().find("Error: Length off end of file"), std::string::npos);
  EXPECT_EQ(scan(std::string(3, 'x') + cut_copies), 0);
}

TEST_F(ControlFileTest, ReadStrAttributeBounds) {
  struct {
    const char* name;
    std::string bytes;
    std::size_t size;
    int result;
    const char* value;
  } cases[] = {
      {"value", std::string("\x00\x03", 2) + "abc", 8, 1, "abc"},
      {"exactly fits", std::string("\x00\x03", 2) + "abc", 4, 1, "abc"},
      {"one too long", std::string("\x00\x03", 2) + "abc", 3, 0, ""},
      {"past the end", std::string("\x00\x04", 2) + "abc", 8, 0, ""},
      {"length cut", std::string("\x00", 1), 8, 0, ""},
      {"leading control", std::string("\x00\x02", 2) + "\x01z", 8, 0, ""},
      {"leading blank", std::string("\x00\x02", 2) + " z", 8, 0, ""},
      {"empty value", std::string("\x00\x00", 2), 8, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto copy = std::make_unique<std::uint8_t[]>(c.bytes.size());
    std::memcpy(copy.get(), c.bytes.data(), c.bytes.size());
    char buffer[16] = "";
    EXPECT_EQ(read_str_attribute(copy.get(), copy.get() + c.bytes.size(), buffer, c.size),
              c.result);
    if (c.result == 1) { EXPECT_STREQ(buffer, c.value); }
  }
}

TEST_F(ControlFileTest, LocalHostNamesBecomeThisMachine) {
  char own[1024];
  ASSERT_EQ(os_get_computer_name(own, sizeof own), 1);
  ASSERT_EQ(scan(control_file(name_attr("job-originating-host-name", "localhost"))), 1);
  EXPECT_STREQ(ja_->client_machine, own);
  ASSERT_EQ(scan(control_file(name_attr("job-originating-host-name", "abcdefg"))), 1);
  EXPECT_STREQ(ja_->client_machine, "abcdefg");
}

// A control file written by cupsd 2.4 for
//   lp -t "Quarterly copies of report" -n 2 -o sides=two-sided-long-edge
//      -o media=iso_a4_210x297mm -o number-up=4 (from localhost).
// "copies" inside the job name is not the copies attribute, and "media" is
// found only as the attribute, not as the start of longer names.
TEST_F(ControlFileTest, ControlFileWrittenByTheScheduler) {
  char own[1024];
  ASSERT_EQ(os_get_computer_name(own, sizeof own), 1);
  std::snprintf(global_ctx.cups_spool_dir, CONFIG_TEXT_SIZE, "%s", dir_.c_str());
  std::filesystem::copy_file(std::string(SW_SOURCE_DIR) + "/tests/job/data/cupsd-2.4-c00001",
                             dir_ / "c00001");
  ja_->pages = 8;
  ASSERT_EQ(common_extract_cups_control_file_info(ja_.get(), 1), 1);
  EXPECT_STREQ(ja_->client_machine, own);
  EXPECT_STREQ(ja_->paper_size_name, "iso_a4_210x297mm");
  EXPECT_EQ(ja_->pages, 8) << "number-up is an integer attribute there, not number-up= text";
  EXPECT_NE(log_text().find("Found control files copies of: '2'"), std::string::npos);
}

TEST_F(ControlFileTest, FileIsFoundInTheConfiguredSpoolDirectory) {
  std::snprintf(global_ctx.cups_spool_dir, CONFIG_TEXT_SIZE, "%s", dir_.c_str());
  sw_test::write_file(dir_ / "c00042",
                          control_file(name_attr("job-originating-host-name", "pc42")));
  EXPECT_EQ(common_extract_cups_control_file_info(ja_.get(), 42), 1);
  EXPECT_STREQ(ja_->client_machine, "pc42");
  EXPECT_EQ(common_extract_cups_control_file_info(ja_.get(), 999999), 0);
  EXPECT_NE(log_text().find("Unable to find CUPS control file for job: 999999"),
            std::string::npos);
}

}  // namespace
