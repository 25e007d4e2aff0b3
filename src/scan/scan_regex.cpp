#include "scan/scan_regex.h"

ScanMatch ScanRegex::match(std::string_view subject) const {
  ScanMatch m;
  if (!regex_) return m;
  // Five (start, end) pairs use the first two thirds of the vector.
  std::int64_t vector[15];
  int rc = 0;
  if (regex_exec(regex_.get(), subject.data(), subject.size(), vector, 15, &rc) != 1) return m;
  m.matched = true;
  m.start = static_cast<std::uint64_t>(vector[0]);
  m.end = static_cast<std::uint64_t>(vector[1]);
  const int pairs = rc > 0 ? rc : 5;
  for (int g = 0; g < pairs && g < 5; ++g) {
    const std::int64_t s = vector[2 * g];
    const std::int64_t e = vector[2 * g + 1];
    if (s >= 0 && e >= s && static_cast<std::uint64_t>(e) <= subject.size()) {
      m.groups[static_cast<std::size_t>(g)] = subject.substr(static_cast<std::size_t>(s),
                                                             static_cast<std::size_t>(e - s));
    }
  }
  return m;
}
