// ASCII85 and LZW decoding, the one-shot calls and the compressed prolog.
// The pull stages are in ps_filter_stages.cpp; both share the group and code
// decoders declared in ps_filters_internal.h.
#include "analysis/ps_filters.h"

#include <cstring>
#include <new>

#include "analysis/ps_filters_internal.h"
#include "foundation/log.h"

namespace {

constexpr std::uint64_t A85_GROUP_DIGITS = 5;
// A full group needs this much room left after the bytes already written.
constexpr std::uint64_t A85_MIN_ROOM = 5;

bool a85_white(std::uint8_t c) { return c == '\b' || c == '\t' || c == '\n' || c == '\r' || c == ' '; }

}  // namespace

A85Group a85_next_group(const std::uint8_t* in, std::uint64_t length, std::uint64_t* pos) {
  A85Group group{};
  std::uint64_t p = *pos;
  while (p < length && a85_white(in[p])) ++p;
  if (p >= length) {
    *pos = p;
    group.step = A85Step::INPUT_END;
    return group;
  }
  if (in[p] == 'z') {
    *pos = p + 1;
    group.step = A85Step::BYTES;
    group.count = 4;
    return group;
  }
  if (in[p] == '~') {
    *pos = p + 1;
    group.step = A85Step::END;
    return group;
  }
  // Most groups are five digits in a row.
  if (length - p >= A85_GROUP_DIGITS) {
    const std::uint8_t* g = in + p;
    bool plain = true;
    std::uint32_t value = 0;
    for (std::uint64_t i = 0; i < A85_GROUP_DIGITS && plain; ++i) {
      plain = g[i] >= '!' && g[i] <= 'u';
      value = value * 85u + static_cast<std::uint32_t>(g[i] - '!');
    }
    if (plain) {
      *pos = p + A85_GROUP_DIGITS;
      for (int i = 0; i < 4; ++i) group.bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
      group.count = 4;
      group.step = A85Step::BYTES;
      return group;
    }
  }
  // Gather five digit positions, white space passed over.
  std::uint8_t digits[A85_GROUP_DIGITS];
  std::uint64_t n = 0;
  while (n < A85_GROUP_DIGITS && p < length) {
    if (!a85_white(in[p])) digits[n++] = in[p];
    ++p;
  }
  *pos = p;
  // A short group before the end mark: n digits give n - 1 bytes.
  std::uint64_t real = A85_GROUP_DIGITS;
  for (std::uint64_t i = 1; i < n; ++i) {
    if (digits[i] == '~') {
      real = i;
      break;
    }
  }
  if (real == A85_GROUP_DIGITS && n < A85_GROUP_DIGITS) {
    group.step = A85Step::INPUT_END;  // cut off in the middle of a group
    return group;
  }
  std::uint32_t value = 0;
  for (std::uint64_t i = 0; i < A85_GROUP_DIGITS; ++i) {
    const std::uint32_t digit = i < real ? static_cast<std::uint32_t>(digits[i] - '!') : 84u;
    value = value * 85u + digit;
  }
  for (int i = 0; i < 4; ++i) group.bytes[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  group.count = real == A85_GROUP_DIGITS ? 4 : static_cast<int>(real) - 1;
  group.step = real == A85_GROUP_DIGITS ? A85Step::BYTES : A85Step::LAST_BYTES;
  return group;
}

std::int64_t ps_85filter(const std::uint8_t* in, std::uint64_t in_length, std::uint8_t* out,
                         std::uint64_t capacity) {
  if (in == nullptr || in_length == 0 || out == nullptr || capacity < A85_MIN_ROOM) return 0;
  std::uint64_t pos = 0;
  std::uint64_t written = 0;
  while (capacity - written >= A85_MIN_ROOM) {
    const A85Group group = a85_next_group(in, in_length, &pos);
    if (group.step == A85Step::END || group.step == A85Step::INPUT_END) break;
    std::memcpy(out + written, group.bytes, static_cast<std::size_t>(group.count));
    written += static_cast<std::uint64_t>(group.count);
    if (group.step == A85Step::LAST_BYTES) break;
  }
  return static_cast<std::int64_t>(written);
}

std::int64_t ps_find_ascii85_end(const std::uint8_t* data, std::uint64_t length, std::uint64_t from) {
  while (from + 1 < length) {
    const void* tilde = std::memchr(data + from, '~', static_cast<std::size_t>(length - from - 1));
    if (tilde == nullptr) return -1;
    const auto at = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(tilde) - data);
    if (data[at + 1] == '>') return static_cast<std::int64_t>(at);
    from = at + 1;
  }
  return -1;
}

void lzw_reset(LzwState* s) {
  s->next = LZW_FIRST_FREE;
  s->width = LZW_MIN_WIDTH;
  s->prev = -1;
}

namespace {

// Reads the next code; false when the input ran out (the bits are kept).
bool lzw_read_code(LzwState* s, const std::uint8_t** in, const std::uint8_t* in_end, int* code) {
  while (s->bit_count < s->width) {
    if (*in == in_end) return false;
    s->bits = (s->bits << 8) | **in;
    ++*in;
    s->bit_count += 8;
  }
  s->bit_count -= s->width;
  *code = static_cast<int>((s->bits >> s->bit_count) & ((1u << s->width) - 1u));
  s->bits &= (1u << s->bit_count) - 1u;
  return true;
}

// Unwinds the string of `code` onto the stack; false for a broken chain.
bool lzw_unwind(LzwState* s, int code) {
  s->stack_size = 0;
  while (code >= LZW_FIRST_FREE) {
    if (s->stack_size >= LZW_TABLE_SIZE) return false;
    s->stack[s->stack_size++] = s->last[code];
    code = s->prefix[code];
  }
  if (code > 0xff || s->stack_size >= LZW_TABLE_SIZE) return false;
  s->stack[s->stack_size++] = static_cast<std::uint8_t>(code);
  return true;
}

// Adds {prev, first byte} and widens the codes one code early.
void lzw_add_entry(LzwState* s, std::uint8_t first) {
  if (s->next >= LZW_TABLE_SIZE) return;
  s->prefix[s->next] = static_cast<std::uint16_t>(s->prev);
  s->last[s->next] = first;
  ++s->next;
  if (s->next >= (1 << s->width) - 1 && s->width < LZW_MAX_WIDTH) ++s->width;
}

// Decodes one data code (not clear or end); false on a bad code.
bool lzw_decode_code(LzwState* s, int code) {
  if (s->prev < 0) {
    // The first code after a clear is a literal and adds no entry.
    if (code > 0xff) return false;
    s->stack[0] = static_cast<std::uint8_t>(code);
    s->stack_size = 1;
    s->prev = code;
    s->prev_first = static_cast<std::uint8_t>(code);
    return true;
  }
  if (code > s->next) return false;
  if (code == s->next) {
    if (s->next >= LZW_TABLE_SIZE) return false;
    // Not yet in the table: the previous string and its own first byte.
    lzw_add_entry(s, s->prev_first);
    if (!lzw_unwind(s, code)) return false;
  } else {
    if (!lzw_unwind(s, code)) return false;
    lzw_add_entry(s, s->stack[s->stack_size - 1]);
  }
  s->prev = code;
  s->prev_first = s->stack[s->stack_size - 1];
  return true;
}

}  // namespace

LzwStatus lzw_run(LzwState* s, const std::uint8_t** in, const std::uint8_t* in_end,
                  std::uint8_t** out, std::uint8_t* out_end) {
  for (;;) {
    while (s->stack_size > 0) {
      if (*out == out_end) return LzwStatus::OUTPUT_FULL;
      *(*out)++ = s->stack[--s->stack_size];
    }
    int code = 0;
    if (!lzw_read_code(s, in, in_end, &code)) return LzwStatus::NEED_INPUT;
    if (code == LZW_CLEAR) {
      lzw_reset(s);
    } else if (code == LZW_END) {
      return LzwStatus::END;
    } else if (!lzw_decode_code(s, code)) {
      return LzwStatus::BAD_CODE;
    }
  }
}

std::int64_t ps_filter_lzw(const std::uint8_t* in, std::uint64_t in_length, std::uint8_t* out,
                           std::uint64_t capacity, int* end_seen) {
  if (end_seen != nullptr) *end_seen = 0;
  auto state = std::unique_ptr<LzwState>(new (std::nothrow) LzwState{});
  if (state == nullptr) {
    LOG_ERROR("Could not allocate context");
    return -1;
  }
  lzw_reset(state.get());
  const std::uint8_t* p = in;
  std::uint8_t* o = out;
  const LzwStatus status = lzw_run(state.get(), &p, in + in_length, &o, out + capacity);
  if (status == LzwStatus::BAD_CODE) return -1;
  if (status == LzwStatus::END && end_seen != nullptr) *end_seen = 1;
  return o - out;
}

PsDecoded decode_ascii85_lzw(const std::uint8_t* in, std::uint64_t in_length, int ascii85,
                             int lzw) {
  PsDecoded result;
  if (ascii85 == 0 || lzw == 0) return result;
  std::unique_ptr<std::uint8_t[]> binary(new (std::nothrow)
                                             std::uint8_t[PS_PROLOG_DECODE_CAPACITY]);
  std::unique_ptr<std::uint8_t[]> decoded(new (std::nothrow)
                                              std::uint8_t[PS_PROLOG_DECODE_CAPACITY]);
  if (binary == nullptr || decoded == nullptr) {
    LOG_ERROR("Could not allocate memory");
    return result;
  }
  const std::int64_t binary_size =
      ps_85filter(in, in_length, binary.get(), PS_PROLOG_DECODE_CAPACITY);
  int end_seen = 0;
  const std::int64_t size = ps_filter_lzw(binary.get(), static_cast<std::uint64_t>(binary_size),
                                          decoded.get(), PS_PROLOG_DECODE_CAPACITY, &end_seen);
  if (size <= 0) {
    LOG_ERROR("ps_filter_lzw failed");
    return result;
  }
  result.bytes = std::move(decoded);
  result.size = size;
  result.end_seen = end_seen != 0;
  return result;
}

PsDecoded decode_compressed_ps(const std::uint8_t* in, std::uint64_t in_length, int ascii85,
                               int lzw) {
  PsDecoded result = decode_ascii85_lzw(in, in_length, ascii85, lzw);
  if (result.bytes == nullptr) {
    LOG_ERROR("analyze_stream: Could not decode bytes");
  } else if (!result.end_seen) {
    LOG_DEBUG("analyze_stream: decoding incomplete");
  }
  return result;
}
