// Pieces of language detection shared by its source files (not for other
// modules): the byte helpers, the token and ENTER LANGUAGE tables and the
// scan state of one call.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "foundation/matcher.h"

namespace lang_detect {

// The bytes of `text` begin at `offset` of the buffer (false when they would
// run past its end).
inline bool bytes_at(const std::uint8_t* data, std::uint64_t length, std::uint64_t offset,
                     std::string_view text) {
  if (offset > length || text.size() > length - offset) return false;
  return text.empty() || std::memcmp(data + offset, text.data(), text.size()) == 0;
}

// Position p may run a test that reads below the window limit "W - n": W must
// exceed n, and p be below W - n (no unsigned wrap for small windows).
inline bool below(std::uint64_t p, std::uint64_t window, std::uint64_t n) {
  return window > n && p < window - n;
}

// One row of the token table: the matcher's row data, the language it gives
// and a literal that every match must begin with (a cheap prefilter).
struct TokenRow {
  int first_char;
  const char* pattern;
  bool caseless;
  int code;
  std::string_view literal;
  bool literal_caseless;
};

inline constexpr int TOKEN_COUNT = 26;
extern const TokenRow TOKEN_ROWS[TOKEN_COUNT];

// PJL ENTER LANGUAGE names (compared without case) and their codes; 0 for a
// name that is not listed.
[[nodiscard]] int enter_language_code(std::string_view name);

// The compiled token table of the calling thread, or nullptr when a pattern
// does not compile (logged once per attempt).
[[nodiscard]] const MatchToken* compiled_tokens();

// The flags and counters of one detection.
struct ScanState {
  std::uint64_t control_bytes = 0;
  bool dell = false;
  bool empty_pcl5 = false;
  bool could_be_canon_pcl5 = false;
  bool is_canon = false;
  bool km_jbig = false;
  bool epson_ijdriver = false;
  bool sharp = false;
};

// Stage D: the forward scan of the first `window` bytes with the call's own
// copy of the token table. Returns the decided code or 0.
[[nodiscard]] int scan_window(const std::uint8_t* data, std::uint64_t window, MatchToken* tokens,
                              ScanState& state);

}  // namespace lang_detect
