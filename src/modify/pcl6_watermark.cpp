// The PCL XL watermark stream and its execution (see pcl6_watermark.h).
#include "modify/pcl6_watermark.h"

#include <bit>
#include <cmath>
#include <cstdio>

#include "foundation/log.h"

namespace {

using namespace std::string_view_literals;

// Byte constants with zero bytes carry their length ("..."sv): a view made
// from a plain literal would end at the first zero.
// Measure inch, UnitsPerMeasure 600 x 600, SetPageScale; PenWidth 8,
// SetPenWidth; ColorSpace gray, SetColorSpace.
constexpr std::string_view INIT_STREAM_DATA =
    "\xC0\x00\xF8\x86\xD1\x58\x02\x58\x02\xF8\x89\x77\xC1\x08\x00\xF8\x4B\x7A"
    "\xC0\x01\xF8\x03\x6A"sv;
// NullBrush 0, SetBrushSource.
constexpr std::string_view NULL_BRUSH_DATA = "\xC0\x00\xF8\x04\x63"sv;
// SourceType default, DataOrg binary little-endian, OpenDataSource.
constexpr std::string_view OPEN_DATA_SOURCE_DATA = "\xC0\x00\xF8\x88\xC0\x01\xF8\x82\x48"sv;
constexpr std::string_view COURIER = "Courier         ";
constexpr int SYMBOL_SET_ROMAN8 = 629;
constexpr std::size_t TEXT_MAX = 255;

// Attributes and operators written here.
enum : int {
  ATTR_GRAY_LEVEL = 9,
  ATTR_ROP3 = 44,
  ATTR_POINT = 76,
  ATTR_STREAM_NAME = 139,
  ATTR_STREAM_DATA_LENGTH = 140,
  ATTR_CHAR_ANGLE = 161,
  ATTR_CHAR_SCALE = 164,
  ATTR_CHAR_SHEAR = 165,
  ATTR_CHAR_SIZE = 166,
  ATTR_FONT_NAME = 168,
  ATTR_SYMBOL_SET = 170,
  ATTR_TEXT_DATA = 171,
  ATTR_X_SPACING_DATA = 175,
};
enum : char {
  OP_CLOSE_DATA_SOURCE = 0x49,
  OP_BEGIN_STREAM = 0x5b,
  OP_READ_STREAM = 0x5c,
  OP_END_STREAM = 0x5d,
  OP_EXEC_STREAM = 0x5e,
  OP_POP_GS = 0x60,
  OP_PUSH_GS = 0x61,
  OP_SET_BRUSH_SOURCE = 0x63,
  OP_SET_CHAR_ANGLE = 0x64,
  OP_SET_CHAR_SCALE = 0x65,
  OP_SET_CHAR_SHEAR = 0x66,
  OP_SET_CLIP_TO_PAGE = 0x69,
  OP_SET_CURSOR = 0x6b,
  OP_SET_FONT = 0x6f,
  OP_SET_PAGE_DEFAULT_CTM = 0x74,
  OP_SET_PEN_SOURCE = 0x79,
  OP_SET_ROP = 0x7b,
  OP_CLOSE_SUB_PATH = static_cast<char>(0x84),
  OP_NEW_PATH = static_cast<char>(0x85),
  OP_PAINT_PATH = static_cast<char>(0x86),
  OP_TEXT = static_cast<char>(0xa8),
  OP_TEXT_PATH = static_cast<char>(0xa9),
};

void put_byte(std::string* out, int b) { out->push_back(static_cast<char>(b & 0xff)); }
void put_le16(std::string* out, int v) {
  put_byte(out, v);
  put_byte(out, v >> 8);
}
void put_le32(std::string* out, std::uint32_t v) {
  put_le16(out, static_cast<int>(v & 0xffff));
  put_le16(out, static_cast<int>(v >> 16));
}
void put_float(std::string* out, float v) { put_le32(out, std::bit_cast<std::uint32_t>(v)); }

int checked_byte(int value) {
  if (value < 0 || value > 255) LOG_ERROR("Assertion failed: 0 <= n && n <= 255 (n=%d)", value);
  return value;
}
int checked_sint16(int value) {
  if (value <= -32768 || value >= 32768) {
    LOG_ERROR("Assertion failed: -32768 < n && n < 32768 (n=%d)", value);
    return value < 0 ? -32767 : 32767;
  }
  return value;
}

void put_text_items(std::string* out, const PxlWatermarkText& w, std::string_view text) {
  pxl_put_ubyte_array(out, text);
  pxl_put_attr(out, ATTR_TEXT_DATA);
  // uint16 spacing: a large font's advance does not fit a byte.
  const long spacing = std::lround(w.font_dots / 2);
  pxl_put_uint16_array(out, static_cast<int>(spacing > 65535 ? 65535 : spacing), text.size());
  pxl_put_attr(out, ATTR_X_SPACING_DATA);
}

void put_cursor(std::string* out, const PxlWatermarkText& w) {
  pxl_put_sint16_xy(out, w.x_dots, w.y_dots);
  pxl_put_attr(out, ATTR_POINT);
  out->push_back(OP_SET_CURSOR);
}

void put_font(std::string* out, const PxlWatermarkText& w) {
  pxl_put_ubyte_array(out, COURIER);
  pxl_put_attr(out, ATTR_FONT_NAME);
  pxl_put_real32(out, static_cast<float>(w.font_dots));
  pxl_put_attr(out, ATTR_CHAR_SIZE);
  pxl_put_uint16(out, SYMBOL_SET_ROMAN8);
  pxl_put_attr(out, ATTR_SYMBOL_SET);
  out->push_back(OP_SET_FONT);
  pxl_put_sint16(out, 0);
  pxl_put_attr(out, ATTR_CHAR_ANGLE);
  out->push_back(OP_SET_CHAR_ANGLE);
  pxl_put_real32_xy(out, 1.0f, 1.0f);
  pxl_put_attr(out, ATTR_CHAR_SCALE);
  out->push_back(OP_SET_CHAR_SCALE);
  pxl_put_sint16_xy(out, 0, 0);
  pxl_put_attr(out, ATTR_CHAR_SHEAR);
  out->push_back(OP_SET_CHAR_SHEAR);
}

void put_rop(std::string* out, int rop) {
  pxl_put_ubyte(out, rop);
  pxl_put_attr(out, ATTR_ROP3);
  out->push_back(OP_SET_ROP);
}

std::string stream_body(const PxlWatermarkText& w) {
  std::string body;
  if (!w.descriptor.empty() && w.version > 0) {
    LOG_DEV("Using stream header from original: descriptor='%.*s',version=%d,revision=%d",
            static_cast<int>(w.descriptor.size()), w.descriptor.data(), w.version, w.revision);
    char line[64];
    std::snprintf(line, sizeof line, ") %.*s;%d;%d\n", static_cast<int>(w.descriptor.size()),
                  w.descriptor.data(), w.version, w.revision);
    body += line;
  } else {
    body += ") HP-PCL XL;2;1\n";
  }
  const std::string_view text = w.text.substr(0, TEXT_MAX);
  body += INIT_STREAM_DATA;
  put_font(&body, w);
  put_rop(&body, 240);
  body += NULL_BRUSH_DATA;
  pxl_put_real32(&body, static_cast<float>(w.outline_gray));
  pxl_put_attr(&body, ATTR_GRAY_LEVEL);
  body.push_back(OP_SET_PEN_SOURCE);
  body.push_back(OP_NEW_PATH);
  put_cursor(&body, w);
  put_text_items(&body, w, text);
  body.push_back(OP_TEXT_PATH);
  body.push_back(OP_CLOSE_SUB_PATH);
  body.push_back(OP_PAINT_PATH);
  put_rop(&body, 252);
  pxl_put_real32(&body, static_cast<float>(w.gray));
  pxl_put_attr(&body, ATTR_GRAY_LEVEL);
  body.push_back(OP_SET_BRUSH_SOURCE);
  put_cursor(&body, w);
  put_text_items(&body, w, text);
  body.push_back(OP_TEXT);
  return body;
}

void put_stream_name(std::string* out) {
  pxl_put_ubyte_array(out, PXL_WATERMARK_STREAM);
  pxl_put_attr(out, ATTR_STREAM_NAME);
}

}  // namespace

void pxl_put_ubyte(std::string* out, int value) {
  put_byte(out, 0xc0);
  put_byte(out, checked_byte(value));
}
void pxl_put_uint16(std::string* out, int value) {
  put_byte(out, 0xc1);
  put_le16(out, value);
}
void pxl_put_uint32(std::string* out, std::uint32_t value) {
  put_byte(out, 0xc2);
  put_le32(out, value);
}
void pxl_put_sint16(std::string* out, int value) {
  put_byte(out, 0xc3);
  put_le16(out, checked_sint16(value));
}
void pxl_put_real32(std::string* out, float value) {
  put_byte(out, 0xc5);
  put_float(out, value);
}
void pxl_put_real32_xy(std::string* out, float x, float y) {
  put_byte(out, 0xd5);
  put_float(out, x);
  put_float(out, y);
}
void pxl_put_sint16_xy(std::string* out, int x, int y) {
  put_byte(out, 0xd3);
  put_le16(out, checked_sint16(x));
  put_le16(out, checked_sint16(y));
}
void pxl_put_attr(std::string* out, int attr) {
  put_byte(out, 0xf8);
  put_byte(out, checked_byte(attr));
}
void pxl_put_ubyte_array(std::string* out, std::string_view bytes) {
  put_byte(out, 0xc8);
  if (bytes.size() <= 255) {
    pxl_put_ubyte(out, static_cast<int>(bytes.size()));
  } else {
    pxl_put_uint16(out, static_cast<int>(bytes.size()));
  }
  out->append(bytes);
}
void pxl_put_uint16_array(std::string* out, int value, std::size_t count) {
  put_byte(out, 0xc9);
  if (count <= 255) {
    pxl_put_ubyte(out, static_cast<int>(count));
  } else {
    pxl_put_uint16(out, static_cast<int>(count));
  }
  for (std::size_t i = 0; i < count; ++i) put_le16(out, value);
}

std::string make_watermark_def(const PxlWatermarkText& w) {
  const std::string body = stream_body(w);
  std::string def(OPEN_DATA_SOURCE_DATA);
  put_stream_name(&def);
  def.push_back(OP_BEGIN_STREAM);
  pxl_put_uint32(&def, static_cast<std::uint32_t>(body.size()));
  pxl_put_attr(&def, ATTR_STREAM_DATA_LENGTH);
  def.push_back(OP_READ_STREAM);
  put_byte(&def, 0xfa);
  put_le32(&def, static_cast<std::uint32_t>(body.size()));
  def += body;
  def.push_back(OP_END_STREAM);
  def.push_back(OP_CLOSE_DATA_SOURCE);
  return def;
}

std::string make_watermark_exec() {
  std::string exec;
  exec.push_back(OP_PUSH_GS);
  exec.push_back(OP_SET_PAGE_DEFAULT_CTM);
  exec.push_back(OP_SET_CLIP_TO_PAGE);
  put_stream_name(&exec);
  exec.push_back(OP_EXEC_STREAM);
  exec.push_back(OP_POP_GS);
  return exec;
}
