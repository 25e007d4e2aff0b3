#include "formats/brother.h"

#include <array>

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"

namespace {

constexpr auto RECORD = marker_bytes("\x1b\x7c\x01\x00");
constexpr std::uint64_t HEADER_SEARCH = 9216;
constexpr std::uint64_t HEADER_PAPER_OFFSET = 34;
constexpr int PAPER_CODE_MAX = 31;
constexpr std::array<WalkCodeName, 9> PAPERS = {{
    {0, "LETTER"}, {1, "A4"}, {2, "LEGAL"}, {3, "A6"}, {4, "B5"},
    {7, "A5"}, {11, "EXECUTIVE"}, {30, "A3"}, {31, "B4"},
}};

constexpr auto QL_PAGE_BYTES = marker_bytes("\x1biz\x8e\x0b");
constexpr MarkerRule QL_PAGE{QL_PAGE_BYTES, 5, 1, "found start page marker at: "};

// The job header is the first record in the job's head; its byte 34 is the
// paper code.
void set_paper(ByteSpan data, JobAttribs* ja) {
  const std::uint64_t head = std::min<std::uint64_t>(data.size(), HEADER_SEARCH);
  const std::uint8_t* header = search_bm(data.data(), head, RECORD.data(), RECORD.size());
  if (header == nullptr) {
    LOG_DEBUG("brother:get_paper_size_name: Could not find header!");
    return;
  }
  const auto code_at = static_cast<std::uint64_t>(header - data.data()) + HEADER_PAPER_OFFSET;
  if (code_at >= data.size()) {
    LOG_DEBUG("brother:get_paper_size_name: No room for header!");
    return;
  }
  const int code = data[code_at];
  if (code > PAPER_CODE_MAX) {
    LOG_DEBUG("brother:get_paper_size_name: Unknown paper size code 0x%02X", code);
    return;
  }
  if (const char* name = walk_code_name(PAPERS, code); name != nullptr) {
    ja_set_paper_size_name(ja, name);
  }
}

}  // namespace

int brother_process_job(const std::uint8_t* data, std::uint64_t length, int match_code,
                        JobAttribs* ja) {
  LOG_DEV("entering brother_process_job");
  LOG_DEBUG("brother_process_job: match_code=0x%02x", match_code);
  const ByteSpan bytes = scan_bytes(data, length);
  WalkTimer timer("Brother");
  // The job header has the page records' shape: the count starts below 0 so
  // that it is not counted.
  int pages = -1;
  (void)format_walk(bytes, &timer, WalkStarts{0x1b}, [&](std::uint64_t pos) {
    if (walk_has_room(length, pos, 4) && walk_marker_at(bytes, pos, RECORD) &&
        bytes[pos + 4] == match_code) {
      if (pages < INT32_MAX) ++pages;
      LOG_DEBUG("found page record at: %llu", static_cast<unsigned long long>(pos));
    }
    return pos + 1;
  });
  ja_set_pages(ja, pages);
  set_paper(bytes, ja);
  return 0;
}

int brother2_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering brother2_process_job");
  WalkTimer timer("Brother2");
  ja_set_pages(ja, marker_count(scan_bytes(data, length), QL_PAGE, &timer));
  return 0;
}

namespace {
int brother_adapter(const std::uint8_t* data, std::uint64_t length, int match_code,
                    JobAttribs* ja) {
  return brother_process_job(data, length, match_code, ja);
}
}  // namespace

const AnalyzerEntry BROTHER_ANALYZER{"brother_process_job", brother_adapter};
const AnalyzerEntry BROTHER2_ANALYZER{"brother2_process_job",
                                      format_entry_adapter<brother2_process_job>};
