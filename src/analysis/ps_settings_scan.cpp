// The scan-time tests that turn device set-up and feature comments into
// evidence for the job's settings (applied by the final steps).
#include <cstdlib>
#include <string>

#include "analysis/ps_scan.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t SPD_BACK = 19;
constexpr std::uint64_t SPD_AHEAD = 60;
constexpr std::uint64_t CONDITIONAL_BACK = 10;
constexpr std::uint64_t STRING_BACK = 100;
constexpr std::uint64_t BINARY_MARKER_BACK = 6;
constexpr std::size_t SIGNATURE_TEXT = 299;

int group_int(const PsMatch& m, int g) { return decimal_clamp<int>(decimal_read(m.text(g)).value); }

// A number of the print data in millimetres, clamped to the int range.
int clamp_mm(double mm) {
  if (!(mm == mm)) return -1;
  if (mm >= 2147483647.0) return 2147483647;
  if (mm <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(mm);
}

double group_double(const PsMatch& m, int g) {
  const std::string text(m.text(g));
  return std::strtod(text.c_str(), nullptr);
}

void read_duplex_dict(PsScan* s, std::uint64_t p, const PsMatch& m) {
  const std::uint8_t* body = m.at(1);
  const std::uint64_t length = m.text(1).size();
  int duplex = -1;
  int tumble = -1;
  PsMatch key;
  for (std::uint64_t pos = 0; pos < length && ps_match(PsRe::DUPLEX_TUMBLE, body + pos, length - pos, &key);) {
    const int value = key.text(2) == "true" ? 1 : key.text(2) == "false" ? 0 : -1;
    if (key.text(1) == "Duplex") duplex = value;
    else tumble = value;
    pos = static_cast<std::uint64_t>(key.after() - body);
  }
  ja_set_is_tumble(s->ja, tumble == 1 ? 1 : 0);
  const int spd = duplex == 1 ? 1 : 0;
  const bool early = s->page_count_showpage_strict <= 2 && s->page_count_strict <= 2 &&
                     s->page_count_indesign_strict <= 2 && s->page_count_dsc <= 2;
  if (spd == 1 || early) {
    s->is_duplex_spd = spd;
    LOG_DEBUG("Matched re_duplex_spd '%.*s' at offset=%llu,is_duplex_spd=%d", static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)), static_cast<ull>(p), spd);
  }
}

const std::uint8_t* find_binary_int_marker(const PsScan* s, const std::uint8_t* from) {
  LOG_DEV("Looking for %x", 0x85);
  for (std::uint64_t i = 0; i < BINARY_MARKER_BACK && from - i >= s->start; ++i) {
    LOG_DEV("%llu: ch = %x", static_cast<ull>(from - i - s->start), from[-static_cast<std::int64_t>(i)]);
    if (from[-static_cast<std::int64_t>(i)] == 0x85) return from - i;
  }
  return nullptr;
}

int binary_nup_value(const PsScan* s, const std::uint8_t* marker) {
  struct Row {
    std::string_view bytes;
    int value;
  };
  static constexpr Row ROWS[] = {{std::string_view("\x85\x01\x41\x00\x00\x00", 6), 1},
                                 {std::string_view("\x85\x02\x00\x00\x00", 5), 2},
                                 {std::string_view("\x85\x01\x43\x00\x00\x00", 6), 3},
                                 {std::string_view("\x85\x01\x44\x00\x00\x00", 6), 4}};
  const ByteSpan rest = scan_bytes(marker, static_cast<std::uint64_t>(s->end - marker));
  for (const Row& row : ROWS) {
    if (scan_bytes_at(rest, 0, row.bytes)) return row.value;
  }
  return 0;
}

void fiery_colour_mode_range(PsScan* s, const PsMatch& m, std::uint64_t p) {
  const int index = group_int(m, 1);
  const std::string_view mode = m.text(2);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(mode.data());
  const ByteSpan span = scan_bytes(bytes, mode.size());
  int gray = -1;
  if (scan_find(span, 0, "gray") || scan_find(span, 0, "Gray") || scan_find(span, 0, "GRAY")) gray = 1;
  else if (scan_find(span, 0, "cmyk") || scan_find(span, 0, "CMYK") || scan_find(span, 0, "Cmyk")) gray = 0;
  LOG_DEBUG("Found re_efi_colormode_range at offset=%llu: idx=%d,is_gray=%d,,group0='%.*s'", static_cast<ull>(p),
            index, gray, static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
  s->fiery_ranges_seen = true;
  for (PsFieryRange& range : s->fiery) {
    if (range.index == index) {
      range.gray = gray;
      return;
    }
  }
  s->fiery.push_back(PsFieryRange{index, false, {}, gray});
}

void fiery_page_ranges(PsScan* s, const PsMatch& m, std::uint64_t p) {
  const int index = group_int(m, 1);
  const std::string text(m.text(2));
  LOG_DEBUG("fiery_page_range_parse_range_list: idx=%d,ranges_in='%s'", index, text.c_str());
  PsFieryRange* record = nullptr;
  for (PsFieryRange& range : s->fiery) {
    if (range.index == index) record = &range;
  }
  if (record == nullptr) {
    s->fiery.push_back(PsFieryRange{index, true, {}, -1});
    record = &s->fiery.back();
  }
  for (std::size_t from = 0; from <= text.size();) {
    const std::size_t comma = std::min(text.find(',', from), text.size());
    const std::string piece = text.substr(from, comma - from);
    PsMatch range;
    if (!ps_match(PsRe::PAGE_RANGE, reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size(), &range)) {
      LOG_ERROR("fiery_page_range_parse_range_list: re_range doesn't match. r='%s'", piece.c_str());
      break;
    }
    if (!record->has_ranges) {
      LOG_ERROR("fiery_page_range_add_range");
      break;
    }
    const int a = group_int(range, 1);
    const int b = range.has(2) ? group_int(range, 2) : a;
    record->ranges.emplace_back(a, b);
    from = comma + 1;
  }
  LOG_DEBUG("Found re_efi_range at offset=%llu: idx=%d,ranges='%s',group0='%.*s'", static_cast<ull>(p), index,
            text.c_str(), static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
}

bool contains_caseless(std::string_view text, std::string_view word) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (scan_bytes_at_caseless(scan_bytes(bytes, text.size()), i, word)) return true;
  }
  return false;
}

// The "%%BeginFeature" group: true when one of them ended the work.
bool feature_checks(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  const ull p = static_cast<ull>(h.p);
  if (h.is("%%BeginFeature: *ARCMode CMBW")) {
    LOG_DEBUG("Found '%%%%BeginFeature: *ARCMode CMBW' at %llu. Setting grayscale", p);
    ja_set_is_grayscale(s->ja, 1);
    *step = ps_skip_to(*s, h.p + 30);
    return true;
  }
  if (h.match(PsRe::COLORMODEL_CMYK, 50)) {
    LOG_DEBUG("Found re_colormodel_cmyk at %llu. Setting grayscale=%d", p, 0);
    s->colormodel_gray = false;
    return false;
  }
  if (h.match(PsRe::RICOH_HQCOLORMODE_FEATURE, 50, &m)) {
    const bool bw = m.text(1) == "BW";
    LOG_DEBUG("Found re_ricoh_hqcolormode1 at %llu: '%.*s' %s", p, static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)), bw ? "Setting grayscale=TRUE" : "");
    if (bw) ja_set_is_grayscale(s->ja, 1);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.match(PsRe::KM_BOOKLET, 50)) {
    LOG_DEBUG("Found re_km_booklet at %llu", p);
    s->km_booklet = true;
    *step = ps_skip_to(*s, h.p + 21);
    return true;
  }
  if (h.match(PsRe::FIERY_BOOKLET, 50, &m)) {
    if (contains_caseless(m.text(1), "TwoUp")) s->fiery_nup = 2;
    LOG_DEBUG("Found re_beginfeature_fiery_booklet at offset=%llu: fiery_nup=%d,group0='%.*s'", p, s->fiery_nup,
              static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.match(PsRe::UNIVERSAL_GRAYSCALE, 50)) {
    LOG_DEBUG("Found re_ps_universal_grayscale at %llu", p);
    ja_set_is_grayscale(s->ja, 1);
    *step = ps_skip_to(*s, h.p + 21);
    return true;
  }
  if (h.match(PsRe::FIERY_COLORMODE_DOC, 50, &m)) {
    if (contains_caseless(m.text(1), "gray")) s->is_fiery_doc_gray = 1;
    else if (contains_caseless(m.text(1), "cmyk")) s->is_fiery_doc_gray = 0;
    LOG_DEBUG("Found re_efi_colormode_doc at offset=%llu: is_fiery_doc_gray=%d,group0='%.*s'", p,
              s->is_fiery_doc_gray, static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.match(PsRe::FIERY_COLORMODE_RANGE, 50, &m)) {
    fiery_colour_mode_range(s, m, h.p);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.match(PsRe::FIERY_RANGE, 50, &m)) {
    fiery_page_ranges(s, m, h.p);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  return false;
}

bool bounding_box(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  const std::uint64_t n = h.room(80);
  if (s->bounding_box_width_mm < 0 && h.r() > 40 && h.match(PsRe::BOUNDING_BOX, n, &m)) {
    (void)postscript_boundbox_size(m.text(1), &s->bounding_box_width_mm, &s->bounding_box_height_mm);
    LOG_DEBUG("Found re_bounding_box at %llu: '%.*s',bounding_box_width_mm=%d,bounding_box_height_mm=%d",
              static_cast<ull>(h.p), static_cast<int>(m.text(1).size()), m.text(1).data(),
              s->bounding_box_width_mm, s->bounding_box_height_mm);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.match(PsRe::DOCUMENT_MEDIA, n, &m)) {
    s->bounding_box_width_mm = ps_points_to_mm(group_int(m, 1));
    s->bounding_box_height_mm = ps_points_to_mm(group_int(m, 2));
    LOG_DEBUG("Found re_document_media at %llu: '%.*s',bounding_box_width_mm=%d,bounding_box_height_mm=%d",
              static_cast<ull>(h.p), static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)),
              s->bounding_box_width_mm, s->bounding_box_height_mm);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  return false;
}

bool head_of_job(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  const std::uint8_t c = *h.at();
  if (c == '!' && h.r() >= 20 && h.match(PsRe::KYOCERA_SEM, 20)) {
    LOG_DEBUG("Found Kyocera at %llu", static_cast<ull>(h.p));
    s->kyocera_seen = true;
  } else if (c == '@' && h.r() > 50 && h.match(PsRe::PJL_GRAYSCALE, 50, &m)) {
    s->is_pj_grayscale = m.text(1) != "OFF";
    LOG_DEBUG("Found is_pj_grayscale at %llu. '%.*s' Setting is_pj_grayscale=%d", static_cast<ull>(h.p),
              static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)), s->is_pj_grayscale ? 1 : 0);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  } else if (c == 'e' && h.r() > 50 && h.match(PsRe::EXIF_DIMENSION, 50, &m)) {
    const bool is_x = m.text(1) == "PixelXDimension";
    const int mm = ps_points_to_mm(group_int(m, 2));
    (is_x ? s->page_width_mm : s->page_height_mm) = mm;
    LOG_DEBUG("Found re_exif at %llu: '%.*s',is_x=%d,is_y=%d,len_mm=%d,page_width_mm=%d,page_height_mm=%d",
              static_cast<ull>(h.p), static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)),
              is_x ? 1 : 0, is_x ? 0 : 1, mm, s->page_width_mm, s->page_height_mm);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  return false;
}

}  // namespace

PsStep ps_setpagedevice_duplex(PsScan* s, std::uint64_t p) {
  const std::uint64_t from = p >= SPD_BACK ? p - SPD_BACK : 0;
  const auto open = scan_rfind(scan_bytes(s->start, p + 2), p + 1, "<<");
  if (!open || *open < from) return ps_go_on(p);
  PsMatch m;
  const std::uint64_t stop = std::min(s->length(), p + SPD_AHEAD);
  if (!ps_match(PsRe::SETPAGEDEVICE_DICT, s->start + *open, stop - *open, &m)) return ps_skip_to(*s, p + 1);
  read_duplex_dict(s, p, m);
  std::uint64_t q = *open;
  const std::uint64_t lowest = *open >= CONDITIONAL_BACK ? *open - CONDITIONAL_BACK : 0;
  while (q > lowest && ascii_is_space(s->start[q - 1])) --q;
  if (q > 0 && s->start[q - 1] == '{') {
    LOG_DEBUG("is_conditional_duplex=true at offset=%llu", static_cast<ull>(p));
    s->is_conditional_duplex = true;
  }
  return ps_skip_match(*s, *open, m);
}

PsStep ps_tentative_copies(PsScan* s, std::uint64_t p) {
  const PsHere h{s, p};
  PsMatch m;
  if (!h.match(PsRe::COPIES, 25, &m)) return ps_go_on(p);
  const int n = group_int(m, 1);
  LOG_DEBUG("Tentative copies = %d at offset %llu from '%.*s'", n, static_cast<ull>(p), static_cast<int>(m.length()),
            reinterpret_cast<const char*>(m.at(0)));
  const bool definition = h.match(PsRe::COPIES_ROLL, 100);
  if (definition) LOG_DEBUG("Last copies was part of a defintion");
  bool in_string = false;
  for (std::uint64_t i = 1; i <= std::min<std::uint64_t>(p, STRING_BACK); ++i) {
    const std::uint8_t c = s->start[p - i];
    if (c == '(' || c == ')') {
      in_string = c == '(';
      break;
    }
  }
  LOG_DEBUG("in_string=%d", in_string ? 1 : 0);
  if (!in_string && !definition) s->tentative_copies = n;
  return ps_skip_match(*s, p, m);
}

void ps_binary_nup(PsScan* s, std::uint64_t p) {
  const std::uint8_t* near = find_binary_int_marker(s, s->start + p - 1);
  const std::uint8_t* far = near != nullptr && near > s->start ? find_binary_int_marker(s, near - 1) : nullptr;
  s->binary_nup = near != nullptr && far != nullptr ? binary_nup_value(s, near) * binary_nup_value(s, far) : 0;
  LOG_DEBUG("Found definenup - binary nup = %d", s->binary_nup);
}

void ps_signature_size(PsScan* s, const std::uint8_t* text, std::uint64_t length) {
  PsMatch m;
  const std::uint64_t n = std::min<std::uint64_t>(length, SIGNATURE_TEXT);
  if (!ps_match(PsRe::SIGNATURE_DIMENSIONS, text, n, &m)) return;
  s->signature_width_mm = clamp_mm(group_double(m, 1));
  s->signature_height_mm = clamp_mm(group_double(m, 2));
  LOG_DEBUG("Signature dimensions '%.*s' => %d mm x %d mm", static_cast<int>(n), reinterpret_cast<const char*>(text),
            s->signature_width_mm, s->signature_height_mm);
}

bool ps_gray_models(PsScan* s, std::uint64_t p, PsStep* step) {
  const PsHere h{s, p};
  if (*h.at() == 'B' && h.r() >= 201 && p >= 11 && h.is("BRPr")) {
    if (ps_match(PsRe::BROTHER_GRAY, h.at() - 10, 200)) {
      LOG_DEBUG("matched re_brprocescolormodel_gray at %llu", static_cast<ull>(p));
      ja_set_is_grayscale(s->ja, 1);
      *step = ps_skip_to(*s, p + 31);
      return true;
    }
    return false;
  }
  if (*h.at() != 'P' || h.r() <= 200 || p <= 22 || !h.is("ProcessCo") || !h.match(PsRe::PROCESS_COLOR_GRAY, 200))
    return false;
  const bool in_proc = ps_match(PsRe::PROCESS_COLOR_GRAY_PROC, h.at() - 10, 210);
  const bool in_feature = ps_match(PsRe::PROCESS_COLOR_GRAY_FEATURE, h.at() - 22, 222);
  LOG_DEV("matched re_procescolormodel_gray at %llu,in_proc=%d,in_feature=%d", static_cast<ull>(p), in_proc ? 1 : 0,
          in_feature ? 1 : 0);
  if (in_proc && !in_feature) {
    LOG_DEV("re_procescolormodel_gray was in a procedure");
  } else {
    LOG_DEBUG("matched re_procescolormodel_gray not a proc. Setting grayscale");
    ja_set_is_grayscale(s->ja, 1);
  }
  *step = ps_skip_to(*s, p + 21);
  return true;
}

bool ps_header_checks(PsScan* s, std::uint64_t p, PsStep* step) {
  const PsHere h{s, p};
  const std::uint8_t c = *h.at();
  if (p < 10000 && head_of_job(s, h, step)) return true;
  if ((c == 'C' || c == 'c') && h.r() > 40 && h.is_caseless("ColorModel") && h.match(PsRe::COLORMODEL_GRAY, 40)) {
    LOG_DEBUG("Found re_colormodel_gray at %llu. Setting grayscale=%d", static_cast<ull>(p), 1);
    s->colormodel_gray = true;
  }
  if (c == '%') {
    if (h.r() > 50 && h.is("%%Be") && feature_checks(s, h, step)) return true;
    return bounding_box(s, h, step);
  }
  PsMatch m;
  if (c == '<' && h.r() > 50 && h.is("<<") && h.match(PsRe::RICOH_HQCOLORMODE_DICT, 50, &m)) {
    const bool gray = m.text(1) == "2";
    LOG_DEBUG("Found re_ricoh_hqcolormode2 at %llu: '%.*s' %s", static_cast<ull>(p), static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)), gray ? "Setting grayscale=TRUE" : "");
    if (gray) ja_set_is_grayscale(s->ja, 1);
    *step = ps_skip_match(*s, p, m);
    return true;
  }
  return false;
}
