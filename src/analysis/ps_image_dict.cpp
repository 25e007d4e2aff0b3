// PDF-style images (an image dictionary before the image operator): the
// decode array gives the components, the filter names the encoding, and the
// samples behind the operator are tested.
#include <algorithm>
#include <cstring>

#include "analysis/ps_color.h"
#include "analysis/ps_image.h"
#include "analysis/ps_pdf_stream.h"
#include "analysis/ps_regex.h"
#include "foundation/ascii.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t DICT_END_BACK = 200;
constexpr std::uint64_t DICT_START_BACK = 2000;
constexpr std::uint64_t FILTER_BACK = 150;
constexpr int ABBREVIATED_MIN_KEYS = 6;

struct ImageDict {
  const std::uint8_t* open;   // behind "<<"
  const std::uint8_t* close;  // at ">>"
  [[nodiscard]] std::uint64_t size() const { return static_cast<std::uint64_t>(close - open); }
};

bool image_dict(const std::uint8_t* pos, const std::uint8_t* start, ImageDict* dict) {
  const std::uint8_t* lo = pos - std::min<std::uint64_t>(DICT_END_BACK, pos - start);
  const auto close = scan_rfind(scan_bytes(lo, static_cast<std::uint64_t>(pos - lo)),
                                static_cast<std::uint64_t>(pos - lo), ">>");
  if (!close) return false;
  dict->close = lo + *close;
  dict->open = find_start_dict(start, dict->close, DICT_START_BACK);
  return dict->open != nullptr;
}

// Acrobat 8 writes image dictionaries with one-letter keys.
bool is_abbreviated(const ImageDict& dict) {
  int keys = 0;
  for (const std::uint8_t* p = dict.open; p + 2 < dict.close; ++p) {
    if (*p != '/' || std::strchr("DHMOTW", p[1]) == nullptr) continue;
    if (ascii_is_space(p[2]) || p[2] == '[') ++keys;
  }
  const bool abbreviated = keys >= ABBREVIATED_MIN_KEYS;
  LOG_DEBUG("is_acrobat_8_image_dict: num_keys=%d,is_acrobat_8=%d", keys, abbreviated ? 1 : 0);
  return abbreviated;
}

// The decode array's text, or empty.
std::string_view decode_array(const ImageDict& dict, bool abbreviated) {
  PsMatch m;
  if (ps_match(abbreviated ? PsRe::DECODE_ABBREVIATED : PsRe::DECODE_EXPLICIT, dict.open,
               dict.size(), &m)) {
    LOG_DEV(" Found explicit /Decode array [%.*s]", static_cast<int>(m.text(1).size()),
            m.text(1).data());
    return m.text(1);
  }
  for (const std::uint8_t* p = dict.open; p < dict.close; ++p) {
    if (*p != '[') continue;
    const std::uint8_t* q = p + 1;
    while (q < dict.close && (ascii_is_space(*q) || *q == '0' || *q == '1' || *q == '.')) ++q;
    if (q < dict.close && *q == ']') {
      const std::string_view text(reinterpret_cast<const char*>(p + 1), static_cast<std::size_t>(q - p - 1));
      LOG_DEV(" Found aliased /Decode array [%.*s]", static_cast<int>(text.size()), text.data());
      return text;
    }
  }
  return {};
}

int count_entries(std::string_view text) {
  int entries = 0;
  bool in_entry = false;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (!blank && !in_entry) ++entries;
    in_entry = !blank;
  }
  return entries;
}

// Inline samples of an abbreviated dictionary: -1 when there are none, else
// whether their components differ.
int inline_colour(const ImageDict& dict, int components) {
  const PsRe id = components == 3   ? PsRe::INLINE_DATA_3
                  : components == 4 ? PsRe::INLINE_DATA_4
                  : components == 1 ? PsRe::INLINE_DATA_1
                                    : PsRe::COUNT;
  if (id == PsRe::COUNT) {
    LOG_ERROR("has_inline_data: invalid num_cpts=%d", components);
    return -1;
  }
  PsMatch m;
  if (!ps_match(id, dict.open, dict.size(), &m)) {
    LOG_DEBUG("has_inline_data: no match: num_cpts=%d", components);
    return -1;
  }
  const bool colour = components >= 3 && (m.text(1) != m.text(2) || m.text(2) != m.text(3));
  LOG_DEBUG("has_inline_data: num_cpts=%d,is_color=%d", components, colour ? 1 : 0);
  return colour ? 1 : 0;
}

struct FilterName {
  std::string_view name;
  std::int32_t PSImageParams::*flag;
};
constexpr FilterName FILTERS[] = {
    {"/RunLengthDecode", &PSImageParams::is_rle}, {"/ASCIIHexDecode", &PSImageParams::is_asciihex},
    {"/ASCII85Decode", &PSImageParams::is_ascii85}, {"/FlateDecode", &PSImageParams::is_flate},
    {"/LZWDecode", &PSImageParams::is_lzw},       {"/DCTDecode", &PSImageParams::is_jpeg},
};

// The filters named around the dictionary: false when they cannot be told.
bool read_filters(const ImageDict& dict, const std::uint8_t* start, PSImageParams* params) {
  const std::uint8_t* from = dict.open - std::min<std::uint64_t>(FILTER_BACK + 2, dict.open - start);
  int seen[std::size(FILTERS)] = {};
  int kinds = 0;
  for (const std::uint8_t* p = from; p < dict.close; ++p) {
    if (*p != '/') continue;
    const auto span = scan_bytes(p, static_cast<std::uint64_t>(dict.close - p));
    for (std::size_t f = 0; f < std::size(FILTERS); ++f) {
      if (!scan_bytes_at(span, 0, FILTERS[f].name)) continue;
      LOG_DEV(" Found filter '%.*s':%d at offset %llu", static_cast<int>(FILTERS[f].name.size()),
              FILTERS[f].name.data(), static_cast<int>(f), static_cast<ull>(p - start));
      if (seen[f]++ > 0) {
        LOG_DEV(" UNKNOWN_IMAGE: Found too many '%.*s':%d filters at offset %llu",
                static_cast<int>(FILTERS[f].name.size()), FILTERS[f].name.data(), static_cast<int>(f),
                static_cast<ull>(p - start));
        return false;
      }
      ++kinds;
    }
  }
  const bool encoded_only = kinds == 1 && (seen[1] != 0 || seen[2] != 0);
  if (kinds > 2 || (kinds < 2 && !encoded_only)) {
    LOG_DEV(" UNKNOWN_IMAGE: Could not find a usable set of filters for image: %d in offset "
            "range (%llu,%llu)",
            kinds, static_cast<ull>(from - start), static_cast<ull>(dict.close - start));
    return false;
  }
  for (std::size_t f = 0; f < std::size(FILTERS); ++f) {
    if (seen[f] != 0) params->*FILTERS[f].flag = 1;
  }
  // Samples only encoded as text are raw once decoded.
  if (encoded_only) params->is_raw = 1;
  return true;
}

void copy_marker(char* to, const char* from) {
  std::strncpy(to, from, PS_IMAGE_MARKER_SIZE - 1);
  to[PS_IMAGE_MARKER_SIZE - 1] = 0;
}

}  // namespace

int does_image_contain_color(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                             const std::uint8_t* end, const char* start_marker,
                             const char* end_marker, const std::uint8_t** image_end) {
  LOG_DEBUG("does_image_contain_color(%llu,%s,%s)", static_cast<ull>(pos - start), start_marker,
            end_marker);
  if (color != nullptr && color->is_csa_gray != 0) {
    LOG_DEBUG("does_image_contain_color: is_csa_gray=%d", color->is_csa_gray);
    return PS_IMAGE_GRAY;
  }
  ImageDict dict{};
  if (!image_dict(pos, start, &dict)) return PS_IMAGE_UNKNOWN;
  const bool abbreviated = is_abbreviated(dict);
  const std::string_view decode = decode_array(dict, abbreviated);
  if (decode.empty()) {
    LOG_DEV(" UNKNOWN_IMAGE: Could not find Decode array for image");
    return PS_IMAGE_UNKNOWN;
  }
  const int entries = count_entries(decode);
  LOG_DEV(" Found %d entries in /Decode array", entries);
  if (entries % 2 != 0) {
    LOG_DEV(" UNKNOWN_IMAGE: Decode array with odd length %d", entries);
    return PS_IMAGE_UNKNOWN;
  }
  PSImageParams params{};
  params.num_components = entries / 2;
  const ull offset = static_cast<ull>(pos - start);
  if (params.num_components == 1) {
    LOG_DEBUG(" no color in image at offset=%llu (1 color component => grayscale)", offset);
    return PS_IMAGE_GRAY;
  }
  if (abbreviated) {
    const int inline_data = inline_colour(dict, params.num_components);
    if (inline_data >= 0) {
      LOG_DEBUG(" inline data: has_inline_color=%d at offset=%llu", inline_data, offset);
      return inline_data;
    }
  }
  if (!read_filters(dict, start, &params)) {
    LOG_DEV(" image at offset=%llu has invalid params", offset);
    SetPageUnjudgedFlag(color, pos, start, "an image's filters are not decoded here");
    return PS_IMAGE_UNKNOWN;
  }
  if (params.num_components != 3 && params.num_components != 4) {
    LOG_DEV(" UNKNOWN_IMAGE: unsupported number of color components %d", params.num_components);
    return PS_IMAGE_UNKNOWN;
  }
  copy_marker(params.start_marker, start_marker);
  copy_marker(params.end_marker, end_marker);
  const int result = image_data_has_color(pos, start, end, &params, image_end);
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG(" image at offset=%llu contains color", offset);
  } else if (result == PS_IMAGE_UNKNOWN) {
    SetPageUnjudgedFlag(color, pos, start, "an image's samples do not decode");
  } else {
    LOG_DEBUG(" no color in image at offset=%llu", offset);
  }
  return result;
}
