// The group and code decoders shared by the one-shot filters and the pull
// stages (not for other callers).
#pragma once

#include <cstdint>

// ---- ASCII85 ----

enum class A85Step {
  BYTES,       // a full group (or "z"): `count` bytes
  LAST_BYTES,  // a short group cut by the end mark: `count` bytes, then the end
  END,         // the end mark "~"
  INPUT_END,   // the input ran out (possibly inside a group)
};

struct A85Group {
  A85Step step;
  int count;
  std::uint8_t bytes[4];
};

// Decodes the group at *pos of `in` and moves *pos past it.
[[nodiscard]] A85Group a85_next_group(const std::uint8_t* in, std::uint64_t length,
                                      std::uint64_t* pos);

// ---- LZW ----

inline constexpr int LZW_CLEAR = 256;
inline constexpr int LZW_END = 257;
inline constexpr int LZW_FIRST_FREE = 258;
inline constexpr int LZW_TABLE_SIZE = 4096;
inline constexpr int LZW_MIN_WIDTH = 9;
inline constexpr int LZW_MAX_WIDTH = 12;

struct LzwState {
  std::uint32_t bits;
  int bit_count;
  int width;
  int next;        // next free code
  int prev;        // previous code, -1 right after a clear
  std::uint8_t prev_first;
  int stack_size;  // bytes of the current string not yet written
  std::uint8_t stack[LZW_TABLE_SIZE];
  std::uint16_t prefix[LZW_TABLE_SIZE];
  std::uint8_t last[LZW_TABLE_SIZE];
};

enum class LzwStatus { NEED_INPUT, OUTPUT_FULL, END, BAD_CODE };

// The state as after a clear-table code.
void lzw_reset(LzwState* s);
// Decodes from *in to *out, moving both, until one of them is used up, the
// end-of-data code is read or a code is bad.
[[nodiscard]] LzwStatus lzw_run(LzwState* s, const std::uint8_t** in, const std::uint8_t* in_end,
                                std::uint8_t** out, std::uint8_t* out_end);
