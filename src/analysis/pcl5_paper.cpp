// Paper of PCL5 jobs: the ESC&l#A paper codes, the custom size that some
// drivers send behind code 101, and the Kyocera paper codes.
#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "analysis/pcl5_command.h"
#include "analysis/pcl5_scan_internal.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace pcl5_scanner {
namespace {

struct PaperCode {
  int code;
  const char* name;
};

constexpr std::array<PaperCode, 21> PCL_PAPERS = {{
    {1, "Executive"}, {2, "Letter"},  {3, "Legal"},   {4, "Statement"}, {5, "Folio"},
    {6, "Ledger"},    {8, "JISEXEC"}, {24, "A4"},     {25, "A5"},       {26, "A4"},
    {27, "A3"},       {28, "A2"},     {29, "A1"},     {30, "A0"},       {45, "JIS-B5"},
    {46, "JIS-B4"},   {91, "C5"},     {100, "B5"},    {139, "Statement"}, {2000, "A5"},
    {101, ""},
}};
constexpr int CUSTOM_PAPER = 101;

constexpr std::array<PaperCode, 4> KYOCERA_PAPERS = {{
    {6, "Letter"}, {8, "A4"}, {10, "A3"}, {13, "A5"},
}};

// The custom size follows the paper command within this many bytes.
constexpr std::uint64_t CUSTOM_WINDOW = 250;
constexpr std::string_view UNITS_COMMAND = "\x1b&u";
constexpr std::string_view SIZE_BLOCK = "\x1b*o5W";
// The second size block lies this far behind the first.
constexpr std::uint64_t CUSTOM_BLOCK_DISTANCE = 10;
// Each block's data: two kind bytes, a zero and the 16-bit value.
constexpr std::uint64_t CUSTOM_VALUE_AT = 3;
constexpr double MM_PER_INCH = 25.4;

// The name of `code` in `table`; "" (and DEBUG `unknown` with the code)
// for a code that is not there.
const char* paper_name(const auto& table, std::int64_t code, const char* unknown) {
  for (const PaperCode& row : table) {
    if (row.code == code) return row.name;
  }
  LOG_DEBUG(unknown, static_cast<long long>(code));
  return "";
}

std::uint16_t be16(ByteSpan data, std::uint64_t at) {
  return static_cast<std::uint16_t>((data[at] << 8) | data[at + 1]);
}

// The units per inch of the first ESC&u#D in [from, to); 0 when none.
std::int64_t units_per_inch(ByteSpan data, std::uint64_t from, std::uint64_t to) {
  for (std::uint64_t p = from; p + UNITS_COMMAND.size() < to; ++p) {
    if (!scan_bytes_at(data, p, UNITS_COMMAND)) continue;
    const std::uint64_t q = p + UNITS_COMMAND.size();
    const DecimalRead r = decimal_read(data.subspan(q, to - q), DecimalSign::NONE);
    if (r.length > 0 && q + r.length < to && data[q + r.length] == 'D') return r.value;
  }
  return 0;
}

// Drivers follow paper code 101 with the size: ESC&u#D (units per inch)
// and two ESC*o5W blocks 10 bytes apart whose fourth and fifth data bytes
// hold the width and the height in those units (big-endian). They put other
// commands between them (hpcups: ESC*o0M, ESC*g#W before ESC&u#D), and the
// code may stand inside a combined ESC&l command, so the parts are looked
// for anywhere in the bytes that follow the command.
void custom_size(JobAttribs* ja, ByteSpan data, std::uint64_t command) {
  const std::uint64_t limit = std::min<std::uint64_t>(data.size(), command + CUSTOM_WINDOW);
  const std::int64_t units = units_per_inch(data, command, limit);
  const std::uint64_t block_end = CUSTOM_BLOCK_DISTANCE + SIZE_BLOCK.size() + 5;
  for (std::uint64_t p = command; p + block_end <= limit; ++p) {
    if (!scan_bytes_at(data, p, SIZE_BLOCK) ||
        !scan_bytes_at(data, p + CUSTOM_BLOCK_DISTANCE, SIZE_BLOCK)) {
      continue;
    }
    // A unit of 0 per inch gives no size.
    if (units <= 0) return;
    const std::uint64_t width_at = p + SIZE_BLOCK.size() + CUSTOM_VALUE_AT;
    const double raw_width = be16(data, width_at);
    const double raw_height = be16(data, width_at + CUSTOM_BLOCK_DISTANCE);
    const auto per_inch = static_cast<double>(units);
    LOG_DEBUG("detect_custom_page_size_params: WxHraw=%.1f,%.1f,units=%lld", raw_width,
              raw_height, static_cast<long long>(units));
    const double width = std::floor(raw_width / per_inch * MM_PER_INCH + 0.5);
    const double height = std::floor(raw_height / per_inch * MM_PER_INCH + 0.5);
    LOG_DEBUG("detect_custom_page_size_params:WxH=%.3f,%.3f", width, height);
    LOG_DEBUG("Setting custom pag size: page_width_mm=%d,page_height_mm=%d",
              static_cast<int>(width), static_cast<int>(height));
    ja_set_page_width_height_mm(ja, width, height);
    return;
  }
}

}  // namespace

void set_pcl_paper_code(JobAttribs* ja, std::int64_t code, ByteSpan data, std::uint64_t command) {
  const char* name = paper_name(PCL_PAPERS, code, "Unknown PCL paper size: %lld");
  ja_set_paper_size_name(ja, name);
  LOG_DEBUG("Found page size value of %lld (%s) in non-PJL environment variable at %llu",
            static_cast<long long>(code), name, static_cast<unsigned long long>(command));
  if (code == CUSTOM_PAPER) {
    LOG_DEBUG("PCL paper size is custom.");
    custom_size(ja, data, command);
  }
}

void set_kyocera_paper_code(JobAttribs* ja, std::int64_t code, std::uint64_t offset) {
  const char* name = paper_name(KYOCERA_PAPERS, code, "Unknown Kyocera style paper size: %lld");
  ja_set_paper_size_name(ja, name);
  LOG_DEBUG("Found page size value of %lld (%s) for Kyocera style paramater at %llu (0x%llx)",
            static_cast<long long>(code), name, static_cast<unsigned long long>(offset),
            static_cast<unsigned long long>(offset));
}

}  // namespace pcl5_scanner
