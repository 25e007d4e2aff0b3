// Counting one fixed page marker over the whole data: the page evidence of
// the formats whose pages show as nothing but a byte marker.
#pragma once

#include <array>
#include <cstdint>

#include "formats/format_walk.h"

struct MarkerRule {
  ByteSpan marker;     // the marker's bytes
  std::uint64_t room;  // bytes that must remain beyond the marker's first (walk_has_room)
  std::uint64_t next;  // where the walk goes on after a hit, from the marker's first byte
  const char* hit_line;  // debug line per hit, written before the hit's offset
};

// The number of hits (saturated to INT32_MAX) up to the end of the data or
// the time limit, whichever comes first.
[[nodiscard]] int marker_count(ByteSpan data, const MarkerRule& rule, WalkTimer* timer);

// The marker's bytes from a string literal (its terminating zero left out).
template <std::size_t N>
[[nodiscard]] consteval std::array<std::uint8_t, N - 1> marker_bytes(const char (&text)[N]) {
  std::array<std::uint8_t, N - 1> bytes{};
  for (std::size_t i = 0; i + 1 < N; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
  return bytes;
}
