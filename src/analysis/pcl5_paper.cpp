// Paper of PCL5 jobs: the ESC&l#A paper codes, the custom size that some
// drivers send behind code 101, and the Kyocera paper codes.
#include <array>
#include <cmath>

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

constexpr std::uint64_t CUSTOM_WINDOW = 100;
// The second ESC*o5W block of a custom size lies this far behind the first.
constexpr std::uint64_t CUSTOM_BLOCK_DISTANCE = 10;
constexpr std::uint64_t CUSTOM_BLOCK_HEADER = 5;  // ESC*o5W
constexpr std::uint64_t CUSTOM_VALUE_AT = 3;       // the value's data bytes
constexpr double MM_PER_INCH = 25.4;

const char* paper_name(auto& table, std::int64_t code) {
  for (const PaperCode& row : table) {
    if (row.code == code) return row.name;
  }
  return nullptr;
}

std::uint16_t be16(ByteSpan data, std::uint64_t at) {
  return static_cast<std::uint16_t>((data[at] << 8) | data[at + 1]);
}

// ESC&l101A ESC&u#D ESC*o5W<5 bytes> ESC*o5W<5 bytes>: the raw width and
// height in units of ESC&u#D per inch.
void custom_size(JobAttribs* ja, ByteSpan data, std::uint64_t command) {
  const std::uint64_t limit = std::min<std::uint64_t>(data.size(), command + CUSTOM_WINDOW);
  const std::string_view head = "\x1b&l101A\x1b&u";
  if (!scan_bytes_at(data, command, head)) return;
  std::uint64_t q = command + head.size();
  const DecimalRead units = decimal_read(data.subspan(q, limit - std::min(q, limit)), DecimalSign::NONE);
  q += units.length;
  if (units.length == 0 || q >= limit || data[q] != 'D') return;
  const std::uint64_t first = q + 1;
  const std::string_view block = "\x1b*o5W";
  if (first + block.size() > limit || !scan_bytes_at(data, first, block)) return;
  // ".+?" up to the next block, not across a line feed.
  std::uint64_t second = first + block.size() + 1;
  while (second + block.size() <= limit && !scan_bytes_at(data, second, block)) {
    if (data[second - 1] == '\n') return;
    ++second;
  }
  if (second + block.size() > limit || second - first != CUSTOM_BLOCK_DISTANCE) return;
  const std::uint64_t width_at = first + CUSTOM_BLOCK_HEADER + CUSTOM_VALUE_AT;
  const std::uint64_t height_at = second + CUSTOM_BLOCK_HEADER + CUSTOM_VALUE_AT;
  if (height_at + 2 > data.size()) return;
  // A unit of 0 per inch gives no size.
  if (units.value <= 0) return;
  const double raw_width = be16(data, width_at);
  const double raw_height = be16(data, height_at);
  const double per_inch = static_cast<double>(units.value);
  LOG_DEBUG("detect_custom_page_size_params: WxHraw=%.1f,%.1f,units=%lld", raw_width, raw_height,
            static_cast<long long>(units.value));
  const double width = std::floor(raw_width / per_inch * MM_PER_INCH + 0.5);
  const double height = std::floor(raw_height / per_inch * MM_PER_INCH + 0.5);
  LOG_DEBUG("detect_custom_page_size_params:WxH=%.3f,%.3f", width, height);
  LOG_DEBUG("Setting custom pag size: page_width_mm=%d,page_height_mm=%d", static_cast<int>(width),
            static_cast<int>(height));
  ja_set_page_width_height_mm(ja, width, height);
}

}  // namespace

void set_pcl_paper_code(JobAttribs* ja, std::int64_t code, ByteSpan data, std::uint64_t command) {
  const char* name = paper_name(PCL_PAPERS, code);
  if (name == nullptr) {
    LOG_DEBUG("Unknown PCL paper size: %lld", static_cast<long long>(code));
    name = "";
  }
  ja_set_paper_size_name(ja, name);
  LOG_DEBUG("Found page size value of %lld (%s) in non-PJL environment variable at %llu",
            static_cast<long long>(code), name, static_cast<unsigned long long>(command));
  if (code == CUSTOM_PAPER) {
    LOG_DEBUG("PCL paper size is custom.");
    custom_size(ja, data, command);
  }
}

void set_kyocera_paper_code(JobAttribs* ja, std::int64_t code, std::uint64_t offset) {
  const char* name = paper_name(KYOCERA_PAPERS, code);
  if (name == nullptr) {
    LOG_DEBUG("Unknown Kyocera style paper size: %lld", static_cast<long long>(code));
    name = "";
  }
  ja_set_paper_size_name(ja, name);
  LOG_DEBUG("Found page size value of %lld (%s) for Kyocera style paramater at %llu (0x%llx)",
            static_cast<long long>(code), name, static_cast<unsigned long long>(offset),
            static_cast<unsigned long long>(offset));
}

}  // namespace pcl5_scanner
