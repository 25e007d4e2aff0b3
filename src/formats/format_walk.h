// The walk the makers' formats share: from offset 0 to the end of the data,
// stopping only at the bytes where one of the format's records can begin
// (memchr from one to the next), under the ParseTimeout limit asked once per
// stride of positions. A format's own tests run at those positions and say
// where the walk goes on. Also the bounded marker test and the code-to-name
// lookup the formats' small tables use.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>

#include "formats/format_skip.h"
#include "scan/byte_cursor.h"
#include "scan/position_timer.h"

// true when a test that names `room` may run at `pos`: more than `room` bytes
// remain from `pos` on, the byte at `pos` included.
[[nodiscard]] constexpr bool walk_has_room(std::uint64_t length, std::uint64_t pos,
                                           std::uint64_t room) {
  return pos < length && length - pos > room;
}

// true when all of `marker` stands at `pos` (false when it would not fit).
[[nodiscard]] inline bool walk_marker_at(ByteSpan data, std::uint64_t pos, ByteSpan marker) {
  if (pos > data.size() || marker.size() > data.size() - pos) return false;
  return marker.empty() || std::memcmp(data.data() + pos, marker.data(), marker.size()) == 0;
}

// The bytes at which a format's tests can hit: up to WALK_MAX_STARTS bytes,
// each found with memchr, or every position (`any`) for a format whose
// tests begin on any byte.
inline constexpr std::size_t WALK_MAX_STARTS = 4;

class WalkStarts {
 public:
  constexpr WalkStarts(std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
      if (count_ < WALK_MAX_STARTS) bytes_[count_++] = b;
    }
  }
  [[nodiscard]] static constexpr WalkStarts any() {
    WalkStarts s{};
    s.any_ = true;
    return s;
  }
  [[nodiscard]] constexpr bool is_any() const { return any_; }
  [[nodiscard]] constexpr std::span<const std::uint8_t> bytes() const {
    return {bytes_.data(), count_};
  }

 private:
  std::array<std::uint8_t, WALK_MAX_STARTS> bytes_{};
  std::size_t count_ = 0;
  bool any_ = false;
};

// The next position at or after `pos` holding a start byte, or the data's
// size. One start byte is found with memchr (remembered, so every stretch
// of the data is searched once however the walk jumps); several with one
// vector pass over the data for all of them together.
class WalkNextStart {
 public:
  WalkNextStart(ByteSpan data, const WalkStarts& starts)
      : data_(data), starts_(starts), set_(starts.bytes()) {}

  [[nodiscard]] std::uint64_t at_or_after(std::uint64_t pos) {
    if (starts_.is_any()) return std::min<std::uint64_t>(pos, data_.size());
    const auto bytes = starts_.bytes();
    if (bytes.size() != 1) return set_.next(data_.data(), data_.size(), pos);
    if (!known_ || next_ < pos) {
      next_ = scan_find_byte(data_, pos, bytes[0]).value_or(data_.size());
      known_ = true;
    }
    return next_;
  }

 private:
  ByteSpan data_;
  WalkStarts starts_;
  FormatByteSet set_;
  std::uint64_t next_ = 0;
  bool known_ = false;
};

// Walks `data` from offset 0 to its end. At each position holding a start
// byte it calls `step(pos)`, which makes the format's tests there and
// returns the position the walk goes on at (pos + 1 when nothing hit; a
// position not past `pos` counts as pos + 1). Returns false when the time
// limit ran out (its lines are logged), true at the end of the data.
template <typename Step>
[[nodiscard]] bool format_walk(ByteSpan data, WalkTimer* timer, const WalkStarts& starts,
                               Step&& step) {
  WalkNextStart next_start(data, starts);
  std::uint64_t pos = 0;
  for (;;) {
    pos = next_start.at_or_after(pos);
    if (pos >= data.size()) return true;
    if (timer->expired(pos)) return false;
    const std::uint64_t next = step(pos);
    pos = next > pos ? next : pos + 1;
  }
}

// The same walk from `from` on, stopping only where one of `pairs` stands:
// for formats whose every test needs its start byte and one more byte
// known in advance, so that frequent start bytes (zeros in raster data)
// stop the walk only where a test could hit.
template <typename Step>
[[nodiscard]] bool format_walk_pairs(ByteSpan data, std::uint64_t from, WalkTimer* timer,
                                     const FormatPairSet& pairs, Step&& step) {
  std::uint64_t pos = from;
  for (;;) {
    pos = pairs.next(data.data(), data.size(), pos);
    if (pos >= data.size()) return true;
    if (timer->expired(pos)) return false;
    const std::uint64_t next = step(pos);
    pos = next > pos ? next : pos + 1;
  }
}

// One row of a format's code table (a byte code and its paper name).
struct WalkCodeName {
  int code;
  const char* name;
};

// The name of the first row with `code`, or nullptr when no row has it.
[[nodiscard]] inline const char* walk_code_name(std::span<const WalkCodeName> table, int code) {
  for (const WalkCodeName& row : table) {
    if (row.code == code) return row.name;
  }
  return nullptr;
}
