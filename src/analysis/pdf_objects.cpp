// PDF objects around a key: the dictionary that holds it (found back to its
// "<<" and read forward to its ">>"), the /Count of a page-tree node, the
// stream of an object stream, inflated, and what a stream's dictionary says
// of its data.
#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <new>
#include <cinttypes>
#include <string_view>

#include "analysis/pdf_internal.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"

namespace {

// Bytes handed to zlib at a time (its counts are 32 bits).
constexpr std::uint64_t INFLATE_INPUT_CHUNK = std::uint64_t{1} << 30;
constexpr std::size_t INFLATE_OUTPUT_STEP = std::size_t{64} << 10;

// Byte classes, looked up: dictionaries are read at every page and stream.
struct ByteClasses {
  bool regular[256];  // a byte of a name or number: no blank, no delimiter
  bool marks[256];    // a byte that read_dict acts on
};
constexpr ByteClasses make_byte_classes() {
  ByteClasses t{};
  for (int b = 0; b < 256; ++b) {
    const auto c = static_cast<std::uint8_t>(b);
    t.regular[b] = !ascii_is_space(c) && c != '(' && c != ')' && c != '<' && c != '>' &&
                   c != '[' && c != ']' && c != '{' && c != '}' && c != '/' && c != '%';
    t.marks[b] = c == '<' || c == '>' || c == '(' || c == '/';
  }
  return t;
}
constexpr ByteClasses BYTE_CLASSES = make_byte_classes();

bool is_regular(std::uint8_t c) { return BYTE_CLASSES.regular[c]; }

// What the top level of a dictionary says.
struct DictInfo {
  std::uint64_t end = 0;  // one past its ">>"
  std::optional<int> count;
  bool has_parent = false;
  bool flate = false;          // /Filter is /FlateDecode (alone)
  bool decode_parms = false;   // /DecodeParms present
  bool filtered = false;       // /Filter names at least one decoding
  bool embedded_file = false;  // /Type /EmbeddedFile
  PdfLengthKind length_kind = PdfLengthKind::NONE;
  std::uint64_t length = 0;    // a direct /Length
  std::optional<std::string_view> media_box;  // the numbers of a direct /MediaBox array
};

// An angle bracket: "<" (0x3C) and ">" (0x3E) are the two bytes that OR 2
// makes ">".
bool is_angle(std::uint8_t c) { return (c | 2U) == '>'; }

// The offset of the last "<" or ">" in [floor, before); none when there is
// none. Dictionary text holds few of them, so the search steps back 16
// bytes at a time.
std::optional<std::uint64_t> last_angle(ByteSpan d, std::uint64_t floor, std::uint64_t before) {
#if defined(__SSE2__)
  const __m128i two = _mm_set1_epi8(2);
  const __m128i close = _mm_set1_epi8('>');
  while (before - floor >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d.data() + before - 16));
    const auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v, two), close)));
    if (mask != 0) return before - 16 + static_cast<unsigned>(31 - __builtin_clz(mask));
    before -= 16;
  }
#endif
  while (before > floor) {
    if (is_angle(d[--before])) return before;
  }
  return std::nullopt;
}

// The "<<" that opens the dictionary holding offset `at`, looking back at
// most `back` bytes, not before `lowest`, and stepping over nested
// dictionaries. Pairs are read from the right: in "<<<" the pair is the
// last two.
std::optional<std::uint64_t> dict_open(ByteSpan d, std::uint64_t at,
                                       std::uint64_t back = PDF_DICT_BACK_MAX,
                                       std::uint64_t lowest = 0) {
  const std::uint64_t floor = std::max(at > back ? at - back : 0, lowest);
  int depth = 0;
  std::uint64_t j = at;  // bytes before j are still to be read
  while (j > floor) {
    const std::optional<std::uint64_t> angle = last_angle(d, floor, j);
    if (!angle) break;
    const std::uint64_t i = *angle;
    if (i == floor || d[i - 1] != d[i]) {
      j = i;  // a lone bracket
    } else if (d[i] == '>') {
      ++depth;
      j = i - 1;
    } else if (depth == 0) {
      return i - 1;
    } else {
      --depth;
      j = i - 1;
    }
  }
  return std::nullopt;
}

// A literal string "(...)" at i: one past its ")".
std::uint64_t skip_string(ByteSpan d, std::uint64_t i, std::uint64_t end) {
  int depth = 0;
  for (; i < end; ++i) {
    if (d[i] == '\\') {
      ++i;
    } else if (d[i] == '(') {
      ++depth;
    } else if (d[i] == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return end;
}

// The integer value of a key at i; none for an indirect reference ("n g R").
std::optional<int> direct_integer(ByteSpan d, std::uint64_t i) {
  i = pdf_skip_space(d, i);
  const DecimalRead n = decimal_read(d.subspan(i), DecimalSign::NONE);
  if (n.length == 0) return std::nullopt;
  std::uint64_t j = pdf_skip_space(d, i + n.length);
  const DecimalRead generation = decimal_read(d.subspan(j), DecimalSign::NONE);
  if (generation.length > 0) {
    j = pdf_skip_space(d, j + generation.length);
    if (j < d.size() && d[j] == 'R') return std::nullopt;
  }
  return decimal_clamp<int>(n.value);
}

void stream_length(ByteSpan d, std::uint64_t i, DictInfo* info) {
  const PdfLength length = pdf_length_value(d, i);
  info->length_kind = length.kind;
  info->length = length.bytes;
}

// A /Filter that names a decoding: a name, or an array whose first element
// is one ("[]" and "null" decode nothing; an indirect value is not followed).
bool names_a_filter(ByteSpan d, std::uint64_t i) {
  i = pdf_skip_space(d, i);
  if (i < d.size() && d[i] == '[') i = pdf_skip_space(d, i + 1);
  return i + 1 < d.size() && d[i] == '/' && is_regular(d[i + 1]);
}

// A name value at i that is `name` (with its "/") as a whole.
bool name_is(ByteSpan d, std::uint64_t i, std::string_view name) {
  i = pdf_skip_space(d, i);
  if (!scan_bytes_at(d, i, name)) return false;
  i += name.size();
  return i >= d.size() || !is_regular(d[i]);
}

// /FlateDecode alone, as a name or a one-element array.
bool flate_filter(ByteSpan d, std::uint64_t i) {
  i = pdf_skip_space(d, i);
  const bool array = i < d.size() && d[i] == '[';
  if (array) i = pdf_skip_space(d, i + 1);
  const bool flate = scan_bytes_at(d, i, "/FlateDecode") || scan_bytes_at(d, i, "/Fl");
  if (!flate) return false;
  i += scan_bytes_at(d, i, "/FlateDecode") ? 12 : 3;
  if (i < d.size() && is_regular(d[i])) return false;
  return !array || (i = pdf_skip_space(d, i), i < d.size() && d[i] == ']');
}

// The text inside a direct array value at i ("[0 0 612 792]"), at most
// PDF_BOX_WINDOW bytes long.
std::optional<std::string_view> direct_array(ByteSpan d, std::uint64_t i) {
  i = pdf_skip_space(d, i);
  if (i >= d.size() || d[i] != '[') return std::nullopt;
  const ByteSpan rest = d.subspan(i + 1, std::min<std::uint64_t>(d.size() - i - 1, PDF_BOX_WINDOW));
  const std::optional<std::uint64_t> close = scan_find_byte(rest, 0, ']');
  if (!close) return std::nullopt;
  return scan_text(rest.subspan(0, *close));
}

void top_level_key(ByteSpan d, std::string_view key, std::uint64_t value_at, DictInfo* info) {
  if (key == "MediaBox") {
    info->media_box = direct_array(d, value_at);
  } else if (key == "Count") {
    info->count = direct_integer(d, value_at);
  } else if (key == "Parent") {
    info->has_parent = true;
  } else if (key == "Filter") {
    info->flate = flate_filter(d, value_at);
    info->filtered = names_a_filter(d, value_at);
  } else if (key == "DecodeParms") {
    info->decode_parms = true;
  } else if (key == "Length") {
    stream_length(d, value_at, info);
  } else if (key == "Type") {
    info->embedded_file = name_is(d, value_at, "/EmbeddedFile");
  }
}

// The end of the bytes that read_dict reads from `open`, at most `limit`.
std::uint64_t dict_read_end(ByteSpan d, std::uint64_t open, std::uint64_t limit) {
  return d.size() - open > limit ? open + limit : d.size();
}

// Reads the dictionary opened at `open` to its ">>", at most `limit` bytes.
std::optional<DictInfo> read_dict(ByteSpan d, std::uint64_t open,
                                  std::uint64_t limit = PDF_DICT_MAX) {
  DictInfo info;
  const std::uint64_t end = dict_read_end(d, open, limit);
  int depth = 0;
  std::uint64_t i = open;
  while (i < end) {
    const std::uint8_t c = d[i];
    if (!BYTE_CLASSES.marks[c]) {
      ++i;
      continue;
    }
    const bool pair = i + 1 < end && d[i + 1] == c;
    if (c == '<' && pair) {
      ++depth;
      i += 2;
    } else if (c == '>' && pair) {
      i += 2;
      if (--depth == 0) {
        info.end = i;
        return info;
      }
    } else if (c == '(') {
      i = skip_string(d, i, end);
    } else if (c == '/') {
      std::uint64_t name_end = i + 1;
      while (name_end < end && is_regular(d[name_end])) ++name_end;
      const auto key = std::string_view(reinterpret_cast<const char*>(d.data()) + i + 1,
                                        name_end - i - 1);
      if (depth == 1) top_level_key(d, key, name_end, &info);
      i = name_end;
    } else {
      ++i;
    }
  }
  return std::nullopt;
}

// The first data byte of the stream whose dictionary ends at `dict_end`:
// behind blanks, the "stream" keyword and its line end (CRLF or LF; a lone
// CR is taken too). None when no "stream" keyword follows.
std::optional<std::uint64_t> stream_data_at(ByteSpan d, std::uint64_t dict_end) {
  const std::uint64_t limit = dict_read_end(d, dict_end, PDF_STREAM_KEYWORD_MAX);
  std::uint64_t i = dict_end;
  while (i < limit && ascii_is_space(d[i])) ++i;
  if (!scan_bytes_at(d, i, "stream")) return std::nullopt;
  i += 6;
  if (scan_bytes_at(d, i, "\r\n")) return i + 2;
  if (i < d.size() && (d[i] == '\n' || d[i] == '\r')) return i + 1;
  return i;
}

// Room for `more` bytes behind what the inflater holds, keeping what it
// holds; at the stream limit, whatever room is left. false when none is.
bool make_room(PdfInflater* in, std::size_t more) {
  if (in->capacity - in->size >= more) return true;
  const std::size_t want = std::min<std::size_t>(
      std::max(in->capacity * 2, in->size + more), PDF_OBJSTM_MAX_BYTES);
  if (want <= in->capacity) return in->capacity > in->size;  // at the limit: the room left
  std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[want]);
  if (!bigger) return false;
  if (in->size > 0) std::memcpy(bigger.get(), in->bytes.get(), in->size);
  in->bytes = std::move(bigger);
  in->capacity = want;
  return true;
}

// Inflates the Flate stream at `from` into the inflater, at most
// PDF_OBJSTM_MAX_BYTES; false when nothing could be inflated.
bool inflate_stream(ByteSpan d, std::uint64_t from, PdfInflater* in) {
  z_stream& z = in->z;
  if (!in->ready) {
    if (inflateInit(&z) != Z_OK) return false;
    in->ready = true;
    // The objects are read for what they say, not checked: a stream whose
    // checksum is wrong is read as far as it inflates, like a cut one.
    if (inflateValidate(&z, 0) != Z_OK) return false;
  } else if (inflateReset(&z) != Z_OK) {
    return false;
  }
  in->size = 0;
  std::uint64_t next = from;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (z.avail_in == 0) {
      if (next >= d.size()) break;
      const std::uint64_t chunk = std::min(d.size() - next, INFLATE_INPUT_CHUNK);
      z.next_in = const_cast<Bytef*>(d.data() + next);
      z.avail_in = static_cast<uInt>(chunk);
      next += chunk;
    }
    if (!make_room(in, INFLATE_OUTPUT_STEP)) break;  // at the limit
    z.next_out = in->bytes.get() + in->size;
    z.avail_out = static_cast<uInt>(in->capacity - in->size);
    const uInt before = z.avail_out;
    rc = inflate(&z, Z_NO_FLUSH);
    in->size += before - z.avail_out;
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && next < d.size()) rc = Z_OK;  // wants more input
  }
  z.avail_in = 0;
  if (rc != Z_STREAM_END && rc != Z_OK) {
    LOG_DEBUG("pdf object stream: inflate stopped with %d after %zu bytes", rc, in->size);
  }
  if (in->size >= PDF_OBJSTM_MAX_BYTES) {
    LOG_ERROR("pdf object stream at %" PRIu64 " inflates beyond %" PRIu64 " bytes; read that far",
              from, PDF_OBJSTM_MAX_BYTES);
  }
  return in->size > 0;
}

}  // namespace

std::uint64_t pdf_skip_space(ByteSpan data, std::uint64_t at) {
  while (at < data.size() && ascii_is_space(data[at])) ++at;
  return at;
}

PdfLength pdf_length_value(ByteSpan data, std::uint64_t at) {
  at = pdf_skip_space(data, at);
  const DecimalRead n = decimal_read(data.subspan(at), DecimalSign::NONE);
  if (n.length == 0 || n.saturated) return {};
  const std::uint64_t after = at + n.length;
  std::uint64_t j = pdf_skip_space(data, after);
  const DecimalRead generation = decimal_read(data.subspan(j), DecimalSign::NONE);
  if (generation.length > 0) {
    j = pdf_skip_space(data, j + generation.length);
    if (j < data.size() && data[j] == 'R') return {PdfLengthKind::INDIRECT, 0};
  }
  if (after < data.size() && is_regular(data[after])) return {};
  return {PdfLengthKind::DIRECT, static_cast<std::uint64_t>(n.value)};
}

std::optional<PdfPagesNode> pdf_pages_node(ByteSpan data, std::uint64_t type_at) {
  const std::optional<std::uint64_t> open = dict_open(data, type_at);
  if (!open) return std::nullopt;
  const std::optional<DictInfo> dict = read_dict(data, *open);
  if (!dict || dict->end <= type_at) return std::nullopt;
  return PdfPagesNode{dict->count, dict->has_parent, dict->media_box};
}

std::optional<std::string_view> pdf_media_box_at(ByteSpan data, std::uint64_t at) {
  constexpr std::string_view KEY = "/MediaBox";
  if (!scan_bytes_at(data, at, KEY)) return std::nullopt;
  at += KEY.size();
  if (at < data.size() && is_regular(data[at])) return std::nullopt;
  return direct_array(data, at);
}

bool pdf_inflate_object_stream(PdfScan* scan, ByteSpan data, std::uint64_t type_at) {
  const std::optional<std::uint64_t> open = dict_open(data, type_at);
  if (!open) return false;
  const std::optional<DictInfo> dict = read_dict(data, *open);
  if (!dict || dict->end <= type_at) return false;
  if (!dict->flate || dict->decode_parms) {
    LOG_DEBUG("pdf object stream at %" PRIu64 " is not plain Flate data; not read", type_at);
    return false;
  }
  const std::optional<std::uint64_t> stream = stream_data_at(data, dict->end);
  if (!stream || !inflate_stream(data, *stream, &scan->inflater)) return false;
  LOG_DEBUG("pdf object stream at %" PRIu64 ": %zu bytes inflated", type_at, scan->inflater.size);
  return true;
}

PdfStreamDict pdf_stream_dict(ByteSpan data, std::uint64_t key_at, std::uint64_t lowest) {
  PdfStreamDict out;
  out.looked_to = key_at + 1;
  const std::optional<std::uint64_t> open = dict_open(data, key_at, PDF_STREAM_DICT_MAX, lowest);
  if (!open) return out;
  const std::optional<DictInfo> dict = read_dict(data, *open, PDF_STREAM_DICT_MAX);
  if (!dict) {
    // Keys in the bytes read already would only be read again.
    out.looked_to = dict_read_end(data, *open, PDF_STREAM_DICT_MAX);
    return out;
  }
  out.looked_to = std::max(dict->end, out.looked_to);
  if (dict->end <= key_at) return out;
  const std::optional<std::uint64_t> stream = stream_data_at(data, dict->end);
  if (!stream) return out;
  out.data_at = *stream;
  out.length_kind = dict->length_kind;
  out.length = dict->length;
  out.filtered = dict->filtered;
  out.embedded_file = dict->embedded_file;
  return out;
}
