// Sharp SPLC: page and job commands found at their first bytes.
#include "formats/sharpgdi_splc.h"

#include <string_view>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::uint64_t COMMAND_ROOM = 14;
constexpr std::uint64_t MAX_CODE_DIGITS = 4;
constexpr std::uint64_t MAX_COPY_DIGITS = 9;
constexpr std::string_view PAGE_TAIL = "d100l100e";

constexpr WalkCodeName PAPERS[] = {
    {1, "Letter"}, {3, "Ledger"},   {5, "Legal"},    {6, "Invoice"}, {7, "Executive"},
    {8, "A3"},     {9, "A4"},       {11, "A5"},      {12, "B4"},     {13, "B5"},
    {14, "Foolscap"}, {70, "A6"},   {88, "B6"},
};

struct SplcWalk {
  ByteSpan d;
  JobAttribs* ja = nullptr;
  int code = -1;  // paper code of the previous page
  int page = 0;
  const char* paper = nullptr;
  bool job_seen = false;
};

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

std::uint64_t digits_at(ByteSpan d, std::uint64_t p, std::uint64_t most) {
  std::uint64_t n = 0;
  while (n < most && p + n < d.size() && d[p + n] >= '0' && d[p + n] <= '9') ++n;
  return n;
}

int number_at(ByteSpan d, std::uint64_t p, std::uint64_t n) {
  return decimal_clamp<int>(decimal_read(d.subspan(p, n)).value);
}

// "7h", the paper code, "a", a byte, "d100l100e": one page. Returns where
// the walk goes on, or 0 when no page command stands at p.
std::uint64_t page_command(SplcWalk* w, std::uint64_t p) {
  const std::uint64_t n = digits_at(w->d, p + 2, MAX_CODE_DIGITS);
  const std::uint64_t a = p + 2 + n;
  if (n == 0 || !scan_bytes_at(w->d, a, "a") || !scan_bytes_at(w->d, a + 2, PAGE_TAIL)) return 0;
  const int code = number_at(w->d, p + 2, n);
  const char* name = walk_code_name(PAPERS, code);
  LOG_DEV("Offset %llu: Paper = %s, code = %d", at(p), name != nullptr ? name : "Unknown", code);
  if (name != nullptr) w->paper = name;
  if (code != w->code) {
    if (w->code != -1) LOG_DEV("Offset %llu: resetting page counter after paper size change", at(p));
    w->page = 1;
  } else {
    ++w->page;
    LOG_DEV("Offset %llu: Page %d", at(p), w->page);
  }
  w->code = code;
  return a + 2 + PAGE_TAIL.size();
}

// "p600r", the duplex digit, "j", the copies, "x1c" (read once).
void job_command(SplcWalk* w, std::uint64_t p) {
  const std::uint64_t duplex_at = p + 5;
  if (duplex_at + 1 >= w->d.size() || !scan_bytes_at(w->d, duplex_at + 1, "j")) return;
  const std::uint8_t duplex = w->d[duplex_at];
  if (duplex < '0' || duplex > '9') return;
  const std::uint64_t copies_at = duplex_at + 2;
  const std::uint64_t n = digits_at(w->d, copies_at, MAX_COPY_DIGITS);
  if (!scan_bytes_at(w->d, copies_at + n, "x1c")) return;
  w->job_seen = true;
  if (duplex != '0') {
    LOG_DEV("Offset %llu: duplex setting = %u", at(p), duplex - '0');
    ja_set_is_duplex(w->ja, 1);
  }
  if (n > 0) {
    const int copies = number_at(w->d, copies_at, n);
    LOG_DEV("Offset %llu: Copies = %d", at(p), copies);
    ja_set_copy_count(w->ja, copies);
  }
}

std::uint64_t step(SplcWalk* w, std::uint64_t p) {
  if (!walk_has_room(w->d.size(), p, COMMAND_ROOM)) return p + 1;
  if (scan_bytes_at(w->d, p, "7h")) {
    const std::uint64_t next = page_command(w, p);
    if (next != 0) return next;
  }
  if (!w->job_seen && scan_bytes_at(w->d, p, "p600r")) job_command(w, p);
  return p + 1;
}

}  // namespace

int sharp_gdi_splc_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering sharp_gdi_splc_process_job");
  // No record marks colour or gray: only a PJL header's gray mode judges
  // the colour, never the format alone.
  SplcWalk w;
  w.d = scan_bytes(data, data != nullptr ? length : 0);
  w.ja = ja;
  WalkTimer timer("Sharp GDI (remote)");
  (void)format_walk(w.d, &timer, WalkStarts{'7', 'p'},
                    [&](std::uint64_t p) { return step(&w, p); });
  if (w.page > 0) ja_set_pages(ja, w.page);
  // The pages counted are those on the last paper: its name is the job's.
  if (w.paper != nullptr) ja_set_paper_size_name(ja, w.paper);
  (void)pjl_set_job_attributes(data, w.d.size(), ja, PJL_UNIT_MM);
  if (ja->paper_size_name[0] == '\0') ja_set_paper_size_name(ja, "Letter");
  return 0;
}

const AnalyzerEntry SHARP_GDI_SPLC_ANALYZER{"sharp_gdi_splc_process_job",
                                            format_entry_adapter<sharp_gdi_splc_process_job>};
