#include "analysis/pcl5_command.h"

#include "foundation/ascii.h"
#include "foundation/decimal.h"

namespace {

// Digits of a fraction beyond this are read and dropped.
constexpr int FRACTION_DIGITS = 6;

}  // namespace

bool pcl_read_group(ByteSpan data, std::uint64_t pos, std::uint64_t limit, PclGroup* group) {
  if (limit > data.size()) limit = data.size();
  if (pos >= limit) return false;
  PclGroup g;
  g.value_start = pos;
  const DecimalRead read = decimal_read(data.subspan(pos, limit - pos), DecimalSign::OPTIONAL);
  std::uint64_t p = pos;
  if (read.length > 0) {
    g.value = read.value;
    g.has_digits = true;
    p += read.length;
  } else if (data[p] == '+' || data[p] == '-') {
    ++p;  // a lone sign: the value is 0
  }
  if (p < limit && data[p] == '.') {
    ++p;
    std::uint32_t scale = 100000;
    int digits = 0;
    while (p < limit && ascii_is_digit(data[p])) {
      if (digits++ < FRACTION_DIGITS) {
        g.fraction += static_cast<std::uint32_t>(data[p] - '0') * scale;
        scale /= 10;
      }
      g.has_digits = true;
      ++p;
    }
  }
  if (p >= limit || data[p] < 0x40 || data[p] > 0x7e) return false;
  g.letter = data[p];
  g.end = p + 1;
  *group = g;
  return true;
}
