// XML-safe request texts and UTF-8-aware cuts.
#include "server/xml_text.h"

#include <cstdint>
#include <cstring>

#include "foundation/utf8.h"

namespace {

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
