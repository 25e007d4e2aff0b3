// ESC/P3 ("ENDP"): end-page records are pages, "+makeD:" page headers give
// the page size; and the reader of the tagged numbers of a parameter block.
#include <cmath>
#include <string_view>

#include "formats/epson.h"
#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

using namespace std::string_view_literals;

constexpr std::string_view END_PAGE = "\x1bp\0\x03" "endpE"sv;
constexpr std::string_view PAGE_HEADER = "+makeD:"sv;
constexpr std::uint64_t PAGE_HEADER_ROOM = 20;
constexpr double DEFAULT_DPI = 360;
constexpr std::uint32_t DPI_STEP = 360;

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

bool is_tag_at(const std::uint8_t* block, std::uint64_t length, std::uint64_t i) {
  return i + 1 < length && block[i] >= 'A' && block[i] <= 'Z' && block[i + 1] == ':';
}

void page_header(ByteSpan d, std::uint64_t p, double* dpi, JobAttribs* ja) {
  const std::uint16_t dpi_field = scan_be16_at(d, p + 7).value_or(0);
  if (dpi_field > 0 && dpi_field % DPI_STEP == 0) *dpi = dpi_field;
  const std::uint16_t width = scan_be16_at(d, p + 13).value_or(0);
  const std::uint16_t height = scan_be16_at(d, p + 19).value_or(0);
  LOG_DEBUG("Found page size at 0x%llx (%llu)", at(p), at(p));
  LOG_DEBUG("Data: 0x%04x 0x%04x", width, height);
  LOG_DEBUG("dpi=%.1f", *dpi);
  ja_set_page_width_height_mm(ja, std::floor(width * 25.4 / *dpi + 0.5),
                              std::floor(height * 25.4 / *dpi + 0.5));
}

}  // namespace

int get_param_int(const std::uint8_t* block, std::uint64_t block_length, char tag,
                  std::uint32_t* value) {
  if (block == nullptr || value == nullptr) return 0;
  std::uint64_t i = 0;
  while (i + 1 < block_length && !(block[i] == static_cast<std::uint8_t>(tag) && block[i + 1] == ':'))
    ++i;
  if (i + 1 >= block_length) return 0;
  const std::uint64_t from = i + 2;
  std::uint64_t end = from;
  while (end < block_length && !is_tag_at(block, block_length, end)) ++end;
  const std::uint64_t n = end - from;
  if (n != 1 && n != 2 && n != 4) return 0;
  std::uint32_t v = 0;
  for (std::uint64_t k = 0; k < n; ++k) v = (v << 8) | block[from + k];
  *value = v;
  return 1;
}

int epson2_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering epson2_process_job");
  const ByteSpan d = scan_bytes(data, data != nullptr ? length : 0);
  WalkTimer timer("ESC/P3");
  double dpi = DEFAULT_DPI;
  int pages = 0;
  (void)format_walk(d, &timer, WalkStarts{0x1B, '+'}, [&](std::uint64_t p) -> std::uint64_t {
    if (walk_has_room(d.size(), p, END_PAGE.size()) && scan_bytes_at(d, p, END_PAGE)) {
      ++pages;
      LOG_DEBUG("Found page at 0x%llx (%llu)", at(p), at(p));
      return p + END_PAGE.size();
    }
    if (walk_has_room(d.size(), p, PAGE_HEADER_ROOM) && scan_bytes_at(d, p, PAGE_HEADER)) {
      page_header(d, p, &dpi, ja);
    }
    return p + 1;
  });
  ja_set_pages(ja, pages);
  return 0;
}
