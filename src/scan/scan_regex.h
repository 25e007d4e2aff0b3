// A compiled pattern for the job-level readers, owned by the object, whose
// matches are views into the subject (no copies of the groups).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "foundation/regex.h"

// One match: the whole match and groups 1 to 4 as views into the subject
// (empty views for groups that took no part), with the whole match's offset.
struct ScanMatch {
  bool matched = false;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::array<std::string_view, 5> groups{};

  [[nodiscard]] std::string_view group(int n) const { return groups[static_cast<std::size_t>(n)]; }
};

class ScanRegex {
 public:
  ScanRegex(const char* pattern, int options) : regex_(regex_compile(pattern, options)) {}
  // false when the pattern did not compile (logged by the compiler).
  [[nodiscard]] bool ok() const { return regex_ != nullptr; }
  // The first match in `subject` (none when the pattern did not compile).
  [[nodiscard]] ScanMatch match(std::string_view subject) const;

 private:
  RegexPtr regex_;
};

// The first match of `regex` in the bytes from `at` on, at most `window` of
// them (fewer at the end of the data): the window tests of the makers'
// formats, which try an anchored pattern at one position.
[[nodiscard]] inline ScanMatch scan_match_window(const ScanRegex& regex, const std::uint8_t* data,
                                                 std::uint64_t length, std::uint64_t at,
                                                 std::uint64_t window) {
  if (at >= length) return ScanMatch{};
  const std::uint64_t n = length - at < window ? length - at : window;
  return regex.match(std::string_view(reinterpret_cast<const char*>(data + at),
                                      static_cast<std::size_t>(n)));
}
