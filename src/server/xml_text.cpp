// XML-safe request texts and UTF-8-aware cuts.
#include "server/xml_text.h"

#include <cstdint>
#include <cstring>

namespace {

// Length of the valid UTF-8 sequence at the start of `rest` (1 to 4), or 0
// when it does not begin one: overlong forms, surrogates, code points above
// U+10FFFF and cut sequences are invalid.
std::size_t utf8_sequence_length(std::string_view rest, std::uint32_t* code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(rest[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (rest.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  std::uint32_t value = lead & (0xFFu >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = (value << 6) | (byte(i) & 0x3Fu);
  }
  *code_point = value;
  return length;
}

bool is_xml_char(std::uint32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  return c != 0xFFFE && c != 0xFFFF;
}

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD";  // U+FFFD

void append_escaped_ascii(std::string& out, char c) {
  switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    default: out += c; break;
  }
}

}  // namespace

std::size_t utf8_cut_length(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text.size();
  std::size_t pos = 0;
  while (pos < max_bytes) {
    std::uint32_t code_point = 0;
    std::size_t length = utf8_sequence_length(text.substr(pos), &code_point);
    if (length == 0) length = 1;
    if (length > max_bytes - pos) break;
    pos += length;
  }
  return pos;
}

std::size_t utf8_complete_length(std::string_view text) {
  constexpr std::size_t MAX_CONTINUATION = 3;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  std::size_t lead = text.size();
  std::size_t continuation = 0;
  while (lead > 0 && continuation < MAX_CONTINUATION && (byte(lead - 1) & 0xC0) == 0x80) {
    --lead;
    ++continuation;
  }
  if (lead == 0) return text.size();
  const std::uint8_t first = byte(lead - 1);
  std::size_t announced = 0;
  if (first >= 0xC2 && first <= 0xDF) announced = 2;
  if (first >= 0xE0 && first <= 0xEF) announced = 3;
  if (first >= 0xF0 && first <= 0xF4) announced = 4;
  return announced > continuation + 1 ? lead - 1 : text.size();
}

char* utf8_safe_strncpy(char* target, const char* source, std::size_t size) {
  if (target == nullptr || size == 0) return target;
  const std::string_view text = source != nullptr ? std::string_view(source) : std::string_view();
  const std::size_t length = utf8_cut_length(text, size - 1);
  if (length > 0) std::memmove(target, text.data(), length);
  target[length] = '\0';
  return target;
}

void xml_append_text(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::uint32_t code_point = 0;
    const std::size_t length = utf8_sequence_length(text.substr(pos), &code_point);
    if (length == 0) {
      // Not UTF-8: most likely a Latin-1 byte, which keeps its meaning this way.
      const auto byte = static_cast<std::uint8_t>(text[pos]);
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
      pos += 1;
      continue;
    }
    if (!is_xml_char(code_point)) {
      out += REPLACEMENT;
    } else if (length == 1) {
      append_escaped_ascii(out, text[pos]);
    } else {
      out.append(text.substr(pos, length));
    }
    pos += length;
  }
}
