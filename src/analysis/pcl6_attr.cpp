// Backward reading of PCL XL attribute lists. A value is recognised by its
// tag at the place its size puts it; arrays by a C0 or C1 length that
// matches the distance walked. Several readings can fit the same bytes (a
// uint16 whose low byte is C0 also reads as a ubyte), so a reading that is
// itself preceded by another attribute (F8 id) is preferred.
#include "analysis/pcl6_attr.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace {

// Tags of fixed-size values and their total value size (without the tag).
struct FixedTag {
  std::uint8_t tag;
  std::uint32_t element;
  std::uint32_t count;
};
constexpr FixedTag FIXED_TAGS[] = {
    {0xC0, 1, 1}, {0xC1, 2, 1}, {0xC2, 4, 1}, {0xC3, 2, 1}, {0xC4, 4, 1}, {0xC5, 4, 1},
    {0xD0, 1, 2}, {0xD1, 2, 2}, {0xD2, 4, 2}, {0xD3, 2, 2}, {0xD4, 4, 2}, {0xD5, 4, 2},
    {0xE0, 1, 4}, {0xE1, 2, 4}, {0xE2, 4, 4}, {0xE3, 2, 4}, {0xE4, 4, 4}, {0xE5, 4, 4},
};

// A reading counts as anchored when another attribute ends right before it.
bool anchored(ByteSpan data, std::uint64_t start) {
  return start >= 2 && data[start - 2] == PXL_ATTR_ID;
}

// A fixed-size value that ends at `end` and starts no lower than `low`.
std::optional<PxlValue> fixed_value_before(ByteSpan data, std::uint64_t end, std::uint64_t low,
                                           bool want_anchored) {
  for (const FixedTag& f : FIXED_TAGS) {
    const std::uint64_t size = std::uint64_t{f.element} * f.count;
    if (end < low + size + 1) continue;
    const std::uint64_t start = end - size - 1;
    if (data[start] != f.tag) continue;
    if (want_anchored && !anchored(data, start)) continue;
    return PxlValue{f.tag, start, start + 1, size, f.count, f.element};
  }
  return std::nullopt;
}

// Arrays that end at `end`: a tag, a C0 or C1 length, then exactly length x
// element bytes. One backward pass finds the nearest header and the nearest
// anchored one.
struct ArrayReadings {
  std::optional<PxlValue> nearest;
  std::optional<PxlValue> anchored;
};

ArrayReadings arrays_before(ByteSpan data, std::uint64_t end, std::uint64_t low) {
  ArrayReadings found;
  if (end < low + 3) return found;
  for (std::uint64_t s = end - 3;; --s) {
    const std::uint8_t tag = data[s];
    if (pxl_tag_is_array(tag)) {
      const std::uint32_t element = pxl_tag_element_size(tag);
      const std::uint8_t length_tag = data[s + 1];
      std::uint64_t count = 0;
      std::uint64_t header = 0;
      if (length_tag == PXL_TAG_UBYTE) {
        count = data[s + 2];
        header = 3;
      } else if (length_tag == PXL_TAG_UINT16 && s + 4 <= end) {
        count = data[s + 2] | (std::uint64_t{data[s + 3]} << 8);
        header = 4;
      }
      if (header != 0 && s + header + count * element == end) {
        const PxlValue v{tag, s, s + header, count * element, count, element};
        if (!found.nearest) found.nearest = v;
        if (anchored(data, s)) {
          found.anchored = v;
          return found;
        }
      }
    }
    if (s == low) break;
  }
  return found;
}

// An empty array (C8 C0 00) ends with bytes that also read as the ubyte 0
// (C0 00); with an array tag right before, the array is meant.
std::optional<PxlValue> empty_array_instead(ByteSpan data, const PxlValue& v, std::uint64_t low) {
  if ((v.tag != PXL_TAG_UBYTE && v.tag != PXL_TAG_UINT16) || v.start <= low) return std::nullopt;
  const std::uint8_t before = data[v.start - 1];
  if (!pxl_tag_is_array(before)) return std::nullopt;
  for (std::uint64_t i = 0; i < v.size; ++i) {
    if (data[v.data + i] != 0) return std::nullopt;
  }
  return PxlValue{before, v.start - 1, v.data + v.size, 0, 0, pxl_tag_element_size(before)};
}

std::optional<PxlValue> value_before(ByteSpan data, std::uint64_t end, std::uint64_t low) {
  if (auto v = fixed_value_before(data, end, low, true)) {
    if (auto empty = empty_array_instead(data, *v, low)) return empty;
    return v;
  }
  const ArrayReadings arrays = arrays_before(data, end, low);
  if (arrays.anchored) return arrays.anchored;
  if (auto v = fixed_value_before(data, end, low, false)) {
    if (auto empty = empty_array_instead(data, *v, low)) return empty;
    return v;
  }
  return arrays.nearest;
}

std::uint32_t le_bits(ByteSpan data, std::uint64_t at, std::uint32_t width) {
  std::uint32_t v = 0;
  for (std::uint32_t i = 0; i < width; ++i) v |= std::uint32_t{data[at + i]} << (8 * i);
  return v;
}

// Signed tags: C3, C4 and their arrays, pairs and boxes (CB, CC, D3, D4,
// E3, E4); real32: C5, CD, D5, E5.
bool tag_is_signed(std::uint8_t tag) {
  const std::uint8_t low = tag & 0x0F;
  return low == 3 || low == 4 || tag == 0xCB || tag == 0xCC;
}
bool tag_is_real(std::uint8_t tag) { return tag == 0xC5 || tag == 0xCD || tag == 0xD5 || tag == 0xE5; }

}  // namespace

std::uint32_t pxl_tag_element_size(std::uint8_t tag) {
  switch (tag) {
    case 0xC0: case 0xC8: case 0xD0: case 0xE0: return 1;
    case 0xC1: case 0xC3: case 0xC9: case 0xCB: case 0xD1: case 0xD3: case 0xE1: case 0xE3:
      return 2;
    case 0xC2: case 0xC4: case 0xC5: case 0xCA: case 0xCC: case 0xCD: case 0xD2: case 0xD4:
    case 0xD5: case 0xE2: case 0xE4: case 0xE5:
      return 4;
    default: return 0;
  }
}

bool pxl_tag_is_array(std::uint8_t tag) { return tag >= 0xC8 && tag <= 0xCD; }

bool pxl_is_tag_byte(std::uint8_t b) {
  return (b >= 0xC0 && b <= 0xC5) || (b >= 0xC8 && b <= 0xCD) || (b >= 0xD0 && b <= 0xD5) ||
         (b >= 0xE0 && b <= 0xE5) || (b >= 0xF8 && b <= 0xFB);
}

int pxl_read_attrs_before(ByteSpan data, std::uint64_t op, std::uint64_t window, PxlAttr* out,
                          int max) {
  if (op > data.size()) return 0;
  const std::uint64_t low = op > window ? op - window : 0;
  std::uint64_t end = op;
  int n = 0;
  while (n < max && end >= low + 2 && data[end - 2] == PXL_ATTR_ID) {
    const std::uint8_t id = data[end - 1];
    const auto value = value_before(data, end - 2, low);
    if (!value) break;
    out[n++] = PxlAttr{id, *value};
    end = value->start;
  }
  return n;
}

const PxlAttr* pxl_find_attr(const PxlAttr* attrs, int n, std::uint8_t id) {
  for (int i = 0; i < n; ++i) {
    if (attrs[i].id == id) return &attrs[i];
  }
  return nullptr;
}

std::optional<std::int64_t> pxl_value_int(ByteSpan data, const PxlValue& value) {
  if (value.count != 1 || pxl_tag_is_array(value.tag) || tag_is_real(value.tag)) {
    return std::nullopt;
  }
  if (value.data + value.size > data.size()) return std::nullopt;
  const std::uint32_t bits = le_bits(data, value.data, value.element);
  if (!tag_is_signed(value.tag)) return std::int64_t{bits};
  if (value.element == 2) return std::int64_t{static_cast<std::int16_t>(bits)};
  return std::int64_t{static_cast<std::int32_t>(bits)};
}

std::optional<double> pxl_value_number(ByteSpan data, const PxlValue& value,
                                       std::uint64_t index) {
  if (index >= value.count || value.element == 0) return std::nullopt;
  const std::uint64_t at = value.data + index * value.element;
  if (at > data.size() || value.element > data.size() - at) return std::nullopt;
  const std::uint32_t bits = le_bits(data, at, value.element);
  if (tag_is_real(value.tag)) {
    const float f = std::bit_cast<float>(bits);
    return std::isfinite(f) ? std::optional<double>(f) : std::nullopt;
  }
  if (!tag_is_signed(value.tag)) return static_cast<double>(bits);
  if (value.element == 1) return static_cast<double>(static_cast<std::int8_t>(bits));
  if (value.element == 2) return static_cast<double>(static_cast<std::int16_t>(bits));
  return static_cast<double>(static_cast<std::int32_t>(bits));
}

std::optional<std::uint64_t> pxl_embedded_data_end(ByteSpan data, std::uint64_t op) {
  const std::uint64_t tag = op + 1;
  if (tag >= data.size()) return std::nullopt;
  std::uint64_t length = 0;
  std::uint64_t start = 0;
  if (data[tag] == PXL_DATA_LENGTH) {
    const auto n = scan_le32_at(data, tag + 1);
    if (!n) return std::nullopt;
    length = *n;
    start = tag + 5;
  } else if (data[tag] == PXL_DATA_LENGTH_BYTE) {
    if (tag + 1 >= data.size()) return std::nullopt;
    length = data[tag + 1];
    start = tag + 2;
  } else {
    return std::nullopt;
  }
  if (start > data.size() || length > data.size() - start) return std::nullopt;
  return start + length;
}
