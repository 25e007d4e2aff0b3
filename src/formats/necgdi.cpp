#include "formats/necgdi.h"

#include <cmath>
#include <string>
#include <string_view>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/scan_regex.h"

namespace {

constexpr auto PAGE_BYTES = marker_bytes("\x1c\x5a\x0d\x0c\x1c");
constexpr MarkerRule PAGE{PAGE_BYTES, 5, 5, "found start page marker at: "};
constexpr std::string_view ENTER_NPDL = "@PJL ENTER LANGUAGE=NPDL";
constexpr std::uint64_t HEADER_SEARCH = 4096;
constexpr std::uint64_t HEADER_MAX_SPACES = 10;
constexpr std::uint8_t FS = 0x1C;
// A paper field ends at the next FS, the header's end or 29 bytes after its
// 'f', so it holds at most 27 characters.
constexpr std::uint64_t PAPER_FIELD_END = 29;
constexpr const char* CUSTOM_SIZE = R"(UNDF,(\d+),(\d+),1/10,m)";

struct NpdlHeader {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;  // the first 00 of the closing 00 00 pair
};

bool is_space(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Finds the header: behind the ENTER LANGUAGE line and at most 10 spaces, up
// to the first 00 00 within 4096 bytes (and the data).
bool find_header(ByteSpan data, NpdlHeader* header) {
  const ByteSpan head = data.first(std::min<std::uint64_t>(data.size(), HEADER_SEARCH));
  const auto enter = scan_find(head, 0, ENTER_NPDL);
  if (!enter) {
    LOG_ERROR("Could not find NPDL marker '%s'", std::string(ENTER_NPDL).c_str());
    return false;
  }
  std::uint64_t begin = *enter + ENTER_NPDL.size();
  for (std::uint64_t n = 0; n < HEADER_MAX_SPACES && begin < data.size() && is_space(data[begin]); ++n) {
    ++begin;
  }
  const ByteSpan rest = data.subspan(begin, std::min<std::uint64_t>(data.size() - begin, HEADER_SEARCH));
  const auto end = scan_find(rest, 0, std::string_view("\0\0", 2));
  if (!end) {
    LOG_ERROR("Could not find end of NPDL header marker");
    return false;
  }
  header->begin = begin;
  header->end = begin + *end;
  return true;
}

// The paper name: the last paper field copied, kept when some field of at
// least two characters ended in a full stop (which it loses).
std::string paper_name(ByteSpan data, const NpdlHeader& h) {
  std::string name;
  bool found = false;
  for (std::uint64_t p = h.begin; p + 3 <= h.end; ++p) {
    if (data[p] != FS || data[p + 1] != 'f' || (data[p + 2] != 'P' && data[p + 2] != 'L')) continue;
    const std::uint64_t limit = std::min(h.end, p + 1 + PAPER_FIELD_END);
    std::uint64_t q = p + 3;
    while (q < limit && data[q] != FS) ++q;
    name.assign(reinterpret_cast<const char*>(data.data() + p + 3), q - (p + 3));
    if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    if (name.size() >= 2 && name.back() == '.') {
      name.pop_back();
      found = true;
    }
  }
  return found ? name : std::string();
}

bool header_duplex(ByteSpan data, const NpdlHeader& h) {
  const ByteSpan header = data.subspan(h.begin, h.end - h.begin);
  for (std::uint64_t p = 0; p + 8 <= header.size(); ++p) {
    if (scan_bytes_at(header, p, "B,F,") && scan_bytes_at(header, p + 5, ",0.")) {
      LOG_DEBUG("Found is_duplex marker at %llu", static_cast<unsigned long long>(h.begin + p));
      return true;
    }
  }
  return false;
}

// A custom size "UNDF,w,h,1/10,m" in tenths of a millimetre; else the name
// through the NEC names.
void apply_paper(std::string name, JobAttribs* ja) {
  if (name.empty()) return;
  LOG_DEBUG("NPDL paper size = '%s'", name.c_str());
  const ScanRegex custom(CUSTOM_SIZE, PCRE_CASELESS | PCRE_ANCHORED);
  const ScanMatch m = custom.match(name);
  if (m.matched) {
    const double width = std::floor(decimal_read(m.group(1)).value / 10.0 + 0.5);
    const double height = std::floor(decimal_read(m.group(2)).value / 10.0 + 0.5);
    LOG_DEBUG("NPDL paper dimensions = %.1f x %.1f mm = %.1f x %.1f inch\n", width, height,
              width / 25.4, height / 25.4);
    if (width >= 0 && height >= 0) ja_set_page_width_height_mm(ja, width, height);
    return;
  }
  if (name == "LT") name = "LETTER";
  LOG_DEBUG("Torvelle paper size = '%s'\n", name.c_str());
  ja_set_paper_size_name(ja, name.c_str());
}

}  // namespace

int nec_gdi_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering nec_gdi_process_job");
  const ByteSpan bytes = scan_bytes(data, length);
  int pages = 0;
  {
    WalkTimer timer("PRINT_LANG_NEC_GDI");
    pages = marker_count(bytes, PAGE, &timer);
  }
  NpdlHeader header;
  if (!find_header(bytes, &header)) {
    LOG_DEBUG("Could not parse NPDL header");
    return -1;
  }
  apply_paper(paper_name(bytes, header), ja);
  ja_set_is_duplex(ja, header_duplex(bytes, header) ? 1 : 0);
  ja_set_pages(ja, pages);
  // No record marks colour or gray: the colour is left unjudged, never taken as gray.
  return 0;
}

const AnalyzerEntry NEC_GDI_ANALYZER{"nec_gdi_process_job", format_entry_adapter<nec_gdi_process_job>};
