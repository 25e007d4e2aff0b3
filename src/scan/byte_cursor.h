// Bounded reading over read-only print data: the one cursor that language
// detection, the page-language analyzers, the makers' formats and the
// spool-file planners walk bytes with. Nothing here reads outside the span it
// was given, whatever the positions, lengths or counts the data claims:
// every read says whether the bytes were there, and positions are 64-bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "foundation/decimal.h"

using ByteSpan = std::span<const std::uint8_t>;

inline ByteSpan scan_bytes(const std::uint8_t* data, std::uint64_t length) {
  return ByteSpan(data, static_cast<std::size_t>(length));
}
inline std::string_view scan_text(ByteSpan bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// ---- Random access ----

// true when `text` lies in `data` at `offset` (false when it would not fit).
[[nodiscard]] inline bool scan_bytes_at(ByteSpan data, std::uint64_t offset,
                                        std::string_view text) {
  if (offset > data.size() || text.size() > data.size() - offset) return false;
  return text.empty() || std::memcmp(data.data() + offset, text.data(), text.size()) == 0;
}
// The same, ASCII letters compared without regard to case.
[[nodiscard]] bool scan_bytes_at_caseless(ByteSpan data, std::uint64_t offset,
                                          std::string_view text);
// true when the letters `lower` (lower-case letters only) stand at `offset`
// in either case: eight bytes at a time, for keys a walk tests at every
// stop. A byte ORed with 0x20 is a given lower-case letter only when it is
// that letter in one case or the other.
[[nodiscard]] inline bool scan_letters_at_caseless(ByteSpan data, std::uint64_t offset,
                                                   std::string_view lower) {
  if (offset > data.size() || lower.size() > data.size() - offset) return false;
  const std::uint8_t* at = data.data() + offset;
  std::size_t i = 0;
  for (; i + 8 <= lower.size(); i += 8) {
    std::uint64_t bytes = 0;
    std::uint64_t letters = 0;
    std::memcpy(&bytes, at + i, 8);
    std::memcpy(&letters, lower.data() + i, 8);
    if ((bytes | 0x2020202020202020U) != letters) return false;
  }
  for (; i < lower.size(); ++i) {
    if ((at[i] | 0x20U) != static_cast<std::uint8_t>(lower[i])) return false;
  }
  return true;
}

// true when a test at `p` that needs `n` bytes below the limit `window`
// ("p < W - n") may run: W must exceed n (no unsigned wrap for small
// windows).
[[nodiscard]] constexpr bool scan_room_below(std::uint64_t p, std::uint64_t window,
                                             std::uint64_t n) {
  return window > n && p < window - n;
}

// Fixed-size numbers at an offset; empty when the bytes are not all there.
[[nodiscard]] std::optional<std::uint16_t> scan_be16_at(ByteSpan data, std::uint64_t offset);
[[nodiscard]] std::optional<std::uint16_t> scan_le16_at(ByteSpan data, std::uint64_t offset);
[[nodiscard]] std::optional<std::uint32_t> scan_be32_at(ByteSpan data, std::uint64_t offset);
[[nodiscard]] std::optional<std::uint32_t> scan_le32_at(ByteSpan data, std::uint64_t offset);

// Offset of the first `byte` / `text` at or after `from`, empty when there is
// none (memchr / memmem speed).
[[nodiscard]] std::optional<std::uint64_t> scan_find_byte(ByteSpan data, std::uint64_t from,
                                                          std::uint8_t byte);
[[nodiscard]] std::optional<std::uint64_t> scan_find(ByteSpan data, std::uint64_t from,
                                                     std::string_view text);
// Offset of the last `byte` / `text` that begins before `before` (memrchr
// for a byte), empty when there is none.
[[nodiscard]] std::optional<std::uint64_t> scan_rfind_byte(ByteSpan data, std::uint64_t before,
                                                           std::uint8_t byte);
[[nodiscard]] std::optional<std::uint64_t> scan_rfind(ByteSpan data, std::uint64_t before,
                                                      std::string_view text);

// ---- Sequential reading ----

class ByteCursor {
 public:
  explicit ByteCursor(ByteSpan data, std::uint64_t pos = 0)
      : data_(data), pos_(pos < data.size() ? pos : data.size()) {}
  ByteCursor(const std::uint8_t* data, std::uint64_t length, std::uint64_t pos = 0)
      : ByteCursor(scan_bytes(data, length), pos) {}

  [[nodiscard]] ByteSpan data() const { return data_; }
  [[nodiscard]] std::uint64_t pos() const { return pos_; }
  [[nodiscard]] std::uint64_t size() const { return data_.size(); }
  [[nodiscard]] std::uint64_t remaining() const { return data_.size() - pos_; }
  [[nodiscard]] bool at_end() const { return pos_ >= data_.size(); }
  // At least n bytes remain.
  [[nodiscard]] bool has(std::uint64_t n) const { return n <= remaining(); }
  // The bytes from the position on, or the next n of them (fewer at the end).
  [[nodiscard]] ByteSpan rest() const { return data_.subspan(pos_); }
  [[nodiscard]] ByteSpan ahead(std::uint64_t n) const {
    return data_.subspan(pos_, n < remaining() ? n : remaining());
  }

  // Moves to `pos`; false (and no move) when it lies past the end.
  bool seek(std::uint64_t pos) {
    if (pos > data_.size()) return false;
    pos_ = pos;
    return true;
  }
  // Moves n bytes on; false (and no move) when fewer than n remain. A length
  // taken from the data is skipped with this, never added by hand.
  bool skip(std::uint64_t n) {
    if (!has(n)) return false;
    pos_ += n;
    return true;
  }
  void skip_to_end() { pos_ = data_.size(); }

  // The byte `ahead` positions on, -1 past the end.
  [[nodiscard]] int peek(std::uint64_t ahead = 0) const {
    return ahead < remaining() ? data_[pos_ + ahead] : -1;
  }
  bool next_u8(std::uint8_t* value) {
    if (at_end()) return false;
    *value = data_[pos_++];
    return true;
  }
  bool next_be16(std::uint16_t* value) { return next(scan_be16_at, 2, value); }
  bool next_le16(std::uint16_t* value) { return next(scan_le16_at, 2, value); }
  bool next_be32(std::uint32_t* value) { return next(scan_be32_at, 4, value); }
  bool next_le32(std::uint32_t* value) { return next(scan_le32_at, 4, value); }
  // Takes the next n bytes; false (and no move) when fewer remain.
  bool take(std::uint64_t n, ByteSpan* bytes) {
    if (!has(n)) return false;
    *bytes = data_.subspan(pos_, n);
    pos_ += n;
    return true;
  }

  [[nodiscard]] bool looking_at(std::string_view text) const {
    return scan_bytes_at(data_, pos_, text);
  }
  [[nodiscard]] bool looking_at_caseless(std::string_view text) const {
    return scan_bytes_at_caseless(data_, pos_, text);
  }
  // Moves past `text` when it is next; false otherwise.
  bool skip_if(std::string_view text) {
    if (!looking_at(text)) return false;
    pos_ += text.size();
    return true;
  }

  // Moves to the next `byte` / `text` at or after the position; false (and a
  // move to the end) when there is none.
  bool find_byte(std::uint8_t byte) { return move_to(scan_find_byte(data_, pos_, byte)); }
  bool find(std::string_view text) { return move_to(scan_find(data_, pos_, text)); }

  // Moves past the bytes for which pred holds; returns how many.
  template <typename Pred>
  std::uint64_t skip_while(Pred pred) {
    const std::uint64_t start = pos_;
    while (pos_ < data_.size() && pred(data_[pos_])) ++pos_;
    return pos_ - start;
  }

  // Reads a decimal integer at the position (see decimal_read) and moves past
  // it; length 0 and no move when none is there.
  DecimalRead read_decimal(DecimalSign sign = DecimalSign::OPTIONAL) {
    const DecimalRead read = decimal_read(rest(), sign);
    pos_ += read.length;
    return read;
  }

 private:
  template <typename T, typename Reader>
  bool next(Reader reader, std::uint64_t width, T* value) {
    const auto read = reader(data_, pos_);
    if (!read) return false;
    *value = *read;
    pos_ += width;
    return true;
  }
  bool move_to(std::optional<std::uint64_t> found) {
    pos_ = found ? *found : data_.size();
    return found.has_value();
  }

  ByteSpan data_;
  std::uint64_t pos_;
};
