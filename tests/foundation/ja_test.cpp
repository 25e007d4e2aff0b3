#include "foundation/ja.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <ctime>
#include <limits>
#include <memory>
#include <string>

#include "foundation/ja_languages.h"
#include "support/test_support.h"

namespace {


JobAttribsPtr new_job() {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  EXPECT_NE(ja, nullptr);
  return ja;
}

class JaTest : public sw_test::TempDirTest {};

TEST_F(JaTest, NewRecordHasTheStartValues) {
  std::time_t before = std::time(nullptr);
  JobAttribsPtr ja = new_job();
  std::time_t after = std::time(nullptr);
  EXPECT_EQ(ja->copy_count, 1);
  EXPECT_EQ(ja->color_pages, -1);
  EXPECT_EQ(ja->pages, 0);
  EXPECT_EQ(ja->page_height_mm, -1);
  EXPECT_EQ(ja->page_width_mm, -1);
  EXPECT_EQ(ja->language, LANG_UNKNOWN);
  EXPECT_EQ(ja->size_kb, 0);
  EXPECT_STREQ(ja->paper_size_name, "");
  EXPECT_STREQ(ja->job_uid, "");
  EXPECT_FALSE(ja_has_hidden_spool_file(ja.get()));
  std::tm submit = ja->submit_time;
  std::time_t submitted = std::mktime(&submit);
  EXPECT_GE(submitted, before - 1);
  EXPECT_LE(submitted, after + 1);
  analyzer_free_job_attribs(nullptr);
}

TEST_F(JaTest, SpoolFilePathsPreferTheHiddenOneAndAreCut) {
  JobAttribsPtr ja = new_job();
  EXPECT_EQ(ja_get_spool_file(nullptr), nullptr);
  EXPECT_EQ(ja_get_original_spool_file(nullptr), nullptr);
  EXPECT_EQ(ja_has_hidden_spool_file(nullptr), 0);

  ja_set_spool_file(ja.get(), "/var/spool/d00017-001");
  EXPECT_STREQ(ja_get_spool_file(ja.get()), "/var/spool/d00017-001");
  ja_set_hidden_spool_file(ja.get(), "/var/spool/hidden/d00017-001");
  EXPECT_EQ(ja_has_hidden_spool_file(ja.get()), 1);
  EXPECT_STREQ(ja_get_spool_file(ja.get()), "/var/spool/hidden/d00017-001");
  EXPECT_STREQ(ja_get_original_spool_file(ja.get()), "/var/spool/d00017-001");

  ja_set_spool_file(ja.get(), std::string(5000, 's').c_str());
  EXPECT_EQ(std::string(ja->spool_file), std::string(JA_TEXT_SIZE - 1, 's'));
  ja_set_hidden_spool_file(ja.get(), std::string(5000, 'h').c_str());
  EXPECT_EQ(std::string(ja->hidden_spl_path), std::string(JA_HIDDEN_PATH_SIZE - 1, 'h'));
}

// The plain setters replace whatever was there, smaller or cleared values
// included: keeping larger counts and set flags is the callers' rule.
TEST_F(JaTest, PlainSettersReplaceAndLogTheCaller) {
  JobAttribsPtr ja = new_job();
  struct Case {
    const char* what;
    void (*set)(JobAttribs*, int);
    std::int32_t JobAttribs::*field;
    int first;
    int second;
  };
  const Case cases[] = {
      {"copies", [](JobAttribs* j, int v) { ja_set_copy_count(j, v); }, &JobAttribs::copy_count, 5, 2},
      {"colour pages", [](JobAttribs* j, int v) { ja_set_color_pages(j, v); },
       &JobAttribs::color_pages, 3, 0},
      {"pages", [](JobAttribs* j, int v) { ja_set_pages(j, v); }, &JobAttribs::pages, 12, 4},
      {"duplex", [](JobAttribs* j, int v) { ja_set_is_duplex(j, v); }, &JobAttribs::is_duplex, 1, 0},
      {"tumble", [](JobAttribs* j, int v) { ja_set_is_tumble(j, v); }, &JobAttribs::is_tumble, 1, 0},
      {"grayscale", [](JobAttribs* j, int v) { ja_set_is_grayscale(j, v); },
       &JobAttribs::is_grayscale, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.set(ja.get(), c.first);
    EXPECT_EQ(ja.get()->*c.field, c.first);
    c.set(ja.get(), c.second);
    EXPECT_EQ(ja.get()->*c.field, c.second);
  }
  ja_set_copy_count(ja.get(), 7);
  EXPECT_NE(log_text().find("ja_test.cpp"), std::string::npos);
  EXPECT_NE(log_text().find("ja_set_copy_count: n=7,was=2"), std::string::npos);
}

TEST_F(JaTest, NameSettersReplaceCutAndRefuseAMissingDocumentName) {
  JobAttribsPtr ja = new_job();
  ja_set_document_name(ja.get(), "report.pdf");
  ja_set_document_name(ja.get(), "other.pdf");
  EXPECT_STREQ(ja->document_name, "other.pdf");
  ja_set_document_name(ja.get(), nullptr);
  EXPECT_STREQ(ja->document_name, "other.pdf");
  EXPECT_NE(log_text().find("ja_set_document_name: name=NULL"), std::string::npos);

  ja_set_printer_name(ja.get(), "office");
  ja_set_printer_type(ja.get(), "HP LaserJet 4000");
  EXPECT_STREQ(ja->printer_name, "office");
  EXPECT_STREQ(ja->printer_type, "HP LaserJet 4000");
  ja_set_printer_type(ja.get(), nullptr);
  EXPECT_STREQ(ja->printer_type, "");

  ja_set_document_name(ja.get(), std::string(3000, 'd').c_str());
  EXPECT_EQ(std::string(ja->document_name), std::string(JA_TEXT_SIZE - 1, 'd'));
}

struct SizeStep {
  const char* paper;  // recorded paper name before the step (null: keep)
  double width;
  double height;
  int want_width;
  int want_height;
};

void run_size_steps(std::initializer_list<SizeStep> steps) {
  JobAttribsPtr ja = new_job();
  int index = 0;
  for (const SizeStep& s : steps) {
    SCOPED_TRACE("step " + std::to_string(index++));
    if (s.paper != nullptr) std::snprintf(ja->paper_size_name, JA_TEXT_SIZE, "%s", s.paper);
    ja_set_page_width_height_mm(ja.get(), s.width, s.height);
    EXPECT_EQ(ja->page_width_mm, s.want_width);
    EXPECT_EQ(ja->page_height_mm, s.want_height);
  }
}

TEST_F(JaTest, PageSizeKeepsTheLargerArea) {
  run_size_steps({
      {nullptr, 215.9, 279.4, 216, 279},  // rounded
      {nullptr, 210, 297, 210, 297},      // larger area replaces
      {nullptr, 148, 210, 210, 297},      // smaller refused
      {nullptr, 297, 210, 297, 210},      // equal area replaces
      {nullptr, 0, 0, 0, 0},              // a side of 0 is stored as it is
      {nullptr, 100, -1, 100, -1},
      {nullptr, 10, 10, 10, 10},          // nothing recorded: any positive size
  });
  // The recorded paper name's area counts before the recorded size.
  run_size_steps({{"A4", 216, 279, -1, -1}, {nullptr, 297, 420, 297, 420}});
  // Halves round upwards.
  run_size_steps({{nullptr, 209.5, 296.5, 210, 297}, {nullptr, -0.5, 0.4, 0, 0}});
}

TEST_F(JaTest, PageSizeRefusesNonFiniteAndClampsHugeValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  run_size_steps({
      {nullptr, 210, 297, 210, 297},
      {nullptr, nan, 297, 210, 297},
      {nullptr, 400, inf, 210, 297},
      {nullptr, -inf, -inf, 210, 297},
      {nullptr, 1e300, 1e300, 1000000, 1000000},
      {nullptr, 1e12, 2e12, 1000000, 1000000},  // equal area after clamping
      {nullptr, -1e300, 5, -1000000, 5},
  });
}

// Lengths read from print data (sizes in inches times a unit, say) convert
// to whole millimetres whatever they are.
TEST_F(JaTest, RoundedMillimetresAreAlwaysAnInt) {
  const struct {
    double mm;
    int want;
  } cases[] = {
      {2.5, 3},         {2.49, 2},       {-2.5, -2},         {2.032e31, 1000000},
      {-1e300, -1000000}, {std::numeric_limits<double>::infinity(), 1000000},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ja_round_mm(c.mm), c.want) << c.mm;
}

struct NameCase {
  const char* what;
  const char* recorded_name;
  int recorded_width;
  int recorded_height;
  const char* name;
  const char* want_name;
  int want_width;
  int want_height;
};

TEST_F(JaTest, PaperNameRules) {
  const NameCase cases[] = {
      {"long-edge suffix dropped", "", -1, -1, "A4LONGEDGE", "A4", -1, -1},
      {"short suffix kept", "", -1, -1, "LONGEDGE", "LONGEDGE", -1, -1},
      {"suffix case as written", "", -1, -1, "A4longedge", "A4longedge", -1, -1},
      {"inch size sets the size", "", -1, -1, "INCH_8X11", "", 203, 279},
      {"inch size then more text", "B5", -1, -1, "INCH_12X18_PLOT", "B5", 305, 457},
      {"inch size in lower case is a name", "", -1, -1, "inch_8x11", "inch_8x11", -1, -1},
      {"inch size of zero is a name", "", -1, -1, "INCH_0X11", "INCH_0X11", -1, -1},
      {"too many inch digits is a name", "", -1, -1, "INCH_1234567X2", "INCH_1234567X2", -1, -1},
      {"largest inch size is clamped", "", -1, -1, "INCH_999999X999999", "", 1000000, 1000000},
      {"custom changes nothing", "A4", 10, 20, "custom", "A4", 10, 20},
      {"smaller name refused", "A3", -1, -1, "A4", "A3", -1, -1},
      {"larger name stored", "A4", -1, -1, "A3", "A3", -1, -1},
      {"equal area stored", "LEDGER", -1, -1, "tabloid", "tabloid", -1, -1},
      {"unknown name always stored", "A3", -1, -1, "WEIRD", "WEIRD", -1, -1},
      {"recorded size counts without a name", "", 841, 1189, "A4", "", 841, 1189},
      {"name stored without touching the size", "", 100, 100, "A4", "A4", 100, 100},
      {"nothing recorded", "", -1, -1, "A5", "A5", -1, -1},
      {"missing name taken as empty", "", -1, -1, nullptr, "", -1, -1},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.what);
    JobAttribsPtr ja = new_job();
    std::snprintf(ja->paper_size_name, JA_TEXT_SIZE, "%s", c.recorded_name);
    ja->page_width_mm = c.recorded_width;
    ja->page_height_mm = c.recorded_height;
    ja_set_paper_size_name(ja.get(), c.name);
    EXPECT_STREQ(ja->paper_size_name, c.want_name);
    EXPECT_EQ(ja->page_width_mm, c.want_width);
    EXPECT_EQ(ja->page_height_mm, c.want_height);
  }
  EXPECT_NE(log_text().find("Unknown paper size name 'WEIRD'"), std::string::npos);
  // The job model's own calls are logged under its names, not the caller's.
  const std::string text = log_text();
  const struct {
    const char* entry;
    const char* source;
  } own_calls[] = {
      {"clean_paper_size_name: 'A4LONGEDGE'=>'A4'", " tv.c:"},
      {"ja_set_page_width_height_mm_func: wxh=203x279", " tv.c:"},
      {"Unknown paper size name 'WEIRD'", " paper_areas.cpp:"},
  };
  for (const auto& call : own_calls) {
    const std::size_t at = text.find(call.entry);
    ASSERT_NE(at, std::string::npos) << call.entry;
    const std::size_t line_start = text.rfind('\n', at) + 1;
    EXPECT_NE(text.substr(line_start, at - line_start).find(call.source), std::string::npos)
        << text.substr(line_start, at - line_start + 40);
  }
}

struct DoubleCase {
  const char* name;
  int width;
  int height;
  const char* want_name;
  int want_width;
  int want_height;
};

TEST_F(JaTest, DoublingThePaper) {
  const DoubleCase cases[] = {
      {"A4", 210, 297, "A3", 297, 420},
      {"A4", 297, 210, "A3", 420, 297},  // landscape stays landscape
      {"a5", 148, 210, "a4", 210, 296},
      {"A1", 594, 841, "A0", 841, 1188},
      {"A0", 841, 1189, "A0", 1189, 1682},
      {"LETTER", 216, 279, "LEDGER", 279, 432},
      {"invoice", 140, 216, "LETTER", 216, 280},
      {"A10", 26, 37, "A10", 37, 52},
      {"B5", 100, 100, "B5", 100, 100},  // square: size stays
      {"A4", -1, -1, "A3", -1, -1},      // unknown size stays
      {"", INT_MAX, 1, "", INT_MAX, 1},  // doubled size clamped, smaller area refused
  };
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    JobAttribsPtr ja = new_job();
    std::snprintf(ja->paper_size_name, JA_TEXT_SIZE, "%s", c.name);
    ja->page_width_mm = c.width;
    ja->page_height_mm = c.height;
    double_paper_size(ja.get());
    EXPECT_STREQ(ja->paper_size_name, c.want_name);
    EXPECT_EQ(ja->page_width_mm, c.want_width);
    EXPECT_EQ(ja->page_height_mm, c.want_height);
  }
  // The renaming goes through the setter under the doubling's own name.
  const std::string text = log_text();
  const std::size_t at = text.find("ja_set_paper_size_name: name='LEDGER'");
  ASSERT_NE(at, std::string::npos);
  const std::size_t line_start = text.rfind('\n', at) + 1;
  EXPECT_NE(text.substr(line_start, at - line_start).find(" ja.cpp:"), std::string::npos);
}

TEST_F(JaTest, DumpWritesTheJobOnlyWithDebugLogging) {
  JobAttribsPtr ja = new_job();
  ja_set_document_name(ja.get(), "letter.txt");
  ja->language = LANG_POSTSCRIPT;
  global_ctx.debug_logging = 0;
  analyzer_log_ja("hidden", ja.get(), 1, 10);
  EXPECT_EQ(log_text().find("hidden"), std::string::npos);
  global_ctx.debug_logging = 1;
  analyzer_log_ja("Job", ja.get(), 0, -1);
  std::string log = log_text();
  EXPECT_NE(log.find("\tLanguage: PostScript"), std::string::npos);
  EXPECT_NE(log.find("\tDocument name: letter.txt"), std::string::npos);
  EXPECT_EQ(log.find("File size (bytes)"), std::string::npos);
  EXPECT_EQ(log.find("Color page count"), std::string::npos);
}

}  // namespace
