// The PostScript analyzer's entry points and its walk: one pass over the
// buffer that passes over encoded data by its end marks, runs the checks at
// every position whose byte can begin one, decodes and scans a compressed
// prolog, and polls the time limit.
#include "analysis/ps_scan.h"

#include <array>
#include <cstring>

#include "analysis/postscript.h"
#include "analysis/ps_color.h"
#include "analysis/ps_filters.h"
#include "analysis/ps_regex.h"
#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t POLL_POSITIONS = 10000;
constexpr std::uint64_t PROLOG_WINDOW = 100;
constexpr std::uint64_t DATA_START_WINDOW = 50;
constexpr std::uint64_t ASCII85_MARK_BACK = 60;

// Bytes that can end binary data.
constexpr std::array<bool, 256> make_binary_ends() {
  std::array<bool, 256> t{};
  t['~'] = t['%'] = t['e'] = t[' '] = true;
  return t;
}
constexpr std::array<bool, 256> BINARY_ENDS = make_binary_ends();

// Where the checks run again after binary data, or where the walk polls
// the time limit (the data goes on there), or the end.
std::uint64_t end_of_binary(PsScan* s, std::uint64_t p) {
  const std::uint8_t* d = s->start;
  const std::uint64_t n = s->length();
  const std::uint64_t stop = std::min(n, std::max(p + 1, s->next_poll));
  for (; p < stop; ++p) {
    if (!BINARY_ENDS[d[p]]) continue;
    const std::uint64_t r = n - p;
    const ByteSpan here = scan_bytes(d + p, r);
    std::uint64_t resume = 0;
    if (r >= 3 && scan_bytes_at(here, 0, "~>")) {
      LOG_DEV("Found end image data at %llu", static_cast<ull>(p));
      resume = p + 2;
    } else if (r > 15 && scan_bytes_at(here, 0, "%%EndBinary")) {
      LOG_DEV("Found end binary data at %llu", static_cast<ull>(p));
      resume = p + 11;
    } else if (r > 4 && scan_bytes_at(here, 0, "end")) {
      LOG_DEV("Found end data at %llu", static_cast<ull>(p));
      resume = p + 3;
    } else if (r > 4 && d[p] == ' ' && d[p + 1] == 'Z' && (d[p + 2] == '\r' || d[p + 2] == '\n')) {
      LOG_DEV("Found end Z data at %llu", static_cast<ull>(p));
      resume = p + 3;
    } else {
      continue;
    }
    s->data_state = PsDataState::NORMAL;
    return resume;
  }
  return stop;
}

std::uint64_t end_of_ascii85(PsScan* s, std::uint64_t p) {
  const ByteSpan all = scan_bytes(s->start, s->length());
  for (auto tilde = scan_find_byte(all, p, '~'); tilde; tilde = scan_find_byte(all, *tilde + 1, '~')) {
    if (s->length() - *tilde >= 3 && all[*tilde + 1] == '>') {
      LOG_DEBUG("Found end image data at %llu (ascii85)", static_cast<ull>(*tilde));
      s->data_state = PsDataState::NORMAL;
      return *tilde + 2;
    }
  }
  return s->length();
}

// A decoded prolog is scanned as a buffer of its own, with the same record
// and colour detector.
void scan_compressed_prolog(PsScan* s, std::uint64_t data_from) {
  const std::uint8_t* data = s->start + data_from;
  const std::uint64_t length = s->length() - data_from;
  const PsDecoded decoded = decode_compressed_ps(data, length, 1, 1);
  LOG_DEBUG("Found start compressed PS(ASCII85 encoded): offset=%llu,size=%lld",
            static_cast<ull>(data_from), static_cast<long long>(decoded.size));
  int sc = 0;
  if (decoded.bytes != nullptr) {
    PSColorPushBuffer(s->color);
    sc = postscript_process_job_inner_run(decoded.bytes.get(), static_cast<std::uint64_t>(decoded.size),
                                          s->detect_color, s->ja, s->canon_filtered, s->color,
                                          s->depth + 1);
    PSColorPopBuffer(s->color);
  }
  LOG_DEBUG("Done compressed PS(ASCII85 encoded): sc=%d,offset=%llu,size=%lld", sc,
            static_cast<ull>(data_from), static_cast<long long>(decoded.size));
  if (sc != 0) {
    LOG_ERROR("Error processing compressed PostScript");
    s->nested_failed = true;
    return;
  }
  s->data_state = PsDataState::ASCII85;
}

// Checks that enter a data state (step 4); the position's other checks
// still run.
void entry_checks(PsScan* s, std::uint64_t p) {
  const std::uint8_t* here = s->start + p;
  const std::uint64_t r = s->length() - p;
  const std::uint8_t c = *here;
  if (c == '/' && r > DATA_START_WINDOW && scan_bytes_at(scan_bytes(here, r), 0, "/DataSource") &&
      ps_match(PsRe::DATASOURCE_AIPROC, here, DATA_START_WINDOW)) {
    LOG_DEV("Found start image data at %llu (ASCII85 encoded)", static_cast<ull>(p));
    s->data_state = PsDataState::ASCII85;
    return;
  }
  const bool binary = c == '%' && r > DATA_START_WINDOW &&
                      scan_bytes_at(scan_bytes(here, r), 0, "%%BeginBinary: ");
  const bool nimage = (c == 'd' || c == 'D') && r > DATA_START_WINDOW &&
                      scan_bytes_at_caseless(scan_bytes(here, r), 0, "doNimage") &&
                      ps_match(PsRe::DONIMAGE_START, here, DATA_START_WINDOW);
  if (binary || nimage) {
    if (binary) LOG_DEV("Found start binary data at %llu", static_cast<ull>(p));
    else LOG_DEV("Found start nimage data at %llu", static_cast<ull>(p));
    const bool ascii85 =
        p > ASCII85_MARK_BACK &&
        scan_find(scan_bytes(here - ASCII85_MARK_BACK, ASCII85_MARK_BACK), 0, "/ASCII85Decode");
    if (ascii85) LOG_DEV("Image at %llu is ASCII85 encoded", static_cast<ull>(p));
    s->data_state = ascii85 ? PsDataState::ASCII85 : PsDataState::BINARY;
    return;
  }
  PsMatch m;
  const bool prolog = c == '%' && scan_bytes_at(scan_bytes(here, r), 0, "%%BeginProlog");
  if (prolog) PSColorSetProlog(s->color, 1);
  if (prolog && r >= PROLOG_WINDOW + 1 && ps_match(PsRe::COMPRESSED_PROLOG, here, PROLOG_WINDOW, &m)) {
    std::uint64_t from = p + m.length();
    while (from < s->length() && ascii_is_space(s->start[from])) ++from;
    scan_compressed_prolog(s, from);
  }
}

// Procedure definitions that call showpage begin with "/" or "d" within
// this many bytes before the word.
constexpr std::uint64_t MACRO_WINDOW = 200;

bool may_define_macro(std::uint8_t c) { return c == '/' || c == 'd' || c == 'D'; }

// The next position from p below `stop` that a check may begin at.
std::uint64_t next_candidate(PsScan* s, std::uint64_t p, std::uint64_t stop) {
  const std::uint8_t* d = s->start;
  const std::uint64_t n = s->length();
  while (p < stop) {
    // Behind the window before the next showpage only the literals matter.
    const std::uint64_t word = ps_next_showpage(s, p, stop + MACRO_WINDOW);
    const std::uint64_t zone = word >= MACRO_WINDOW ? word - MACRO_WINDOW + 1 : 0;
    if (p < zone) {
      const std::uint64_t until = std::min(stop, zone);
      p = s->filter.next_begin(d, p, until, n);
      if (p < until) return p;
      if (p >= stop) return stop;
      continue;  // at the window before the word
    }
    if (s->filter.may_begin(d + p, n - p) || (may_define_macro(d[p]) && word < p + MACRO_WINDOW)) return p;
    ++p;
  }
  return stop;
}

void walk(PsScan* s) {
  const std::uint64_t n = s->length();
  std::uint64_t p = 0;
  while (p < n) {
    if (p >= s->next_poll) {
      s->next_poll = p + POLL_POSITIONS;
      if (TimeoutIsTimeUp(&s->timeout) != 0) {
        LOG_ERROR("Parse timeout exceeded.. Language: Postscript (timeout=%d sec)",
                  global_ctx.parse_timeout);
        s->stopped = true;
        return;
      }
    }
    if (s->data_state == PsDataState::BINARY) {
      p = end_of_binary(s, p);
      continue;
    }
    if (s->data_state == PsDataState::ASCII85) {
      p = end_of_ascii85(s, p);
      continue;
    }
    // Most bytes begin no check: pass over them in one tight loop, but not
    // past the next poll of the time limit.
    const std::uint64_t stop = std::min(n, s->next_poll);
    p = next_candidate(s, p, stop);
    if (p >= stop) continue;
    entry_checks(s, p);
    if (s->nested_failed) return;
    const PsStep step = ps_checks_at(s, p);
    if (s->nested_failed) return;
    p = step.done ? step.next : p + 1;
  }
}

}  // namespace

int postscript_process_job_inner_run(const std::uint8_t* data, std::uint64_t length,
                                     int detect_color, JobAttribs* ja, int canon_filtered,
                                     PSColor* color, int recursion_depth) {
  LOG_DEV("entering postscript_process_job");
  LOG_DEBUG("Processing Postscript file.");
  if (recursion_depth > 1) {
    LOG_ERROR("postscript_process_job_inner_run: Invalid recursion_depth=%d", recursion_depth);
    return -1;
  }
  static const std::uint8_t EMPTY[1] = {0};
  if (data == nullptr) length = 0;
  auto s = std::make_unique<PsScan>();
  s->start = data != nullptr ? data : EMPTY;
  s->end = s->start + length;
  s->detect_color = detect_color != 0 && color != nullptr ? 1 : 0;
  s->ja = ja;
  s->canon_filtered = canon_filtered;
  s->color = s->detect_color != 0 ? color : nullptr;
  s->depth = recursion_depth;
  if (!ps_load_tokens(s.get())) {
    LOG_DEBUG("unable to init tokens");
    LOG_DEBUG("unable to load tokens");
    ps_free_tokens(s.get());
    return -1;
  }
  TimeoutSetLimit(&s->timeout, global_ctx.parse_timeout);
  TimeoutStart(&s->timeout);
  ps_update_interesting(s.get());
  if (length > 0) walk(s.get());
  if (s->nested_failed) {
    ps_free_tokens(s.get());
    return 0;
  }
  if (s->color != nullptr && length > 0) {
    PSColorParseAtPos(s->color, s->end - 1, s->start, s->end, PS_COLOR_CLOSING_PAGE);
  }
  ps_final_steps(s.get());
  ps_log_tokens(*s);
  ps_free_tokens(s.get());
  return 0;
}

int postscript_process_job_inner(const std::uint8_t* data, std::uint64_t length, int detect_color,
                                 JobAttribs* ja, int canon_filtered) {
  if (ja == nullptr) return -1;
  PSColorPtr color;
  if (detect_color != 0) {
    color.reset(PSColorNew(canon_filtered));
    if (color == nullptr) return -1;
  }
  return postscript_process_job_inner_run(data, length, detect_color, ja, canon_filtered,
                                          color.get(), 0);
}

int postscript_process_job(const std::uint8_t* data, std::uint64_t length, int detect_color,
                           JobAttribs* ja) {
  return postscript_process_job_inner(data, length, detect_color, ja, 0);
}

namespace {
int postscript_entry(const std::uint8_t* data, std::uint64_t length, int extra, JobAttribs* ja) {
  return postscript_process_job(data, length, extra, ja);
}
int postscript_canon_entry(const std::uint8_t* data, std::uint64_t length, int extra,
                           JobAttribs* ja) {
  return postscript_canon_process_job(data, length, extra, ja);
}
}  // namespace

const AnalyzerEntry POSTSCRIPT_ANALYZER{"postscript_process_job", postscript_entry};
const AnalyzerEntry POSTSCRIPT_CANON_ANALYZER{"postscript_canon_process_job",
                                              postscript_canon_entry};
