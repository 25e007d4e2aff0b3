// Downloaded fonts and characters, and the test whether a coloured brush
// only paints white space (drivers set a colour for the spaces between
// words; such a page prints no colour).
#include <algorithm>
#include <cstring>
#include <string>

#include "analysis/pcl6color_internal.h"
#include "foundation/log.h"

namespace {

// BeginChar sits more than this far into the job.
constexpr std::uint64_t MIN_BEGIN_CHAR_POSITION = 50;
// Longest text shown in development logging.
constexpr std::uint64_t MAX_LOGGED_TEXT = 64;

bool is_blank_code(std::uint32_t c) {
  return c == '\b' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

std::string printable(ByteSpan text) {
  std::string out;
  for (std::uint64_t i = 0; i < text.size() && i < MAX_LOGGED_TEXT; ++i) {
    const std::uint8_t c = text[i];
    out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
  }
  return out;
}

int find_font(const PCL6Color* d, ByteSpan name) {
  for (int i = 0; i < d->num_font_names; ++i) {
    const char* held = d->font_names[i].data();
    if (std::strlen(held) == name.size() && std::memcmp(held, name.data(), name.size()) == 0) {
      return i;
    }
  }
  return -1;
}

// The TextData attribute that ends at `attr_end` (the offset after F8 AB),
// read back no further than `low`.
bool text_is_whitespace(const PCL6Color* d, ByteSpan job, std::uint64_t attr_end,
                        std::uint64_t low) {
  PxlAttr attr;
  if (pxl_read_attrs_before(job, attr_end, attr_end - low, &attr, 1) != 1) return false;
  const PxlValue& v = attr.value;
  const ByteSpan text = job.subspan(v.data, v.size);
  if (v.tag == PXL_TAG_UBYTE_ARRAY) {
    LOG_DEV("Single-byte text array at offset %u: {%s} len=%u", static_cast<unsigned>(v.start),
            printable(text).c_str(), static_cast<unsigned>(v.count));
    for (const std::uint8_t c : text) {
      if (!is_blank_code(c)) return false;
    }
    return true;
  }
  if (v.tag != PXL_TAG_UINT16_ARRAY) {
    LOG_ERROR("Unsupported data array type");
    return false;
  }
  LOG_DEV("Double-byte text array at offset %u: {%s} len=%u", static_cast<unsigned>(v.start),
          printable(text).c_str(), static_cast<unsigned>(v.count));
  const bool glyph_blanks = d->num_chars > PCL6_WHITESPACE_GLYPH_CHARS;
  for (std::uint64_t i = 0; i + 1 < text.size(); i += 2) {
    const std::uint32_t c = text[i] | (std::uint32_t{text[i + 1]} << 8);
    if (c > 0xFF) return false;
    if (!is_blank_code(c) && !(glyph_blanks && c <= 5)) return false;
  }
  return true;
}

}  // namespace

void pcl6color_begin_char(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  if (pos <= MIN_BEGIN_CHAR_POSITION || job[pos - 2] != PXL_ATTR_ID) return;
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, pos, PCL6_COLOR_WINDOW, attrs, PXL_MAX_ATTRS);
  const PxlAttr* a = pxl_find_attr(attrs, n, PXL_ATTR_FONT_NAME);
  if (a == nullptr || a->value.tag != PXL_TAG_UBYTE_ARRAY || a->value.size > PCL6_FONT_NAME_SIZE) {
    return;
  }
  const ByteSpan name = job.subspan(a->value.data, a->value.size);
  const std::string shown = printable(name);
  int index = find_font(d, name);
  if (index < 0) {
    if (d->num_font_names >= PCL6_MAX_FONT_NAMES) {
      LOG_DEBUG("char_beginchar: Too many fonts: num_font_names=%d,name='%s'", d->num_font_names,
                shown.c_str());
      return;
    }
    index = d->num_font_names++;
    auto& slot = d->font_names[index];
    std::memcpy(slot.data(), name.data(), name.size());
    slot[name.size()] = '\0';  // a full 40-byte name is still terminated
    LOG_DEBUG("char_beginchar: font_names[%d]='%s'", index, shown.c_str());
  }
  d->current_font = index;
  LOG_DEV("BeginChar: font_name='%s' at offset=%u", shown.c_str(), static_cast<unsigned>(pos));
}

void pcl6color_read_char(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  if (job[pos - 2] != PXL_ATTR_ID) return;
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, pos, PCL6_COLOR_WINDOW, attrs, PXL_MAX_ATTRS);
  const PxlAttr* code_attr = pxl_find_attr(attrs, n, PXL_ATTR_CHAR_CODE);
  const PxlAttr* size_attr = pxl_find_attr(attrs, n, PXL_ATTR_CHAR_DATA_SIZE);
  if (code_attr == nullptr || size_attr == nullptr) return;
  const auto code = pxl_value_int(job, code_attr->value);
  const auto size = pxl_value_int(job, size_attr->value);
  if (!code || !size) return;
  for (int i = 0; i < d->num_chars; ++i) {
    Pcl6RegisteredChar& c = d->chars[i];
    if (c.code == *code && c.font == d->current_font) {
      c.data_size = *size;
      return;
    }
  }
  if (d->num_chars >= PCL6_MAX_REGISTERED_CHARS) return;
  d->chars[d->num_chars++] = Pcl6RegisteredChar{*code, *size, d->current_font};
  LOG_DEV("ReadChar: char_code=%d,char_data_size=%d,num_registered_chars=%d at offset=%u",
          static_cast<int>(*code), static_cast<int>(*size), d->num_chars,
          static_cast<unsigned>(pos));
}

bool pcl6color_brush_paints_whitespace(const PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  const std::uint64_t last = std::min<std::uint64_t>(pos + PCL6_WHITESPACE_LOOKAHEAD, job.size());
  for (std::uint64_t q = pos + 1; q + 1 < last; ++q) {
    if (job[q] != PXL_ATTR_ID) continue;
    const std::uint8_t id = job[q + 1];
    // A new RGB brush ends the text that this brush paints.
    if (id == PXL_ATTR_RGB_COLOR && q + 2 < job.size() && job[q + 2] == PXL_OP_SET_BRUSH_SOURCE) {
      return false;
    }
    if (id == PXL_ATTR_TEXT_DATA) return text_is_whitespace(d, job, q + 2, pos + 1);
  }
  return false;
}
