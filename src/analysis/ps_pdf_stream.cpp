// PDF streams inside PostScript (ps2write and other PDF-to-PostScript
// converters carry each page's PDF content stream as an object): the stream
// is decoded piece by piece through its filters, whatever its length, and
// its operators are tested for colour. Font programs are passed over whole.
#include "analysis/ps_pdf_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_filters.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t DICT_END_BACK = 100;
constexpr std::uint64_t DICT_START_BACK = 200;
constexpr std::uint64_t FONT_MARK_BACK = 50;
constexpr std::uint64_t A85_MARK_AHEAD = 100;
constexpr std::uint64_t INLINE_HEADER_AHEAD = 250;

struct StreamDict {
  const std::uint8_t* open;   // behind "<<"
  const std::uint8_t* close;  // at ">>"
  [[nodiscard]] ByteSpan bytes() const { return scan_bytes(open, static_cast<std::uint64_t>(close - open)); }
  [[nodiscard]] bool has(std::string_view text) const { return scan_find(bytes(), 0, text).has_value(); }
};

// The dictionary in front of "stream" at `pos`, or none.
bool stream_dict(const std::uint8_t* start, const std::uint8_t* pos, StreamDict* dict) {
  const std::uint8_t* p = pos;
  const std::uint8_t* lo = pos - std::min<std::uint64_t>(DICT_END_BACK, pos - start);
  while (p > lo && ascii_is_space(p[-1])) --p;
  if (p - start < 2 || p[-1] != '>' || p[-2] != '>') return false;
  dict->close = p - 2;
  dict->open = find_start_dict(start, dict->close, DICT_START_BACK);
  return dict->open != nullptr;
}

// The /Length of the dictionary, or -1.
std::int64_t declared_length(const StreamDict& dict) {
  const auto key = scan_find(dict.bytes(), 0, "/Length");
  if (!key) return -1;
  ByteCursor c(dict.bytes(), *key + 7);
  c.skip_while([](std::uint8_t b) { return ascii_is_space(b); });
  const DecimalRead n = c.read_decimal(DecimalSign::NONE);
  if (n.length == 0 || n.saturated) return -1;
  // "/Length 12 0 R" names another object, not the length.
  c.skip_while([](std::uint8_t b) { return ascii_is_space(b); });
  if (c.peek() >= '0' && c.peek() <= '9') return -1;
  return n.value;
}

// The filters named by the dictionary, in order, as a decoding chain over
// the stream's bytes; nullptr when one of them is not decoded here (images
// compressed as JPEG, fax or JBIG2 data).
PsSourcePtr filter_chain(const StreamDict& dict, const std::uint8_t* data, std::uint64_t length,
                         bool* supported) {
  *supported = true;
  PsSourcePtr source = ps_source_bytes(data, length);
  const auto filter = scan_find(dict.bytes(), 0, "/Filter");
  if (!filter) return source;
  const ByteSpan bytes = dict.bytes();
  std::uint64_t p = *filter + 7;
  while (p < bytes.size() && (ascii_is_space(bytes[p]) || bytes[p] == '[')) ++p;
  while (p < bytes.size() && bytes[p] == '/') {
    std::uint64_t q = p + 1;
    while (q < bytes.size() && ascii_is_alnum(bytes[q])) ++q;
    const std::string_view name = scan_text(bytes.subspan(p + 1, q - p - 1));
    if (name == "ASCII85Decode" || name == "A85") {
      source = ps_source_ascii85(std::move(source));
    } else if (name == "LZWDecode" || name == "LZW") {
      source = ps_source_lzw(std::move(source));
    } else if (name == "FlateDecode" || name == "Fl") {
      source = ps_source_inflate(std::move(source));
    } else if (name == "RunLengthDecode" || name == "RL") {
      source = ps_source_run_length(std::move(source), false);
    } else {
      *supported = false;
      return nullptr;
    }
    p = q;
    while (p < bytes.size() && ascii_is_space(bytes[p])) ++p;
  }
  return source;
}

// "BI ... /CS/RGB ... ID" in the first bytes of a stream marked as holding
// inline images.
bool inline_header_is_rgb(const PsAt& at) {
  const ByteSpan ahead = scan_bytes(at.pos, at.room(INLINE_HEADER_AHEAD));
  const auto id = scan_find(ahead, 0, "ID");
  if (!id) return false;
  const auto bi = scan_rfind(ahead, *id, "BI");
  return bi && scan_find(ahead.subspan(*bi, *id - *bi), 0, "/CS/RGB").has_value();
}

}  // namespace

const std::uint8_t* find_start_dict(const std::uint8_t* start, const std::uint8_t* end_dict,
                                    std::uint64_t max_bytes) {
  if (end_dict == nullptr || end_dict < start || end_dict[0] != '>' || end_dict[1] != '>') {
    LOG_ERROR("find_start_dict: end_dict MUST point at closing >>");
    return nullptr;
  }
  const std::uint8_t* lo = end_dict - std::min<std::uint64_t>(max_bytes, end_dict - start);
  int depth = 1;
  const std::uint8_t* p = end_dict;  // the bytes before p are still to be read
  while (p - 2 >= lo) {
    const std::uint8_t a = p[-2];
    const std::uint8_t b = p[-1];
    if (a == '>' && b == '>') {
      ++depth;
      p -= 2;
    } else if (a == '<' && b == '<') {
      if (--depth == 0) return p;
      p -= 2;
    } else if (a == '~' && b == '>') {
      const auto open = scan_rfind(scan_bytes(lo, static_cast<std::uint64_t>(p - lo)),
                                   static_cast<std::uint64_t>(p - 2 - lo), "<~");
      if (!open) return nullptr;
      p = lo + *open;
    } else {
      --p;
    }
  }
  return nullptr;
}

bool ps_pdf_stream_extent(const std::uint8_t* start, const std::uint8_t* end, const std::uint8_t* pos,
                          std::uint64_t* data_from, std::uint64_t* data_end) {
  StreamDict dict{};
  if (end - pos < 6 || !scan_bytes_at(scan_bytes(pos, static_cast<std::uint64_t>(end - pos)), 0, "stream") ||
      !stream_dict(start, pos, &dict))
    return false;
  const std::uint8_t* data = pos + 6;
  if (data < end && *data == '\r') ++data;
  if (data < end && *data == '\n') ++data;
  const auto rest = static_cast<std::uint64_t>(end - data);
  const std::int64_t length = declared_length(dict);
  if (length >= 0 && static_cast<std::uint64_t>(length) <= rest) {
    // The declared length is trusted only where "endstream" follows it.
    std::uint64_t q = static_cast<std::uint64_t>(length);
    while (q < rest && q < static_cast<std::uint64_t>(length) + 2 && ascii_is_space(data[q])) ++q;
    if (scan_bytes_at(scan_bytes(data, rest), q, "endstream")) {
      *data_from = static_cast<std::uint64_t>(data - start);
      *data_end = *data_from + q;
      return true;
    }
  }
  const auto endstream = scan_find(scan_bytes(data, rest), 0, "endstream");
  if (!endstream) return false;
  *data_from = static_cast<std::uint64_t>(data - start);
  *data_end = *data_from + *endstream;
  return true;
}

bool ps_color_test_pdf_stream(const PsAt& at) {
  if (!at.looking_at("stream") || at.offset() < 102 || at.remaining() <= 50 ||
      ascii_is_alnum(at.pos[-1]))
    return false;
  StreamDict dict{};
  if (!stream_dict(at.start, at.pos, &dict)) return false;
  std::uint64_t data_from = 0;
  std::uint64_t data_end = 0;
  if (!ps_pdf_stream_extent(at.start, at.end, at.pos, &data_from, &data_end)) return false;
  const std::uint8_t* data = at.start + data_from;
  const std::optional<std::uint64_t> endstream = data_end - data_from;
  const std::uint8_t* dict_start = dict.open - 2;
  const std::uint8_t* font_from = dict_start - std::min<std::uint64_t>(FONT_MARK_BACK, dict_start - at.start);
  const bool font = scan_find(scan_bytes(font_from, static_cast<std::uint64_t>(dict_start - font_from)),
                              0, "FontFile")
                        .has_value();
  bool colour = false;
  if (!font) {
    // Content that decodes is read: its inline images' samples decide.
    // Where it does not, an RGB inline image at its start is taken as colour.
    bool supported = false;
    PsSourcePtr source = filter_chain(dict, data, *endstream, &supported);
    if (supported) {
      colour = pdf_content_has_colour(source.get());
    } else {
      const bool inline_images = dict.has("/PDF/ImageC") ||
                                 scan_find(scan_bytes(at.pos, at.room(A85_MARK_AHEAD)), 0, "/A85");
      if (inline_images && inline_header_is_rgb(at)) {
        LOG_DEBUG("Found color in a PDF stream BI header at offset=%llu, has_color_on_page",
                  static_cast<ull>(at.offset()));
        colour = true;
      }
    }
  }
  if (colour) {
    LOG_DEBUG("Found color in a PDF stream object at offset=%llu, has_color_on_page",
              static_cast<ull>(at.offset()));
    at.mark();
  }
  at.skip_to(data + *endstream);
  return false;
}
