// Image triggers of converters and applications: images assumed colour
// (JPEG data, some Canon and Mac constructs), PDF-style image dictionaries,
// and the image arrays that pdftops writes.
#include <algorithm>
#include <cstdio>
#include <string>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_image.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t GSPS_MIN_OFFSET = 3000;
constexpr std::uint64_t PDF_IMAGE_WINDOW = 300;
constexpr std::uint64_t COLORSPACE_LOOK_BACK = 475;

ull offset_of(const PsAt& at) { return static_cast<ull>(at.offset()); }

void skip_image(const PsAt& at, const std::uint8_t* image_end, const std::uint8_t* otherwise) {
  at.skip_to(image_end != nullptr ? image_end : otherwise);
}

void test_canon_img(const PsAt& at) {
  if (!at.looking_at_caseless("img") || at.offset() <= 20) return;
  for (const std::uint8_t* q = at.pos - 1; q >= at.pos - 19; --q) {
    if (!ascii_is_space(*q)) continue;
    PsMatch m;
    if (!ps_match(PsRe::CANON_IMG, q, static_cast<std::uint64_t>(at.pos - q) + at.room(8), &m)) continue;
    LOG_DEBUG("Found canon image");
    if (at.offset() > GSPS_MIN_OFFSET && m.text(1) == "Ak" &&
        preceeding_pal_is_grey_only(at.start, at.pos) != 0) {
      LOG_DEBUG("Found grayscale only image at %llu", offset_of(at));
    } else {
      LOG_DEBUG("Found color (assuming color in canon image) at %llu, has_color_on_page", offset_of(at));
      at.mark();
    }
    return;
  }
}

void test_assumed_operators(const PsAt& at) {
  const bool white = at.offset() > 0 && ascii_is_space(at.pos[-1]);
  if (white && at.offset() > 10 && at.looking_at("doNimage") && at.match(PsRe::DONIMAGE_ASSUMED, 20)) {
    LOG_DEBUG("Found color in doNimage (Assuming color) at offset=%llu, has_color_on_page",
              offset_of(at));
    at.mark();
  } else if (white && at.looking_at("beginjpeg") && at.match(PsRe::BEGINJPEG, 20)) {
    LOG_DEBUG("Found color in beginjpeg (Assuming color) at offset=%llu, has_color_on_page",
              offset_of(at));
    at.mark();
  }
}

void test_mac_image(const PsAt& at) {
  if (!at.looking_at("/j00") || at.remaining() <= 500) return;
  PsMatch m;
  if (!at.match(PsRe::MAC_IMAGE, 500, &m)) return;
  const ByteSpan text = scan_bytes(m.at(0), m.length());
  const bool ascii85 = scan_find(text, 0, "ASCII85Decode").has_value();
  const bool jpeg = scan_find(text, 0, "DCTDecode").has_value();
  LOG_DEBUG("re_mac_image: Found '%.*s' with is_ascii85=%d,is_jpeg=%d at offset %llu",
            static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)), ascii85 ? 1 : 0,
            jpeg ? 1 : 0, offset_of(at));
  if (ascii85) {
    const auto close = scan_find(scan_bytes(at.pos, at.remaining()), 0, "~>");
    if (close) at.skip_to(at.pos + *close);
    else LOG_DEBUG("Image starting at %llu is not Ascii 85", offset_of(at));
  } else if (jpeg) {
    LOG_DEBUG("Found color Mac jpeg image '%.*s' at offset %llu, has_color_on_page",
              static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)), offset_of(at));
    at.mark();
  }
}

constexpr std::size_t IMAGE_WORD_MAX = 32;

// The image operator right behind an image dictionary: "image", pdftops'
// "pdfIm", or a procedure of another producer whose name ends in "image"
// (cairo's "cairo_image"). The operator's position and its end marker.
bool dict_image_operator(const PsAt& at, const std::uint8_t** word, std::string* marker, const char** end_marker) {
  const std::uint8_t* p = at.pos;
  if (at.looking_at(">>")) {
    p += 2;
    while (p < at.end && ascii_is_space(*p)) ++p;
    if (p - at.pos > 11) return false;
  } else {
    const std::uint8_t* q = at.pos;
    const std::uint8_t* lo = at.back(9);
    while (q > lo && ascii_is_space(q[-1])) --q;
    if (q - 2 < at.start || q[-1] != '>' || q[-2] != '>') return false;
  }
  std::size_t n = 0;
  while (p + n < at.end && n <= IMAGE_WORD_MAX && (ascii_is_alnum(p[n]) || p[n] == '_')) ++n;
  const std::string_view name(reinterpret_cast<const char*>(p), n);
  const bool image = name.size() >= 5 && name.substr(name.size() - 5) == "image";
  if (n == 0 || n > IMAGE_WORD_MAX || (name != "pdfIm" && !image)) return false;
  *word = p;
  marker->assign(name);
  *end_marker = name == "pdfIm" ? "%-EOD-" : "~>";
  return true;
}

void test_dict_image(const PsAt& at) {
  const bool operator_here = at.looking_at("pdfIm") || at.looking_at("image");
  if ((!operator_here && !at.looking_at(">>")) || at.offset() <= 100 || at.remaining() <= 10) return;
  const std::uint8_t* word = nullptr;
  std::string marker;
  const char* end_marker = nullptr;
  // The samples may end close to the end of the job (an image on its last
  // page): the markers are looked for in whatever remains.
  if (!dict_image_operator(at, &word, &marker, &end_marker)) return;
  if (operator_here && word != at.pos) return;
  LOG_DEBUG("Found start_marker='%s' at %llu", marker.c_str(), static_cast<ull>(word - at.start));
  const std::uint8_t* image_end = nullptr;
  const int result =
      does_image_contain_color(at.color, word, at.start, at.end, marker.c_str(), end_marker, &image_end);
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG("Found color PDF image '%s' at offset %llu, has_color_on_page", marker.c_str(), offset_of(at));
    at.mark();
  }
  if (image_end != nullptr) at.skip_to(image_end);
}

// Before an image without colour space: the last colour space set.
bool colour_space_before_is_colour(const PsAt& at) {
  const std::uint8_t* from = at.back(10);
  for (std::uint64_t i = 0; i < COLORSPACE_LOOK_BACK && from - i > at.start; ++i) {
    const std::uint8_t* q = from - i;
    const std::uint64_t n = std::min<std::uint64_t>(15, at.end - q);
    if (ps_match(PsRe::DEVICE_GRAY, q, n, nullptr)) {
      LOG_DEBUG("Found DeviceGray");
      return false;
    }
    if (ps_match(PsRe::DEVICE_RGB_OR_CMYK, q, n, nullptr)) {
      LOG_DEBUG("Found DeviceRGB");
      return true;
    }
    if (ps_match(PsRe::CIE_BASED_A, q, n, nullptr)) {
      LOG_DEBUG("Found CIEBasedA*");
      return true;
    }
  }
  return true;
}

// The image pattern is anchored: "cs" begins it only with blanks or the
// dictionary right behind (in a prolog the two letters mostly stand inside
// words such as "GraphicState").
bool pdf_image_may_begin(const PsAt& at) {
  if (at.looking_at("<<")) return true;
  return at.looking_at_caseless("cs") && at.remaining() > 2 && (ascii_is_space(at.pos[2]) || at.pos[2] == '<');
}

void test_pdf_image(const PsAt& at) {
  if (!pdf_image_may_begin(at) || at.remaining() <= PDF_IMAGE_WINDOW) return;
  PsMatch m;
  if (!at.match(PsRe::PDF_IMAGE, PDF_IMAGE_WINDOW, &m)) return;
  LOG_DEBUG("Found PDF image at %llu", offset_of(at));
  const auto op = scan_rfind(scan_bytes(m.at(0), m.length()), m.length(), "pdf_image");
  const std::uint8_t* image_end = nullptr;
  const int result = does_image_contain_color(at.color, m.at(0) + (op ? *op : 0), at.start, at.end,
                                              "pdf_image", "~>", &image_end);
  bool colour = result == PS_IMAGE_COLOUR;
  if (colour) {
    LOG_DEBUG("Found color PDF image 8 at offset %llu, has_color_on_page", offset_of(at));
  } else if (result == PS_IMAGE_UNKNOWN && m.text(1).empty()) {
    LOG_DEBUG("Found color: No colorspace def in pdfimage so assuming color. At %llu, "
              "has_color_on_page",
              offset_of(at));
    colour = true;
  } else if (result == PS_IMAGE_UNKNOWN && colour_space_before_is_colour(at)) {
    LOG_DEBUG("Found color in pdfimage at %llu (old method), has_color_on_page", offset_of(at));
    colour = true;
  }
  if (colour) at.mark();
  skip_image(at, image_end, m.after());
}

void test_beginbinary_image(const PsAt& at) {
  if (!at.looking_at(">>") || at.remaining() <= 100) return;
  PsMatch m;
  if (!at.match(PsRe::BEGINBINARY_IMAGE, 100, &m)) return;
  LOG_DEBUG("Found color PDF image 8 at offset=%llu,match='%.*s'", offset_of(at),
            static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
  const std::uint8_t* image_end = nullptr;
  const int result = does_image_contain_color(at.color, m.after(), at.start, at.end, "img",
                                              "%%EndBinary", &image_end);
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG(" Found color PDF image 8 at offset=%llu, has_color_on_page", offset_of(at));
    at.mark();
  } else if (result == PS_IMAGE_UNKNOWN) {
    LOG_DEBUG(" Could not decode PDF image 8 at offset=%llu so assume color, has_color_on_page",
              offset_of(at));
    at.mark();
  }
  skip_image(at, image_end, m.after());
}

void test_gray_header(const PsAt& at) {
  PsMatch m;
  if (at.looking_at_caseless("gsave % Image Header") && at.remaining() > 400 &&
      at.match(PsRe::GRAY_GSAVE_HEADER, 400, &m)) {
    LOG_DEBUG("Found grayscale gsave header at %llu", offset_of(at));
    at.color->gray_image_header = 1;
    at.skip_past(m);
    return;
  }
  if (at.looking_at("currentdict") && at.remaining() > 100 && at.match(PsRe::BEGINIMAGE, 100, &m)) {
    LOG_DEBUG("Found beginimage at %llu", offset_of(at));
    if (at.color->gray_image_header == 0) {
      LOG_DEBUG("Found color in beginimage at %llu, has_color_on_page", offset_of(at));
      at.mark();
    }
    at.color->gray_image_header = 0;
    at.skip_past(m);
  }
}

void test_jdp(const PsAt& at) {
  if (!at.looking_at("jDP") || at.offset() <= 100 || at.remaining() <= 100) return;
  const auto open = scan_rfind_byte(scan_bytes(at.pos - 89, 89), 89, '[');
  if (!open) return;
  const std::uint8_t* from = at.pos - 89 + *open;
  from -= std::min<std::uint64_t>(10, from - at.start);
  PsMatch m;
  if (!ps_match(PsRe::JDP, from, static_cast<std::uint64_t>(at.pos - from) + 3, &m)) return;
  int entries = 0;
  for (char c : m.text(1)) entries += c == '0' || c == '1' ? 1 : 0;
  LOG_DEBUG("Found jDP image '%.*s' num_cpts2=%d, at %llu", static_cast<int>(m.length()),
            reinterpret_cast<const char*>(m.at(0)), entries, offset_of(at));
  if (entries % 2 != 0) {
    LOG_DEBUG("num_cpts2=%d is odd. Must be bogus", entries);
  } else if (entries > 3) {
    LOG_DEBUG("jDP image has %d color components at %llu, has_color_on_page", entries, offset_of(at));
    at.mark();
  }
  at.skip_to(at.pos + at.room(20));
}

void test_datasource(const PsAt& at) {
  if (!at.looking_at_caseless("/DataSource") || at.remaining() <= 100) return;
  PsMatch m;
  if (!at.match(PsRe::DATASOURCE, 100, &m)) return;
  LOG_DEBUG("Found Mac image");
  if (m.text(1) == "cg_aiproc") {
    LOG_DEBUG("Looking for color in image starting at offset: 0x%llx (%llu)",
              static_cast<ull>(m.after() - at.start), static_cast<ull>(m.after() - at.start));
    if (ximage_ascii85_rtl_has_color(m.after(), at.end) != 0) {
      LOG_DEBUG("Found color (assuming color in aiproc) at %llu, has_color_on_page", offset_of(at));
      at.mark();
    } else {
      LOG_DEBUG("Image was gray only");
    }
  } else {
    LOG_DEBUG("Found color (assuming color) at %llu, has_color_on_page", offset_of(at));
    at.mark();
  }
  at.skip_past(m);
}

}  // namespace

bool ps_image_test_assumed(const PsAt& at) {
  if (at.active()) test_canon_img(at);
  if (at.active()) test_assumed_operators(at);
  if (at.active()) test_mac_image(at);
  return false;
}

bool ps_image_test_pdf(const PsAt& at) {
  using Test = void (*)(const PsAt&);
  static constexpr Test TESTS[] = {test_dict_image, test_pdf_image, test_beginbinary_image,
                                   test_gray_header, test_jdp,       test_datasource};
  if (ps_pdftops_inline_image(at)) return false;
  for (Test test : TESTS) {
    if (!at.active()) return false;
    test(at);
  }
  return at.active() && ps_pdftops_image(at);
}
