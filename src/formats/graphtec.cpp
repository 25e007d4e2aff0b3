#include "formats/graphtec.h"

#include <cmath>
#include <string>
#include <utility>

#include "formats/format_entry.h"
#include "formats/text_header.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t HEAD = 1000;
// The plotter's set-up line: lower-left corner (\-x,0) and upper right
// (Z0,y) of the cutting area, in tenths of a millimetre.
constexpr const char* HEADER = R"(s,\&100,100,100,/0,0,900,\^\d+,0,\\-(\d+),0,Z0,(\d+))";
constexpr int LANDSCAPE_MIN_WIDTH = 2000;
constexpr int MIN_SIZE = 10;
constexpr int MAX_WIDTH = 10000;
constexpr int MAX_HEIGHT = 100000;

int tenths_to_mm(std::string_view group) {
  return static_cast<int>(std::floor(text_group_int(group) / 10.0 + 0.5));
}

}  // namespace

int graphtec_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering graphtec_process_job");
  const ScanRegex header(HEADER, PCRE_ANCHORED);
  if (!header.ok()) {
    LOG_ERROR("regex_compile failed");
    return 0;
  }
  const ByteSpan bytes = scan_bytes(data, length);
  const ScanMatch m = header.match(scan_text(bytes.first(std::min(length, HEAD))));
  if (!m.matched) {
    LOG_DEBUG("Does not appear to be a valid Graphtec spool file");
    return 0;
  }
  int width = tenths_to_mm(m.group(1));
  int height = tenths_to_mm(m.group(2));
  LOG_DEBUG("Header='%s',width=%d,height=%d", std::string(m.group(0)).c_str(), width, height);
  if (height < width && width > LANDSCAPE_MIN_WIDTH) {
    std::swap(width, height);
    LOG_DEBUG("More likely orientation:width=%d,height=%d", width, height);
  }
  if (width < MIN_SIZE || width > MAX_WIDTH || height < MIN_SIZE || height > MAX_HEIGHT) {
    LOG_DEBUG("Dimensions look wrong");
    return 0;
  }
  ja_set_pages(ja, 1);
  ja_set_page_width_height_mm(ja, width, height);
  return 0;
}

const AnalyzerEntry GRAPHTEC_ANALYZER{"graphtec_process_job",
                                      format_entry_adapter<graphtec_process_job>};
