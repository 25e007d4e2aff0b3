#include "formats/lexmark.h"

#include <string>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"
#include "scan/scan_regex.h"

namespace {

// The patterns are tried only in a small window at a "$".
constexpr std::uint64_t COPIES_WINDOW = 30;
constexpr std::uint64_t PAGE_WINDOW = 35;

struct Smart {
  ScanRegex copies{"\\$PJL COPIES\\s*=\\s*(\\d+)", PCRE_ANCHORED};
  ScanRegex page{"\\$PJL PAGE (\\w+)", PCRE_ANCHORED};
  int pages = 0;
};

void dollar_tests(Smart* s, ByteSpan d, std::uint64_t pos, JobAttribs* ja) {
  if (walk_has_room(d.size(), pos, 16) && scan_bytes_at(d, pos, "$PJL BITMAP START")) {
    ++s->pages;
    LOG_DEBUG("found new page at: %u", static_cast<unsigned>(pos));
  }
  if (walk_has_room(d.size(), pos, COPIES_WINDOW)) {
    const ScanMatch m = s->copies.match(scan_text(d.subspan(pos, COPIES_WINDOW)));
    if (m.matched) {
      const int copies = decimal_clamp<int>(decimal_read(m.group(1), DecimalSign::NONE).value);
      LOG_DEBUG("found copies at: %u", static_cast<unsigned>(pos));
      LOG_DEBUG("copy count is %d", copies);
      ja_set_copy_count(ja, copies);
    }
  }
  if (walk_has_room(d.size(), pos, PAGE_WINDOW)) {
    const ScanMatch m = s->page.match(scan_text(d.subspan(pos, PAGE_WINDOW)));
    if (m.matched) {
      LOG_DEBUG("found $PJL PAGE at %u", static_cast<unsigned>(pos));
      ja_set_paper_size_name(ja, std::string(m.group(1)).c_str());
    }
  }
}

}  // namespace

int lexmark_smart_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering lexmark_smart_process_job");
  const ByteSpan d = scan_bytes(data, length);
  Smart s;
  if (!s.copies.ok() || !s.page.ok()) return 0;
  WalkTimer timer("Lexmark Smart");
  (void)format_walk(d, &timer, WalkStarts{'$'}, [&](std::uint64_t pos) {
    dollar_tests(&s, d, pos, ja);
    return pos + 1;
  });
  ja_set_pages(ja, s.pages);
  (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry LEXMARK_SMART_ANALYZER{"lexmark_smart_process_job",
                                           format_entry_adapter<lexmark_smart_process_job>};
