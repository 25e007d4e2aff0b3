// The scanner: tokens by kind, reserved words, strings and regular
// expressions with their escapes, statements over several lines, and the
// lines and strings it must refuse.
#include "transform/xvp_scan.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "transform_test_support.h"

namespace {

using transform_test::TransformTest;

// Statements as "KIND:text KIND:text ; KIND:text", or "<failed>".
std::string scanned(const std::string& script) {
  XvpScript statements;
  if (!xvp_scan_text(nullptr, script, &statements)) return "<failed>";
  std::string out;
  for (const XvpStatement& st : statements) {
    if (!out.empty()) out += " ; ";
    for (std::size_t i = 0; i < st.size(); ++i) {
      if (i > 0) out += ' ';
      out += std::string(xvp_token_type_cstr(st[i].kind)) + ":" + st[i].text;
    }
  }
  return out;
}

TEST_F(TransformTest, TokensOfOneLine) {
  struct Case {
    const char* script;
    const char* tokens;
  };
  const Case cases[] = {
      {"x = .5 + 1e3 - 2.", "NAME:x OP:= NUMBER:.5 OP:+ NUMBER:1e3 OP:- NUMBER:2."},
      {"a . b", "NAME:a OP:. NAME:b"},
      {"if If IF MyVar myvar", "NAME:IF NAME:IF NAME:IF NAME:myvar NAME:myvar"},
      {"x = not a And b or c xor d", "NAME:x OP:= OP:NOT NAME:a OP:AND NAME:b OP:OR NAME:c OP:XOR NAME:d"},
      // REPEAT_ALL is an ordinary name.
      {"Repeat_All 2", "NAME:repeat_all NUMBER:2"},
      {"find $1 $OFS2 $len0 REPLACE \"x\"", "NAME:FIND NAME:$1 NAME:$ofs2 NAME:$len0 NAME:REPLACE STRING:x"},
      {"x = 1 # a comment", "NAME:x OP:= NUMBER:1"},
      {"# only a comment\n\n   \n", ""},
      {"x=a>=b!=c<=d==e", "NAME:x OP:= NAME:a OP:>= NAME:b OP:!= NAME:c OP:<= NAME:d OP:== NAME:e"},
      // Double-quoted strings: escapes in one pass; "\\" stays two backslashes.
      {R"(x = "a\\nb")", R"(NAME:x OP:= STRING:a\\nb)"},
      {R"(x = "q\"t\tn\nf\f")", "NAME:x OP:= STRING:q\"t\tn\nf\f"},
      {R"(x = "[DOUBLE-SLASH]")", "NAME:x OP:= STRING:[DOUBLE-SLASH]"},
      {R"(x = "\d+")", R"(NAME:x OP:= STRING:\d+)"},
      // Regular expressions: "\/" is a slash, other escapes go to the engine.
      {R"(find /a\/b/)", "NAME:FIND STRING_REGEX:a/b"},
      {R"(find /a\\/)", R"(NAME:FIND STRING_REGEX:a\\)"},
      {R"(find /%%Pages: (\d+)/ 0 last)", R"(NAME:FIND STRING_REGEX:%%Pages: (\d+) NUMBER:0 NAME:LAST)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(scanned(c.script), c.tokens);
  }
}

// The group-1 texts of pcre2test's anchored global match of the
// pseudo-token pattern over `line` (bytes written as \xhh both ways).
std::vector<std::string> pcre2test_tokens(const std::string& dir, const std::string& line) {
  std::string subject;
  char hex[8];
  for (unsigned char c : line) {
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    subject += hex;
  }
  const std::string input = dir + "/pcre2test.in";
  sw_test::write_file(input, std::string("'") + XVP_PSEUDO_TOKEN_PATTERN + "'g,anchored\n" +
                                 subject + "\n");
  const std::string out = sw_test::command_output("pcre2test " + sw_test::shell_quote(input));
  std::vector<std::string> tokens;
  for (std::size_t at = out.find("\n 1: "); at != std::string::npos; at = out.find("\n 1: ", at + 1)) {
    const std::size_t end = out.find('\n', at + 1);
    const std::string shown = out.substr(at + 5, end - at - 5);
    std::string text;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      if (shown.compare(i, 2, "\\x") == 0 && i + 3 < shown.size()) {
        text += static_cast<char>(std::stoi(shown.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else {
        text += shown[i];
      }
    }
    tokens.push_back(text);
  }
  return tokens;
}

TEST_F(TransformTest, TokensSplitWherePcre2testSplitsThem) {
  const char* lines[] = {
      "x = .5 + 1e3 - 2. * 3e-2 % 7\n",
      "find /a\\/b [c]/ 0 last REPLACE \"q\\\"t\" # note\n",
      "IF $ofs1 >= (tv_pages ^ 2) AND NOT $LEN0 != 1.5e+3 THEN z = a.b\n",
      "w=x<y>z~v,u;t:s`r@q{p}o[n]\r\n",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    std::vector<xvp_token> ours;
    std::FILE* in = fmemopen(const_cast<char*>(line), std::strlen(line), "r");
    ASSERT_EQ(generate_tokens(nullptr, in, &ours), 1);
    std::fclose(in);
    // The empty line after the last line feed is ours alone.
    ASSERT_EQ(ours.back().kind, XVP_NL);
    ours.pop_back();
    const std::vector<std::string> theirs = pcre2test_tokens(temp_.path(), line);
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
      // Our tokens are the texts built by kind: strings unescaped, regular
      // expressions without their slashes.
      EXPECT_EQ(ours[i].text, construct_xvp_token_ex(-1, ours[i].kind, theirs[i]).text) << i;
    }
  }
}

TEST_F(TransformTest, StatementsAndStringsOverSeveralLines) {
  struct Case {
    const char* name;
    const char* script;
    const char* tokens;
  };
  const Case cases[] = {
      {"parentheses", "x = (1 +\n  2)\ny = 3\n", "NAME:x OP:= OP:( NUMBER:1 OP:+ NUMBER:2 OP:) ; NAME:y OP:= NUMBER:3"},
      {"backslash", "x = 1 + \\\n 2\n", "NAME:x OP:= NUMBER:1 OP:+ NUMBER:2"},
      {"triple quotes", "x = \"\"\"one\n\\two\n\"three\" \"\"\"\ny = 1",
       "NAME:x OP:= STRING:one\n\\two\n\"three\"  ; NAME:y OP:= NUMBER:1"},
      {"string continued by a backslash", "x = \"ab\\\ncd\" + 1\n", "NAME:x OP:= STRING:ab\\\ncd OP:+ NUMBER:1"},
      {"regular expression continued", "find /a\\\nb/\n", "NAME:FIND STRING_REGEX:a\\\nb"},
      {"no line feed at the end", "x = 1", "NAME:x OP:= NUMBER:1"},
      {"carriage returns", "x = 1\r\ny = 2\r\n", "NAME:x OP:= NUMBER:1 ; NAME:y OP:= NUMBER:2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(scanned(c.script), c.tokens);
  }
}

TEST_F(TransformTest, ScriptsTheScannerRefuses) {
  struct Case {
    const char* name;
    std::string script;
    const char* message;
  };
  const Case cases[] = {
      // A slash begins a regular expression, so a / b does not divide.
      {"division", "x = a / b\n", "Invalid statement: 'x = a / b"},
      {"stray character", "x = 1 ? 2\n", "Invalid statement"},
      {"unterminated string", "x = \"abc\n", "Invalid statement"},
      {"unterminated triple quotes", "x = \"\"\"abc\ndef\n", "Unterminated string starting at line 1"},
      {"string continued to the end", "x = \"abc\\\n", "Unterminated string starting at line 1"},
      {"string continued, then not", "x = \"abc\\\ndef\ny = 1\n",
       "Unterminated string starting at line 1"},
      {"line over 1 MiB", "x = \"" + std::string(XVP_LINE_MAX, 'a') + "\"\n", "Bad line: len="},
      {"comment over 1 MiB", "#" + std::string(XVP_LINE_MAX, 'c') + "ENABLE_TEST_MODE\n", "Bad line: len="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(scanned(c.script), "<failed>");
    EXPECT_TRUE(logged(c.message)) << log().substr(0, 2000);
  }
}

TEST_F(TransformTest, ALongLineOfBlanksIsABlankLine) {
  const std::string script = "x = 1\n" + std::string(XVP_LINE_MAX + 100, ' ') + "\ny = 2\n";
  EXPECT_EQ(scanned(script), "NAME:x OP:= NUMBER:1 ; NAME:y OP:= NUMBER:2");
}

TEST_F(TransformTest, ScriptFilesAreReadWithTheirLineNumbers) {
  const std::string path = temp_.write("a.transform", "# comment\n\nx = 1\nfind \"a\"\n");
  XvpScript statements;
  ASSERT_EQ(xvp_scan(nullptr, path.c_str(), &statements), 1);
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0][0].line, 3);
  EXPECT_EQ(statements[1][1].line, 4);
  EXPECT_EQ(xvp_scan(nullptr, temp_.file("missing.transform").c_str(), &statements), 0);
  EXPECT_TRUE(logged("Could not open recipe_path="));
  EXPECT_EQ(xvp_scan(nullptr, nullptr, &statements), 0);
  EXPECT_TRUE(logged("No transform script!"));
}

}  // namespace
