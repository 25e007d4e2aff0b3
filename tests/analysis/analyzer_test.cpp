// The analysis driver: failure paths, the dispatch of real print files to
// stand-in analyzers with their extra arguments, the two-step rule of the
// HBPL codes, and the debug dump of the spool file's bytes.
#include "analysis/analyzer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/analyzer_dispatch.h"
#include "corpus/corpus.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/util.h"

namespace {

using namespace std::string_literals;
using analysis_test::AnalysisTest;

// What the stand-in analyzers saw.
struct Call {
  std::string who;
  std::uint64_t length;
  int extra;
  int language;
  std::uint8_t first_byte;
};
std::vector<Call> calls;
int pcl6_result = 0;
int other_result = 0;

Call record(const char* who, const std::uint8_t* data, std::uint64_t length, int extra,
            JobAttribs* ja) {
  return Call{who, length, extra, ja->language, length > 0 ? data[0] : std::uint8_t{0}};
}
int stand_in_pcl6(const std::uint8_t* data, std::uint64_t length, int extra, JobAttribs* ja) {
  calls.push_back(record("pcl6", data, length, extra, ja));
  return pcl6_result;
}
int stand_in_other(const std::uint8_t* data, std::uint64_t length, int extra, JobAttribs* ja) {
  calls.push_back(record("other", data, length, extra, ja));
  ja_set_pages(ja, 7);
  return other_result;
}

const AnalyzerEntry STAND_IN_PCL6{"stand_in_pcl6", stand_in_pcl6};
const AnalyzerEntry STAND_IN_OTHER{"stand_in_other", stand_in_other};

class AnalyzerTest : public AnalysisTest {
 protected:
  void SetUp() override {
    AnalysisTest::SetUp();
    calls.clear();
    pcl6_result = 0;
    other_result = 0;
    ja_.reset(analyzer_create_job_attribs());
    ASSERT_TRUE(ja_);
  }
  void TearDown() override {
    for (auto it = plugged_.rbegin(); it != plugged_.rend(); ++it) {
      (void)analyzer_dispatch_replace(it->first, it->second);
    }
    AnalysisTest::TearDown();
  }
  // Plugs a stand-in into the row of `code`; TearDown puts the real one back.
  void plug(int code, const AnalyzerEntry* entry) {
    plugged_.emplace_back(code, analyzer_dispatch_replace(code, entry));
  }
  static std::string corpus_file(int lang) {
    const auto rows = corpus_rows_for_lang(lang);
    return rows.empty() ? std::string() : rows.front().path;
  }

  JobAttribsPtr ja_;
  std::vector<std::pair<int, const AnalyzerEntry*>> plugged_;
};

TEST_F(AnalyzerTest, FailurePathsKeepWhatWasSet) {
  struct FailCase {
    const char* name;
    std::string path;
    int result;
    const char* error;
    int language;
  };
  const std::string unknown = file("unknown.bin", std::string(400, '\x02')).string();
  // A language whose analyzer is not available.
  const std::string pending = corpus_file(LANG_EPSON_PAGE);
  plug(LANG_EPSON_PAGE, nullptr);
  const std::vector<FailCase> cases = {
      {"no path", "", ANALYZER_FAILED, "Spool file not defined", 0},
      {"missing file", (dir_ / "missing.prn").string(), ANALYZER_FAILED, "Unable to open file", 0},
      {"empty file", file("empty.prn", "").string(), ANALYZER_FAILED, "Unable to map file", 0},
      {"unknown language", unknown, ANALYZER_UNKNOWN_LANGUAGE,
       "Unrecognized print language detected on JobId: 42 on printer lab-1", LANG_UNKNOWN},
      {"no analyzer yet", pending, ANALYZER_FAILED,
       "No analyzer is available for language: EPSON/PAGE (17)", LANG_EPSON_PAGE},
  };
  for (const FailCase& c : cases) {
    SCOPED_TRACE(c.name);
    clear_log();
    JobAttribsPtr ja(analyzer_create_job_attribs());
    util_safe_strncpy(ja->job_id, "42", sizeof ja->job_id);
    util_safe_strncpy(ja->printer_name, "lab-1", sizeof ja->printer_name);
    EXPECT_EQ(analyzer_process_spool_file(c.path.c_str(), 0, ja.get()), c.result);
    EXPECT_TRUE(logged(std::string("ERROR") + ": ") && logged(c.error)) << log();
    EXPECT_EQ(ja->language, c.language);
    EXPECT_EQ(std::string(ja->spool_file), c.path);
    if (c.language != LANG_UNKNOWN || c.result == ANALYZER_UNKNOWN_LANGUAGE) {
      EXPECT_TRUE(logged("Unable to analyse spool file: '" + c.path + "'"));
      EXPECT_GT(ja->size_kb, 0);
    }
  }
}

TEST_F(AnalyzerTest, StatusDocumentIsAnalysedWithoutAnalyzer) {
  global_ctx.debug_logging = 1;
  util_safe_strncpy(global_ctx.username_override_prefix, "USER=", CONFIG_TEXT_SIZE);
  util_safe_strncpy(global_ctx.username_override_suffix, ";", CONFIG_TEXT_SIZE);
  const auto path = file("status.prn", "\x1b%-12345X USER=kim;\n");
  util_safe_strncpy(ja_->spool_file, "/spool/d00042-001", sizeof ja_->spool_file);
  EXPECT_EQ(analyzer_process_spool_file(path.c_str(), 0, ja_.get()), 0);
  EXPECT_EQ(ja_->language, LANG_STATUS_DOCUMENT);
  EXPECT_STREQ(ja_->username, "kim");
  EXPECT_STREQ(ja_->spool_file, "/spool/d00042-001");
  EXPECT_EQ(ja_->size_kb, 1);
  EXPECT_TRUE(logged("Analysis results: spool file=/spool/d00042-001")) << log();
  EXPECT_TRUE(logged("\tFile size (bytes): 20"));
  EXPECT_TRUE(calls.empty());
}

// Real files of several languages reach the analyzer of their row with the
// row's extra argument and the language already in the record.
TEST_F(AnalyzerTest, DispatchPassesTheRowsExtraArgument) {
  struct DispatchCase {
    int lang;
    int color;
    int extra;
  };
  global_ctx.lines_per_page = 58;
  const std::vector<DispatchCase> cases = {
      {LANG_PCL5, 1, 1},      {LANG_PCL5, 0, 0},          {LANG_PCL6, 1, 1},
      {LANG_PDF, 1, 0},       {LANG_PLAIN_TEXT, 1, 58},   {LANG_ZJSTREAM, 0, 1},
      {LANG_ESCP2, 1, 1},     {LANG_PCL3GUI, 1, 1},       {LANG_GDI_HP_2, 1, 0},
      {LANG_CUPS_RASTER, 1, 0}, {LANG_XPS, 1, 1},
  };
  for (const DispatchCase& c : cases) {
    SCOPED_TRACE(c.lang);
    const std::string path = corpus_file(c.lang);
    ASSERT_FALSE(path.empty());
    plug(c.lang, &STAND_IN_OTHER);
    calls.clear();
    JobAttribsPtr ja(analyzer_create_job_attribs());
    EXPECT_EQ(analyzer_process_spool_file(path.c_str(), c.color, ja.get()), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].extra, c.extra);
    EXPECT_EQ(calls[0].language, c.lang);
    EXPECT_EQ(ja->pages, 7);
  }
  // A negative analyzer result is the driver's result.
  other_result = -3;
  JobAttribsPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(analyzer_process_spool_file(corpus_file(LANG_PCL5).c_str(), 0, ja.get()), -3);
}

TEST_F(AnalyzerTest, RowsOfTheTable) {
  struct RowCase {
    int code;
    AnalyzerKind kind;
    const char* analyzer;
    AnalyzerExtra extra;
    int constant;
  };
  const std::vector<RowCase> cases = {
      {0, AnalyzerKind::UNKNOWN, "", AnalyzerExtra::NONE, 0},
      {9, AnalyzerKind::NEVER, "", AnalyzerExtra::NONE, 0},
      {43, AnalyzerKind::STATUS, "", AnalyzerExtra::NONE, 0},
      {70, AnalyzerKind::NEVER, "", AnalyzerExtra::NONE, 0},
      {-1, AnalyzerKind::NEVER, "", AnalyzerExtra::NONE, 0},
      {2, AnalyzerKind::ANALYZE, "postscript_canon_process_job", AnalyzerExtra::COLOR, 0},
      {14, AnalyzerKind::ANALYZE, "hp_gdi_local_process_job", AnalyzerExtra::NONE, 0},
      {16, AnalyzerKind::ANALYZE, "pcl5_process_job", AnalyzerExtra::COLOR, 0},
      {40, AnalyzerKind::ANALYZE, "brother_process_job", AnalyzerExtra::CONSTANT, 11},
      {53, AnalyzerKind::ANALYZE, "brother_process_job", AnalyzerExtra::CONSTANT, 12},
      {55, AnalyzerKind::ANALYZE, "epson_process_job_new", AnalyzerExtra::COLOR_AND_LANGUAGE, 0},
      {63, AnalyzerKind::ANALYZE, "pcl6_process_job", AnalyzerExtra::COLOR, 0},
      {66, AnalyzerKind::HBPL_TWO_STEP, "hbpl_local_process_job", AnalyzerExtra::CONSTANT, 1},
      {67, AnalyzerKind::ANALYZE, "zjstream_process_job", AnalyzerExtra::CONSTANT, 0},
      {69, AnalyzerKind::ANALYZE, "gzip_process_job", AnalyzerExtra::NONE, 0},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.code);
    const AnalyzerRow& row = analyzer_dispatch_row(c.code);
    EXPECT_EQ(row.kind, c.kind);
    EXPECT_STREQ(row.analyzer_name(), c.analyzer);
    EXPECT_EQ(row.extra, c.extra);
    EXPECT_EQ(row.constant, c.constant);
  }
  for (int code = 0; code < ANALYZER_DISPATCH_ROWS; ++code) {
    EXPECT_EQ(analyzer_dispatch_row(code).code, code);
  }
}

// Codes 59 and 66: PCL XL behind the 2184-byte header first, the header
// reader only when that gave exactly 0.
TEST_F(AnalyzerTest, HbplTwoStepRule) {
  struct TwoStepCase {
    const char* name;
    std::string head;
    std::size_t size;
    int pcl6;
    int expected;
    std::uint64_t stream_length;
    int hbpl_extra;  // -1: the header reader is not called
  };
  const std::vector<TwoStepCase> cases = {
      {"59, 2000 bytes", "EDAJM", 2000, 0, 5, 0, 0},
      {"66, 2000 bytes", "EDAJC", 2000, 0, 5, 0, 1},
      {"59, stream behind the header", "EDAJM", 3000, 0, 5, 816, 0},
      {"66, 2184 bytes", "EDAJC", 2184, 0, 5, 0, 1},
      {"PCL XL result 1 ends it", "EDAJM", 3000, 1, 1, 816, -1},
      {"PCL XL failure ends it", "EDAJC", 3000, -4, -4, 816, -1},
  };
  plug(LANG_PCL6, &STAND_IN_PCL6);
  plug(LANG_HBPL_2, &STAND_IN_OTHER);
  plug(LANG_HBPL_3, &STAND_IN_OTHER);
  other_result = 5;
  for (const TwoStepCase& c : cases) {
    SCOPED_TRACE(c.name);
    calls.clear();
    pcl6_result = c.pcl6;
    std::string bytes = c.head + std::string(c.size - c.head.size(), '\x02');
    if (c.size > 2184) bytes[2184] = ')';
    const auto path = file("hbpl.prn", bytes);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const int result = analyzer_process_spool_file(path.c_str(), 1, ja.get());
    EXPECT_EQ(result, c.expected < 0 ? c.expected : 0);
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0].who, "pcl6");
    EXPECT_EQ(calls[0].length, c.stream_length);
    EXPECT_EQ(calls[0].extra, 1);
    if (c.stream_length > 0) { EXPECT_EQ(calls[0].first_byte, ')'); }
    if (c.hbpl_extra < 0) {
      EXPECT_EQ(calls.size(), 1u);
    } else {
      ASSERT_EQ(calls.size(), 2u);
      EXPECT_EQ(calls[1].length, c.size);
      EXPECT_EQ(calls[1].extra, c.hbpl_extra);
    }
  }
  // Without the PCL XL analyzer the HBPL codes cannot be analysed.
  plug(LANG_PCL6, nullptr);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const auto path = file("hbpl.prn", "EDAJM" + std::string(3000, '\x02'));
  EXPECT_EQ(analyzer_process_spool_file(path.c_str(), 0, ja.get()), ANALYZER_FAILED);
  EXPECT_TRUE(logged("No analyzer is available for language: HBPL (59)")) << log();
}

TEST_F(AnalyzerTest, DetectOnlyMode) {
  for (const CorpusRow& row : corpus_rows()) {
    SCOPED_TRACE(row.file + " (" + row.chain + ")");
    EXPECT_EQ(analyzer_lang_detect_spool_file(row.path.c_str()), row.lang);
  }
  clear_log();
  const auto pdf = corpus_file(LANG_PDF);
  EXPECT_EQ(analyzer_lang_detect_spool_file(pdf.c_str()), LANG_PDF);
  EXPECT_TRUE(logged("Language detected as: PDF")) << log();
  EXPECT_FALSE(logged("log_spool_bytes"));
  EXPECT_EQ(analyzer_lang_detect_spool_file((dir_ / "none").c_str()), 0);
  EXPECT_EQ(analyzer_lang_detect_spool_file(""), 0);
}

TEST_F(AnalyzerTest, SpoolBytesInTheDebugLog) {
  const std::uint8_t bytes[] = {0x00, 0xff, 0x1a, 0x7f};
  log_spool_bytes("Title", bytes, sizeof bytes);
  EXPECT_TRUE(logged("log_spool_bytes: Title: 00,ff,1a,7f,")) << log();
  // The driver logs the first and last 100 bytes.
  std::string data(150, 'a');
  data[0] = '\t';
  data[149] = '\n';
  plug(LANG_PLAIN_TEXT, &STAND_IN_OTHER);
  const auto path = file("text.txt", data);
  EXPECT_EQ(analyzer_process_spool_file(path.c_str(), 0, ja_.get()), 0);
  EXPECT_TRUE(logged("Spool file size: length=150,size=100"));
  EXPECT_TRUE(logged("log_spool_bytes: Spool file begin: 09,61,"));
  EXPECT_TRUE(logged("log_spool_bytes: Spool file   end: 61,") && logged("61,0a,"));
  clear_log();
  global_ctx.debug_logging = 0;
  log_spool_bytes("Title", bytes, sizeof bytes);
  EXPECT_FALSE(logged("log_spool_bytes"));
}

}  // namespace
