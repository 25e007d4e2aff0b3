// ESC/P-R and ESC/P3: a walk over the command stream's records in four
// modes, with a fall-back to the ESC/P2 walk (code 55) or the ESC/P3 page
// counter (code 48) when page starts and ends disagree.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "formats/epson.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using namespace std::string_view_literals;

constexpr std::string_view REMOTE_START = "\x1b(R\x08\0\0REMOTE1"sv;
constexpr std::string_view ESCPR_MODE = "\x1b(R\x06\0\0ESCPR"sv;
constexpr std::string_view P3_MODE = "\x1b(R\x03\0\0P3"sv;
constexpr std::string_view REMOTE_END = "\x1b\0\0\0"sv;
constexpr std::string_view DUPLEX = "DP\x02\0"sv;
constexpr std::string_view END_JOB = "\x1bj\x02\0endj"sv;
constexpr std::string_view QUALITY = "\x1bq\x09\0\0\0setq"sv;
constexpr std::string_view JOB_SETTINGS = "\x1bj\x16\0\0\0setj"sv;
constexpr std::string_view START_PAGE = "\x1bp\0\0\0\0sttp"sv;
constexpr std::string_view END_PAGE = "\x1bp\x01\0\0\0endp"sv;

// The print-quality record: its colour mode byte (0 colour, 1 monochrome).
constexpr std::uint64_t QUALITY_SIZE = 19;
constexpr std::uint64_t QUALITY_COLOR_MODE_AT = 12;
constexpr std::uint64_t QUALITY2_MIN_LENGTH = 8;
constexpr std::uint64_t QUALITY2_COLOR_AT = 11;
constexpr std::uint64_t JOB_SETTINGS_SIZE = 31;
constexpr std::uint64_t P3_ROOM = 13;
constexpr std::uint64_t RECORD_HEAD = 10;  // ESC, letter, LE32 length, 4-letter name
constexpr std::uint64_t DATA_HEAD = 7;
constexpr std::uint64_t DATA_COMPRESSION_AT = 4;
constexpr std::uint8_t WHITE = 0xFF;
constexpr std::uint8_t ESC = 0x1B;

enum class Mode { NORMAL, REMOTE_CMD, CMD, CMD_P3 };

struct EscprWalk {
  ByteSpan d;
  JobAttribs* ja = nullptr;
  Mode mode = Mode::NORMAL;
  int page_starts = 0;
  int page_ends = 0;
  int color_pages = 0;
  bool page_color = false;
  bool doc_color = true;
  bool duplex = false;
  bool duplex_second = false;
  // Whether the page being built holds a data record with marks; the
  // first and last pages ended: blank, and counted as colour.
  bool page_marks = false;
  struct EndedPage {
    bool blank = false;
    bool color = false;
  } first_page, last_page;
};

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

std::uint64_t skip_to(const EscprWalk& w, std::uint64_t p, std::uint64_t n) {
  return n <= w.d.size() - p ? p + n : w.d.size();
}

void switch_mode(EscprWalk* w, Mode mode, const char* name, std::uint64_t p) {
  w->mode = mode;
  LOG_DEBUG("epson_process_job_new: Switching to %s at offset=%llu", name, at(p));
}

void log_counts(const char* what, const EscprWalk& w, std::uint64_t p) {
  LOG_DEBUG("epson_process_job_new: %s. offset=%llu,n_page_start=%d,n_page_end=%d,n_color_pages=%d",
            what, at(p), w.page_starts, w.page_ends, w.color_pages);
}

std::uint64_t normal_step(EscprWalk* w, std::uint64_t p) {
  if (scan_bytes_at(w->d, p, REMOTE_START)) {
    switch_mode(w, Mode::REMOTE_CMD, "ESC_MODE_REMOTE_CMD", p);
    return p + REMOTE_START.size();
  }
  if (scan_bytes_at(w->d, p, ESCPR_MODE)) {
    switch_mode(w, Mode::CMD, "ESC_MODE_CMD", p);
    return p + ESCPR_MODE.size();
  }
  if (scan_bytes_at(w->d, p, P3_MODE)) {
    switch_mode(w, Mode::CMD_P3, "ESC_MODE_CMD_P3", p);
    return p + P3_MODE.size();
  }
  return p + 1;
}

std::uint64_t remote_step(EscprWalk* w, std::uint64_t p) {
  if (scan_bytes_at(w->d, p, REMOTE_END)) {
    switch_mode(w, Mode::NORMAL, "ESC_MODE_NORMAL", p);
    return p + REMOTE_END.size();
  }
  if (scan_bytes_at(w->d, p, DUPLEX) && w->d.size() - p > DUPLEX.size() + 1) {
    const int p4 = w->d[p + 4];
    w->duplex = p4 != 0;
    w->duplex_second = w->d[p + 5] != 0;
    LOG_DEBUG("epson_process_job_new: Duplex. offset=%llu,p4=%u,is_duplex=%d,is_duplex_mutant=%d",
              at(p), p4, w->duplex, w->duplex_second);
    w->mode = Mode::NORMAL;
    return p + DUPLEX.size() + 2;
  }
  return p + 1;
}

void job_settings(EscprWalk* w, std::uint64_t p) {
  const double width_dots = scan_be32_at(w->d, p + 10).value_or(0);
  const double height_dots = scan_be32_at(w->d, p + 14).value_or(0);
  static constexpr double DPI[] = {360, 720, 300, 600};
  const std::uint8_t code = w->d[p + 30];
  const double dpi = code < 4 ? DPI[code] : 360;
  const int width = static_cast<int>(std::floor(width_dots / dpi * 25.4 + 0.5));
  const int height = static_cast<int>(std::floor(height_dots / dpi * 25.4 + 0.5));
  LOG_DEBUG("epson_process_job_new: Job settings. offset=%llu,width=%.0f,height=%.0f,dpi=%.0f",
            at(p), width_dots, height_dots, dpi);
  LOG_DEBUG("epson_process_job_new: Page size %d x %d mm", width, height);
  ja_set_page_width_height_mm(w->ja, width, height);
}

// A data record's parameters: x and y (2 bytes each), the compression
// (1), the byte count (2), then the samples. Uncompressed samples all FF
// are white; compressed ones are taken as marks.
bool record_has_marks(ByteSpan params) {
  if (params.size() < DATA_HEAD || params[DATA_COMPRESSION_AT] != 0) return true;
  for (const std::uint8_t b : params.subspan(DATA_HEAD)) {
    if (b != WHITE) return true;
  }
  return false;
}

// ESC/P-R data records (ESC d, a LE32 length, "dsnd") are skipped whole.
std::uint64_t data_record(EscprWalk* w, std::uint64_t p) {
  if (!scan_bytes_at(w->d, p + 6, "dsnd")) return p + 1;
  const auto length = scan_le32_at(w->d, p + 2);
  if (!length) return w->d.size();
  const std::uint64_t from = std::min<std::uint64_t>(p + RECORD_HEAD, w->d.size());
  w->page_marks =
      w->page_marks || record_has_marks(w->d.subspan(from, std::min<std::uint64_t>(
                                                              *length, w->d.size() - from)));
  return skip_to(*w, p, RECORD_HEAD + *length);
}

std::uint64_t cmd_step(EscprWalk* w, std::uint64_t p) {
  const auto found = scan_find_byte(w->d, p, ESC);
  if (!found) return w->d.size();
  p = *found;
  if (scan_bytes_at(w->d, p, END_JOB)) {
    switch_mode(w, Mode::NORMAL, "ESC_MODE_NORMAL", p);
    return p + END_JOB.size();
  }
  if (scan_bytes_at(w->d, p, QUALITY) && w->d.size() - p >= QUALITY_SIZE) {
    // Byte 12 is the colour mode; bytes 13 and 17 are 0 for colour and
    // monochrome jobs alike.
    w->doc_color = w->page_color = w->d[p + QUALITY_COLOR_MODE_AT] == 0;
    LOG_DEBUG("epson_process_job_new: Set print quality. offset=%llu,doc_color=%d,page_color=%d",
              at(p), w->doc_color, w->page_color);
    return p + QUALITY_SIZE;
  }
  if (scan_bytes_at(w->d, p, "\x1bp") && scan_bytes_at(w->d, p + 3, "\0\0\0setq"sv) &&
      w->d[p + 2] > QUALITY2_MIN_LENGTH && w->d.size() - p > QUALITY2_COLOR_AT) {
    w->page_color = w->d[p + QUALITY2_COLOR_AT] == 0;
    w->doc_color = true;
    LOG_DEBUG("epson_process_job_new mutant version: Set print quality. offset=%llu,doc_color=%d,"
              "page_color=%d", at(p), w->doc_color, w->page_color);
    return p + QUALITY2_COLOR_AT + 1;
  }
  if (scan_bytes_at(w->d, p, JOB_SETTINGS) && w->d.size() - p >= JOB_SETTINGS_SIZE) {
    job_settings(w, p);
    return p + JOB_SETTINGS_SIZE;
  }
  if (scan_bytes_at(w->d, p, START_PAGE)) {
    ++w->page_starts;
    w->page_marks = false;
    log_counts("Start page", *w, p);
    return p + START_PAGE.size();
  }
  if (scan_bytes_at(w->d, p, END_PAGE)) {
    ++w->page_ends;
    if (w->page_color) ++w->color_pages;
    w->last_page = {!w->page_marks, w->page_color};
    if (w->page_ends == 1) w->first_page = w->last_page;
    log_counts("End page", *w, p);
    return p + END_PAGE.size();
  }
  if (scan_bytes_at(w->d, p, "\x1b" "d")) return data_record(w, p);
  return p + 1;
}

// The page size of an ESC/P3 page block: tags D (dpi), M and N (dots).
void p3_page_size(EscprWalk* w, ByteSpan block) {
  std::uint32_t dpi = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  if (!get_param_int(block.data(), block.size(), 'D', &dpi) || dpi == 0 ||
      !get_param_int(block.data(), block.size(), 'M', &width) ||
      !get_param_int(block.data(), block.size(), 'N', &height)) {
    LOG_ERROR("get_page_dim: Invalid param block");
    return;
  }
  ja_set_page_width_height_mm(w->ja, std::floor(width / double(dpi) * 25.4 + 0.5),
                              std::floor(height / double(dpi) * 25.4 + 0.5));
}

// ESC p|m, a BE16 length n, a 4-letter name and n parameter bytes (as many
// as the data holds).
ByteSpan p3_params(const EscprWalk& w, std::uint64_t p, std::uint64_t n) {
  const std::uint64_t from = p + 8;
  return w.d.subspan(from, std::min(n, w.d.size() - from));
}

std::uint64_t p3_step(EscprWalk* w, std::uint64_t p) {
  const auto found = scan_find_byte(w->d, p, ESC);
  if (!found || !walk_has_room(w->d.size(), *found, P3_ROOM)) return w->d.size();
  p = *found;
  if (scan_bytes_at(w->d, p, REMOTE_START)) {
    switch_mode(w, Mode::REMOTE_CMD, "ESC_MODE_REMOTE_CMD", p);
    return p + REMOTE_START.size();
  }
  const std::uint64_t n = scan_be16_at(w->d, p + 2).value_or(0);
  if (scan_bytes_at(w->d, p, "\x1bp") && scan_bytes_at(w->d, p + 4, "make")) {
    ++w->page_starts;
    if (w->page_color) ++w->color_pages;
    p3_page_size(w, p3_params(*w, p, n));
    log_counts("P3 start page", *w, p);
    return skip_to(*w, p, n + 3);
  }
  if (scan_bytes_at(w->d, p, "\x1bp") && scan_bytes_at(w->d, p + 4, "endp")) {
    ++w->page_ends;
    log_counts("P3 end page", *w, p);
    return skip_to(*w, p, n + 3);
  }
  if (scan_bytes_at(w->d, p, "\x1bm") && scan_bytes_at(w->d, p + 4, "slut")) {
    ++w->page_ends;
    log_counts("P3 end page (2)", *w, p);
    return p + 6;
  }
  if (scan_bytes_at(w->d, p, "\x1bm") && scan_bytes_at(w->d, p + 4, "qlty")) {
    const ByteSpan block = p3_params(*w, p, n);
    std::uint32_t value = 0;
    if (get_param_int(block.data(), block.size(), 'B', &value) && value <= 0xFF) {
      w->doc_color = w->page_color = value == 0;
      LOG_DEBUG("epson_process_job_new: m qlty. offset=%llu,size==%u,color_b=%u,is_page_color=%d",
                at(p), static_cast<unsigned>(n), value, w->page_color);
    }
    return skip_to(*w, p, n + 5);
  }
  return p + 1;
}

bool walk(EscprWalk* w, int language) {
  WalkTimer timer(analyzer_lang_to_string(language));
  std::uint64_t p = 0;
  while (p < w->d.size()) {
    if (timer.expired(p)) return false;
    switch (w->mode) {
      case Mode::NORMAL:
        p = normal_step(w, p);
        break;
      case Mode::REMOTE_CMD:
        p = remote_step(w, p);
        break;
      case Mode::CMD:
        p = cmd_step(w, p);
        break;
      case Mode::CMD_P3:
        p = p3_step(w, p);
        break;
    }
  }
  return true;
}

// A driver pads a two-sided job of an odd page count with a blank side
// (one white sample): not a page of the document.
const EscprWalk::EndedPage* padding_page(const EscprWalk& w, bool duplex) {
  if (!duplex || w.page_ends < 2 || w.page_ends % 2 != 0) return nullptr;
  if (w.last_page.blank) return &w.last_page;
  if (w.first_page.blank) return &w.first_page;
  return nullptr;
}

void report(const EscprWalk& w, int color_detection, JobAttribs* ja) {
  LOG_DEBUG("epson_process_job_new: New format.");
  const bool duplex = w.duplex || w.duplex_second;
  ja_set_is_duplex(ja, duplex);
  int pages = w.page_ends;
  int color_pages = w.color_pages;
  if (const EscprWalk::EndedPage* blank = padding_page(w, duplex)) {
    LOG_DEBUG("epson_process_job_new: a blank side ends the duplex job of %d pages", pages);
    --pages;
    if (blank->color) --color_pages;
  }
  ja_set_pages(ja, pages);
  if (w.doc_color && color_pages > 0) {
    // A colour job says nothing of each page's marks: the driver sends text
    // pages of a colour job in the colour mode too, so its pages are not
    // judged (counting them all would bill gray pages as colour).
    LOG_INFO("ESC/P-R job in colour mode: its %d page(s) in colour mode are not judged",
             color_pages);
  } else {
    ja_set_is_grayscale(ja, 1);
    if (color_detection) ja_set_color_pages(ja, 0);
  }
}

}  // namespace

int epson_process_job_new(const std::uint8_t* data, std::uint64_t length, int color_detection,
                          int language, JobAttribs* ja) {
  LOG_DEV("entering epson_process_job_new");
  EscprWalk w;
  w.d = scan_bytes(data, data != nullptr ? length : 0);
  w.ja = ja;
  (void)walk(&w, language);
  const bool counts_agree = w.page_starts == w.page_ends && w.page_ends != 0;
  if (counts_agree || (language != LANG_EPSON_ENDP && language != LANG_ESCPR)) {
    report(w, color_detection, ja);
    return 0;
  }
  if (language == LANG_ESCPR) return epson_process_job(data, length, color_detection, ja);
  return epson2_process_job(data, length, ja);
}

namespace {
int epson_new_adapter(const std::uint8_t* data, std::uint64_t length, int color,
                      JobAttribs* ja) {
  return epson_process_job_new(data, length, color, ja->language, ja);
}
}  // namespace

const AnalyzerEntry EPSON_NEW_ANALYZER{"epson_process_job_new", epson_new_adapter};
