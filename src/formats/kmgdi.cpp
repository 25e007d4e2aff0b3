// The Konica Minolta GDI form with PJL pages. Two page formats that
// language detection files under the same codes are read by their own
// walks first: Ricoh's DDST (formats/ddst.cpp) and the Minolta command
// stream (formats/kmgdi_commands.cpp).
#include "formats/kmgdi.h"

#include <algorithm>

#include "formats/ddst.h"
#include "formats/format_entry.h"
#include "formats/kmgdi_commands.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

// A page ends in a run of at least this many zero bytes.
constexpr std::uint64_t ZERO_RUN_MARKER = 12;
constexpr std::string_view IMAGELEN = "@PJL SET IMAGELEN=";
constexpr std::string_view PAPER = "@PJL SET PAPER=";
// A PAPER line belongs to the IMAGELEN header that follows it this closely.
constexpr std::uint64_t PAPER_NEAREST = 15;
constexpr std::uint64_t PAPER_FARTHEST = 49;
constexpr std::uint64_t IMAGELEN_MIN_OFFSET = 50;

struct KmGdi {
  int zero_markers = 0;
  int imagelen_headers = 0;
  int pjl_pages = 0;
  bool pjl_seen = false;
};

// A run of zero bytes (page padding, often kilobytes long) is one marker,
// however long it is. The run through `at` (a zero byte) is measured from
// `floor` on; returns where it ends.
std::uint64_t zero_run(KmGdi* k, ByteSpan d, std::uint64_t at, std::uint64_t floor) {
  std::uint64_t start = at;
  while (start > floor && d[start - 1] == 0) --start;
  std::uint64_t end = at + 1;
  while (end < d.size() && d[end] == 0) ++end;
  if (end - start >= ZERO_RUN_MARKER && walk_has_room(d.size(), start, ZERO_RUN_MARKER)) {
    ++k->zero_markers;
    LOG_DEBUG("found page marker at %u", static_cast<unsigned>(start));
  }
  return end;
}

void count_paper_lines(KmGdi* k, ByteSpan d, std::uint64_t imagelen) {
  for (std::uint64_t s = imagelen - PAPER_FARTHEST; s <= imagelen - PAPER_NEAREST; ++s) {
    if (scan_bytes_at(d, s, PAPER)) {
      ++k->pjl_pages;
      LOG_DEBUG("Found start of PJL page %d", k->pjl_pages);
    }
  }
}

void pjl_line(KmGdi* k, ByteSpan d, std::uint64_t pos) {
  if (walk_has_room(d.size(), pos, 3) && scan_bytes_at(d, pos, "@PJL")) k->pjl_seen = true;
  if (walk_has_room(d.size(), pos, 17) && scan_bytes_at(d, pos, IMAGELEN)) {
    ++k->imagelen_headers;
    LOG_DEBUG("Found start of PJL %d", k->imagelen_headers);
    if (pos > IMAGELEN_MIN_OFFSET) count_paper_lines(k, d, pos);
  }
}

// One pass for both kinds of record. A run of ZERO_RUN_MARKER zero bytes
// covers every ZERO_RUN_MARKER-th position, so only those are looked at
// (raster data is full of short zero runs); the "@" lines are found with
// memchr between them.
void kmgdi_walk(KmGdi* k, ByteSpan d, WalkTimer* timer) {
  std::uint64_t next_at = scan_find_byte(d, 0, '@').value_or(d.size());
  std::uint64_t probe = ZERO_RUN_MARKER - 1;
  std::uint64_t floor = 0;  // where the last zero run ended
  for (;;) {
    const std::uint64_t pos = std::min(probe, next_at);
    if (pos >= d.size() || timer->expired(pos)) return;
    if (next_at <= probe) {
      pjl_line(k, d, next_at);
      next_at = scan_find_byte(d, next_at + 1, '@').value_or(d.size());
    } else if (d[probe] != 0) {
      probe += ZERO_RUN_MARKER;
    } else {
      floor = zero_run(k, d, probe, floor);
      probe = floor + ZERO_RUN_MARKER;
    }
  }
}

}  // namespace

int kmgdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kmgdi_process_job");
  if (ddst_process_job(data, length, ja) == 1) return 0;
  if (kmgdi_commands_process_job(data, length, ja) == 1) return 0;
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("KMGDI");
  KmGdi k;
  kmgdi_walk(&k, d, &timer);
  if (k.pjl_pages != 0) {
    ja_set_pages(ja, k.pjl_pages);
  } else if (k.imagelen_headers != 0) {
    ja_set_pages(ja, k.imagelen_headers);
  } else {
    ja_set_pages(ja, k.zero_markers);
  }
  ja_set_copy_count(ja, 1);
  if (k.pjl_seen) (void)pjl_set_job_attributes_inline(data, length, ja, PJL_UNIT_720TH_INCH);
  return 0;
}

const AnalyzerEntry KMGDI_ANALYZER{"kmgdi_process_job", format_entry_adapter<kmgdi_process_job>};
