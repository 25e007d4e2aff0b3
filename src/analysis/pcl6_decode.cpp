// PackBits and delta-row decoding, one row at a time.
#include "analysis/pcl6_decode.h"

#include <algorithm>
#include <cstring>

#include "foundation/log.h"

namespace {

// Collects decoded bytes into rows and hands each full row to the visitor.
class RowSink {
 public:
  RowSink(std::vector<std::uint8_t>& row, std::uint64_t row_bytes, std::uint64_t max_rows,
          PxlRowVisitor visit, void* context)
      : row_(row), row_bytes_(row_bytes), max_rows_(max_rows), visit_(visit), context_(context) {
    row_.assign(static_cast<std::size_t>(row_bytes), 0);
  }
  // true when no more bytes are wanted.
  [[nodiscard]] bool full() const { return stopped_ || rows_ >= max_rows_; }
  // Appends n copies of `byte` (repeat) or the bytes at `from` (literal).
  void put(const std::uint8_t* from, std::uint8_t byte, std::uint64_t n) {
    while (n > 0 && !full()) {
      const std::uint64_t room = row_bytes_ - fill_;
      const std::uint64_t take = std::min(n, room);
      std::uint8_t* to = row_.data() + fill_;
      if (from != nullptr) {
        std::memcpy(to, from, static_cast<std::size_t>(take));
        from += take;
      } else {
        std::memset(to, byte, static_cast<std::size_t>(take));
      }
      fill_ += take;
      n -= take;
      if (fill_ == row_bytes_) flush();
    }
  }

 private:
  void flush() {
    fill_ = 0;
    ++rows_;
    if (visit_(ByteSpan(row_.data(), row_.size()), context_)) stopped_ = true;
  }

  std::vector<std::uint8_t>& row_;
  std::uint64_t row_bytes_;
  std::uint64_t max_rows_;
  PxlRowVisitor visit_;
  void* context_;
  std::uint64_t fill_ = 0;
  std::uint64_t rows_ = 0;
  bool stopped_ = false;
};

bool row_size_ok(std::uint64_t row_bytes) {
  return row_bytes > 0 && row_bytes <= PXL_MAX_ROW_BYTES;
}

// Offset of one delta command: the low 5 bits, and when they are 31, the
// following bytes are added while each is 255 (the last one below 255 ends
// it). False when the bytes run out.
bool delta_offset(ByteCursor& in, std::uint8_t command, std::uint64_t* offset) {
  *offset = command & 0x1F;
  if (*offset != 31) return true;
  for (;;) {
    std::uint8_t more = 0;
    if (!in.next_u8(&more)) return false;
    *offset += more;
    if (more != 255) return true;
  }
}

// Applies one row's commands to the seed row. False on a bad command.
bool apply_delta_row(ByteSpan commands, std::vector<std::uint8_t>& seed) {
  ByteCursor in(commands);
  std::uint64_t at = 0;
  const std::uint64_t size = seed.size();
  while (!in.at_end()) {
    std::uint8_t command = 0;
    (void)in.next_u8(&command);
    const std::uint64_t count = (command >> 5) + 1u;
    std::uint64_t offset = 0;
    if (!delta_offset(in, command, &offset)) return false;
    ByteSpan bytes;
    if (!in.take(count, &bytes)) {
      LOG_ERROR("Invalid run");
      return false;
    }
    if (offset > size || at > size - offset) return true;  // past the row: nothing more lands
    at += offset;
    const std::uint64_t n = std::min(count, size - at);
    std::memcpy(seed.data() + at, bytes.data(), static_cast<std::size_t>(n));
    at += count;
  }
  return true;
}

}  // namespace

PxlDecodeResult pxl_decode_rle_rows(ByteSpan compressed, std::uint64_t row_bytes,
                                    std::uint64_t max_rows, std::vector<std::uint8_t>& row,
                                    PxlRowVisitor visit, void* context) {
  if (!row_size_ok(row_bytes)) return PxlDecodeResult::BAD_DATA;
  RowSink sink(row, row_bytes, max_rows, visit, context);
  ByteCursor in(compressed);
  while (!sink.full()) {
    std::uint8_t control = 0;
    if (!in.next_u8(&control)) return PxlDecodeResult::SHORT;
    const int n = static_cast<std::int8_t>(control);
    if (n >= 0) {
      ByteSpan literal;
      const std::uint64_t want = static_cast<std::uint64_t>(n) + 1;
      if (!in.take(want, &literal)) {
        sink.put(in.rest().data(), 0, in.remaining());
        return PxlDecodeResult::SHORT;
      }
      sink.put(literal.data(), 0, want);
    } else if (n != -128) {
      std::uint8_t byte = 0;
      if (!in.next_u8(&byte)) return PxlDecodeResult::SHORT;
      sink.put(nullptr, byte, static_cast<std::uint64_t>(1 - n));
    }
  }
  return PxlDecodeResult::DONE;
}

PxlDecodeResult pxl_decode_delta_rows(ByteSpan compressed, std::uint64_t row_bytes,
                                      std::uint64_t max_rows, std::vector<std::uint8_t>& row,
                                      PxlRowVisitor visit, void* context) {
  if (!row_size_ok(row_bytes)) {
    LOG_DEBUG("Invalid seed row length");
    return PxlDecodeResult::BAD_DATA;
  }
  row.assign(static_cast<std::size_t>(row_bytes), 0);
  ByteCursor in(compressed);
  for (std::uint64_t r = 0; r < max_rows; ++r) {
    std::uint16_t count = 0;
    ByteSpan commands;
    if (!in.next_le16(&count) || !in.take(count, &commands)) return PxlDecodeResult::SHORT;
    if (!apply_delta_row(commands, row)) {
      LOG_DEBUG("Error decoding delta row compressed image");
      return PxlDecodeResult::BAD_DATA;
    }
    if (visit(ByteSpan(row.data(), row.size()), context)) break;
  }
  return PxlDecodeResult::DONE;
}
