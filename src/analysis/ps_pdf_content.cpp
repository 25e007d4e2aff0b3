// Colour in PDF page content carried inside PostScript: colour-setting
// operators with real colour, and inline images (BI ... ID data EI) whose
// samples are decoded and tested like any other image.
#include <cmath>
#include <cstring>
#include <new>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_filters.h"
#include "analysis/ps_image.h"
#include "analysis/ps_pdf_stream.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

// Decoded content is tested in pieces this large (an inline image is seen
// whole when it fits), each beginning with the end of the one before.
constexpr std::uint64_t PIECE = std::uint64_t{1} << 20;
constexpr std::uint64_t OVERLAP = 128;
constexpr std::uint64_t INLINE_HEADER_MAX = 1024;
constexpr double COLOUR_STEP = 1.0 / 510.0;

bool differ(double a, double b) { return std::abs(a - b) > COLOUR_STEP; }

// The value of key `short_key` or `long_key` in an inline image header: the
// bytes from behind the key to the next key or the end.
ByteSpan header_value(ByteSpan header, std::string_view short_key, std::string_view long_key) {
  for (std::string_view key : {long_key, short_key}) {
    for (std::uint64_t from = 0;;) {
      const auto at = scan_find(header, from, key);
      if (!at) break;
      const std::uint64_t after = *at + key.size();
      // The key must end there ("/CS" is not "/CSx").
      if (after < header.size() && ascii_is_alnum(header[after])) {
        from = after;
        continue;
      }
      std::uint64_t end = after;
      while (end < header.size() && ascii_is_space(header[end])) ++end;
      if (end < header.size() && header[end] == '[') {
        const auto close = scan_find_byte(header, end, ']');
        end = close ? *close + 1 : header.size();
      } else {
        if (end < header.size() && header[end] == '/') ++end;
        while (end < header.size() && !ascii_is_space(header[end]) && header[end] != '/') ++end;
      }
      return header.subspan(after, end - after);
    }
  }
  return {};
}

bool value_names(ByteSpan value, std::string_view name) {
  for (std::uint64_t from = 0;;) {
    const auto at = scan_find(value, from, name);
    if (!at) return false;
    const std::uint64_t after = *at + name.size();
    if (after >= value.size() || !ascii_is_alnum(value[after])) return true;
    from = after;
  }
}

int components_of(ByteSpan cs) {
  if (value_names(cs, "/RGB") || value_names(cs, "/DeviceRGB")) return 3;
  if (value_names(cs, "/CMYK") || value_names(cs, "/DeviceCMYK")) return 4;
  if (value_names(cs, "/G") || value_names(cs, "/DeviceGray")) return 1;
  return 0;
}

// The samples of an inline image at `bi` ("BI"), tested: colour 1, gray 0,
// or -1 when they cannot be read (then an RGB or CMYK image counts as
// colour). *after is set behind the image when its end was found.
int inline_image(const std::uint8_t* bi, const std::uint8_t* end, const std::uint8_t** after) {
  const ByteSpan rest = scan_bytes(bi, static_cast<std::uint64_t>(end - bi));
  const auto id = scan_find(rest.first(std::min<std::uint64_t>(rest.size(), INLINE_HEADER_MAX)), 2, "ID");
  if (!id || *id + 3 > rest.size()) return PS_IMAGE_UNKNOWN;
  const ByteSpan header = rest.subspan(2, *id - 2);
  PSImageParams params{};
  params.num_components = components_of(header_value(header, "/CS", "/ColorSpace"));
  const ByteSpan bits = header_value(header, "/BPC", "/BitsPerComponent");
  const ByteSpan filters = header_value(header, "/F", "/Filter");
  params.is_ascii85 = value_names(filters, "/A85") || value_names(filters, "/ASCII85Decode");
  params.is_asciihex = value_names(filters, "/AHx") || value_names(filters, "/ASCIIHexDecode");
  params.is_lzw = value_names(filters, "/LZW") || value_names(filters, "/LZWDecode");
  params.is_flate = value_names(filters, "/Fl") || value_names(filters, "/FlateDecode");
  params.is_rle = value_names(filters, "/RL") || value_names(filters, "/RunLengthDecode");
  params.is_jpeg = value_names(filters, "/DCT") || value_names(filters, "/DCTDecode");
  params.is_raw = !params.is_lzw && !params.is_flate && !params.is_rle && !params.is_jpeg ? 1 : 0;
  const std::uint8_t* data = bi + *id + 3;
  if (params.num_components == 1) return PS_IMAGE_GRAY;
  if (params.num_components == 0 || scan_text(bits).find('8') == std::string_view::npos) return PS_IMAGE_UNKNOWN;
  if (params.is_jpeg != 0) return PS_IMAGE_COLOUR;
  // Text-encoded data has an end mark of its own; binary data ends at "EI".
  const ByteSpan samples = scan_bytes(data, static_cast<std::uint64_t>(end - data));
  const auto stop = params.is_ascii85 ? scan_find(samples, 0, "~>")
                    : params.is_asciihex ? scan_find_byte(samples, 0, '>')
                                         : scan_find(samples, 0, "EI");
  if (!stop) return PS_IMAGE_UNKNOWN;
  *after = data + *stop;
  return samples_have_color(data, *stop, &params);
}

bool inline_images_have_colour(const std::uint8_t* text, std::uint64_t length) {
  const ByteSpan all = scan_bytes(text, length);
  for (std::uint64_t from = 0;;) {
    const auto bi = scan_find(all, from, "BI");
    if (!bi) return false;
    const bool word = (*bi == 0 || ascii_is_space(text[*bi - 1])) && *bi + 2 < length &&
                      ascii_is_space(text[*bi + 2]);
    if (!word) {
      from = *bi + 2;
      continue;
    }
    const std::uint8_t* after = text + *bi + 2;
    const int result = inline_image(text + *bi, text + length, &after);
    if (result == PS_IMAGE_COLOUR) {
      LOG_DEBUG(" Found color in inline image of PDF obj at %llu", static_cast<unsigned long long>(*bi));
      return true;
    }
    if (result == PS_IMAGE_UNKNOWN && scan_find(all.subspan(*bi, std::min<std::uint64_t>(INLINE_HEADER_MAX, length - *bi)), 0, "/CS/RGB")) {
      LOG_DEBUG(" Found RGB image in PDF obj. is_color=%d", 1);
      return true;
    }
    from = static_cast<std::uint64_t>(after - text);
  }
}

bool rgb_operators_have_colour(const std::uint8_t* text, std::uint64_t length) {
  PsMatch m;
  for (std::uint64_t pos = 0; ps_match(PsRe::STREAM_RG, text + pos, length - pos, &m);) {
    const bool colour = differ(ps_number(m.text(1)), ps_number(m.text(2))) ||
                        differ(ps_number(m.text(2)), ps_number(m.text(3))) ||
                        differ(ps_number(m.text(1)), ps_number(m.text(3)));
    LOG_DEBUG(" Found '%.*s' in PDF obj. is_color=%d", static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)), colour ? 1 : 0);
    if (colour) return true;
    pos = static_cast<std::uint64_t>(m.after() - text);
  }
  return false;
}

bool cmyk_operators_have_colour(const std::uint8_t* text, std::uint64_t length) {
  PsMatch m;
  for (std::uint64_t pos = 0; ps_match(PsRe::STREAM_K, text + pos, length - pos, &m);) {
    const double c = ps_number(m.text(1));
    const double mg = ps_number(m.text(2));
    const double y = ps_number(m.text(3));
    const bool present = c > COLOUR_STEP || mg > COLOUR_STEP || y > COLOUR_STEP;
    if (ps_number(m.text(4)) < 1 && present && (differ(c, mg) || differ(mg, y) || differ(c, y))) {
      LOG_DEBUG(" Found '%.*s' in PDF obj. is_color=1", static_cast<int>(m.length()),
                reinterpret_cast<const char*>(m.at(0)));
      return true;
    }
    pos = static_cast<std::uint64_t>(m.after() - text);
  }
  return false;
}

}  // namespace

bool pdf_content_text_has_colour(const std::uint8_t* text, std::uint64_t length) {
  return inline_images_have_colour(text, length) || rgb_operators_have_colour(text, length) ||
         cmyk_operators_have_colour(text, length);
}

bool pdf_content_has_colour(PsByteSource* source) {
  if (source == nullptr) return false;
  std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[PIECE + OVERLAP]);
  if (piece == nullptr) return false;
  std::uint64_t kept = 0;
  for (;;) {
    const std::uint64_t n = source->read(piece.get() + kept, PIECE);
    if (n == 0) return false;
    const std::uint64_t size = kept + n;
    if (pdf_content_text_has_colour(piece.get(), size)) return true;
    kept = std::min(OVERLAP, size);
    std::memmove(piece.get(), piece.get() + size - kept, kept);
  }
}
