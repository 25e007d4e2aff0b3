// Images drawn with the colorimage operator: one driver's "@X" form, and the
// plain forms applications and filters write, whose samples are a hex string
// in the data procedure or follow the operator (hexadecimal text read by
// readhexstring, or ASCII85 text through a filter).
#include <algorithm>
#include <cstring>
#include <string_view>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_image.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t OPERATOR = 10;  // "colorimage"
constexpr std::uint64_t OPERANDS_BACK = 40;
constexpr std::uint64_t PROCEDURE_BACK = std::uint64_t{8} << 20;
constexpr std::uint64_t HEX_SAMPLES_MAX = std::uint64_t{8} << 20;

int group_int(const PsMatch& m, int g) {
  int value = 0;
  return decimal_parse_whole(m.text(g), &value) ? value : 0;
}

void set_markers(PSImageParams* p, const char* start_marker, const char* end_marker) {
  std::strncpy(p->start_marker, start_marker, PS_IMAGE_MARKER_SIZE - 1);
  std::strncpy(p->end_marker, end_marker, PS_IMAGE_MARKER_SIZE - 1);
}

void report(const PsAt& at, int result) {
  if (result == PS_IMAGE_COLOUR) {
    LOG_DEBUG(" image at offset=%llu contains color, has_color_on_page", static_cast<ull>(at.offset()));
    at.mark();
  } else if (result == PS_IMAGE_UNKNOWN) {
    at.unjudged("colorimage samples that are not decoded here");
  }
}

// The "{ ... }" that ends just before `close` (its "}"): the bytes between
// the braces, or an empty span.
ByteSpan procedure_before(const PsAt& at, const std::uint8_t* close) {
  int depth = 0;
  const std::uint8_t* lo = close - std::min<std::uint64_t>(PROCEDURE_BACK, close - at.start);
  for (const std::uint8_t* q = close; q >= lo; --q) {
    if (*q == '}') ++depth;
    if (*q == '{' && --depth == 0) return scan_bytes(q + 1, static_cast<std::uint64_t>(close - q - 1));
    if (q == lo) break;
  }
  return {};
}

// The run of hexadecimal digits and white space from `from`.
std::uint64_t hex_run(const PsAt& at, const std::uint8_t* from) {
  const std::uint64_t limit = std::min<std::uint64_t>(HEX_SAMPLES_MAX, at.end - from);
  std::uint64_t n = 0;
  while (n < limit && (ascii_is_xdigit(from[n]) || ascii_is_space(from[n]))) ++n;
  return n;
}

// Samples of "false n colorimage" whose data source is the procedure `body`.
int procedure_samples(const PsAt& at, ByteSpan body, PSImageParams* params) {
  const std::uint8_t* after = at.pos + OPERATOR;
  if (scan_find(body, 0, "currentfile")) {
    if (scan_find(body, 0, "readhexstring")) {
      params->is_asciihex = 1;
      return samples_have_color(after, hex_run(at, after), params);
    }
    if (scan_find(body, 0, "/ASCII85Decode")) {
      params->is_ascii85 = 1;
      params->is_flate = scan_find(body, 0, "/FlateDecode") ? 1 : 0;
      params->is_rle = scan_find(body, 0, "/RunLengthDecode") ? 1 : 0;
      params->is_raw = params->is_flate == 0 && params->is_rle == 0 ? 1 : 0;
      set_markers(params, "colorimage", "~>");
      return image_data_has_color(at.pos, at.start, at.end, params, nullptr);
    }
    return PS_IMAGE_UNKNOWN;
  }
  const auto open = scan_find_byte(body, 0, '<');
  if (!open || (*open + 1 < body.size() && body[*open + 1] == '~')) return PS_IMAGE_UNKNOWN;
  const auto close = scan_find_byte(body, *open, '>');
  if (!close) return PS_IMAGE_UNKNOWN;
  params->is_asciihex = 1;
  return samples_have_color(body.data() + *open + 1, *close - *open - 1, params);
}

constexpr std::uint64_t FILTERS_BACK = 200;

enum class FileSource { NONE, DECODED, NOT_DECODED };

// The data source "currentfile /A filter /B filter ..." that ends just
// before `end` (behind its last "filter"): NONE when there is none such,
// else whether its filters (set in `params`) are decoded here.
FileSource current_file_filters(const PsAt& at, const std::uint8_t* end, PSImageParams* params) {
  const std::uint8_t* lo = end - std::min<std::uint64_t>(FILTERS_BACK, end - at.start);
  const auto span = scan_bytes(lo, static_cast<std::uint64_t>(end - lo));
  const auto file = scan_rfind(span, span.size(), "currentfile");
  if (!file || span.size() < 6 || !scan_bytes_at(span, span.size() - 6, "filter")) return FileSource::NONE;
  const ByteSpan chain = span.subspan(*file + 11, span.size() - *file - 11);
  struct Named {
    std::string_view name;
    std::int32_t PSImageParams::*flag;
  };
  static constexpr Named NAMES[] = {
      {"/ASCIIHexDecode", &PSImageParams::is_asciihex}, {"/ASCII85Decode", &PSImageParams::is_ascii85},
      {"/FlateDecode", &PSImageParams::is_flate},       {"/LZWDecode", &PSImageParams::is_lzw},
      {"/RunLengthDecode", &PSImageParams::is_rle},
  };
  int names = 0;
  for (std::uint64_t i = 0; i < chain.size(); ++i) {
    if (chain[i] != '/') continue;
    bool known = false;
    for (const Named& n : NAMES) {
      if (!scan_bytes_at(chain, i, n.name)) continue;
      params->*n.flag += 1;
      known = true;
    }
    if (!known) return FileSource::NOT_DECODED;  // DCTDecode, CCITTFaxDecode, ...
    ++names;
  }
  const int text = params->is_asciihex + params->is_ascii85;
  const int compressed = params->is_flate + params->is_lzw + params->is_rle;
  if (names == 0 || text > 1 || compressed > 1 || names != text + compressed) return FileSource::NOT_DECODED;
  // A text encoding comes first, then the compression.
  if (text == 1 && compressed == 1) {
    const auto text_at = scan_find(chain, 0, params->is_asciihex != 0 ? "/ASCIIHex" : "/ASCII85");
    const auto first = scan_find_byte(chain, 0, '/');
    if (text_at != first) return FileSource::NOT_DECODED;
  }
  params->is_raw = compressed == 0 ? 1 : 0;
  return FileSource::DECODED;
}

// Samples of "currentfile ... filter false n colorimage": they follow the
// operator (one white-space byte behind it).
int current_file_samples(const PsAt& at, PSImageParams* params) {
  const std::uint8_t* data = at.pos + OPERATOR;
  if (data < at.end && ascii_is_space(*data)) ++data;
  return samples_have_color(data, static_cast<std::uint64_t>(at.end - data), params);
}

// "false 3 colorimage" after a data procedure or a filtered current file.
bool plain_colorimage(const PsAt& at) {
  PsMatch m;
  const std::uint8_t* from = at.back(OPERANDS_BACK);
  const std::uint64_t n = static_cast<std::uint64_t>(at.pos - from) + OPERATOR;
  if (!ps_match(PsRe::PLAIN_COLORIMAGE, from, n, &m) || m.after() != at.pos + OPERATOR) return false;
  const int components = group_int(m, 2);
  if (m.text(1) != "false" || (components != 3 && components != 4)) return false;
  const std::uint8_t* q = m.at(0);
  while (q > at.start && ascii_is_space(q[-1])) --q;
  PSImageParams params{};
  params.num_components = components;
  int result = PS_IMAGE_UNKNOWN;
  if (q > at.start && q[-1] == '}') {
    const ByteSpan body = procedure_before(at, q - 1);
    if (body.empty()) return false;
    result = procedure_samples(at, body, &params);
  } else {
    const FileSource source = current_file_filters(at, q, &params);
    if (source == FileSource::NONE) return false;
    if (source == FileSource::DECODED) result = current_file_samples(at, &params);
  }
  report(at, result);
  return true;
}

// One driver's "@X false n colorimage" with ASCII85 samples behind it.
bool driver_colorimage(const PsAt& at, int* components) {
  const auto at_sign = scan_rfind_byte(scan_bytes(at.pos - 39, 39), 39, '@');
  if (!at_sign) return false;
  const PsAt at_at{at.color, at.start, at.end, at.pos - 39 + *at_sign};
  const std::uint64_t run = number_run_before(at_at);
  if (run <= 10) return false;
  PsMatch m;
  const std::uint8_t* from = at_at.pos - run;
  if (!ps_match(PsRe::COLORIMAGE, from, static_cast<std::uint64_t>(at.pos - from) + at.room(11), &m))
    return false;
  const int bits = group_int(m, 1);
  *components = group_int(m, 2);
  return bits >= 2 && *components >= 2;
}

}  // namespace

bool ps_image_test_colorimage(const PsAt& at) {
  if (!at.looking_at_caseless("colorimage") || at.remaining() < OPERATOR) return false;
  int components = 0;
  if (at.offset() > 200 && at.remaining() > 50 && driver_colorimage(at, &components)) {
    PSImageParams params{};
    params.num_components = components;
    params.is_ascii85 = 1;
    params.is_raw = 1;
    set_markers(&params, "colorimage", "~>");
    const std::uint8_t* image_end = nullptr;
    const int result = image_data_has_color(at.pos, at.start, at.end, &params, &image_end);
    report(at, result);
    if (result == PS_IMAGE_UNKNOWN) return true;
    at.skip_to(image_end != nullptr ? image_end : at.pos + at.room(10));
    return false;
  }
  (void)plain_colorimage(at);
  return false;
}
