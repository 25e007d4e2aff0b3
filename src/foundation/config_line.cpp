#include "foundation/config_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "foundation/ascii.h"
#include "foundation/decimal.h"

namespace {

// The blanks of the file format; a tab is deliberately not one of them, so a
// line that starts with a tab is a (never matching) key, not a comment.
bool is_blank(char c) { return c == '\b' || c == '\n' || c == '\r' || c == ' '; }

bool is_line_end(char c) { return c == '\n' || c == '\r'; }

std::string_view skip_leading_blanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && is_blank(s[i])) ++i;
  return s.substr(i);
}

// The value: leading blanks skipped, trailing blanks of the line cut, then
// cut at the first line end (and, when asked, at a second "=").
std::string_view extract_value(std::string_view rest, bool value_ends_at_equals) {
  rest = skip_leading_blanks(rest);
  while (!rest.empty() && is_blank(rest.back())) rest.remove_suffix(1);
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (is_line_end(rest[i]) || (value_ends_at_equals && rest[i] == '=')) {
      return rest.substr(0, i);
    }
  }
  return rest;
}

}  // namespace

ConfigLine config_split_line(std::string_view line, bool value_ends_at_equals) {
  const std::string_view text = skip_leading_blanks(line);
  if (text.empty() || text.front() == '#' || text.front() == ';') {
    return {ConfigLineKind::COMMENT, {}, {}};
  }
  std::size_t eq = 0;
  while (eq < text.size() && text[eq] != '=' && !is_line_end(text[eq])) ++eq;
  if (eq == text.size() || text[eq] != '=') return {ConfigLineKind::NO_EQUALS, {}, {}};
  const std::string_view key = text.substr(0, eq);
  if (key.empty()) return {ConfigLineKind::EMPTY_KEY, {}, {}};
  const std::string_view value = extract_value(text.substr(eq + 1), value_ends_at_equals);
  if (value.empty()) return {ConfigLineKind::EMPTY_VALUE, key, {}};
  return {ConfigLineKind::SETTING, key, value};
}

std::string_view config_line_without_lf(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

bool config_case_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_to_lower(a[i]) != ascii_to_lower(b[i])) return false;
  }
  return true;
}

bool config_read_line(std::FILE* file, char* buffer, std::size_t buffer_size,
                      std::string_view* line, bool* truncated) {
  std::size_t length = 0;
  bool any = false;
  *truncated = false;
  int c = 0;
  while ((c = std::getc(file)) != EOF) {
    any = true;
    if (length + 1 < buffer_size) {
      buffer[length++] = static_cast<char>(c);
    } else {
      *truncated = true;
    }
    if (c == '\n') break;
  }
  if (!any) return false;
  std::string_view whole(buffer, length);
  const std::size_t nul = whole.find('\0');
  *line = nul == std::string_view::npos ? whole : whole.substr(0, nul);
  return true;
}

std::FILE* config_open_regular_file(const char* path) {
  // O_NONBLOCK so that a FIFO planted under the name cannot hang the start.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "r");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

// Blanks and tabs, an optional sign, digits; a negative value (other than
// -0) or one above INT_MAX is refused.
bool config_parse_int(std::string_view text, int* out) {
  std::size_t i = 0;
  while (i < text.size() && ascii_is_blank(text[i])) ++i;
  const DecimalRead read = decimal_read(text.substr(i));
  if (read.length == 0 || read.value < 0 || read.value > INT_MAX) return false;
  *out = static_cast<int>(read.value);
  return true;
}
