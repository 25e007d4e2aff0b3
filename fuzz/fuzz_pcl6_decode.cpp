// The PCL XL image row decoders over arbitrary bytes: byte 0 chooses the
// scheme (even: run-length, odd: delta row), bytes 1 and 2 the row size;
// the rest is the compressed data. Every row handed out has the row size,
// no more rows than asked for come out, and nothing outside the input or
// the row is touched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/pcl6_decode.h"

namespace {

constexpr std::uint64_t MAX_ROWS = 64;

struct Check {
  std::uint64_t row_bytes;
  std::uint64_t rows = 0;
};

bool visit(ByteSpan row, void* context) {
  auto* check = static_cast<Check*>(context);
  if (row.size() != check->row_bytes) std::abort();
  ++check->rows;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool delta = (data[0] & 1) != 0;
  const std::uint64_t row_bytes = 1 + (data[1] | (std::uint64_t{data[2]} << 8));
  // An exact-size heap copy so that a one-byte over-read is caught.
  const std::size_t n = size - 3;
  auto* copy = static_cast<std::uint8_t*>(std::malloc(n == 0 ? 1 : n));
  if (copy == nullptr) return 0;
  if (n > 0) std::memcpy(copy, data + 3, n);
  std::vector<std::uint8_t> row;
  Check check{row_bytes};
  const ByteSpan in(copy, n);
  const PxlDecodeResult result =
      delta ? pxl_decode_delta_rows(in, row_bytes, MAX_ROWS, row, visit, &check)
            : pxl_decode_rle_rows(in, row_bytes, MAX_ROWS, row, visit, &check);
  std::free(copy);
  if (check.rows > MAX_ROWS) std::abort();
  if (result == PxlDecodeResult::DONE && !delta && check.rows != MAX_ROWS) std::abort();
  return 0;
}
