#include "foundation/utf8.h"

std::size_t utf8_sequence_length(std::string_view rest, std::uint32_t* code_point) {
  if (rest.empty()) return 0;
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

bool utf8_is_valid(std::string_view text) {
  const std::string_view whole = text.substr(0, utf8_complete_length(text));
  std::size_t pos = 0;
  while (pos < whole.size()) {
    std::uint32_t code_point = 0;
    const std::size_t length = utf8_sequence_length(whole.substr(pos), &code_point);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}
