// Byte strings of the planners written to the log, and the append that
// consumes its addition.
#include <cstdio>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "modify/watermark_common.h"

namespace {

// "0x41," per byte.
constexpr std::size_t HEX_PIECE = 5;
// Hexadecimal form kept for one development line, terminator included.
constexpr std::size_t HEX_LOG_SIZE = 2048;

}  // namespace

int byte_seq_to_hex(const std::uint8_t* bytes, std::size_t count, char* out, std::size_t size) {
  if (out == nullptr || size == 0) {
    LOG_ERROR("byte_seq_to_hex called without a buffer");
    return 0;
  }
  std::size_t used = 0;
  out[0] = '\0';
  for (std::size_t i = 0; bytes != nullptr && i < count && size - used > HEX_PIECE; ++i) {
    std::snprintf(out + used, size - used, "0x%02X,", bytes[i]);
    used += HEX_PIECE;
  }
  return 1;
}

int bstring_to_hex(const_bstring b, char* out, std::size_t size) {
  const auto* bytes = b == nullptr ? nullptr : static_cast<const std::uint8_t*>(b->data);
  return byte_seq_to_hex(bytes, static_cast<std::size_t>(blength(b)), out, size);
}

void print_bstring_bytes(const char* label, const_bstring b) {
  if (global_ctx.dev_logging == 0) return;
  char hex[HEX_LOG_SIZE];
  (void)bstring_to_hex(b, hex, sizeof hex);
  LOG_DEV("bstring_bytes:%4s [%2d bytes]{%s}", label == nullptr ? "" : label, blength(b), hex);
}

void print_bstring(int number, const_bstring b) {
  if (global_ctx.debug_logging == 0) return;
  std::string text(bdatae(b, ""), static_cast<std::size_t>(blength(b)));
  for (char& c : text) {
    if (c == '\0') c = '~';
  }
  LOG_DEBUG("bstring:%4d-%2d]'%s'", number, blength(b), text.c_str());
}

int bconcat_destroy(bstring target, bstring addition) {
  if (addition == nullptr) {
    LOG_ERROR("bconcat_destroy passed NULL addition bstring");
    return BSTR_ERR;
  }
  const int result = bconcat(target, addition);
  bdestroy(addition);
  return result;
}
