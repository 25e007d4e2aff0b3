// Reads a literal prefix from a pattern. Anything this reader does not fully
// understand ends the prefix, so a shorter (or empty) prefix is the only
// possible error and no match is ever rejected wrongly.
#include "foundation/regex_prefix.h"

#include <cstring>

#include "foundation/ascii.h"
#include "foundation/regex.h"

namespace {

// Skips a character class starting at p (just after '['); returns the
// position after its closing ']' or nullptr when the class is not closed.
const char* skip_class(const char* p) {
  if (*p == '^') ++p;
  if (*p == ']') ++p;  // a leading ']' is a member
  while (*p != '\0') {
    if (*p == '\\') {
      if (p[1] == '\0') return nullptr;
      p += 2;
    } else if (*p == '[' && (p[1] == ':' || p[1] == '.' || p[1] == '=')) {
      const char close[3] = {p[1], ']', '\0'};
      const char* end = std::strstr(p + 2, close);
      if (end == nullptr) return nullptr;
      p = end + 2;
    } else if (*p == ']') {
      return p + 1;
    } else {
      ++p;
    }
  }
  return nullptr;
}

// True when the pattern has an alternative at the top level, or holds a
// construct (quoting, comments) whose text this reader does not follow.
bool has_top_level_alternative(const char* p) {
  int depth = 0;
  while (*p != '\0') {
    if (*p == '\\') {
      if (p[1] == 'Q' || p[1] == '\0') return true;
      p += 2;
    } else if (*p == '[') {
      p = skip_class(p + 1);
      if (p == nullptr) return true;
    } else if (*p == '(') {
      if (p[1] == '?' && p[2] == '#') return true;
      ++depth;
      ++p;
    } else if (*p == ')') {
      --depth;
      ++p;
    } else if (*p == '|') {
      if (depth <= 0) return true;
      ++p;
    } else {
      ++p;
    }
  }
  return false;
}

// Reads one literal atom at p: its byte and the text length, or 0 when the
// atom is not a plain literal.
std::size_t read_literal(const char* p, std::uint8_t* byte) {
  const char c = p[0];
  if (c == '\0' || std::strchr("^$.[]|()?*+{}", c) != nullptr) return 0;
  if (c != '\\') {
    *byte = static_cast<std::uint8_t>(c);
    return 1;
  }
  const char e = p[1];
  if (e == '\0') return 0;
  if (!ascii_is_alnum(e)) {
    *byte = static_cast<std::uint8_t>(e);
    return 2;
  }
  switch (e) {
    case 't': *byte = '\t'; return 2;
    case 'n': *byte = '\n'; return 2;
    case 'r': *byte = '\r'; return 2;
    case 'f': *byte = '\f'; return 2;
    case 'e': *byte = 0x1B; return 2;
    case 'x': {
      const int hi = ascii_hex_value(p[2]);
      const int lo = hi < 0 ? -1 : ascii_hex_value(p[3]);
      if (lo < 0) return 0;  // \x takes at most two digits
      *byte = static_cast<std::uint8_t>(hi * 16 + lo);
      return 4;
    }
    default: return 0;
  }
}

}  // namespace

std::size_t regex_literal_prefix(const char* pattern, int options, std::uint8_t* out) {
  if (pattern == nullptr || (options & PCRE_ANCHORED) == 0 || (options & PCRE_EXTENDED) != 0) {
    return 0;
  }
  if (has_top_level_alternative(pattern)) return 0;
  std::size_t length = 0;
  const char* p = pattern;
  while (length < REGEX_PREFIX_MAX) {
    std::uint8_t byte = 0;
    const std::size_t used = read_literal(p, &byte);
    if (used == 0) break;
    // A quantified atom may occur zero or several times: it ends the prefix.
    const char next = p[used];
    if (next == '?' || next == '*' || next == '+' || next == '{') break;
    out[length++] = byte;
    p += used;
  }
  return length;
}
