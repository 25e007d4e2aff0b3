// pdftops writes a preloaded image as an array of ASCII85 strings
// ("dup i <~...~> put") and draws it later from "ImData_<n>_0"; a small
// image it writes in place, as an array of ASCII85 strings read by
// "pdfImStr" ("[<~...~> <>] 0 << ... >> image"). Where a preloaded array is
// built its strings are found (the walk goes on behind them); they are
// decoded when a page that is not yet colour draws the image in colour,
// with the filter the image dictionary names (Flate at level 3, LZW at
// level 2). Samples that do not decode, or a filter not decoded here, leave
// the page's colour unjudged. A palette image (an /Indexed colour space set
// just before it) takes its palette's colour instead (ps_image_pdftops_palette.cpp).
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_image.h"
#include "analysis/ps_pdf_stream.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t ARRAY_WINDOW = 300;
// At most this many chunks are gathered for one image.
constexpr int MAX_CHUNKS = 1000000;

int group_int(const PsMatch& m, int g) {
  int value = 0;
  return decimal_parse_whole(m.text(g), &value) ? value : 0;
}

void skip_white(ByteCursor* c) { c->skip_while([](std::uint8_t b) { return ascii_is_space(b); }); }

// One chunk "dup <index> <~text~> put" at the cursor; false when none is.
bool read_chunk(ByteCursor* c, int* index, PsPiece* text) {
  skip_white(c);
  if (!c->skip_if("dup")) return false;
  skip_white(c);
  const DecimalRead number = c->read_decimal(DecimalSign::NONE);
  if (number.length == 0) return false;
  *index = decimal_clamp<int>(number.value);
  skip_white(c);
  if (!c->skip_if("<~")) return false;
  const std::uint64_t from = c->pos();
  const std::int64_t close = ps_find_ascii85_end(c->data().data(), c->size(), from);
  if (close < 0 || !c->seek(static_cast<std::uint64_t>(close))) return false;
  c->skip(2);
  *text = PsPiece{c->data().data() + from, c->pos() - from};  // "~>" included
  skip_white(c);
  return c->skip_if("put");
}

// The chunks of the array at the cursor, at most `count` of them (its
// declared size) and never more than MAX_CHUNKS, added to `chunks` (may be
// null when only their number and end are wanted). The cursor is left
// behind the last one.
int read_chunks(ByteCursor* c, int count, std::vector<PsPiece>* chunks) {
  int found = 0;
  int expected = 0;
  int index = 0;
  PsPiece text{};
  while (expected < MAX_CHUNKS && read_chunk(c, &index, &text)) {
    if (index != expected) {
      LOG_DEBUG("pdftops_has_color: out of order index. n0=%d,n=%d", expected, index);
    }
    if (chunks != nullptr) chunks->push_back(text);
    ++found;
    expected = index + 1;
    if (index >= count - 1) break;
  }
  return found;
}

int decode_chunks(const PsImageColour& entry, PsImageFilter filter, int components) {
  ByteCursor c(entry.buffer, entry.length, entry.chunks);
  std::vector<PsPiece> chunks;
  (void)read_chunks(&c, entry.count, &chunks);
  return image_chunks_have_color(std::move(chunks), components, filter);
}

// The array's result: that of an array decoded before with the same bytes,
// size, filter and components, else decoded now (and kept for the next one).
int decode_image(PSColor* color, const PsImageColour& entry, PsImageFilter filter, int components) {
  const std::uint8_t* text = entry.buffer + entry.chunks;
  const std::uint64_t length = entry.chunks_end - entry.chunks;
  const auto kind = static_cast<std::int32_t>(filter);
  for (const PsDecodedArray& known : color->decoded_arrays) {
    if (known.length == length && known.count == entry.count && known.filter == kind &&
        known.components == components && std::memcmp(known.text, text, length) == 0) {
      return known.colour;
    }
  }
  const PsDecodedArray decoded{text, length, entry.count, kind, components,
                               decode_chunks(entry, filter, components)};
  if (color->decoded_arrays.size() < PS_DECODED_ARRAYS_MAX) {
    color->decoded_arrays.push_back(decoded);
  } else {
    color->decoded_arrays[color->next_decoded_array] = decoded;
    color->next_decoded_array = (color->next_decoded_array + 1) % PS_DECODED_ARRAYS_MAX;
  }
  return decoded.colour;
}

// The components an image dictionary's explicit decode array gives (one
// pair of 0 and 1 per component), or 0.
int decode_components(const std::uint8_t* dict, std::uint64_t length) {
  PsMatch decode;
  if (!ps_match(PsRe::DECODE_EXPLICIT, dict, length, &decode)) return 0;
  int entries = 0;
  bool in_entry = false;
  for (char ch : decode.text(1)) {
    const bool digit = ch == '0' || ch == '1';
    if (digit && !in_entry) ++entries;
    in_entry = digit;
  }
  return entries % 2 == 0 ? entries / 2 : 0;
}

// The result of an image's samples: colour marks the page, samples that
// cannot be decoded leave it unjudged.
void report(const PsAt& at, int result, const char* what, int image) {
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG("Found color PDF image '%s%d' at offset %llu, has_color_on_page", what, image,
              static_cast<ull>(at.offset()));
    at.mark();
  } else if (result == PS_IMAGE_UNKNOWN) {
    at.unjudged("pdftops image samples that do not decode, or a filter not decoded here");
  }
}

// A palette image: its palette's colour, or not judged.
void report_palette(const PsAt& at, int result) {
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG("Found coloured palette of a pdftops image at offset %llu", static_cast<ull>(at.offset()));
    at.mark();
  } else if (result == PS_IMAGE_UNKNOWN) {
    at.unjudged("pdftops palette image whose palette is not read here");
  }
}

// Where pdftops' "setcolorspace" for image `image` drawn at the position
// would end: just before it, or before the image's array when the page
// defines the array in between ("... setcolorspace 1 array dup /ImData_..
// ... pop ImData_.. 0 0 << ... >> image").
const std::uint8_t* space_end(const PsAt& at, int image) {
  constexpr std::uint64_t ARRAY_TAIL = 64;  // "16 <> put pop"
  for (const PsImageColour& entry : at.color->images) {
    if (entry.index != image || entry.buffer != at.start || entry.chunks_end > at.offset()) continue;
    if (at.offset() - entry.chunks_end <= ARRAY_TAIL) return at.start + entry.array;
  }
  return at.pos;
}

void remember(PSColor* color, const PsImageColour& image) {
  for (PsImageColour& entry : color->images) {
    if (entry.index == image.index) {
      entry = image;
      return;
    }
  }
  color->images.push_back(image);
}

bool test_image_array(const PsAt& at) {
  PsMatch m;
  if (!at.looking_at_caseless("1 array") || at.remaining() <= ARRAY_WINDOW ||
      !at.match(PsRe::PDFTOPS_ARRAY, ARRAY_WINDOW, &m))
    return false;
  const auto length = static_cast<std::uint64_t>(at.end - at.start);
  const auto chunks = static_cast<std::uint64_t>(m.after() - at.start);
  PsImageColour image{group_int(m, 1), PS_IMAGE_NOT_DECODED, 0, 0, at.start, length, chunks, chunks,
                      group_int(m, 2), at.offset()};
  ByteCursor c(at.start, length, image.chunks);
  if (read_chunks(&c, image.count, nullptr) == 0) return false;
  image.chunks_end = c.pos();
  // A decoded prolog's buffer is gone when a page draws the image: decode
  // its arrays now, as the level 3 output draws them (Flate, RGB).
  if (!at.color->saved_buffers.empty()) {
    image.filter = static_cast<std::int32_t>(PsImageFilter::FLATE);
    image.components = 3;
    image.colour = decode_chunks(image, PsImageFilter::FLATE, 3);
    image.buffer = nullptr;  // not to be read again
  }
  remember(at.color, image);
  at.skip_to(at.start + c.pos());
  return true;
}

void test_image_use(const PsAt& at) {
  PsMatch m;
  if (!at.looking_at_caseless("ImData_") || at.remaining() <= ARRAY_WINDOW ||
      !at.match(PsRe::PDFTOPS_IMDATA, ARRAY_WINDOW, &m))
    return;
  const int image = group_int(m, 1);
  const int palette = ps_pdftops_palette(at.start, space_end(at, image));
  if (palette != PS_NOT_INDEXED) {
    report_palette(at, palette);
    at.skip_past(m);
    return;
  }
  const int components = decode_components(m.at(2), m.text(2).size());
  if (components == 3 || components == 4) {
    const PsImageFilter filter = ps_image_filter_named(m.at(2), m.text(2).size());
    const auto kind = static_cast<std::int32_t>(filter);
    for (PsImageColour& entry : at.color->images) {
      if (entry.index != image) continue;
      if (entry.colour == PS_IMAGE_NOT_DECODED || entry.filter != kind || entry.components != components) {
        entry.colour = entry.buffer != nullptr ? decode_image(at.color, entry, filter, components) : PS_IMAGE_UNKNOWN;
        entry.filter = kind;
        entry.components = components;
      }
      report(at, entry.colour, "ImData_", image);
    }
  }
  at.skip_past(m);
}

constexpr std::uint64_t INLINE_DICT_BACK = 2000;
constexpr std::uint64_t INLINE_ARRAY_BACK = std::uint64_t{4} << 20;
constexpr std::uint64_t IMAGE_WORD_AHEAD = 12;

const std::uint8_t* skip_white_back(const std::uint8_t* p, const std::uint8_t* lo) {
  while (p > lo && ascii_is_space(p[-1])) --p;
  return p;
}

// The ASCII85 strings of the array "[<~...~> ... <>]" whose "]" is just
// before `close`, in order, and where its "[" is; false when no such array
// ends there.
bool inline_strings(const std::uint8_t* start, const std::uint8_t* close, std::vector<PsPiece>* strings,
                    const std::uint8_t** open_bracket) {
  const std::uint8_t* lo = close - std::min<std::uint64_t>(INLINE_ARRAY_BACK, close - start);
  const std::uint8_t* p = close;
  for (;;) {
    p = skip_white_back(p, lo);
    if (p - lo < 1) return false;
    if (p[-1] == '[') {
      *open_bracket = p - 1;
      break;
    }
    if (p - lo < 2 || p[-1] != '>') return false;
    if (p[-2] == '<') {  // the empty string that ends the data
      p -= 2;
      continue;
    }
    if (p[-2] != '~') return false;
    // ASCII85 text holds no "~": the string's "<~" is the last one before.
    const auto open = scan_rfind(scan_bytes(lo, static_cast<std::uint64_t>(p - 2 - lo)),
                                 static_cast<std::uint64_t>(p - 2 - lo), "<~");
    if (!open) return false;
    strings->push_back(PsPiece{lo + *open + 2, static_cast<std::uint64_t>(p - (lo + *open + 2))});
    p = lo + *open;
  }
  std::reverse(strings->begin(), strings->end());
  return !strings->empty();
}

// "[<~...~> <>] 0 << ... /DataSource { pdfImStr } ... >> image" with the
// position at its ">>".
bool test_inline_image(const PsAt& at) {
  if (!at.looking_at(">>") || at.offset() < 2) return false;
  const std::uint8_t* word = at.pos + 2;
  const std::uint8_t* ahead = at.pos + at.room(IMAGE_WORD_AHEAD);
  while (word < ahead && ascii_is_space(*word)) ++word;
  const auto rest = scan_bytes(word, static_cast<std::uint64_t>(at.end - word));
  if (!scan_bytes_at(rest, 0, "image") || (rest.size() > 5 && ascii_is_alnum(rest[5]))) return false;
  const std::uint8_t* open = find_start_dict(at.start, at.pos, INLINE_DICT_BACK);
  if (open == nullptr || open - at.start < 2) return false;
  const auto dict = scan_bytes(open, static_cast<std::uint64_t>(at.pos - open));
  if (!scan_find(dict, 0, "pdfImStr")) return false;
  // Before the "<<": the array's index 0, then its "]".
  const std::uint8_t* p = skip_white_back(open - 2, at.start);
  if (p - at.start < 2 || p[-1] != '0') return false;
  p = skip_white_back(p - 1, at.start);
  if (p - at.start < 1 || p[-1] != ']') return false;
  std::vector<PsPiece> strings;
  const std::uint8_t* array = nullptr;
  if (!inline_strings(at.start, p - 1, &strings, &array)) return false;
  at.skip_to(word + 5);
  const int palette = ps_pdftops_palette(at.start, array);
  if (palette != PS_NOT_INDEXED) {
    report_palette(at, palette);
    return true;
  }
  const int components = decode_components(dict.data(), dict.size());
  LOG_DEBUG("Found pdftops inline image of %d components in %zu strings at offset %llu", components,
            strings.size(), static_cast<ull>(at.offset()));
  if (components == 1) return true;
  const int result = components == 3 || components == 4
                         ? image_chunks_have_color(std::move(strings), components,
                                                   ps_image_filter_named(dict.data(), dict.size()))
                         : PS_IMAGE_UNKNOWN;
  report(at, result, "inline image ", 0);
  return true;
}

}  // namespace

bool ps_pdftops_inline_image(const PsAt& at) { return test_inline_image(at); }

bool ps_pdftops_image(const PsAt& at) {
  if (test_image_array(at)) return true;
  if (at.active()) test_image_use(at);
  return false;
}
