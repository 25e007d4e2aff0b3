// pdftops writes a preloaded image as an array of ASCII85 chunks
// ("dup i <~...~> put") and draws it later from "ImData_<n>_0". Where the
// array is built its chunks are found (the walk goes on behind them); they
// are decoded when a page that is not yet colour draws the image as RGB.
#include <cstring>
#include <utility>
#include <vector>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_image.h"
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
  *text = PsPiece{c->data().data() + from, c->pos() - from};
  c->skip(2);
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

int decode_chunks(const PsImageColour& entry) {
  ByteCursor c(entry.buffer, entry.length, entry.chunks);
  std::vector<PsPiece> chunks;
  (void)read_chunks(&c, entry.count, &chunks);
  return image_chunks_have_color(std::move(chunks)) == PS_IMAGE_COLOUR ? 1 : 0;
}

// The array's result: that of an array decoded before with the same bytes
// and size, else decoded now (and kept for the next one).
int decode_image(PSColor* color, const PsImageColour& entry) {
  const std::uint8_t* text = entry.buffer + entry.chunks;
  const std::uint64_t length = entry.chunks_end - entry.chunks;
  for (const PsDecodedArray& known : color->decoded_arrays) {
    if (known.length == length && known.count == entry.count && std::memcmp(known.text, text, length) == 0) {
      return known.colour;
    }
  }
  const PsDecodedArray decoded{text, length, entry.count, decode_chunks(entry)};
  if (color->decoded_arrays.size() < PS_DECODED_ARRAYS_MAX) {
    color->decoded_arrays.push_back(decoded);
  } else {
    color->decoded_arrays[color->next_decoded_array] = decoded;
    color->next_decoded_array = (color->next_decoded_array + 1) % PS_DECODED_ARRAYS_MAX;
  }
  return decoded.colour;
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
  PsImageColour image{group_int(m, 1), PS_IMAGE_NOT_DECODED, at.start, length, chunks, chunks, group_int(m, 2)};
  ByteCursor c(at.start, length, image.chunks);
  if (read_chunks(&c, image.count, nullptr) == 0) return false;
  image.chunks_end = c.pos();
  // A decoded prolog's buffer is gone when a page draws the image: decode
  // its arrays now.
  if (!at.color->saved_buffers.empty()) image.colour = decode_chunks(image);
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
  PsMatch decode;
  const auto* dict = m.at(2);
  bool colour_image = false;
  if (ps_match(PsRe::DECODE_EXPLICIT, dict, m.text(2).size(), &decode)) {
    int entries = 0;
    bool in_entry = false;
    for (char ch : decode.text(1)) {
      const bool digit = ch == '0' || ch == '1';
      if (digit && !in_entry) ++entries;
      in_entry = digit;
    }
    colour_image = entries == 6;
  }
  if (colour_image) {
    for (PsImageColour& entry : at.color->images) {
      if (entry.index != image) continue;
      if (entry.colour == PS_IMAGE_NOT_DECODED) entry.colour = decode_image(at.color, entry);
      if (entry.colour != 0) {
        LOG_DEBUG("Found color PDF image 'ImData_%d' at offset %llu, has_color_on_page", image,
                  static_cast<ull>(at.offset()));
        at.mark();
      }
    }
  }
  at.skip_past(m);
}

}  // namespace

bool ps_pdftops_image(const PsAt& at) {
  if (test_image_array(at)) return true;
  if (at.active()) test_image_use(at);
  return false;
}
