// Image triggers of drivers' own image procedures: where each construct's
// samples are and how they are encoded, or, where they cannot be read,
// whether the construct is assumed to be colour.
#include <cstring>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_donimage.h"
#include "analysis/ps_image.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t GSPS_MIN_OFFSET = 3000;
constexpr std::uint64_t PALETTE_IMAGE_WINDOW = 2000;
constexpr std::uint64_t CANON_A_MIN_REMAINING = 20000;

ull offset_of(const PsAt& at) { return static_cast<ull>(at.offset()); }

int group_int(const PsMatch& m, int g) {
  int value = 0;
  return decimal_parse_whole(m.text(g), &value) ? value : 0;
}

void set_markers(PSImageParams* p, const char* start_marker, const char* end_marker) {
  std::strncpy(p->start_marker, start_marker, PS_IMAGE_MARKER_SIZE - 1);
  std::strncpy(p->end_marker, end_marker, PS_IMAGE_MARKER_SIZE - 1);
}

// Skips to the byte before an image's end marker, or n bytes on.
void skip_image(const PsAt& at, const std::uint8_t* image_end, std::uint64_t n) {
  at.skip_to(image_end != nullptr ? image_end : at.pos + at.room(n));
}

bool test_imageprocarray(const PsAt& at) {
  if (!at.looking_at("/imageprocarray") || at.remaining() <= 200) return false;
  PsMatch m;
  int procs = 0;
  if (at.match(PsRe::IMAGEPROCARRAY_1, 200, &m)) {
    procs = 1;
  } else if (at.match(PsRe::IMAGEPROCARRAY_2, 200, &m)) {
    procs = 2;
  } else {
    LOG_DEV(" Unknown imageprocarray array");
    return false;
  }
  if (at.color->donimage_procs != 0) {
    LOG_DEV(" Found another doNimage procs definition at %llu", offset_of(at));
  } else {
    at.color->donimage_procs = procs;
    LOG_DEV(" Found doNimage procs definition=%d at offset=%llu", procs, offset_of(at));
  }
  at.skip_past(m);
  return true;
}

bool test_jimg(const PsAt& at) {
  if (*at.pos != ' ' || at.offset() <= 50 || !at.looking_at(" Jimg")) return false;
  PsMatch m;
  const std::uint8_t* from = at.pos - 50;
  if (!ps_match(PsRe::JIMG, from, 50 + at.room(10), &m)) return false;
  const int components = group_int(m, 1);
  const int encoding = group_int(m, 2);
  if (components == 1 || components == 8) {
    at.skip_to(at.pos + at.room(5));
    return true;
  }
  if (components != 3) return components >= 1;
  PSImageParams params{};
  params.num_components = 3;
  params.is_rle = 1;
  params.is_ascii85 = encoding == 0 ? 1 : 0;
  set_markers(&params, "Jimg", encoding == 0 ? "~>" : "");
  const std::uint8_t* image_end = nullptr;
  const int result = image_data_has_color(at.pos, at.start, at.end, &params, &image_end);
  if (result == PS_IMAGE_UNKNOWN) {
    at.unjudged("Jimg samples that do not decode");
    return true;
  }
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG(" re_Jimg_param:image at %llu contains color, has_color_on_page", offset_of(at));
    at.mark();
  }
  skip_image(at, image_end, 5);
  return false;
}

void test_typed_donimage(const PsAt& at) {
  if (!at.looking_at_caseless("doNimage") || at.offset() <= 100 || at.pos[-1] == '/') return;
  PSImageParams params{};
  if (!donimage_params(at, &params)) return;
  const std::uint8_t* image_end = nullptr;
  const int result = image_data_has_color(at.pos, at.start, at.end, &params, &image_end);
  if (result == PS_IMAGE_UNKNOWN) return;
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG(" image at offset=%llu contains color, has_color_on_page", offset_of(at));
    at.mark();
  } else {
    LOG_DEBUG(" no color in image at %llu", offset_of(at));
  }
  skip_image(at, image_end, 8);
}

void test_gsps(const PsAt& at) {
  if (at.color->is_gsps == 0) return;
  PsMatch m;
  if (ascii_is_digit(*at.pos) && at.offset() > GSPS_MIN_OFFSET && at.match(PsRe::GSPS_LZ, 20, &m)) {
    LOG_DEBUG("Found lz image at offset=%llu", offset_of(at));
    if (preceeding_pal_is_grey_only(at.start, at.pos) == 0) {
      LOG_DEBUG("Found color in pal at offset=%llu, has_color_on_page", offset_of(at));
      at.mark();
    }
    at.skip_past(m);
    return;
  }
  if (*at.pos == '[' && at.remaining() > 150 && at.match(PsRe::GSPS_J, 150, &m)) {
    LOG_DEBUG("Found color in j image at offset=%llu, has_color_on_page", offset_of(at));
    at.mark();
    at.skip_past(m);
  }
}

// The palette (hexadecimal RGB entries) of a palette image and its
// run-length ASCII85 indexes behind `data`.
void test_palette_image(const PsAt& at, std::string_view palette, int components,
                        const std::uint8_t* data, const char* colour_log) {
  int flags[256];
  const auto* text = reinterpret_cast<const std::uint8_t*>(palette.data());
  bool coloured = pallat_to_array(text, palette.size(), flags) != 0;
  if (coloured) {
    coloured = false;
    for (int flag : flags) coloured = coloured || flag != 0;
  }
  if (!coloured) {
    LOG_DEBUG("Found gray only palete");
    return;
  }
  if (components != 3) return;
  LOG_DEBUG("Parsing image data for color");
  if (rle_palette_has_color(flags, data, at.end) != 0) {
    LOG_DEBUG(colour_log, offset_of(at));
    at.mark();
  }
}

void test_doclutimage(const PsAt& at) {
  PsMatch m;
  if (at.looking_at_caseless("doclutimage") && at.offset() > GSPS_MIN_OFFSET &&
      at.match(PsRe::DOCLUTIMAGE, 20, &m)) {
    LOG_DEBUG("Found doclutimage offset=%llu", offset_of(at));
    if (preceeding_pal_is_grey_only(at.start, at.pos) == 0) {
      LOG_DEBUG("Found color in image at offset=%llu, has_color_on_page", offset_of(at));
      at.mark();
    }
    at.skip_past(m);
    return;
  }
  if (*at.pos == ':' && at.remaining() > PALETTE_IMAGE_WINDOW &&
      at.match(PsRe::DOCLUTIMAGE_2, PALETTE_IMAGE_WINDOW, &m)) {
    LOG_DEBUG("Found doclutimage2 at %llu", offset_of(at));
    test_palette_image(at, m.text(2), group_int(m, 1), m.after(),
                       "Found color in image at offset=%llu, has_color_on_page");
    at.skip_past(m);
  }
}

void test_canon_iimg(const PsAt& at) {
  if (!at.looking_at_caseless("setcspmycsp") || at.remaining() <= PALETTE_IMAGE_WINDOW) return;
  PsMatch m;
  if (!at.match(PsRe::CANON_IIMG, PALETTE_IMAGE_WINDOW, &m)) return;
  LOG_DEBUG("Found canon Iimg at %llu", offset_of(at));
  PsMatch palette;
  if (ps_match(PsRe::HEX_PALETTE, at.pos, static_cast<std::uint64_t>(m.at(0) - at.pos), &palette)) {
    test_palette_image(at, palette.text(1), group_int(m, 1), m.after(),
                       "Found color in image at %llu, has_color_on_page");
  }
  at.skip_past(m);
}

void test_canon_aimg(const PsAt& at) {
  const bool abc = at.looking_at_caseless("setABCcs");
  if ((!abc && !at.looking_at_caseless("setAcs")) || at.remaining() <= CANON_A_MIN_REMAINING) return;
  const auto aimg = scan_find(scan_bytes(at.pos, PALETTE_IMAGE_WINDOW), 0, "Aimg");
  if (!aimg) return;
  const std::uint8_t* before = at.pos + (*aimg > 50 ? *aimg - 50 : 0);
  PsMatch m;
  if (!ps_match(PsRe::CANON_AIMG, before, static_cast<std::uint64_t>(at.pos + *aimg + 10 - before), &m))
    return;
  const bool gray = !abc;
  LOG_DEBUG("Found canon aImg at %llu: gray_cs=%d", offset_of(at), gray ? 1 : 0);
  if (!gray) {
    if (m.text(1) != "3") {
      LOG_DEBUG("Found color in canon aImag at %llu, has_color_on_page", offset_of(at));
      at.mark();
    } else if (ximage_ascii85_rtl_has_color(m.after(), at.end) != 0) {
      LOG_DEBUG("Found color in canon aImag at %llu, has_color_on_page", offset_of(at));
      at.mark();
    } else {
      LOG_DEBUG("Image was gray only");
    }
  }
  at.skip_past(m);
}

}  // namespace

bool ps_image_test_early(const PsAt& at) {
  if (at.active() && test_imageprocarray(at)) return true;
  if (at.active() && test_jimg(at)) return true;
  if (at.active()) test_typed_donimage(at);
  if (at.active()) test_gsps(at);
  return false;
}

bool ps_image_test_palettes(const PsAt& at) {
  if (at.active()) test_doclutimage(at);
  if (at.active()) test_canon_iimg(at);
  if (at.active()) test_canon_aimg(at);
  return false;
}
