// The transform-script scanner.
#include "transform/xvp_scan.h"

#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include "foundation/ascii.h"
#include "foundation/owned.h"
#include "foundation/regex.h"
#include "transform/xvp_logs.h"

// The pseudo-token: blanks, then as group 1 the first alternative that
// matches (not the longest): line continuation, comment, triple quote;
// number; operators, brackets and punctuation; a one-line string or
// regular expression (or its first line, ending in a backslash line end);
// name; match variable ($1, $ofs1, $len1).
#define XVP_NUMBER_RE R"((?:(?:\d+\.\d*|\.\d+)(?:[eE][-+]?\d+)?|\d+[eE][-+]?\d+)|\d+)"
#define XVP_OPERATOR_RE R"(!=|==|<=|>=|[<>+\-*%^=]|~)"
#define XVP_STRING_RE R"("[^\n"\\]*(?:\\.[^\n"\\]*)*(?:"|\\\r?\n))"
#define XVP_REGEX_RE R"(/[^\n/\\]*(?:\\.[^\n/\\]*)*(?:/|\\\r?\n))"
const char XVP_PSEUDO_TOKEN_PATTERN[] =
    R"([ \f\t]*()"
    R"(\\\r?\n|#[^\r\n]*|""")"
    "|" XVP_NUMBER_RE
    "|" XVP_OPERATOR_RE R"(|[][(){}]|\r?\n|[:;.,`@])"
    "|" XVP_STRING_RE "|" XVP_REGEX_RE
    R"(|[a-zA-Z_]\w*)"
    R"(|\$(?:[oO][fF][sS]|[lL][eE][nN])?\d+))";

namespace {

using RegexPtr = Owned<Regex, regex_free>;

// The ends of strings that continue over lines.
constexpr char PAT_DOUBLEQ3[] = R"([^"\\]*(?:(?:\\.|"(?!""))[^"\\]*)*""")";
constexpr char PAT_DOUBLEQ[] = R"([^"\\]*(?:\\.[^"\\]*)*")";
constexpr char PAT_END_SLASH[] = R"([^/\\]*(?:\\.[^/\\]*)*/)";

struct ScanPatterns {
  RegexPtr pseudo{regex_compile(XVP_PSEUDO_TOKEN_PATTERN, PCRE_ANCHORED)};
  RegexPtr doubleq3{regex_compile(PAT_DOUBLEQ3, PCRE_ANCHORED | PCRE_DOTALL)};
  RegexPtr doubleq{regex_compile(PAT_DOUBLEQ, PCRE_ANCHORED | PCRE_DOTALL)};
  RegexPtr end_slash{regex_compile(PAT_END_SLASH, PCRE_ANCHORED | PCRE_DOTALL)};
  [[nodiscard]] bool ok() const { return pseudo && doubleq3 && doubleq && end_slash; }
};

const ScanPatterns& patterns() {
  static const ScanPatterns compiled;
  return compiled;
}

// A string that continues over lines.
struct PendingString {
  bool active = false;
  std::string text;
  const Regex* end = nullptr;
  bool needs_backslash_end = false;
  int kind = XVP_STRING;
  int first_line = 0;
};

struct Scanner {
  std::FILE* log;
  std::vector<xvp_token>* tokens;
  int line_no = 0;
  int paren_level = 0;
  bool continued_statement = false;
  PendingString pending;

  void emit(int kind, std::string_view text) {
    tokens->push_back(construct_xvp_token_ex(line_no, kind, text));
  }
};

// Match end of an anchored pattern at `pos`, or npos.
std::size_t match_end(const Regex* regex, const std::string& line, std::size_t pos) {
  std::int64_t ovector[6] = {};
  int rc = 0;
  if (regex_exec(regex, line.data() + pos, line.size() - pos, ovector, 6, &rc) != 1) {
    return std::string::npos;
  }
  return pos + static_cast<std::size_t>(ovector[1]);
}

bool ends_with_backslash_line_end(const std::string& line) {
  const std::size_t n = line.size();
  return (n >= 2 && line.compare(n - 2, 2, "\\\n") == 0) ||
         (n >= 3 && line.compare(n - 3, 3, "\\\r\n") == 0);
}

void start_pending(Scanner& s, std::string_view text, const Regex* end, bool needs_backslash,
                   int kind) {
  s.pending = PendingString{true, std::string(text), end, needs_backslash, kind, s.line_no};
}

// Step 4: tokens from `pos` to the line end. False when no token matches.
bool tokenize_from(Scanner& s, const std::string& line, std::size_t pos) {
  const ScanPatterns& pat = patterns();
  while (pos < line.size()) {
    std::int64_t ov[6] = {};
    int rc = 0;
    if (regex_exec(pat.pseudo.get(), line.data() + pos, line.size() - pos, ov, 6, &rc) != 1 ||
        ov[1] <= 0) {
      XVP_ERROR(s.log, "Invalid statement: '%s'", line.c_str());
      return false;
    }
    const std::size_t start = pos + static_cast<std::size_t>(ov[2]);
    const std::size_t end = pos + static_cast<std::size_t>(ov[3]);
    pos += static_cast<std::size_t>(ov[1]);
    if (end == start) continue;
    const std::string_view token(line.data() + start, end - start);
    const char initial = token[0];
    if (ascii_is_digit(initial) || (initial == '.' && token.size() > 1)) {
      s.emit(XVP_NUMBER, token);
    } else if (initial == '\r' || initial == '\n') {
      s.emit(s.paren_level < 1 ? XVP_NEWLINE : XVP_NL, token);
    } else if (initial == '#') {
      if (token.back() == '\n') {
        XVP_ERROR(s.log, "Bad tokenizer state");
        return false;
      }
      s.emit(XVP_COMMENT, token);
    } else if (token == "\"\"\"") {
      const std::size_t close = match_end(pat.doubleq3.get(), line, end);
      if (close == std::string::npos) {
        start_pending(s, std::string_view(line).substr(start), pat.doubleq3.get(), false,
                      XVP_STRING);
        return true;
      }
      s.emit(XVP_STRING, std::string_view(line).substr(start, close - start));
      pos = close;
    } else if (initial == '"' || initial == '/') {
      const int kind = initial == '"' ? XVP_STRING : XVP_STRING_REGEX;
      if (token.back() == '\n') {
        start_pending(s, std::string_view(line).substr(start),
                      initial == '"' ? pat.doubleq.get() : pat.end_slash.get(), true, kind);
        return true;
      }
      s.emit(kind, token);
    } else if (ascii_is_alpha(initial) || initial == '_' || initial == '$') {
      s.emit(XVP_NAME, token);
    } else if (initial == '\\') {
      s.continued_statement = true;
    } else {
      s.emit(XVP_OP, token);
      if (initial == '(') ++s.paren_level;
      if (initial == ')') --s.paren_level;
    }
  }
  return true;
}

// Step 1: the line continues a pending string.
bool continue_string(Scanner& s, const std::string& line) {
  const std::size_t close = match_end(s.pending.end, line, 0);
  if (close != std::string::npos) {
    s.pending.text.append(line, 0, close);
    s.emit(s.pending.kind, s.pending.text);
    s.pending = PendingString{};
    return tokenize_from(s, line, close);
  }
  if (s.pending.needs_backslash_end && !ends_with_backslash_line_end(line)) {
    // The string neither ends on this line nor continues to the next: an
    // unterminated string, whose text must never reach a statement.
    XVP_ERROR(s.log, "Unterminated string starting at line %d: '%.60s'", s.pending.first_line,
              s.pending.text.c_str());
    return false;
  }
  s.pending.text += line;
  return true;
}

bool scan_line(Scanner& s, const std::string& line) {
  ++s.line_no;
  if (s.pending.active) return continue_string(s, line);
  if (s.paren_level != 0 || s.continued_statement) {
    s.continued_statement = false;
    return tokenize_from(s, line, 0);
  }
  std::size_t pos = 0;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == '\f')) ++pos;
  if (pos == line.size() || line[pos] == '\r' || line[pos] == '\n') {
    s.emit(XVP_NL, std::string_view(line).substr(pos));
    return true;
  }
  if (line[pos] == '#') {
    std::size_t end = line.size();
    while (end > pos && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
    s.emit(XVP_COMMENT, std::string_view(line).substr(pos, end - pos));
    s.emit(XVP_NL, std::string_view(line).substr(end));
    return true;
  }
  return tokenize_from(s, line, pos);
}

bool is_blank(int c) { return c == ' ' || c == '\t' || c == '\f'; }

enum class LineRead { LINE, LAST_LINE, FAILED };

// The rest of a line that filled XVP_LINE_MAX bytes: it is a blank line when
// it holds nothing but blanks up to its end, else the scan fails.
LineRead finish_long_line(Scanner& s, std::FILE* in, std::string* line) {
  bool blank = true;
  for (char c : *line) blank = blank && is_blank(static_cast<unsigned char>(c));
  std::uint64_t length = line->size();
  int c = 0;
  while (blank && (c = getc_unlocked(in)) != EOF && c != '\n') {
    blank = is_blank(c);
    ++length;
  }
  if (!blank || std::ferror(in)) {
    XVP_ERROR(s.log, "Bad line: len=%llu (line %d is longer than %zu bytes)",
              static_cast<unsigned long long>(length), s.line_no + 1, XVP_LINE_MAX);
    return LineRead::FAILED;
  }
  line->assign(1, '\n');
  return c == EOF ? LineRead::LAST_LINE : LineRead::LINE;
}

// Reads one line with its line feed; the bytes after the last line feed get
// one appended and form the last line.
LineRead read_line(Scanner& s, std::FILE* in, std::string* line) {
  line->clear();
  for (;;) {
    const int c = getc_unlocked(in);
    if (c == EOF) {
      if (std::ferror(in)) {
        LOG_LAST_SYSTEM_ERROR("readline_assign");
        return LineRead::FAILED;
      }
      *line += '\n';
      return LineRead::LAST_LINE;
    }
    *line += static_cast<char>(c);
    if (c == '\n') return LineRead::LINE;
    if (line->size() >= XVP_LINE_MAX) return finish_long_line(s, in, line);
  }
}

// Reserved words in upper case, other names in lower case.
void fold_names(std::vector<xvp_token>* tokens) {
  for (xvp_token& t : *tokens) {
    if (t.kind != XVP_NAME) continue;
    const bool op = xvp_is_keyword_operator(t.text);
    const bool upper = op || xvp_is_reserved_symbol(t.text);
    for (char& c : t.text) c = upper ? ascii_to_upper(c) : ascii_to_lower(c);
    if (op) t.kind = XVP_OP;
  }
}

void form_statements(std::vector<xvp_token>* tokens, XvpScript* statements) {
  XvpStatement current;
  for (xvp_token& t : *tokens) {
    if (t.kind == XVP_NEWLINE) {
      if (!current.empty()) statements->push_back(std::move(current));
      current.clear();
    } else if (t.kind != XVP_COMMENT && t.kind != XVP_NL) {
      current.push_back(std::move(t));
    }
  }
  if (!current.empty()) statements->push_back(std::move(current));
}

int scan_stream(std::FILE* job_log, std::FILE* in, XvpScript* statements) {
  try {
    std::vector<xvp_token> tokens;
    if (!generate_tokens(job_log, in, &tokens)) return 0;
    fold_names(&tokens);
    form_statements(&tokens, statements);
    return 1;
  } catch (const std::bad_alloc&) {
    XVP_ERROR(job_log, "readline_assign: bconcat failed");
    statements->clear();
    return 0;
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int generate_tokens(std::FILE* job_log, std::FILE* in, std::vector<xvp_token>* tokens) {
  if (in == nullptr || tokens == nullptr) {
    XVP_ERROR(job_log, "readline_assign: Bad params");
    return 0;
  }
  if (!patterns().ok()) return 0;
  Scanner s{job_log, tokens, 0, 0, false, PendingString{}};
  std::string line;
  for (;;) {
    const LineRead read = read_line(s, in, &line);
    if (read == LineRead::FAILED || !scan_line(s, line)) return 0;
    if (read == LineRead::LAST_LINE) break;
  }
  if (s.pending.active) {
    XVP_ERROR(job_log, "Unterminated string starting at line %d: '%.60s'", s.pending.first_line,
              s.pending.text.c_str());
    return 0;
  }
  return 1;
}

int xvp_scan(std::FILE* job_log, const char* script_path, XvpScript* statements) {
  if (script_path == nullptr || script_path[0] == '\0') {
    XVP_ERROR(job_log, "No transform script!");
    return 0;
  }
  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(script_path, "re"));
  if (!in) {
    LOG_LAST_SYSTEM_ERROR("Could not open recipe_path='%s' for reading", script_path);
    return 0;
  }
  return scan_stream(job_log, in.get(), statements);
}

int xvp_scan_text(std::FILE* job_log, std::string_view script, XvpScript* statements) {
  if (script.empty()) return 1;
  std::unique_ptr<std::FILE, FileCloser> in(
      fmemopen(const_cast<char*>(script.data()), script.size(), "r"));
  if (!in) {
    LOG_LAST_SYSTEM_ERROR("xvp_scan_text: fmemopen failed");
    return 0;
  }
  return scan_stream(job_log, in.get(), statements);
}
