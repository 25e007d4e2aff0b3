#include "formats/fxplw.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t COPIES_WINDOW = 45;

struct Plw {
  ScanRegex copies_pattern{"@JOCO\\s*=\\s*(\\d+)", PCRE_CASELESS | PCRE_ANCHORED};
  int pages = 0;
  int copies = 1;
  bool grayscale = false;
};

std::uint64_t plw_step(Plw* w, ByteSpan d, std::uint64_t pos) {
  if (!walk_has_room(d.size(), pos, 20)) return pos + 1;
  if (scan_bytes_at(d, pos, "EndPage of Physical\"")) {
    ++w->pages;
    LOG_DEBUG("found new page at: %d", static_cast<int>(pos));
    return pos + 20;
  }
  if (d[pos] != '@') return pos + 1;
  if (scan_bytes_at(d, pos, "@CLRM=GRAY")) {
    w->grayscale = true;
    LOG_DEBUG("found grayscale: %d", static_cast<int>(pos));
    return pos + 10;
  }
  if (walk_has_room(d.size(), pos, COPIES_WINDOW)) {
    const ScanMatch m = w->copies_pattern.match(scan_text(d.subspan(pos, COPIES_WINDOW)));
    if (m.matched) {
      const int copies = decimal_clamp<int>(decimal_read(m.group(1), DecimalSign::NONE).value);
      LOG_DEBUG("Matched fxpwl copy count marker at: %d", static_cast<int>(pos));
      w->copies = copies > 0 ? copies : 1;
      LOG_DEBUG("copy count of %d found", w->copies);
    }
  }
  return pos + 1;
}

}  // namespace

int fxplw_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering fxpwl_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("FXPLW");
  Plw w;
  (void)format_walk(d, &timer, WalkStarts{'E', '@'},
                    [&](std::uint64_t pos) { return plw_step(&w, d, pos); });
  ja_set_pages(ja, w.pages);
  ja_set_copy_count(ja, w.copies);
  ja_set_is_grayscale(ja, w.grayscale ? 1 : 0);
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry FXPLW_ANALYZER{"fxplw_process_job", format_entry_adapter<fxplw_process_job>};
