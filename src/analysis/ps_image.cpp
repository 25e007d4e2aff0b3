// The pixel test, the image data pipeline and the palette tests.
#include "analysis/ps_image.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "analysis/ps_filters.h"
#include "analysis/ps_regex.h"
#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

// Samples are tested in pieces that grow from the first to the largest:
// most colour images show colour in their first pixels, and the stages
// decode only what is asked of them.
constexpr std::uint64_t FIRST_PIECE = 256;
constexpr std::uint64_t PIECE = 16384;
// How much of an image's encoded and inflated data is looked at: a first
// pass with the normal limits, a second with the full ones for a raster
// that showed a single pixel value.
constexpr std::uint64_t ASCII85_LIMIT = std::uint64_t{1} << 20;
constexpr std::uint64_t ASCII85_LIMIT_FULL = std::uint64_t{4} << 20;
constexpr std::uint64_t INFLATE_LIMIT = std::uint64_t{512} << 10;
constexpr std::uint64_t INFLATE_LIMIT_FULL = std::uint64_t{6} << 20;
constexpr std::uint64_t PALETTE_LIMIT = std::uint64_t{512} << 10;
constexpr std::uint64_t PALETTE_WALK_BACK = 3000;
constexpr int PALETTE_MIN_DIGITS = 100;

// A palette entry "rrggbb": its three components differ (as values, so
// "ff" and "FF" are the same).
bool palette_entry_coloured(const PsMatch& m) {
  auto value = [&](int g) { return ascii_hex_value(m.text(g)[0]) * 16 + ascii_hex_value(m.text(g)[1]); };
  return value(1) != value(2) || value(2) != value(3);
}

// Pixels tested at a time before the first colour one is looked for
// pixel by pixel: a block's components are compared without a branch.
constexpr std::uint64_t PIXEL_BLOCK = 16;

// Whether the pixel at `px` is colour: its components differ (for CMYK,
// unless its black is saturated).
bool pixel_is_colour(const std::uint8_t* px, std::uint64_t components) {
  const bool differ = px[0] != px[1] || px[1] != px[2];
  return components == 3 ? differ : differ && px[3] != 0xff;
}

// The offset of the first colour pixel of the whole pixels in
// [p, p + length), or `length`.
template <std::uint64_t C>
std::uint64_t first_colour_pixel(const std::uint8_t* p, std::uint64_t length) {
  std::uint64_t i = 0;
  for (; i + PIXEL_BLOCK * C <= length; i += PIXEL_BLOCK * C) {
    unsigned any = 0;
    for (std::uint64_t q = i; q < i + PIXEL_BLOCK * C; q += C) {
      const unsigned differ = static_cast<unsigned>((p[q] ^ p[q + 1]) | (p[q + 1] ^ p[q + 2]));
      any |= C == 3 ? differ : static_cast<unsigned>(differ != 0 && p[q + 3] != 0xff);
    }
    if (any != 0) break;
  }
  for (; i < length; i += C) {
    if (pixel_is_colour(p + i, C)) return i;
  }
  return length;
}

// The pixel test over samples fed in pieces.
class PixelTest {
 public:
  explicit PixelTest(int components) : components_(static_cast<std::uint64_t>(components)) {}
  // true once a coloured pixel was seen.
  bool feed(const std::uint8_t* data, std::uint64_t n) {
    std::uint64_t i = 0;
    while (partial_ > 0 && partial_ < sizeof pixel_ && i < n) {
      pixel_[partial_++] = data[i++];
      if (partial_ == components_) {
        partial_ = 0;
        if (pixels(pixel_, components_)) return true;
      }
    }
    const std::uint64_t whole = (n - i) / components_ * components_;
    if (whole > 0 && pixels(data + i, whole)) return true;
    for (i += whole; i < n && partial_ < sizeof pixel_; ++i) pixel_[partial_++] = data[i];
    return false;
  }
  [[nodiscard]] bool colour() const { return colour_; }
  [[nodiscard]] bool uniform() const { return uniform_; }
  [[nodiscard]] std::uint64_t pixels() const { return pixels_; }

 private:
  // Whole pixels: up to the first colour one, each is counted and compared
  // with the job's first pixel.
  bool pixels(const std::uint8_t* p, std::uint64_t length) {
    const std::uint64_t c = components_;
    const std::uint64_t colour = c == 3 ? first_colour_pixel<3>(p, length) : first_colour_pixel<4>(p, length);
    const std::uint64_t tested = colour < length ? colour + c : length;
    if (pixels_ == 0) std::memcpy(first_, p, static_cast<std::size_t>(c));
    for (std::uint64_t q = 0; uniform_ && q < tested; q += c) {
      uniform_ = std::memcmp(p + q, first_, static_cast<std::size_t>(c)) == 0;
    }
    pixels_ += tested / c;
    if (colour == length) return false;
    const std::uint8_t* px = p + colour;
    if (c == 3) {
      LOG_DEBUG("  Found rgb color in raster image at offset=%llu: %2.2x, %2.2x, %2.2x",
                static_cast<ull>((pixels_ - 1) * 3), px[0], px[1], px[2]);
    } else {
      LOG_DEBUG("  Found cmyk color in raster image at offset=%llu: %2.2x, %2.2x, %2.2x, %2.2x",
                static_cast<ull>((pixels_ - 1) * 4), px[0], px[1], px[2], px[3]);
    }
    return colour_ = true;
  }
  std::uint64_t components_;
  std::uint64_t partial_ = 0;
  std::uint8_t pixel_[4] = {};
  std::uint8_t first_[4] = {};
  std::uint64_t pixels_ = 0;
  bool uniform_ = true;
  bool colour_ = false;
};

// Feeds a stage to the pixel test. 1 colour, 0 not, -1 when the stage
// failed without showing colour.
int test_source(PsByteSource* source, int components, int* uniform) {
  if (uniform != nullptr) *uniform = 1;
  if (source == nullptr || (components != 3 && components != 4)) return PS_IMAGE_UNKNOWN;
  std::uint8_t piece[PIECE];
  PixelTest test(components);
  for (std::uint64_t size = FIRST_PIECE;; size = std::min(size * 2, PIECE)) {
    const std::uint64_t n = source->read(piece, size);
    if (n == 0 || test.feed(piece, n)) break;
  }
  if (uniform != nullptr) *uniform = test.uniform() && test.pixels() > 0 ? 1 : 0;
  if (test.colour()) return PS_IMAGE_COLOUR;
  return source->failed() ? PS_IMAGE_UNKNOWN : PS_IMAGE_GRAY;
}

void log_params(const PSImageParams* p) {
  LOG_DEV(" image_data_has_color(num_components=%d,is_ascii85=%d,is_asciihex=%d,is_rle=%d,"
          "is_flate=%d,is_jpeg=%d,is_lzw=%d,start='%s,end='%s',has_inline_data=%d,"
          "has_inline_color=%d)",
          p->num_components, p->is_ascii85, p->is_asciihex, p->is_rle, p->is_flate, p->is_jpeg,
          p->is_lzw, p->start_marker, p->end_marker, p->has_inline_data, p->has_inline_color);
}

// The decoding chain of an image's samples; nullptr for a compression not
// decoded here.
PsSourcePtr image_chain(const PSImageParams* p, const std::uint8_t* data, std::uint64_t length,
                        bool full) {
  PsSourcePtr source = ps_source_bytes(data, length);
  if (p->is_ascii85 != 0) {
    source = ps_source_limit(ps_source_ascii85(std::move(source)),
                             full ? ASCII85_LIMIT_FULL : ASCII85_LIMIT);
  } else if (p->is_asciihex != 0) {
    source = ps_source_limit(ps_source_asciihex(std::move(source)),
                             full ? ASCII85_LIMIT_FULL : ASCII85_LIMIT);
  }
  if (p->is_flate != 0) {
    return ps_source_limit(ps_source_inflate(std::move(source)),
                           full ? INFLATE_LIMIT_FULL : INFLATE_LIMIT);
  }
  if (p->is_lzw != 0) {
    return ps_source_limit(ps_source_lzw(std::move(source)),
                           full ? INFLATE_LIMIT_FULL : INFLATE_LIMIT);
  }
  if (p->is_rle != 0) return ps_source_run_length(std::move(source), true);
  if (p->is_raw != 0 || p->is_ascii85 != 0 || p->is_asciihex != 0) return source;
  LOG_ERROR(" UNKNOWN_IMAGE: Unsupported image compression");
  return nullptr;
}

int image_data_has_color_internal(const std::uint8_t* search, const std::uint8_t* end,
                                  const PSImageParams* p, const std::uint8_t** image_end,
                                  bool full, int* uniform) {
  log_params(p);
  *uniform = 0;
  if (p->num_components == 1) return PS_IMAGE_GRAY;
  if (p->is_jpeg != 0 && (p->num_components == 3 || p->num_components == 4)) {
    LOG_DEV(" Assume jpeg image is color for num_components=%d", p->num_components);
    return PS_IMAGE_COLOUR;
  }
  if (p->start_marker[0] == 0 || p->end_marker[0] == 0) {
    LOG_DEV(" UNKNOWN_IMAGE: image_params->start_marker or image_params->end_marker not specified");
    return PS_IMAGE_UNKNOWN;
  }
  const auto span = scan_bytes(search, static_cast<std::uint64_t>(end - search));
  const auto open = scan_find(span, 0, p->start_marker);
  if (!open) {
    LOG_DEV(" UNKNOWN_IMAGE: Could not find start of image marker '%s' starting at offset %llu",
            p->start_marker, 0ull);
    return PS_IMAGE_UNKNOWN;
  }
  const std::uint64_t data_from = *open + std::strlen(p->start_marker);
  std::optional<std::uint64_t> close;
  if (std::strcmp(p->end_marker, "~>") == 0) {
    const std::int64_t end = ps_find_ascii85_end(search, span.size(), data_from);
    if (end >= 0) close = static_cast<std::uint64_t>(end);
  } else {
    close = scan_find(span, data_from, p->end_marker);
  }
  if (!close) {
    LOG_DEV(" UNKNOWN_IMAGE: Could not find end of image marker '%s' starting at offset=%llu",
            p->end_marker, static_cast<ull>(data_from));
    return PS_IMAGE_UNKNOWN;
  }
  if (image_end != nullptr) *image_end = *close > 0 ? search + *close - 1 : search;
  LOG_DEV(" Ascii buffer size=%llu,start=%llu,end=%llu", static_cast<ull>(*close - data_from),
          static_cast<ull>(data_from), static_cast<ull>(*close));
  PsSourcePtr source = image_chain(p, search + data_from, *close - data_from, full);
  if (source == nullptr) return PS_IMAGE_UNKNOWN;
  const int result = test_source(source.get(), p->num_components, uniform);
  if (result == PS_IMAGE_UNKNOWN && p->is_flate != 0) LOG_DEBUG(" UNKNOWN_IMAGE: Could not inflate image");
  return result;
}

}  // namespace

int raster_contains_color(const std::uint8_t* samples, std::uint64_t length, int components,
                          int* uniform) {
  if (uniform != nullptr) *uniform = 1;
  if (components != 3 && components != 4) {
    LOG_ERROR("raster_contains_color called with num_cpts=%d", components);
    return 0;
  }
  PixelTest test(components);
  const bool colour = samples != nullptr && test.feed(samples, length);
  if (uniform != nullptr) *uniform = test.uniform() ? 1 : 0;
  return colour ? 1 : 0;
}

int image_data_has_color(const std::uint8_t* search, const std::uint8_t* start,
                         const std::uint8_t* end, PSImageParams* params,
                         const std::uint8_t** image_end) {
  if (search == nullptr || search < start || search > end || params == nullptr)
    return PS_IMAGE_UNKNOWN;
  int uniform = 0;
  int result = image_data_has_color_internal(search, end, params, image_end, false, &uniform);
  if (result == PS_IMAGE_GRAY && uniform != 0) {
    LOG_DEBUG("image_data_has_color: Only 1 pixel value found. Retrying with full raster search");
    result = image_data_has_color_internal(search, end, params, image_end, true, &uniform);
  }
  return result;
}

int samples_have_color(const std::uint8_t* data, std::uint64_t length, const PSImageParams* params) {
  if (data == nullptr || params == nullptr) return PS_IMAGE_UNKNOWN;
  int result = PS_IMAGE_UNKNOWN;
  for (const bool full : {false, true}) {
    PsSourcePtr source = image_chain(params, data, length, full);
    if (source == nullptr) return PS_IMAGE_UNKNOWN;
    int uniform = 0;
    result = test_source(source.get(), params->num_components, &uniform);
    if (result != PS_IMAGE_GRAY || uniform == 0) break;
    LOG_DEBUG("image_data_has_color: Only 1 pixel value found. Retrying with full raster search");
  }
  return result;
}

int ximage_ascii85_rtl_has_color(const std::uint8_t* data, const std::uint8_t* end) {
  if (data == nullptr || data >= end) return 1;
  for (const bool full : {false, true}) {
    PsSourcePtr decoded =
        ps_source_limit(ps_source_ascii85(ps_source_bytes(data, static_cast<std::uint64_t>(end - data))),
                        full ? ASCII85_LIMIT_FULL : ASCII85_LIMIT);
    int uniform = 0;
    PsSourcePtr pixels = ps_source_run_length(std::move(decoded), true);
    const int result = test_source(pixels.get(), 3, &uniform);
    if (result != PS_IMAGE_GRAY) return 1;
    if (uniform == 0 || full) return 0;
    LOG_DEBUG("ximage_ascii85_rtl_has_color: Only 1 pixel value found. Retrying with full raster "
              "search");
  }
  return 0;
}

PsImageFilter ps_image_filter_named(const std::uint8_t* text, std::uint64_t length) {
  struct Named {
    std::string_view name;
    PsImageFilter filter;
  };
  static constexpr Named NAMES[] = {
      {"/FlateDecode", PsImageFilter::FLATE},           {"/LZWDecode", PsImageFilter::LZW},
      {"/RunLengthDecode", PsImageFilter::RUN_LENGTH},  {"/DCTDecode", PsImageFilter::UNSUPPORTED},
      {"/CCITTFaxDecode", PsImageFilter::UNSUPPORTED},  {"/JBIG2Decode", PsImageFilter::UNSUPPORTED},
      {"/JPXDecode", PsImageFilter::UNSUPPORTED},
  };
  const auto span = scan_bytes(text, length);
  PsImageFilter found = PsImageFilter::NONE;
  for (const Named& n : NAMES) {
    if (!scan_find(span, 0, n.name)) continue;
    if (found != PsImageFilter::NONE) return PsImageFilter::UNSUPPORTED;
    found = n.filter;
  }
  return found;
}

int image_chunks_have_color(std::vector<PsPiece> chunks, int components, PsImageFilter filter) {
  if (filter == PsImageFilter::UNSUPPORTED) return PS_IMAGE_UNKNOWN;
  int result = PS_IMAGE_GRAY;
  for (const bool full : {false, true}) {
    PsSourcePtr source = ps_source_limit(ps_source_ascii85_strings(chunks),
                                         full ? ASCII85_LIMIT_FULL : ASCII85_LIMIT);
    const std::uint64_t limit = full ? INFLATE_LIMIT_FULL : INFLATE_LIMIT;
    if (filter == PsImageFilter::FLATE) source = ps_source_limit(ps_source_inflate(std::move(source)), limit);
    if (filter == PsImageFilter::LZW) source = ps_source_limit(ps_source_lzw(std::move(source)), limit);
    if (filter == PsImageFilter::RUN_LENGTH) source = ps_source_run_length(std::move(source), false);
    int uniform = 0;
    result = test_source(source.get(), components, &uniform);
    if (result != PS_IMAGE_GRAY || uniform == 0) break;
    LOG_DEBUG("image_data_has_color: Only 1 pixel value found. Retrying with full raster search");
  }
  return result;
}

int preceeding_pal_is_grey_only(const std::uint8_t* start, const std::uint8_t* pos) {
  const std::uint8_t* lo = pos - std::min<std::uint64_t>(PALETTE_WALK_BACK, pos - start);
  int digits = 0;
  bool closed = false;
  const std::uint8_t* open = nullptr;
  for (const std::uint8_t* q = pos - 1; q >= lo; --q) {
    if (*q == '<') {
      open = q;
      break;
    }
    if (ascii_is_xdigit(*q)) ++digits;
    if (*q == '>') closed = true;
  }
  if (digits <= PALETTE_MIN_DIGITS || !closed || open == nullptr) return 0;
  LOG_DEBUG("Found pal at p - %d. Checking for color.", static_cast<int>(pos - open));
  for (const std::uint8_t* q = open + 1; q < pos;) {
    if (*q == '>') {
      LOG_DEBUG("Reached end without color component.");
      return 1;
    }
    PsMatch m;
    if (ps_match(PsRe::PALETTE_ENTRY, q, std::min<std::uint64_t>(10, pos - q), &m)) {
      if (palette_entry_coloured(m)) {
        LOG_DEBUG("Color in pal at: %d - %.6s", static_cast<int>(q - start),
                  reinterpret_cast<const char*>(q));
        return 0;
      }
      q += 6;
    } else {
      ++q;
    }
  }
  return 0;
}

int pallat_to_array(const std::uint8_t* text, std::uint64_t length, int flags[256]) {
  LOG_DEV("entering pallat_to_array");
  for (int i = 0; i < 256; ++i) flags[i] = 0;
  int entries = 0;
  for (std::uint64_t i = 0; i < length && entries < 256;) {
    PsMatch m;
    if (ps_match(PsRe::PALETTE_ENTRY_WORD, text + i, std::min<std::uint64_t>(10, length - i), &m)) {
      flags[entries++] = palette_entry_coloured(m) ? 1 : 0;
      i += 7;
    } else {
      ++i;
    }
  }
  return entries > 0 ? 1 : 0;
}

int rle_palette_has_color(const int flags[256], const std::uint8_t* data, const std::uint8_t* end) {
  if (data == nullptr || data >= end) return 0;
  PsSourcePtr source = ps_source_limit(
      ps_source_run_length(
          ps_source_limit(ps_source_ascii85(ps_source_bytes(data, static_cast<std::uint64_t>(end - data))),
                          PALETTE_LIMIT),
          true),
      PALETTE_LIMIT);
  std::uint8_t piece[4096];
  std::uint64_t total = 0;
  for (std::uint64_t n; source != nullptr && (n = source->read(piece, sizeof piece)) > 0;) {
    total += n;
    for (std::uint64_t i = 0; i < n; ++i) {
      if (flags[piece[i]] != 0) return 1;
    }
  }
  if (total == 0) LOG_DEBUG("Unable to decode RLE data");
  return 0;
}

int is_ps_bool(const char* text) {
  if (text == nullptr) return 0;
  const std::string_view t(text);
  const auto span = scan_bytes(reinterpret_cast<const std::uint8_t*>(t.data()), t.size());
  return scan_bytes_at_caseless(span, 0, "true") || scan_bytes_at_caseless(span, 0, "false") ? 1 : 0;
}
