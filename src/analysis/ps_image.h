// Image colour tests of the PostScript detector: the pixel test, the image
// data pipeline (ASCII85 / ASCIIHex, then Flate, LZW or run-length, or raw
// samples) and the palette tests. Samples are decoded and tested piece by
// piece, so an image of any size costs a few tens of kilobytes.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/ps_filters.h"

struct PSColor;

inline constexpr int PS_IMAGE_MARKER_SIZE = 40;

// How one image's samples are encoded and where they are.
struct PSImageParams {
  std::int32_t num_components;
  std::int32_t has_inline_data;
  std::int32_t has_inline_color;
  std::int32_t is_ascii85;
  std::int32_t is_asciihex;
  std::int32_t is_rle;
  std::int32_t is_flate;
  std::int32_t is_jpeg;
  std::int32_t is_lzw;
  std::int32_t is_raw;
  char start_marker[PS_IMAGE_MARKER_SIZE];  // the samples begin behind it
  char end_marker[PS_IMAGE_MARKER_SIZE];    // and end before it
};

// Results of the image tests.
inline constexpr int PS_IMAGE_COLOUR = 1;
inline constexpr int PS_IMAGE_GRAY = 0;
inline constexpr int PS_IMAGE_UNKNOWN = -1;

// 1 when a whole pixel of the samples (3: RGB, 4: CMYK) has components that
// differ (a CMYK pixel with K 255 is black whatever its colours). Samples
// shorter than one pixel are not colour. `uniform` (may be null) is set when
// every pixel equals the first.
[[nodiscard]] int raster_contains_color(const std::uint8_t* samples, std::uint64_t length,
                                        int components, int* uniform);

// The samples of the image found behind `search` between the params'
// markers: 1 colour, 0 not, -1 unknown. `image_end` (may be null) receives
// the byte before the end marker. A uniform raster without colour is tested
// again further (the "full" limits) before 0 is given.
[[nodiscard]] int image_data_has_color(const std::uint8_t* search, const std::uint8_t* start,
                                       const std::uint8_t* end, PSImageParams* params,
                                       const std::uint8_t** image_end);

// The samples in [data, data + length), encoded as `params` says (no
// markers): 1 colour, 0 not, -1 unknown.
[[nodiscard]] int samples_have_color(const std::uint8_t* data, std::uint64_t length,
                                     const PSImageParams* params);

// How the samples of an image are compressed behind their text encoding.
enum class PsImageFilter { NONE, FLATE, LZW, RUN_LENGTH, UNSUPPORTED };
// The filter a data source's text names ("/FlateDecode filter" and the
// like): NONE when it names none, UNSUPPORTED for one not decoded here
// (DCTDecode, CCITTFaxDecode, ...) or more than one.
[[nodiscard]] PsImageFilter ps_image_filter_named(const std::uint8_t* text, std::uint64_t length);

// Samples given as ASCII85 strings (pdftops' image chunks: each piece the
// text of one string, from behind "<~" up to and including "~>"), each
// decoded on its own, then decompressed with `filter`: 1 colour, 0 not,
// -1 unknown (the data does not decode, or the filter is not supported).
[[nodiscard]] int image_chunks_have_color(std::vector<PsPiece> chunks, int components,
                                          PsImageFilter filter);

// ASCII85 run-length RGB samples from `data` to `end`: 1 colour (also when
// nothing decodes), 0 gray.
[[nodiscard]] int ximage_ascii85_rtl_has_color(const std::uint8_t* data, const std::uint8_t* end);

// The hexadecimal palette "<...>" in the 3000 bytes before `pos` has only
// gray entries.
[[nodiscard]] int preceeding_pal_is_grey_only(const std::uint8_t* start, const std::uint8_t* pos);
// Reads up to 256 RGB palette entries of the hexadecimal text into
// `flags` (1: coloured entry). 1 when at least one entry was read.
[[nodiscard]] int pallat_to_array(const std::uint8_t* text, std::uint64_t length, int flags[256]);
// ASCII85 run-length palette indexes from `data`: 1 when one of them is a
// coloured entry.
[[nodiscard]] int rle_palette_has_color(const int flags[256], const std::uint8_t* data,
                                        const std::uint8_t* end);
// The text begins with "true" or "false" (any case).
[[nodiscard]] int is_ps_bool(const char* text);

// The PDF-style image whose operator is at `pos`: its dictionary before it
// gives the components and filters, its samples lie between the markers.
[[nodiscard]] int does_image_contain_color(PSColor* color, const std::uint8_t* pos,
                                           const std::uint8_t* start, const std::uint8_t* end,
                                           const char* start_marker, const char* end_marker,
                                           const std::uint8_t** image_end);
