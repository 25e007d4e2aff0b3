#include <gtest/gtest.h>

#include <set>
#include <string>

#include "foundation/ja_languages.h"
#include "foundation/ja_papers.h"
#include "foundation/printer_settings.h"
#include "support/test_support.h"

namespace {

class JaTablesTest : public sw_test::TempDirTest {};

TEST_F(JaTablesTest, LanguageTableCoversCodesZeroTo68) {
  std::set<int> codes;
  for (const LangStrCode& row : lang_str_codes()) codes.insert(row.code);
  EXPECT_EQ(lang_str_codes().size(), 69u);
  EXPECT_EQ(codes.size(), 69u);
  EXPECT_EQ(*codes.begin(), 0);
  EXPECT_EQ(*codes.rbegin(), 68);
  EXPECT_EQ(codes.count(LANG_GZIP), 0u);
}

TEST_F(JaTablesTest, LanguageLookupsTakeTheFirstMatchingRow) {
  struct ByCode {
    int code;
    const char* name;
    const char* unique;
    const char* extension;
  };
  const ByCode by_code[] = {
      {0, "Unknown", "Unknown", "unknown"},
      {1, "PostScript", "PostScript", "ps"},
      {2, "Postscript", "Postscript(Canon)", "ps"},
      {5, "PCL5", "PCL5", "pcl5"},
      {6, "PCL5", "PCL5(Canon)", "pcl5"},
      {31, "HiperC", "HiperC", "hyperc"},
      {39, "Zebra", "Zebra", "zebra2"},
      {43, "Status/Dummy Document", "Status/Dummy Document", "dummy"},
      {53, "Brother (MFC-J)", "Brother (MFC-J)", "brother.mfc-j"},
      {67, "ZJSTREAM", "ZJSTREAM", "zjstream"},
      {68, "XPP", "XPP", "xpp"},
      {69, "Undefined", "Undefined", "unknown"},
      {-1, "Undefined", "Undefined", "unknown"},
      {1000, "Undefined", "Undefined", "unknown"},
  };
  for (const ByCode& c : by_code) {
    SCOPED_TRACE(c.code);
    EXPECT_STREQ(analyzer_lang_to_string(c.code), c.name);
    EXPECT_STREQ(analyzer_lang_to_string_unique(c.code), c.unique);
    EXPECT_STREQ(analyzer_lang_to_file_extension(c.code), c.extension);
  }

  struct ByText {
    const char* text;
    int from_name;
    int from_extension;
  };
  const ByText by_text[] = {
      {"POSTSCRIPT", 1, 0},   {"ps", 0, 2},          {"PS", 0, 2},
      {"pcl5", 5, 6},         {"PCL5(Canon)", 6, 0}, {"postscript(canon)", 2, 0},
      {"GDI (HP)", 11, 0},    {"gdi-hp", 0, 11},     {"HBPL", 30, 30},
      {"zjstream", 28, 28},   {"zebra2", 0, 39},     {"Unknown", 0, 0},
      {"Undefined", 0, 0},    {"", 0, 0},            {"nonsense", 0, 0},
  };
  for (const ByText& c : by_text) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(analyzer_string_to_lang(c.text), c.from_name);
    EXPECT_EQ(analyzer_file_extension_to_lang(c.text), c.from_extension);
  }
  EXPECT_EQ(analyzer_string_to_lang(nullptr), 0);
  EXPECT_EQ(analyzer_file_extension_to_lang(nullptr), 0);
}

TEST_F(JaTablesTest, PaperTableLookups) {
  EXPECT_EQ(paper_name_dims().size(), 212u);
  int wide = 0;
  for (const PaperNameDims& row : paper_name_dims()) {
    if (row.width_mm > row.height_mm) ++wide;
  }
  EXPECT_EQ(wide, 2);  // 16K and 15X11

  struct Case {
    const char* name;
    int found;
    std::int64_t area;
  };
  const Case cases[] = {
      {"A4", 1, 210 * 297},       {"a4", 1, 210 * 297},     {"letter", 1, 216 * 279},
      {"16k", 1, 267 * 195},      {"iso_b0", 1, 1000 * 1414}, {"SRA0", 1, 900 * 1280},
      {"Tabloid", 1, 279 * 432},  {"A", 0, 0},              {"", 0, 0},
      {"A44", 0, 0},              {"A4 ", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::int64_t area = 0;
    EXPECT_EQ(paper_area(c.name, &area), c.found);
    if (c.found) { EXPECT_EQ(area, c.area); }
  }
  EXPECT_EQ(paper_area(nullptr, nullptr), 0);
  EXPECT_NE(log_text().find("Unknown paper size name 'A44'"), std::string::npos);
  EXPECT_EQ(log_text().find("Unknown paper size name 'A'"), std::string::npos);
}

TEST_F(JaTablesTest, ModeAndStateTextsMapBothWays) {
  struct Mode {
    const char* (*to_text)(int);
    int (*to_code)(const char*, int*);
    int code;
    const char* text;
  };
  const Mode modes[] = {
      {util_convert_failure_mode_enum_to_string, util_convert_failure_mode_string_to_enum, 0,
       "PRINT_NEW_NO_REPLAY"},
      {util_convert_failure_mode_enum_to_string, util_convert_failure_mode_string_to_enum, 1,
       "PRINT_NEW_WITH_REPLAY"},
      {util_convert_failure_mode_enum_to_string, util_convert_failure_mode_string_to_enum, 2, "HOLD"},
      {util_convert_hwcheck_mode_enum_to_string, util_convert_hwcheck_mode_string_to_enum, 0, "SNMP"},
      {util_convert_hwcheck_mode_enum_to_string, util_convert_hwcheck_mode_string_to_enum, 1, "NONE"},
      {util_convert_confidentiality_mode_enum_to_string,
       util_convert_confidentiality_mode_string_to_enum, 0, "HIDE_NONE"},
      {util_convert_confidentiality_mode_enum_to_string,
       util_convert_confidentiality_mode_string_to_enum, 1, "HIDE_NAME"},
  };
  for (const Mode& m : modes) {
    SCOPED_TRACE(m.text);
    EXPECT_STREQ(m.to_text(m.code), m.text);
    int code = -5;
    EXPECT_EQ(m.to_code(m.text, &code), 1);
    EXPECT_EQ(code, m.code);
    std::string lower(m.text);
    for (char& ch : lower) ch = static_cast<char>(ch | 0x20);
    EXPECT_EQ(m.to_code(lower.c_str(), &code), 0);  // texts are exact
    EXPECT_EQ(m.to_code("Undefined", &code), 0);
  }
  // The tables hold exactly these rows, in code order.
  struct Table {
    std::span<const ModeText> rows;
    const char* (*to_text)(int);
    std::size_t count;
  };
  for (const Table& t : {Table{on_error_str(), util_convert_failure_mode_enum_to_string, 3},
                         Table{hwcheck_mode_str(), util_convert_hwcheck_mode_enum_to_string, 2},
                         Table{confidentiality_mode_str(),
                               util_convert_confidentiality_mode_enum_to_string, 2}}) {
    ASSERT_EQ(t.rows.size(), t.count);
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      EXPECT_EQ(t.rows[i].code, static_cast<int>(i));
      EXPECT_STREQ(t.rows[i].text, t.to_text(t.rows[i].code));
    }
    EXPECT_STREQ(t.to_text(static_cast<int>(t.count)), "Undefined");
    EXPECT_STREQ(t.to_text(-1), "Undefined");
  }
  EXPECT_STREQ(util_convert_failure_mode_enum_to_string(3), "Undefined");
  EXPECT_STREQ(util_convert_hwcheck_mode_enum_to_string(-1), "Undefined");
  EXPECT_STREQ(util_convert_confidentiality_mode_enum_to_string(2), "Undefined");

  const char* states[] = {"OK",       "PAPER_JAM",    "PAPER_OUT", "PAPER_PROBLEM",
                          "OUTPUT_BIN_FULL", "NOT_AVAILABLE", "NO_TONER", "OUT_OF_MEMORY",
                          "OFFLINE",  "DOOR_OPEN",    "USER_INTERVENTION", "ERROR"};
  for (int i = 0; i < 12; ++i) EXPECT_STREQ(util_printer_state_to_string(i), states[i]);
  EXPECT_STREQ(util_printer_state_to_string(12), "UNKNOWN");
  EXPECT_STREQ(util_printer_state_to_string(-1), "UNKNOWN");
}

TEST_F(JaTablesTest, SettingsTextParsing) {
  struct Case {
    const char* text;
    int result;
    PrinterSettings want;  // colour, failure, hwcheck, archiving, confidentiality, virtual
  };
  const Case cases[] = {
      {"color-detection=Y;failure-mode=HOLD;hardware-check-mode=SNMP", 1, {1, 2, 0, 0, 0, 0}},
      {"failure-mode=HOLD", 0, {0, 2, 1, 0, 0, 0}},
      {"color-detection=Y;failure-mode=HOLD;hardware-check-mode=HOLD", 0, {1, 2, 1, 0, 0, 0}},
      {"color-detection=yes;failure-mode=PRINT_NEW_WITH_REPLAY;archiving=y;virtual=Y;"
       "queue-confidentiality-mode=HIDE_NAME;",
       1,
       {1, 1, 1, 1, 1, 1}},
      {"color-detection=N;failure-mode=PRINT_NEW_NO_REPLAY;shoe-size=42;archiving=no", 1,
       {0, 0, 1, 0, 0, 0}},
      {"color-detection=;failure-mode=HOLD", 0, {0, 0, 1, 0, 0, 0}},
      {"color-detection;failure-mode=HOLD", 0, {0, 0, 1, 0, 0, 0}},
      {"failure-mode=hold;color-detection=Y", 0, {0, 0, 1, 0, 0, 0}},
      {"color-detection=Y;failure-mode=HOLD;queue-confidentiality-mode=HIDE", 0,
       {1, 2, 1, 0, 0, 0}},
      {"", 0, {0, 0, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    PrinterSettings got{7, 7, 7, 7, 7, 7};  // reset to the defaults first
    EXPECT_EQ(util_parse_settings_string(c.text, &got), c.result);
    EXPECT_EQ(got.enable_color_detection, c.want.enable_color_detection);
    EXPECT_EQ(got.failure_mode, c.want.failure_mode);
    EXPECT_EQ(got.hwcheck_mode, c.want.hwcheck_mode);
    EXPECT_EQ(got.archiving, c.want.archiving);
    EXPECT_EQ(got.confidentiality_mode, c.want.confidentiality_mode);
    EXPECT_EQ(got.is_virtual, c.want.is_virtual);
  }
}

}  // namespace
