// The EJL lines of an ESC/Page job: sheet count, copies, driver, printer,
// date and document name.
#include <array>
#include <cinttypes>
#include <string>

#include "formats/epsonpage_internal.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/util.h"

namespace {

constexpr std::uint64_t SHEETS_WINDOW = 25;
constexpr std::uint64_t EJ_ROOM = 200;
constexpr std::uint64_t COPIES_WINDOW = 128;
constexpr std::uint64_t LINE_WINDOW = 200;
constexpr std::string_view LPS8100 = "LP-S8100";

struct PsPaper {
  std::string_view code;
  const char* name;
};
constexpr std::array<PsPaper, 15> PS_PAPERS = {{
    {"LT", "LETTER"},      {"LGL", "LEGAL"},       {"HLT", "STATEMENT"},   {"F4", "C4"},
    {"EXE", "EXECUTIVE"},  {"GLT", "QUARTO"},      {"GLG", "FOLIO"},       {"YO", "ENVELOPE_10"},
    {"CH3", "ENVELOPE_10"}, {"CH4", "ENVELOPE_10"}, {"Y4", "ENVELOPE_10"}, {"Y6", "ENVELOPE_10"},
    {"K3", "LETTER"},      {"RPC", "A5"},          {"PC", "A6"},
}};

std::int32_t number(std::string_view digits) {
  return decimal_clamp<std::int32_t>(decimal_read(digits, DecimalSign::NONE).value);
}

bool room(const EpsonPageScan& s, std::uint64_t p, std::uint64_t n) { return s.d.size() - p > n; }

void read_copies(EpsonPageScan* s, std::uint64_t p) {
  const ScanMatch qt = scan_match_window(s->re->qt, s->data, s->length, p, COPIES_WINDOW);
  if (qt.matched) {
    LOG_DEBUG("Found Epson copy count marker at: %" PRIu64, p);
    s->qt = number(qt.group(1));
    LOG_DEBUG("copy count of %d found", s->qt);
  }
  const ScanMatch co = scan_match_window(s->re->co, s->data, s->length, p, COPIES_WINDOW);
  if (co.matched) {
    LOG_DEBUG("Found Epson copy count marker [CO] at: %" PRIu64, p);
    s->co = number(co.group(1));
    LOG_DEBUG("copy count [CO] of %d found", s->co);
  }
}

void note_printer(EpsonPageScan* s, std::string_view printer) {
  if (printer == LPS8100) s->lps8100 = true;
}

// Date, printer and document lines; the position the walk goes on at.
std::uint64_t read_job_info(EpsonPageScan* s, std::uint64_t p) {
  const EpsonPagePatterns& re = *s->re;
  const ScanMatch both = scan_match_window(re.date_printer, s->data, s->length, p, LINE_WINDOW);
  if (both.matched) {
    LOG_DEBUG("Found Epson date_printer '%s' at: %" PRIu64, std::string(both.group(0)).c_str(), p);
    note_printer(s, both.group(2));
    s->date_printer = true;
    return p + both.end;
  }
  const ScanMatch date = scan_match_window(re.date, s->data, s->length, p, LINE_WINDOW);
  if (date.matched) {
    s->date = true;
    LOG_DEBUG("Found Epson date '%s' at: %" PRIu64, std::string(date.group(1)).c_str(), p);
  }
  const ScanMatch printer = scan_match_window(re.printer, s->data, s->length, p, LINE_WINDOW);
  if (printer.matched) {
    const std::string name(printer.group(1));
    LOG_DEBUG("Found Epson printer '%s',printer='%s'  at: %" PRIu64,
              std::string(printer.group(0)).c_str(), name.c_str(), p);
    note_printer(s, name);
    s->printer = true;
    return p + printer.end;
  }
  const ScanMatch doc = scan_match_window(re.document, s->data, s->length, p, LINE_WINDOW);
  if (doc.matched && !doc.group(1).empty() && s->ja->document_name[0] == '\0') {
    const std::string name(doc.group(1));
    LOG_DEBUG("Found Epson DOCUMENT '%s' at: %" PRIu64, name.c_str(), p);
    ja_set_document_name(s->ja, name.c_str());
  }
  return p + 1;
}

}  // namespace

std::uint64_t epsonpage_ejl_line(EpsonPageScan* s, std::uint64_t p) {
  // Every pattern here begins "@EJ": the engine runs only on EJL lines.
  if (!scan_bytes_at(s->d, p, "@EJ")) return p + 1;
  if (room(*s, p, SHEETS_WINDOW)) {
    const ScanMatch m = scan_match_window(s->re->sheets, s->data, s->length, p, SHEETS_WINDOW);
    if (m.matched) {
      const std::string digits(m.group(1));
      LOG_DEBUG("Found Epson sheet count marker '%s' at: %" PRIu64, digits.c_str(), p);
      s->sheets = number(digits);
      LOG_DEBUG("sheet count of %d found", s->sheets);
    }
  }
  if (!room(*s, p, EJ_ROOM)) return p + 1;
  read_copies(s, p);
  const ScanMatch driver = scan_match_window(s->re->driver, s->data, s->length, p, LINE_WINDOW);
  if (driver.matched) {
    const std::string name(driver.group(1));
    util_safe_strncpy(s->driver, name.c_str(), sizeof s->driver);
    LOG_DEBUG("Found Epson driver '%s' at: %" PRIu64, s->driver, p);
  }
  return read_job_info(s, p);
}

const char* epsonpage_ps_paper_name(std::string_view code) {
  for (const PsPaper& row : PS_PAPERS) {
    if (row.code == code) return row.name;
  }
  return nullptr;
}
