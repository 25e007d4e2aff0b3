// The Konica Minolta GDI form with PJL pages.
#include "formats/kmgdi.h"

#include "formats/format_entry.h"
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
// however long it is; the walk goes on behind it.
std::uint64_t zero_run(KmGdi* k, ByteSpan d, std::uint64_t pos) {
  if (!walk_has_room(d.size(), pos, ZERO_RUN_MARKER)) return pos + 1;
  std::uint64_t end = pos;
  while (end < d.size() && d[end] == 0) ++end;
  if (end - pos < ZERO_RUN_MARKER) return end;
  ++k->zero_markers;
  LOG_DEBUG("found page marker at %u", static_cast<unsigned>(pos));
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

std::uint64_t pjl_line(KmGdi* k, ByteSpan d, std::uint64_t pos) {
  if (walk_has_room(d.size(), pos, 3) && scan_bytes_at(d, pos, "@PJL")) k->pjl_seen = true;
  if (walk_has_room(d.size(), pos, 17) && scan_bytes_at(d, pos, IMAGELEN)) {
    ++k->imagelen_headers;
    LOG_DEBUG("Found start of PJL %d", k->imagelen_headers);
    if (pos > IMAGELEN_MIN_OFFSET) count_paper_lines(k, d, pos);
  }
  return pos + 1;
}

}  // namespace

int kmgdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kmgdi_process_job");
  const ByteSpan d = scan_bytes(data, length);
  WalkTimer timer("KMGDI");
  KmGdi k;
  (void)format_walk(d, &timer, WalkStarts{0x00, '@'}, [&](std::uint64_t pos) {
    return d[pos] == 0 ? zero_run(&k, d, pos) : pjl_line(&k, d, pos);
  });
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
