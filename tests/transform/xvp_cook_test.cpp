// The interpreter over real print files: searches and match variables
// against perl, windows, FIND ... REPLACE, substitution and escapes,
// the statements' edits, and the statements it refuses.
#include "transform/xvp_cook.h"

#include <string>

#include "transform_test_support.h"

namespace {

using transform_test::TransformTest;

TEST_F(TransformTest, IfChoosesItsBranchByACaseSensitiveSearch) {
  spool(sw_test::corpus_bytes("gs-ps2write-text-letter.ps"));
  int ok = 0;
  InterpreterPtr in = run(
      "IF \"%%EndComments\" THEN x = 1 ELSE x = 2\n"
      "IF \"%%endcomments\" THEN y = 1 ELSE y = 2\n"
      "IF \"%%endcomments\" THEN z = 1\n",
      &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(var(in.get(), "x"), "1");
  EXPECT_EQ(var(in.get(), "y"), "2");
  EXPECT_EQ(var(in.get(), "z"), "<none>");
}

// "start end group1" of the first or last match, from the match variables.
std::string recorded(const interpreter* in) {
  const xvp_token* ofs = xvp_lookup(in, "$ofs0");
  const xvp_token* len = xvp_lookup(in, "$len0");
  if (ofs == nullptr || len == nullptr) return "<none>";
  const long long start = std::stoll(ofs->text);
  const xvp_token* g1 = xvp_lookup(in, "$1");
  return std::to_string(start) + " " + std::to_string(start + std::stoll(len->text)) + " " +
         (g1 != nullptr ? g1->text : "-");
}

TEST_F(TransformTest, FirstAndLastMatchesAgreeWithPerl) {
  const std::string bytes = sw_test::corpus_bytes("gs-ps2write-mixed-a4.ps");
  spool(bytes);
  struct Case {
    const char* pattern;  // the script's regular expression
  };
  const Case cases[] = {
      {R"(%%Page: (\d+) \d+)"},
      {R"(^%%(\w+))"},            // "^" at line starts, not only where a search restarts
      {R"((?<=%%)Page)"},         // lookbehind sees the bytes before a restart
      {R"(\d*)"},                 // empty matches everywhere
      {R"(^$)"},                  // empty lines
      {R"(/(\w+) (\w+) def)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    const std::vector<std::string> truth = transform_test::perl_matches(spool_path_, c.pattern);
    ASSERT_FALSE(truth.empty());
    for (const char* which : {"FIRST", "LAST"}) {
      int ok = 0;
      std::string literal;  // a slash inside the script's /.../ is written \/
      for (const char* p = c.pattern; *p != '\0'; ++p) literal += *p == '/' ? "\\/" : std::string(1, *p);
      InterpreterPtr in = run("FIND /" + literal + "/ 0 " + which + "\n", &ok);
      ASSERT_EQ(ok, 1) << which;
      EXPECT_EQ(recorded(in.get()), std::string(which) == "FIRST" ? truth.front() : truth.back())
          << which;
    }
  }
}

TEST_F(TransformTest, PlainTextSearchesFindTheirFirstAndLastOccurrence) {
  spool(sw_test::corpus_bytes("gs-ps2write-mixed-a4.ps"));
  for (const char* text : {"%%Page:", "showpage", "aaa"}) {
    SCOPED_TRACE(text);
    const std::vector<std::string> truth = transform_test::perl_matches(spool_path_, text);
    for (const char* which : {"FIRST", "LAST"}) {
      int ok = 0;
      InterpreterPtr in = run(std::string("FIND \"") + text + "\" 0 " + which + "\n", &ok);
      ASSERT_EQ(ok, 1);
      if (truth.empty()) {
        EXPECT_EQ(recorded(in.get()), "<none>");
        continue;
      }
      const std::string& want = std::string(which) == "FIRST" ? truth.front() : truth.back();
      EXPECT_EQ(recorded(in.get()), want.substr(0, want.rfind(' ')) + " -") << which;
    }
  }
}

TEST_F(TransformTest, WindowsLimitWhereStringsAreSearched) {
  // A real job padded past 1 MiB: its trailer lies beyond the first MiB.
  const std::string job = sw_test::corpus_bytes("gs-ps2write-text-letter.ps");
  const std::size_t body = job.find("%%EndComments\n") + 14;
  std::string big = job.substr(0, body);
  while (big.size() < (3u << 19)) big += "% padding line of a large job\n";
  big += job.substr(body);
  spool(big);
  const std::size_t tail = big.size() - big.rfind("%%Trailer");
  struct Case {
    std::string window;  // options after the string
    const char* found;
  };
  const Case cases[] = {
      {"+ 1048576", "0"},  // the default window
      {"", "1"},           // 0: the whole file
      {"- " + std::to_string(tail), "0"},       // all but the bytes from the trailer on
      {"- " + std::to_string(tail - 9), "1"},   // the trailer just fits
      {"+ " + std::to_string(big.size() * 4), "1"},  // a window beyond the file is the file
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.window);
    int ok = 0;
    // A negative window is written through a variable.
    InterpreterPtr in = run("w = 0 " + c.window + "\nx = \"%%Trailer\" w AND 1\n", &ok);
    ASSERT_EQ(ok, 1);
    EXPECT_EQ(var(in.get(), "x"), c.found);
  }
}

TEST_F(TransformTest, FindReplaceEditsOnlyAtItsOwnMatch) {
  const std::string bytes = sw_test::corpus_bytes("gs-ps2write-text-letter.ps");
  spool(bytes);
  int ok = 0;
  InterpreterPtr in = run(
      "FIND /%%Pages: (\\d+)/ REPLACE \"%%Pages: $1 of $1 at $ofs1\"\n"
      // The last string is not found: no edit at the match of the line above.
      "FIND \"%%Creator\" OR \"not in the job\" REPLACE \"X\"\n"
      "FIND \"%%EOF\" 0 LAST REPLACE \"%%EOF %tv_user%\"\n",
      &ok);
  ASSERT_EQ(ok, 1);
  const std::vector<std::string> pages =
      transform_test::perl_matches(spool_path_, R"(%%Pages: (\d+))");
  ASSERT_EQ(in->edits.size(), 2u);
  const insertion& e = in->edits[0];
  EXPECT_EQ(std::string(e.name), "std");
  EXPECT_EQ(std::to_string(e.offset) + " " + std::to_string(e.offset + static_cast<long long>(e.length)) +
                " 2",
            pages.front());
  const std::size_t group = bytes.find("2", static_cast<std::size_t>(e.offset));
  EXPECT_EQ(e.text, "%%Pages: 2 of 2 at " + std::to_string(group));
  EXPECT_EQ(in->edits[1].offset, static_cast<std::int64_t>(bytes.rfind("%%EOF")));
  EXPECT_EQ(in->edits[1].text, "%%EOF alice");
}

TEST_F(TransformTest, VariablesAreSubstitutedOnceAndEscapedByTheirSuffix) {
  util_copy(ja_->document_name, "a(b)\"c\\d\r\n@PJL %tv_user% $1");
  ja_->copy_count = 1;
  spool(sw_test::corpus_bytes("gs-ps2write-text-letter.ps"));
  int ok = 0;
  InterpreterPtr in = run(
      "FIND /%%HiResBoundingBox: 0 0 ([\\d.]+)/\n"
      "w = $1\n"
      "n = tv_copies * 2\n"
      "s = \"%tv_user% prints %n% copies of %tv_pages% pages, width $1\"\n"
      "raw__no_replace__ = \"%tv_user%\"\n"
      "doc = \"%tv_doc_name%\"\n"
      "ps = tv_doc_name__esc_ps__\n"
      "pjl = \"%tv_doc_name__esc_pjl__%\"\n"
      "clean = tv_doc_name__clean__\n",
      &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(var(in.get(), "w"), "612.00");  // as captured
  EXPECT_EQ(var(in.get(), "n"), "2");
  EXPECT_EQ(var(in.get(), "s"), "alice prints 2 copies of 2 pages, width 612.00");
  EXPECT_EQ(var(in.get(), "raw__no_replace__"), "%tv_user%");
  // A value holding a reference is not expanded again.
  EXPECT_EQ(var(in.get(), "doc"), "a(b)\"c\\d\r\n@PJL %tv_user% $1");
  EXPECT_EQ(var(in.get(), "ps"), "a\\(b\\)\"c\\\\d@PJL %tv_user% $1");
  EXPECT_EQ(var(in.get(), "pjl"), "a(b)\\\"c\\\\d@PJL %tv_user% $1");
  EXPECT_EQ(var(in.get(), "clean"), "a_b__c\\d__@PJL %tv_user% $1");
}

TEST_F(TransformTest, StatementsCollectTheirEdits) {
  const std::string bytes = sw_test::corpus_bytes("cf-pstops-pjl-mixed-a4.ps");
  spool(bytes);
  int ok = 0;
  InterpreterPtr in = run(
      "# comments and blank lines only add nothing\n\n"
      "header = \"@PJL COMMENT x\\n\"\n"
      "ADD_HEADER header\n"
      "INSERT -1 0 \"tail\"\n"
      "INSERT + 5 2 \"ins\"\n"
      "DELETE 10 3\n"
      "DELETE_UNTIL \"%!PS\"\n"
      "DELETE_UNTIL \"%%Trailer\"\n"
      "DELETE_UNTIL \"%%Trailer\" 0\n"
      "STRIP_HEADER\n"
      "REPEAT_ALL 1 + 2\n"
      "ENABLE_TEST_MODE\n",
      &ok);
  ASSERT_EQ(ok, 1);
  struct Want {
    const char* name;
    std::int64_t offset;
    std::uint64_t length;
    const char* text;
  };
  const std::size_t ps = bytes.find("%!PS");
  const std::size_t trailer = bytes.find("%%Trailer");
  const Want want[] = {
      {"ADD_HEADER", 0, 0, "@PJL COMMENT x\n"},
      {"INSERT", -1, 0, "tail"},
      {"INSERT", 5, 2, "ins"},
      {"DELETE", 10, 3, ""},
      {"DELETE_UNTIL", 0, ps, ""},
      {"DELETE_UNTIL", 0, 0, ""},  // beyond the first MiB? no: the trailer is found in it
      {"DELETE_UNTIL", 0, trailer, ""},
      {"STRIP HEADER", 0, 0, ""},
  };
  ASSERT_EQ(in->edits.size(), std::size(want));
  for (std::size_t i = 0; i < std::size(want); ++i) {
    SCOPED_TRACE(i);
    if (i == 5) continue;  // checked below
    EXPECT_EQ(std::string(in->edits[i].name), want[i].name);
    EXPECT_EQ(in->edits[i].offset, want[i].offset);
    EXPECT_EQ(in->edits[i].length, want[i].length);
    EXPECT_EQ(in->edits[i].text, want[i].text);
  }
  EXPECT_EQ(in->edits[5].length, bytes.size() < (1u << 20) ? trailer : 0u);
  EXPECT_EQ(in->edits[7].kind, XVP_INSERTION_STRIP_HEADER);
  EXPECT_EQ(in->n_repeats, 3);
  EXPECT_EQ(in->test_mode, 1);
}

TEST_F(TransformTest, StatementsThatFailTheScript) {
  // Hand-made: a run of "a" for a pattern that backtracks without end.
  const std::string as(4000, 'a');
  spool(as + "cb");
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"x = 1\nINSERT x 0 \"t\"\n", "INSERT ofs argument must be a number"},
      {"INSERT 0 - 1 \"t\"\n", "INSERT len argument must not be negative"},
      {"INSERT 0 1\n", "INSERT has 2 arguments. Should have 3"},
      {"INSERT 0 0 /t/\n", "INSERT text argument must be a plain string"},
      {"INSERT -4003 0 \"t\"\n", "does not fit a file of 4002 bytes"},
      {"DELETE 4001 2\n", "does not fit a file of 4002 bytes"},
      {"DELETE 1e300 1\n", "DELETE ofs argument out of range"},
      {"DELETE 1 2 3\n", "DELETE has 3 arguments. Should have 2"},
      {"IF 1 THEN IF 1 THEN x = 1\n", "statement does not match a parser rule"},
      {"IF 1 THEN\n", "IF: Not enough terms."},
      {"IF THEN x = 1\n", "IF needs a condition before THEN."},
      {"IF 1 x = 1\n", "IF: No THEN."},
      {"IF 1 THEN x = 1 ELSE\n", "IF: Needs a statement after ELSE."},
      {"REPEAT_ALL 5000\n", "REPEAT_ALL count 5000 is outside 1 to 1000"},
      {"REPEAT_ALL 0\n", "REPEAT_ALL count 0 is outside 1 to 1000"},
      {"REPEAT_ALL 1e300\n", "REPEAT_ALL count"},
      {"FIND \"\"\n", "Empty search text"},
      {"FIND /(/\n", "Bad regular expression:"},
      {"FIND \"a\" THEN\n", "Invalid STRING option 'THEN' for string 'a'"},
      {"FIND \"a\" 1e300\n", "Invalid search window '1e300' for string 'a'"},
      {"x = y\n", "No value for token y"},
      {"FIND \"a\" REPLACE /b/\n", "REPLACE must be followed by a plain STRING, not a STRING_REGEX"},
      {"FIND /(a+)+b/\n", "Regular expression search failed"},
      {"just words here\n", "statement does not match a parser rule"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    int ok = 1;
    InterpreterPtr in = run(c.script, &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_TRUE(logged(c.message)) << c.message;
  }
  EXPECT_TRUE(logged("Bad transform statement"));
}

TEST_F(TransformTest, TheStatementsBeforeAFailureKeepTheirEffects) {
  spool("0123456789");
  int ok = 1;
  InterpreterPtr in = run("x = 1\nINSERT 0 0 \"a\"\nx = nope\ny = 2\n", &ok);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(var(in.get(), "x"), "1");
  EXPECT_EQ(var(in.get(), "y"), "<none>");
  EXPECT_EQ(in->edits.size(), 1u);
}

TEST_F(TransformTest, PredefinedVariablesDescribeTheJob) {
  util_copy(ja_->paper_size_name, "A4");
  util_copy(ja_->job_uid, "0123456789abcdef0123456789abcdef01234567");
  ja_->submit_time = sw_test::calendar_time(2024, 3, 9);
  spool("x");
  int ok = 0;
  InterpreterPtr in = run("", &ok);
  ASSERT_EQ(ok, 1);
  EXPECT_EQ(var(in.get(), "tv_pages"), "2");
  EXPECT_EQ(var(in.get(), "tv_paper_name"), "A4");
  EXPECT_EQ(var(in.get(), "tv_driver"), "unknown");
  EXPECT_EQ(var(in.get(), "tv_iso_date"), "20240309");
  EXPECT_EQ(var(in.get(), "tv_uid"), "0123456789abcdef0123456789abcdef01234567");
  EXPECT_EQ(var(in.get(), "tv_page_width_mm"), "-1");
}

}  // namespace
