// The PCL5 scan loop: the start position, the tests that run in every mode
// (job tokens, drivers' marks, the job header, page ends that do not depend
// on the mode) and the skip to the next byte that some test can take.
#include "analysis/pcl5_scan.h"

#include <algorithm>
#include <array>
#include <limits>

#include "analysis/pcl5_command.h"
#include "analysis/pcl5_scan_internal.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"

namespace pcl5_scanner {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view UEL = "%-12345X";
constexpr std::string_view CANON_SIGNATURE = "\xcd\xca"sv;
// A Canon wrapper whose PCL start is not at 0: ESC E is looked for in this
// many bytes.
constexpr std::uint64_t CANON_PCL_SEARCH = 1500;
constexpr std::uint64_t CANON_FOOTER_MIN = 21;
constexpr std::uint64_t CANON_FOOTER_MAX = 999;
constexpr std::uint64_t RESET_MIN_OFFSET = 100;
constexpr std::uint64_t TOKEN_WINDOW = 50;
constexpr std::uint64_t MARKS_HEAD = 1000;
constexpr std::uint64_t OCE_COPIES_NUMBER_AT = 14;
constexpr std::uint64_t OCE_COPIES_NUMBER_MAX = 22;
constexpr std::uint64_t OCE_JOB_MIN = 21;
// How far ahead of the scan position the bytes are fetched into the cache.
constexpr std::uint64_t PREFETCH_AHEAD = 4096;

// ---- bytes that some test can take ----

enum ByteClass : std::uint8_t {
  ANY_MODE = 1,  // job tokens, marks, page ends of every mode
  HEADER = 2,
  PCL = 4,
  HPGL = 8,
  RASTER = 16,
  HPGL_COLOR = 32,  // the colour detector's HP-GL/2 commands
};

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned char c : "\x1b%@MPAOC"sv) t[c] |= ANY_MODE;
  for (unsigned char c : "BT"sv) t[c] |= HEADER;
  for (unsigned char c : "\x0c;!*0123456789"sv) t[c] |= PCL;
  for (unsigned char c : "PRIB"sv) t[c] |= HPGL;
  for (int c = '0'; c <= '9'; ++c) t[c] |= RASTER;
  for (int c = 0x40; c <= 0x60; ++c) t[c] |= RASTER;
  for (int c = 'A'; c <= 'Z'; ++c) t[c] |= HPGL_COLOR;
  return t;
}
constexpr std::array<std::uint8_t, 256> CLASSES = make_classes();

std::uint8_t wanted_classes(const Pcl5ScanState& st) {
  std::uint8_t want = ANY_MODE;
  if (st.in_header) return want | HEADER;
  switch (st.mode) {
    case PCL5_MODE_PCL: want |= PCL; break;
    case PCL5_MODE_RASTER: want |= RASTER; break;
    default: want |= HPGL | (st.color != nullptr ? HPGL_COLOR : 0); break;
  }
  return want;
}

// The next position at or after p that some test can take.
std::uint64_t next_candidate(const Pcl5ScanState& st, ByteSpan data, std::uint64_t p) {
  if (st.color != nullptr && st.color->tentative_color) return p;
  const std::uint8_t want = wanted_classes(st);
  while (p < data.size() && (CLASSES[data[p]] & want) == 0) ++p;
  return p;
}

std::int64_t saturating_add(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > std::numeric_limits<std::int64_t>::max() - b) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return a + b;
}

void count(std::int64_t* counter) { *counter = saturating_add(*counter, 1); }

// ---- start ----

// The first position and mode; a Canon wrapper's PCL begins at its ESC E.
std::uint64_t start_position(ByteSpan data) {
  if (data.size() <= 11 || !scan_bytes_at(data, 0, CANON_SIGNATURE)) return 0;
  const std::uint8_t b10 = data[10];
  const std::uint8_t b11 = data[11];
  if (b10 == 0xff && b11 != 0xff) return 0;
  if (!((b10 == 0 && b11 == 0) || (b10 == 0xff && b11 == 0xff))) return 0;
  const std::uint64_t limit = std::min<std::uint64_t>(data.size(), CANON_PCL_SEARCH);
  for (std::uint64_t p = 0; p + 1 < limit; ++p) {
    if (data[p] == PCL_ESC && data[p + 1] == 'E') {
      LOG_DEBUG("Found start of PCL");
      return p;
    }
  }
  // Short jobs: the scan starts at their end rather than past it.
  return limit;
}

void first_byte(Pcl5ScanState* st, ByteSpan data, std::uint64_t start) {
  if (scan_bytes_at(data, start, "BPINPS")) {
    LOG_DEBUG("Starting in HPGL mode");
    st->mode = PCL5_MODE_HPGL;
    st->in_header = false;
    PCL5ColorResetHPGL(st->color, 1);
  }
  if (scan_bytes_at(data, start, "*OceJobBegin")) {
    LOG_DEBUG("Found Oce Custom");
    st->flags.oce_custom = true;
  }
  if (data.size() - std::min<std::uint64_t>(start, data.size()) > 12 &&
      scan_bytes_at(data, start, "!R!SEM6;EXIT;")) {
    LOG_DEBUG("Found Kyocera");
    st->flags.kyocera = true;
  }
}

// How raster rows were written at a tracker's page ends, rotated as the
// ends are.
void note_raster_format(EmptyPageTracker* tracker, Pcl5RasterFormat format) {
  if (tracker->latest_page) tracker->second_latest_format = tracker->latest_format;
  tracker->latest_format = format;
}

// ---- tests of every mode ----

bool canon_footer(Pos pos) {
  if (pos.n() < CANON_FOOTER_MIN || pos.n() > CANON_FOOTER_MAX || !pos.is("\x1b" "E\xcd\xca"sv)) {
    return false;
  }
  LOG_DEBUG("Found canon footer at %llu", static_cast<unsigned long long>(pos.p));
  return true;
}

// "%XRXcopyCount:\s+(\d+)" (caseless) and ESC "&b1M", each counted once.
void job_tokens(Pcl5ScanState* st, Pos pos) {
  if (pos.n() - 1 <= 5) return;
  const std::uint64_t window = std::min<std::uint64_t>(pos.n() - 1, TOKEN_WINDOW);
  const ByteSpan w = pos.data.subspan(pos.p, window);
  if (st->xrx_copy_count < 0 && w[0] == '%' && scan_bytes_at_caseless(w, 1, "XRXcopyCount:")) {
    std::uint64_t q = 14;
    const std::uint64_t blanks = q;
    while (q < w.size() && ascii_is_space(w[q])) ++q;
    const DecimalRead r = decimal_read(w.subspan(std::min<std::uint64_t>(q, w.size())), DecimalSign::NONE);
    if (q > blanks && r.length > 0) {
      st->xrx_copy_count = std::max<std::int64_t>(r.value, 0);
      LOG_DEBUG("Found XRXcopyCount of %lld", static_cast<long long>(st->xrx_copy_count));
    }
  }
  if (!st->grayscale_token && scan_bytes_at(w, 0, "\x1b&b1M")) st->grayscale_token = true;
}

// Oce jobs in UTF-16LE text: "Copies", two more bytes, then the number.
void oce_utf16_copies(Pcl5ScanState* st, Pos pos) {
  if (pos.data.size() < OCE_JOB_MIN || pos.n() < 11 ||
      !pos.is("C\0o\0p\0i\0e\0s\0"sv) || pos.n() <= OCE_COPIES_NUMBER_AT) {
    return;
  }
  std::uint64_t consumed = 0;
  std::int64_t copies = get_value_number(pos.data, pos.p + OCE_COPIES_NUMBER_AT,
                                         OCE_COPIES_NUMBER_MAX, 2, '\n', &consumed);
  if (copies < 1) {
    LOG_ERROR("Copy count not parseable for Oce: %lld default to 1 copy",
              static_cast<long long>(copies));
    copies = 1;
  }
  st->oce_copies = copies;
  LOG_DEBUG("Found Oce Copies %lld", static_cast<long long>(copies));
}

// APPLDATA\s+0+2\s+"CO\s*=\s*(\d+) within 20 bytes.
void oce_appldata_copies(Pcl5ScanState* st, Pos pos) {
  if (pos.offset() >= MARKS_HEAD || pos.n() <= 20 || !pos.is("APPLDATA")) return;
  const ByteSpan w = pos.data.subspan(pos.p, 20);
  std::uint64_t q = 8;
  auto spaces = [&](bool required) {
    const std::uint64_t from = q;
    while (q < w.size() && ascii_is_space(w[q])) ++q;
    return !required || q > from;
  };
  if (!spaces(true)) return;
  const std::uint64_t zeros = q;
  while (q < w.size() && w[q] == '0') ++q;
  if (q == zeros || q >= w.size() || w[q] != '2') return;
  ++q;
  if (!spaces(true) || !scan_bytes_at(w, q, "\"CO")) return;
  q += 3;
  spaces(false);
  if (q >= w.size() || w[q] != '=') return;
  ++q;
  spaces(false);
  const DecimalRead r = decimal_read(w.subspan(std::min<std::uint64_t>(q, w.size())), DecimalSign::NONE);
  if (r.length == 0) return;
  st->oce_copies = r.value;
  LOG_DEBUG("Found Oce copies '%.*s',copies=%lld at %llu", static_cast<int>(q + r.length),
            reinterpret_cast<const char*>(w.data()), static_cast<long long>(r.value),
            static_cast<unsigned long long>(pos.p));
}

void driver_marks(Pcl5ScanState* st, Pos pos) {
  Pcl5DriverFlags& f = st->flags;
  const std::uint64_t n = pos.n();
  switch (pos.at()) {
    case 'M':
      if (n >= 16 && pos.is("MFDESC 'Oce RCF")) {
        f.aveva_plot = true;
        LOG_DEBUG("Found potental AVEVA plot");
      }
      break;
    case '@':
      if (n >= 18 && pos.is("@PJL COMMENT RPJL")) {
        f.ricoh = true;
        LOG_DEBUG("Found Ricoh header");
      }
      if (pos.offset() < MARKS_HEAD && n > 33 && pos.is("@PJL COMMENT Device Name  : OKI C8")) {
        f.oki_c8 = true;
        LOG_DEBUG("Found OKI CXXXX series");
      }
      if (n > 7 && pos.is("@PJL")) {
        if (!f.pjl_seen) LOG_DEV("Found PJL header");
        f.pjl_seen = true;
      }
      break;
    case 'P':
      if (n > 7 && pos.is("PCL3GUI")) {
        if (!f.pcl3gui) LOG_DEBUG("Found PCL3GUI");
        f.pcl3gui = true;
      }
      break;
    case 'O':
      if (n > 30 && (pos.is("OKI PCL5e Printer Driver") || pos.is("OKIAUXJOBINFO DATA"))) {
        if (!f.oki) LOG_DEBUG("Found OKI PCL at offset=%llu", static_cast<unsigned long long>(pos.p));
        f.oki = true;
      }
      break;
    case 'C':
      if (f.oce_custom) oce_utf16_copies(st, pos);
      break;
    case 'A':
      oce_appldata_copies(st, pos);
      break;
    default:
      break;
  }
}

// The job header: PJL and other text before the first PCL command. An ESC
// that begins a command ends it, as do an HP-GL/2 begin-plot and a KIP
// plot; that command is then examined outside the header.
bool header_step(Pcl5ScanState* st, Pos pos) {
  const std::uint64_t n = pos.n();
  if (n > 9 && pos.at() == PCL_ESC && pos.at(1) >= 0x21 && pos.at(1) <= 0x7e &&
      !pos.is("\x1b%-12345X")) {
    LOG_DEV("End header and start PCL at: %llu", static_cast<unsigned long long>(pos.p));
    st->in_header = false;
    return true;
  }
  bool plot = false;
  if (n > 14 && pos.is("BP")) {
    // BP\d?,?\d?;[A-Z]
    std::uint64_t q = pos.p + 2;
    if (ascii_is_digit(pos.data[q])) ++q;
    if (pos.data[q] == ',') ++q;
    if (ascii_is_digit(pos.data[q])) ++q;
    plot = pos.data[q] == ';' && ascii_is_upper(pos.data[q + 1]);
    if (plot) LOG_DEV("Found begin plot so entering HPGL at: %llu", static_cast<unsigned long long>(pos.p));
  } else if (n > 7 && pos.is("TR0;ROPS")) {
    plot = true;
    LOG_DEV("Found KIP HPGL at: %llu", static_cast<unsigned long long>(pos.p));
  }
  if (!plot) return false;
  PCL5ColorResetHPGL(st->color, 1);
  st->mode = PCL5_MODE_HPGL;
  st->in_header = false;
  return true;
}

void count_dpss(Pcl5ScanState* st, Pos pos) {
  const std::uint8_t side = pos.at(3);
  LOG_DEV("Found Duplex Page Side Selection Command (%c) at: %llu (0x%llx)", side,
          static_cast<unsigned long long>(pos.p), static_cast<unsigned long long>(pos.p));
  if (st->standard_pages == 0 && side == '1') {
    LOG_DEV("Ignoring the initial duplex front side reset command at the start");
    return;
  }
  if (st->flags.oki && side == '0') {
    LOG_DEV("Ignoring the duplex next side command on OKI");
    return;
  }
  const std::int64_t old_dpss = st->dpss_count;
  count(&st->dpss_count);
  pcl5_sheet_end(st, pos.p);
  note_raster_format(&st->standard_tracker, st->raster_format);
  note_raster_format(&st->unicode_tracker, st->raster_format);
  process_empty_pages(st->non_marking, pos.data, &st->standard_tracker, pos.p,
                      saturating_add(saturating_add(old_dpss, st->standard_pages), 1));
  process_empty_pages(st->non_marking, pos.data, &st->unicode_tracker, pos.p,
                      saturating_add(st->dpss_count, st->unicode_pages));
  log_page_count(pos.p, saturating_add(st->standard_pages, st->dpss_count), st->color);
}

// Page ends and resets that count in every mode outside the header.
Next any_mode_step(Pcl5ScanState* st, Pos pos) {
  const std::uint64_t n = pos.n();
  if (n > 4 && pos.is("\x1b&l0H")) {
    count(&st->eject_count);
    if (st->raster_marks || st->marks_since_sheet_end) count(&st->marked_ejects);
    pcl5_sheet_end(st, pos.p);
    return pos.p + 5;
  }
  if (n > 7 && pos.is(UEL)) {
    PCL5ColorResetFound(st->color);
    count(&st->uel_count);
    pcl5_job_boundary_end(st);
    return pos.p + UEL.size();
  }
  if (pos.offset() > RESET_MIN_OFFSET && pos.is("\x1b" "E")) {
    LOG_DEV("Found pcl reset at: %llu", static_cast<unsigned long long>(pos.p));
    // A reset returns the printer's palettes to their defaults as well.
    PCL5ColorResetFound(st->color);
    count(&st->reset_count);
    pcl5_job_boundary_end(st);
    std::uint64_t q = pos.p + 2;
    while (scan_bytes_at(pos.data, q, "\x1b" "E")) q += 2;
    return q;
  }
  if (n > 4 && pos.is("\x1b&a") && pos.at(3) >= '0' && pos.at(3) <= '2' && pos.at(4) == 'G') {
    count_dpss(st, pos);
    return pos.p + 5;
  }
  return std::nullopt;
}

void feed_color(Pcl5ScanState* st, Pos pos) {
  if (st->color == nullptr) return;
  PCL5ColorParseAtPos(st->color, pos.data.data(), pos.data.size(), pos.p,
                      pcl5_color_page_index(*st), st->mode);
}

// An ESC outside the header, routed by the byte behind it: the tests that
// begin with other bytes cannot take it. This is the hot path of raster
// jobs, one command per row.
std::uint64_t escape_position(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  const std::uint8_t family = pos.n() >= 2 ? pos.at(1) : 0;
  if (family == 'E' && canon_footer(pos)) return pos.data.size();
  if (family == '&') job_tokens(st, pos);
  if (family == 'E' || family == '&') {
    if (const Next next = any_mode_step(st, pos)) return *next;
  }
  feed_color(st, pos);
  const bool raster_command = family == '*' && pos.n() >= 3 && pos.at(2) == 'b';
  if (st->mode != PCL5_MODE_HPGL && raster_command) {
    if (const std::uint64_t end = raster_row(st, pos.data, pos.p)) {
      // A row ends raster mode; groups that go on without an ESC belong to
      // the row's command.
      st->mode = PCL5_MODE_PCL;
      const bool more = end < pos.data.size() && ascii_is_digit(pos.data[end]);
      return more ? raster_groups(st, pos.data, end, false) : end;
    }
  }
  Next next;
  switch (st->mode) {
    case PCL5_MODE_HPGL: next = hpgl_escape_step(st, pos); break;
    case PCL5_MODE_RASTER:
      // Raster rows begin with digits; a new ESC*b command goes on with
      // the raster (its groups read as in PCL mode).
      if (raster_command) {
        const std::uint64_t end = raster_groups(st, pos.data, pos.p + 3, true);
        if (end != pos.p + 3) next = end;
      }
      break;
    default: next = pcl_escape_step(st, pos, ja); break;
  }
  return next ? *next : pos.p + 1;
}

// One position; the position to go on with (the end when the scan ends).
std::uint64_t scan_position(Pcl5ScanState* st, Pos pos, JobAttribs* ja) {
  if (!st->in_header && pos.at() == PCL_ESC) return escape_position(st, pos, ja);
  if (canon_footer(pos)) return pos.data.size();
  job_tokens(st, pos);
  driver_marks(st, pos);
  if (st->in_header) {
    // Leaving the header, the same position is examined again.
    return header_step(st, pos) ? pos.p : pos.p + 1;
  }
  if (const Next next = any_mode_step(st, pos)) return *next;
  feed_color(st, pos);
  Next next;
  switch (st->mode) {
    case PCL5_MODE_HPGL: next = hpgl_mode_step(st, pos, ja); break;
    case PCL5_MODE_RASTER: next = raster_mode_step(st, pos); break;
    default: next = pcl_text_step(st, pos, ja); break;
  }
  return next ? *next : pos.p + 1;
}

bool poll_timeout(Pcl5ScanState* st, std::uint64_t p) {
  if (st->timeout_counter++ % PCL5_TIMEOUT_POLL_POSITIONS != 0 || !TimeoutIsTimeUp(&st->timeout)) {
    return false;
  }
  LOG_DEBUG("parse timeout exceeded at position: %llu", static_cast<unsigned long long>(p));
  LOG_ERROR("parse timeout exceeded. Language: PCL5");
  st->timed_out = true;
  return true;
}

}  // namespace

std::uint64_t step_over_data(Pcl5ScanState* st, ByteSpan data, std::uint64_t data_start,
                             std::uint64_t count) {
  if (data_start > data.size() || count > data.size() - data_start) return data.size();
  if (count > 0) {
    st->binary_border = data_start + count - 1;
    st->binary_border_set = true;
  }
  return data_start + count;
}

void count_page_end(Pcl5ScanState* st, Pos pos, bool unicode) {
  std::int64_t* counter = unicode ? &st->unicode_pages : &st->standard_pages;
  count(counter);
  pcl5_sheet_end(st, pos.p);
  note_raster_format(unicode ? &st->unicode_tracker : &st->standard_tracker, st->raster_format);
  process_empty_pages(st->non_marking, pos.data,
                      unicode ? &st->unicode_tracker : &st->standard_tracker, pos.p,
                      saturating_add(*counter, st->dpss_count));
  log_page_count(pos.p, *counter, st->color);
}

}  // namespace pcl5_scanner

using namespace pcl5_scanner;

void pcl5_note_raster_marks(Pcl5ScanState* st) {
  if (!st->raster_marks) return;
  st->raster_seen = true;
  st->marks_since_sheet_end = true;
}

void pcl5_sheet_end(Pcl5ScanState* st, std::uint64_t position) {
  pcl5_note_raster_marks(st);
  st->raster_marks = false;
  st->marks_since_sheet_end = false;
  st->last_sheet_end = position + 1;
  st->format_at_sheet_end = st->raster_format;
}

void pcl5_job_boundary_end(Pcl5ScanState* st) {
  pcl5_note_raster_marks(st);
  if (st->raster_marks) count(&st->marked_ends);
  st->raster_marks = false;
}

int pcl5_color_page_index(const Pcl5ScanState& st) {
  // Every counted page end: form feeds, ejects, universal exits, OKI raster
  // ends, HP-GL/2 page ends, duplex side selections and resets.
  std::int64_t index = 0;
  for (std::int64_t part : {st.unicode_pages, st.standard_pages, st.oki_raster_pages,
                            st.eject_count, st.uel_count, st.hpgl_pages, st.dpss_count,
                            st.reset_count}) {
    index = saturating_add(index, part);
  }
  return decimal_clamp<int>(index);
}

std::int64_t get_value_number(ByteSpan data, std::uint64_t pos, std::uint64_t max_length,
                              std::uint64_t step, std::uint8_t terminator,
                              std::uint64_t* consumed) {
  const std::uint64_t end = std::min<std::uint64_t>(
      data.size(), pos + std::min(max_length, data.size() - std::min(pos, data.size())));
  std::int64_t value = 0;
  std::uint64_t q = pos;
  while (q < end && ascii_is_digit(data[q])) {
    const std::int64_t digit = data[q] - '0';
    value = value > (std::numeric_limits<std::int64_t>::max() - digit) / 10
                ? std::numeric_limits<std::int64_t>::max()
                : value * 10 + digit;
    q += step;
  }
  *consumed = std::min(q, end) - std::min(pos, end);
  if (q >= end || data[q] != terminator) {
    LOG_ERROR("Truncated numeric value");
    return -1;
  }
  return value;
}

void log_page_count(std::uint64_t offset, std::int64_t page_count, const PCL5Color* detector) {
  LOG_DEBUG("**page: offset=%lu,page_count=%d,color_pagecount=%d",
            static_cast<unsigned long>(offset), decimal_clamp<int>(page_count),
            detector != nullptr ? PCL5ColorGetColorPageCount(detector) : -1);
}

void pcl5_scan(ByteSpan data, Pcl5ScanState* st, JobAttribs* ja) {
  std::uint64_t p = start_position(data);
  if (p < data.size()) first_byte(st, data, p);
  while (true) {
    p = next_candidate(*st, data, p);
    if (p >= data.size()) {
      LOG_DEBUG("Reached end of file at: %llu", static_cast<unsigned long long>(p));
      pcl5_note_raster_marks(st);
      return;
    }
    // Each position's successor depends on the lengths read at it, so the
    // hardware cannot run ahead: ask for the bytes a little further on.
    if (data.size() - p > PREFETCH_AHEAD) __builtin_prefetch(data.data() + p + PREFETCH_AHEAD);
    const std::uint64_t next = scan_position(st, Pos{data, p}, ja);
    if (next == p + 1 && poll_timeout(st, p)) {
      pcl5_note_raster_marks(st);
      return;
    }
    p = next;
  }
}
