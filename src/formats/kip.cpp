#include "formats/kip.h"

#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/format_entry.h"
#include "formats/text_header.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t HEAD = 1000;
constexpr const char* PAGE_MARKER = "@PJL ENTER LANGUAGE = KIPGL";
constexpr const char* PRINTER_TYPE = "KIP UNIFIED HPGL";
constexpr double PLOTTER_UNITS_PER_MM = 40.0;

struct KipPatterns {
  ScanRegex copies{R"(NumofCopies\s*=\s*(\d+))", PCRE_DOTALL};
  ScanRegex paper{R"(PS(\d+),(\d+))", PCRE_DOTALL};
  ScanRegex landscape{R"(ReverseLandscape\s*=\s*(TRUE|FALSE))", PCRE_DOTALL};
  [[nodiscard]] bool ok() const { return copies.ok() && paper.ok() && landscape.ok(); }
};

std::string str(std::string_view v) { return std::string(v); }

void read_head(std::string_view head, const KipPatterns& re, JobAttribs* ja) {
  if (const ScanMatch m = re.copies.match(head); m.matched) {
    ja_set_copy_count(ja, text_group_int(m.group(1)));
    LOG_DEBUG("kip_process_job: copies '%s' at: %llu (copies=%d)", str(m.group(0)).c_str(),
              static_cast<unsigned long long>(m.start), ja->copy_count);
  } else {
    LOG_DEBUG("kip_process_job: No NumofCopies field");
  }
  bool landscape = false;
  if (const ScanMatch m = re.landscape.match(head); m.matched) {
    landscape = m.group(1) == "TRUE";
    LOG_DEBUG("kip_process_job: re_reverse_landscape '%s' at: %llu)", str(m.group(0)).c_str(),
              static_cast<unsigned long long>(m.start));
  } else {
    LOG_DEBUG("kip_process_job: No re_reverse_landscape field");
  }
  if (const ScanMatch m = re.paper.match(head); m.matched) {
    const double w = std::floor(text_group_int(m.group(1)) / PLOTTER_UNITS_PER_MM + 0.5);
    const double h = std::floor(text_group_int(m.group(2)) / PLOTTER_UNITS_PER_MM + 0.5);
    LOG_DEBUG("kip_process_job: HPGL paper size '%s' at: %llu (%d, %d)", str(m.group(0)).c_str(),
              static_cast<unsigned long long>(m.start), static_cast<int>(w), static_cast<int>(h));
    ja_set_page_width_height_mm(ja, w, h);
  } else {
    LOG_DEBUG("kip_process_job: No re_hpgl_papersize field");
  }
  if (landscape) {
    // The same area turned: written straight, as the size setter keeps the
    // size it has for an equal area.
    std::swap(ja->page_width_mm, ja->page_height_mm);
    LOG_DEBUG("kip_process_job: landscape paper size => (%d, %d)", ja->page_width_mm,
              ja->page_height_mm);
  }
}

}  // namespace

int kip_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering kip7_process_job");
  const KipPatterns patterns;
  if (!patterns.ok()) {
    LOG_ERROR("kip_process_job: regex_compile failed");
    return -1;
  }
  const ByteSpan bytes = scan_bytes(data, length);
  read_head(scan_text(bytes.first(std::min(length, HEAD))), patterns, ja);
  const std::int64_t pages = search_count_ref(data, length, PAGE_MARKER);
  if (pages < 1) {
    LOG_ERROR("kip_process_job: search_count failed");
    return -1;
  }
  LOG_DEBUG("kip_process_job: pages=%lld", static_cast<long long>(pages));
  ja_set_pages(ja, static_cast<int>(std::min<std::int64_t>(pages, INT32_MAX)));
  if (ja->printer_type[0] == '\0') {
    std::strncpy(ja->printer_type, PRINTER_TYPE, sizeof ja->printer_type - 1);
  }
  return 0;
}

const AnalyzerEntry KIP_ANALYZER{"kip_process_job", format_entry_adapter<kip_process_job>};
