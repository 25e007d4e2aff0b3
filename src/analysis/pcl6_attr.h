// PCL XL attribute lists read backwards from their operator.
//
// PCL XL writes an operator's attributes before it: each attribute is a
// typed value followed by F8 and the attribute's id, and the operator byte
// comes last. The analyzers do not tokenise the whole stream; at an
// operator byte they read the list that ends there, walking back from the
// operator value by value. Every read stays inside the buffer and inside a
// window below the operator, whatever the bytes claim.
//
//   PxlAttr attrs[PXL_MAX_ATTRS];
//   const int n = pxl_read_attrs_before(data, op, 46, attrs, PXL_MAX_ATTRS);
//   if (const PxlAttr* a = pxl_find_attr(attrs, n, PXL_ATTR_ORIENTATION)) ...
#pragma once

#include <cstdint>
#include <optional>

#include "scan/byte_cursor.h"

// Tags of the PCL XL binding this reader knows.
inline constexpr std::uint8_t PXL_TAG_UBYTE = 0xC0;
inline constexpr std::uint8_t PXL_TAG_UINT16 = 0xC1;
inline constexpr std::uint8_t PXL_TAG_UINT32 = 0xC2;
inline constexpr std::uint8_t PXL_TAG_UBYTE_ARRAY = 0xC8;
inline constexpr std::uint8_t PXL_TAG_UINT16_ARRAY = 0xC9;
inline constexpr std::uint8_t PXL_TAG_UINT16_XY = 0xD1;
inline constexpr std::uint8_t PXL_TAG_REAL32_XY = 0xD5;
inline constexpr std::uint8_t PXL_ATTR_ID = 0xF8;  // a one-byte attribute id follows
inline constexpr std::uint8_t PXL_DATA_LENGTH = 0xFA;        // 4-byte length, then data
inline constexpr std::uint8_t PXL_DATA_LENGTH_BYTE = 0xFB;   // 1-byte length, then data

// Attribute ids used by the analyzer and the colour detector.
enum PxlAttrId : std::uint8_t {
  PXL_ATTR_PALETTE_DEPTH = 0x02,
  PXL_ATTR_COLOR_SPACE = 0x03,
  PXL_ATTR_PALETTE_DATA = 0x06,
  PXL_ATTR_RGB_COLOR = 0x0B,
  PXL_ATTR_PRIMARY_ARRAY = 0x0E,
  PXL_ATTR_MEDIA_SIZE = 0x25,
  PXL_ATTR_ORIENTATION = 0x28,
  PXL_ATTR_CUSTOM_MEDIA_SIZE = 0x2F,
  PXL_ATTR_CUSTOM_MEDIA_SIZE_UNITS = 0x30,
  PXL_ATTR_PAGE_COPIES = 0x31,
  PXL_ATTR_DUPLEX_PAGE_MODE = 0x35,
  PXL_ATTR_COLOR_DEPTH = 0x62,
  PXL_ATTR_BLOCK_HEIGHT = 0x63,
  PXL_ATTR_COLOR_MAPPING = 0x64,
  PXL_ATTR_COMPRESS_MODE = 0x65,
  PXL_ATTR_SOURCE_HEIGHT = 0x6B,
  PXL_ATTR_SOURCE_WIDTH = 0x6C,
  PXL_ATTR_START_LINE = 0x6D,
  PXL_ATTR_PAD_BYTES_MULTIPLE = 0x6E,
  PXL_ATTR_COMMENT_DATA = 0x81,
  PXL_ATTR_VU_DATA_LENGTH = 0x92,
  PXL_ATTR_CHAR_CODE = 0xA2,
  PXL_ATTR_CHAR_DATA_SIZE = 0xA3,
  PXL_ATTR_FONT_NAME = 0xA8,
  PXL_ATTR_TEXT_DATA = 0xAB,
};

// Operators the analyzer and the detector look at.
enum PxlOperator : std::uint8_t {
  PXL_OP_BEGIN_PAGE = 0x43,
  PXL_OP_END_PAGE = 0x44,
  PXL_OP_VENDOR_UNIQUE = 0x46,
  PXL_OP_COMMENT = 0x47,
  PXL_OP_CLOSE_DATA_SOURCE = 0x49,
  PXL_OP_READ_FONT_HEADER = 0x50,
  PXL_OP_BEGIN_CHAR = 0x52,
  PXL_OP_READ_CHAR = 0x53,
  PXL_OP_READ_STREAM = 0x5C,
  PXL_OP_SET_BRUSH_SOURCE = 0x63,
  PXL_OP_SET_COLOR_SPACE = 0x6A,
  PXL_OP_SET_PEN_SOURCE = 0x79,
  PXL_OP_BEGIN_IMAGE = 0xB0,
  PXL_OP_READ_IMAGE = 0xB1,
  PXL_OP_END_IMAGE = 0xB2,
  PXL_OP_READ_RAST_PATTERN = 0xB4,
  PXL_OP_SCAN_LINE_REL = 0xB9,
};

// One typed value of an attribute list.
struct PxlValue {
  std::uint8_t tag = 0;       // data type tag (C0-CD, D0-D5, E0-E5)
  std::uint64_t start = 0;    // offset of the tag
  std::uint64_t data = 0;     // offset of the value's bytes (array elements)
  std::uint64_t size = 0;     // bytes of the value (all array elements)
  std::uint64_t count = 1;    // numbers in it: array length, 2 for xy, 4 for box
  std::uint32_t element = 1;  // bytes per number
};

struct PxlAttr {
  std::uint8_t id = 0;
  PxlValue value;
};

// Most attributes of one operator that are read.
inline constexpr int PXL_MAX_ATTRS = 16;

// Bytes per number of a data type tag (0 for a byte that is no tag), and
// whether the tag is an array tag.
[[nodiscard]] std::uint32_t pxl_tag_element_size(std::uint8_t tag);
[[nodiscard]] bool pxl_tag_is_array(std::uint8_t tag);
// true for a data type or attribute tag: C0-C5, C8-CD, D0-D5, E0-E5, F8-FB.
[[nodiscard]] bool pxl_is_tag_byte(std::uint8_t byte);

// Reads the attribute list that ends at offset `op` (the operator's byte),
// nearest attribute first, into `out` (at most `max`). The walk never goes
// below op - window. Returns the number read.
[[nodiscard]] int pxl_read_attrs_before(ByteSpan data, std::uint64_t op, std::uint64_t window,
                                        PxlAttr* out, int max);

// The first attribute with `id` among `n` read attributes, or nullptr.
[[nodiscard]] const PxlAttr* pxl_find_attr(const PxlAttr* attrs, int n, std::uint8_t id);

// The value as an integer: unsigned and signed scalars of 1, 2 and 4 bytes.
// Empty for arrays, pairs, boxes and real numbers.
[[nodiscard]] std::optional<std::int64_t> pxl_value_int(ByteSpan data, const PxlValue& value);
// Number `index` of an array, pair or box of integers or real32 (truncated
// toward zero for real numbers, unsaturated reals clamped to the int64
// range); empty when there is no such number.
[[nodiscard]] std::optional<double> pxl_value_number(ByteSpan data, const PxlValue& value,
                                                     std::uint64_t index);

// Where the embedded data of the operator at `op` ends: the operator must be
// followed by FA (4-byte little-endian length) or FB (1-byte length) and the
// data must lie inside the buffer. Empty otherwise.
[[nodiscard]] std::optional<std::uint64_t> pxl_embedded_data_end(ByteSpan data, std::uint64_t op);
