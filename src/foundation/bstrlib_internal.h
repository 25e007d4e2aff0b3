// Checks and size rules shared by the byte-string sources; not for callers.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>

#include "foundation/ascii.h"
#include "foundation/bstrlib.h"

namespace bstr_detail {

// The largest size that balloc accepts: the capacity must stay above it and
// capacities are 32-bit signed.
inline constexpr std::int64_t MAX_NEED = INT_MAX - 1;
// The longest content a string can hold after appending: content plus one
// is the size the appending operations ask balloc for.
inline constexpr std::int64_t MAX_LENGTH = MAX_NEED - 1;

// A string whose content can be read.
inline bool readable(const_bstring b) {
  return b != nullptr && b->data != nullptr && b->slen >= 0;
}

// A string that may be written: positive capacity above its length.
inline bool writable(const_bstring b) {
  return readable(b) && b->mlen > 0 && b->mlen > b->slen;
}

// Whether p points into the allocated storage of the writable string b.
// Compared as integers: relational operators on unrelated pointers are
// undefined.
inline bool inside_storage(const_bstring b, const void* p) {
  auto begin = reinterpret_cast<std::uintptr_t>(b->data);
  auto at = reinterpret_cast<std::uintptr_t>(p);
  return at >= begin && at - begin < static_cast<std::uintptr_t>(b->mlen);
}

// The part of a content of `length` bytes that starts at `left` and runs for
// `len` bytes, clipped to the content: `from` is at least 0, and a `count` of
// 0 or less means no bytes.
struct ClippedRange {
  std::int64_t from;
  std::int64_t count;
};
inline ClippedRange clip_range(std::int64_t length, int left, int len) {
  std::int64_t from = left;
  std::int64_t count = len;
  if (from < 0) {
    count += from;
    from = 0;
  }
  return {from, std::min(count, length - from)};
}

// Capacity for a needed size n (1 <= n <= MAX_NEED): 8 below 8, else the
// least power of two above n, or INT_MAX when that power does not fit.
int snap_capacity(std::int64_t n);

// balloc for a size computed in 64 bits: -1 when it does not fit.
int balloc_wide(bstring b, std::int64_t n);

// New string of len bytes (blk may be null only when len is 0) with a
// capacity of at least min_capacity.
bstring new_string(const void* blk, std::int64_t len, std::int64_t min_capacity);

inline bool in_field(const charField& cf, unsigned char c) {
  return (cf.content[c >> 3] >> (c & 7)) & 1;
}

}  // namespace bstr_detail
