// XML entity and URL decoding, URL encoding and address-shape tests.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/ascii.h"
#include "foundation/util.h"

namespace {

constexpr std::uint32_t MAX_CODE_POINT = 0x10FFFF;

// Reads the number of a character reference between `digits` and `end` (the
// ";"). Only digits of the base count: no sign, no blanks, at least one
// digit. Values above the Unicode range give false.
bool read_reference_number(const char* digits, const char* end, int base, std::uint32_t* value) {
  if (digits == end) return false;
  std::uint32_t number = 0;
  for (const char* p = digits; p < end; ++p) {
    const int digit = base == 16 ? ascii_hex_value(*p) : (ascii_is_digit(*p) ? *p - '0' : -1);
    if (digit < 0) return false;
    number = number * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    if (number > MAX_CODE_POINT) return false;
  }
  *value = number;
  return true;
}

// Writes the code point as UTF-8; returns the number of bytes (1 to 4).
std::size_t put_utf8(char* out, std::uint32_t cp) {
  auto byte = [](std::uint32_t v) { return static_cast<char>(static_cast<unsigned char>(v)); };
  if (cp < 0x80) {
    out[0] = byte(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = byte(0xC0 | (cp >> 6));
    out[1] = byte(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp <= 0xFFFF) {
    out[0] = byte(0xE0 | (cp >> 12));
    out[1] = byte(0x80 | ((cp >> 6) & 0x3F));
    out[2] = byte(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (cp >> 18));
  out[1] = byte(0x80 | ((cp >> 12) & 0x3F));
  out[2] = byte(0x80 | ((cp >> 6) & 0x3F));
  out[3] = byte(0x80 | (cp & 0x3F));
  return 4;
}

// Decodes the reference that starts at `amp` and ends at `semi` into `out`.
// Returns the bytes written, or 0 when it is no reference we decode. The
// encoding is never longer than the reference, so in-place decoding is safe.
std::size_t decode_reference(const char* amp, const char* semi, char* out) {
  if (amp[1] == '#') {
    const bool hex = amp[2] == 'x' || amp[2] == 'X';
    std::uint32_t cp = 0;
    // A NUL would cut the decoded text, so the reference needs a value of 1
    // at least.
    if (!read_reference_number(amp + (hex ? 3 : 2), semi, hex ? 16 : 10, &cp) || cp == 0) {
      return 0;
    }
    return put_utf8(out, cp);
  }
  struct Entity {
    const char* name;
    char value;
  };
  static constexpr Entity ENTITIES[] = {
      {"apos;", '\''}, {"gt;", '>'}, {"lt;", '<'}, {"amp;", '&'}, {"quot;", '"'}};
  for (const Entity& entity : ENTITIES) {
    if (std::strncmp(amp + 1, entity.name, std::strlen(entity.name)) == 0) {
      out[0] = entity.value;
      return 1;
    }
  }
  return 0;
}

}  // namespace

std::size_t util_xml_decode_entities_utf8(char* target, const char* source) {
  if (target == nullptr) return 0;
  const char* in = source != nullptr ? source : target;
  char* out = target;
  // The next ";" is remembered so that a run of "&" without one stays linear.
  const char* semi = nullptr;
  while (*in != '\0') {
    if (*in != '&') {
      *out++ = *in++;
      continue;
    }
    if (semi == nullptr || semi <= in) semi = std::strchr(in + 1, ';');
    if (semi == nullptr) {
      const std::size_t rest = std::strlen(in);
      std::memmove(out, in, rest);
      out += rest;
      break;
    }
    const std::size_t written = decode_reference(in, semi, out);
    if (written == 0) {
      *out++ = *in++;
    } else {
      out += written;
      in = semi + 1;
    }
  }
  *out = '\0';
  return static_cast<std::size_t>(out - target);
}

char* util_url_encode(const char* text) {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::strlen(text);
  char* out = static_cast<char*>(std::malloc(length * 3 + 1));
  if (out == nullptr) return nullptr;
  static constexpr char HEX[] = "0123456789ABCDEF";
  char* p = out;
  for (const char* s = text; *s != '\0'; ++s) {
    const auto byte = static_cast<unsigned char>(*s);
    if (ascii_is_alnum(*s) || std::strchr("-._~", *s) != nullptr) {
      *p++ = *s;
    } else if (*s == ' ') {
      *p++ = '+';
    } else {
      *p++ = '%';
      *p++ = HEX[byte >> 4];
      *p++ = HEX[byte & 0xF];
    }
  }
  *p = '\0';
  return out;
}

char* util_url_decode(const char* text) {
  if (text == nullptr) return nullptr;
  char* out = util_new_text(text, std::strlen(text));
  if (out == nullptr) return nullptr;
  char* p = out;
  for (const char* s = text; *s != '\0'; ++s) {
    if (*s == '+') {
      *p++ = ' ';
    } else if (*s == '%' && s[1] != '\0' && s[2] != '\0' && ascii_hex_value(s[1]) >= 0 &&
               ascii_hex_value(s[2]) >= 0) {
      *p++ = static_cast<char>((ascii_hex_value(s[1]) << 4) | ascii_hex_value(s[2]));
      s += 2;
    } else {
      *p++ = *s;
    }
  }
  *p = '\0';
  return out;
}

int util_is_ipv4_address(const char* text) {
  if (util_is_string_empty(text)) return 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (!ascii_is_digit(*p) && *p != '.') return 0;
  }
  return 1;
}

int util_is_ipv6_address(const char* text) {
  if (util_is_string_empty(text)) return 0;
  int colons = 0;
  for (const char* p = text; *p != '\0' && *p != '%'; ++p) {
    if (*p == ':') {
      ++colons;
    } else if (*p != '.' && ascii_hex_value(*p) < 0) {
      return 0;
    }
  }
  return colons >= 2;
}

int util_is_ip_address(const char* text) {
  return util_is_ipv4_address(text) || util_is_ipv6_address(text);
}
