// PJL inside a PCL XL job: the job's PJL header and trailer (read once, at
// the first "@PJL"), the booklet, N-up and folding settings of finishing
// drivers, concatenated copies that each bring their own "@PJL SET QTY",
// and the driver marks near the start of the job.
#include <algorithm>
#include <string_view>

#include "analysis/pcl6_internal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

// The first "@PJL" needs this many bytes behind it to be read.
constexpr std::uint64_t MIN_PJL_ROOM = 8;
// Windows at the start of the job for the driver marks.
constexpr std::uint64_t KYOCERA_MARK_WINDOW = 600;
constexpr std::uint64_t XEROX_MARK_WINDOW = 1200;
constexpr std::uint64_t GENERATOR_MARK_WINDOW = 2000;
constexpr std::uint64_t MS_DRIVER_MARK_WINDOW = 200;
// Longest value of a PJL setting that is looked at.
constexpr std::uint64_t MAX_VALUE = 64;

bool found_in_head(ByteSpan job, std::uint64_t window, std::string_view text) {
  const ByteSpan head = job.first(std::min<std::uint64_t>(window, job.size()));
  return scan_find(head, 0, text).has_value();
}

// The value that follows `prefix` at `pos`, up to a quote, blank or line end.
std::string_view value_after(ByteSpan job, std::uint64_t pos, std::size_t prefix) {
  const std::uint64_t from = pos + prefix;
  std::uint64_t to = from;
  while (to < job.size() && to - from < MAX_VALUE) {
    const std::uint8_t c = job[to];
    if (c == '"' || c == ' ' || c == '\t' || c == '\r' || c == '\n') break;
    ++to;
  }
  return scan_text(job.subspan(from, to - from));
}

void read_pjl_once(Pcl6Scan& s, std::uint64_t pos) {
  if (s.pjl_read || s.job.size() - pos <= MIN_PJL_ROOM) return;
  s.pjl_read = true;
  const ByteSpan job = s.job;
  s.pjl_header_read = pjl_parse_header(job.data(), job.size(), &s.pjl_header) == 1;
  s.pjl_trailer_read = pjl_parse_trailer(job.data(), job.size(), &s.pjl_trailer) == 1;
  if (s.pjl_header_read && s.pjl_header.duplex != 0) ja_set_is_duplex(s.ja, 1);
  LOG_DEV("found PJL header");
}

void booklet_settings(Pcl6Scan& s, std::uint64_t pos) {
  const ByteSpan job = s.job;
  Pcl6Booklet& b = s.booklet;
  constexpr std::string_view BKLT = "@PJL SET JOBATTR=\"@BKLT=";
  constexpr std::string_view NLPP = "@PJL SET JOBATTR=\"@NLPP=";
  if (scan_bytes_at(job, pos, BKLT)) {
    const std::string_view v = value_after(job, pos, BKLT.size());
    if (v != "NONE" && v != "OFF") {
      b.booklet_nup = 2;
      LOG_DEV("found booklet with PJL BKLT");
    }
  } else if (scan_bytes_at(job, pos, NLPP)) {
    const DecimalRead n = decimal_read(job.subspan(pos + NLPP.size()), DecimalSign::NONE);
    if (n.length > 0) {
      b.nup = decimal_clamp<int>(n.value);
      LOG_DEV("found NLPP: %d", b.nup);
      PCL6ColorSetNup(s.detector, b.nup);
    }
  } else if (scan_bytes_at(job, pos, "@PJL SET PAGEIMAGEINFO=TILEDPAMPHLET") ||
             scan_bytes_at(job, pos, "@PJL SET PAGEIMAGEINFO=TWOUPPAMPHLET")) {
    ja_set_is_duplex(s.ja, 1);
    b.nested = true;
    b.double_paper = true;
    LOG_DEV("Treating as nested booklet");
  }
}

void finishing_settings(Pcl6Scan& s, std::uint64_t pos) {
  const std::string_view line = scan_text(s.job.subspan(pos, std::min<std::uint64_t>(
                                                                  s.job.size() - pos, 150)));
  Pcl6Booklet& b = s.booklet;
  if (const ScanMatch m = s.layout.match(line); m.matched) {
    const std::string_view v = m.group(1);
    LOG_DEBUG("PJL_LAYOUT='%.*s'", static_cast<int>(v.size()), v.data());
    if (v == "BOOKLET2IN1") b.finish_bookletin1 = 2;
    if (v == "BOOKLET4IN1") b.finish_bookletin1 = 4;
    LOG_DEV("Matched '%.*s' at offset %u, finish_bookletin1=%d", static_cast<int>(v.size()),
            v.data(), static_cast<unsigned>(pos), b.finish_bookletin1);
  } else if (const ScanMatch f = s.folding.match(line); f.matched) {
    const std::string_view v = f.group(1);
    if (v == "CENTERFOLDIN") b.finish_folding = true;
    LOG_DEV("Matched '%.*s' at offset %u, finish_folding=%d", static_cast<int>(v.size()),
            v.data(), static_cast<unsigned>(pos), b.finish_folding ? 1 : 0);
  }
}

// At "@PJL ENTER LANGUAGE" the finishing settings of the job decide.
void enter_language(Pcl6Scan& s) {
  Pcl6Booklet& b = s.booklet;
  if (!b.finish_folding) {
    if (b.finish_bookletin1 == 4) {
      ja_set_is_duplex(s.ja, 1);
      b.nested = true;
      b.double_paper = true;
    } else if (b.finish_bookletin1 > 1) {
      b.booklet_nup = b.finish_bookletin1;
    }
  } else if (b.booklet_nup <= 1) {
    b.booklet_nup = 2;
    b.double_paper = true;
  }
  if (b.finish_folding || b.finish_bookletin1 > 1) ja_set_is_duplex(s.ja, 1);
  LOG_DEBUG("finish_folding=%d,finish_bookletin1=%d => booklet_nup=%d,nested=%d,duplex=%d",
            b.finish_folding ? 1 : 0, b.finish_bookletin1, b.booklet_nup, b.nested ? 1 : 0,
            s.ja->is_duplex);
}

}  // namespace

void pcl6_find_driver_marks(Pcl6Scan& s) {
  const ByteSpan job = s.job;
  if (found_in_head(job, KYOCERA_MARK_WINDOW, "Kyocera Corporation")) {
    s.kyocera = true;
    LOG_DEBUG("Found Kyocera PCL6 [1]");
  } else if (found_in_head(job, KYOCERA_MARK_WINDOW, "!R!SEM6;EXIT")) {
    s.kyocera = true;
    LOG_DEBUG("Found Kyocera PCL6 [2]");
  }
  if (found_in_head(job, XEROX_MARK_WINDOW,
                    "@PJL COMMENT DriverName: Xerox Global Print Driver PCL6")) {
    s.xerox_global = true;
    LOG_DEBUG("Found Xerox Global");
  }
  const ByteSpan head = job.first(std::min<std::uint64_t>(GENERATOR_MARK_WINDOW, job.size()));
  if (const auto at = scan_find(
          head, 0, "Comment Copyright (c) 2008 RICOH COMPANY,LTD. ;Version 0.0.1.0")) {
    s.ricoh_2008 = true;
    LOG_DEBUG("Found Ricoh 2008. Assuming Ricoh Aficio 20xxx. Offset=%u", static_cast<unsigned>(*at));
  }
  // hpcups writes "Comment, PCL-XL JetReady generator" in its stream
  // header: the mark is the generator's name, with or without the comma.
  if (const auto at = scan_find(head, 0, "PCL-XL JetReady generator")) {
    s.jetready = true;
    LOG_DEBUG("Found JetReady generator. Offset=%u", static_cast<unsigned>(*at));
  }
  if (found_in_head(job, MS_DRIVER_MARK_WINDOW, "COMMENT MS PCLXL NT Driver")) {
    s.empty_page_size = PCL6_MS_EMPTY_PAGE_SIZE;
    LOG_DEBUG("Using MS PCLXL empty page size (%d)", static_cast<int>(s.empty_page_size));
  }
}

void pcl6_pjl_line(Pcl6Scan& s, std::uint64_t pos) {
  if (!scan_bytes_at(s.job, pos, "@PJL")) return;
  read_pjl_once(s, pos);
  booklet_settings(s, pos);
  finishing_settings(s, pos);
  if (scan_bytes_at(s.job, pos, "@PJL ENTER LANGUAGE")) enter_language(s);
  if (scan_bytes_at(s.job, pos, "@PJL SET QTY")) {
    ++s.qty_lines;
    if (s.qty_lines > 1) LOG_DEBUG("Found inplace PJL header at %u", static_cast<unsigned>(pos));
  }
}
