// The HBPL local header: three fields at offsets that depend on the layout.
#include "formats/hbpl_local.h"

#include <array>
#include <cinttypes>

#include "formats/format_walk.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

struct HeaderLayout {
  std::uint64_t paper;   // one byte
  std::uint64_t copies;  // LE16
  std::uint64_t duplex;  // one byte
};
constexpr HeaderLayout LAYOUT_59 = {12, 24, 1092};
constexpr HeaderLayout LAYOUT_66 = {16, 32, 1100};

constexpr std::array<WalkCodeName, 9> PAPERS = {{{0, "A2"},
                                                 {1, "LETTER"},
                                                 {5, "LEGAL"},
                                                 {6, "STATEMENT"},
                                                 {7, "EXECUTIVE"},
                                                 {9, "A4"},
                                                 {11, "A5"},
                                                 {13, "B5"},
                                                 {14, "FOLIO"}}};

}  // namespace

int hbpl_local_process_job(const std::uint8_t* data, std::uint64_t length, int layout,
                           JobAttribs* ja) {
  LOG_DEV("entering hbpl_local_process_job");
  if (data == nullptr || length <= HBPL_LOCAL_HEADER_SIZE) {
    LOG_ERROR("hbpl_local_process_job: spool file too short length=%" PRIu64 ",hpbl_type=%d",
              data != nullptr ? length : 0, layout);
    return -1;
  }
  const ByteSpan d = scan_bytes(data, length);
  const HeaderLayout& at = layout == 1 ? LAYOUT_66 : LAYOUT_59;
  const char* paper = walk_code_name(PAPERS, d[at.paper]);
  if (paper != nullptr) {
    LOG_DEBUG("hbpl_local_process_job: Found paper size '%s',hpbl_type=%d", paper, layout);
    ja_set_paper_size_name(ja, paper);
  } else {
    LOG_ERROR("hbpl_local_process_job: Did not match paper size");
  }
  if (d[at.duplex] > 1) {
    LOG_DEBUG("hbpl_local_process_job: Found duplex,hpbl_type=%d", layout);
    ja_set_is_duplex(ja, 1);
  }
  const int copies = scan_le16_at(d, at.copies).value_or(0);
  if (copies != 0) {
    LOG_DEBUG("hbpl_local_process_job: Found copies %d,hpbl_type=%d", copies, layout);
    ja_set_copy_count(ja, copies);
  }
  return 0;
}

const AnalyzerEntry HBPL_LOCAL_ANALYZER{"hbpl_local_process_job", hbpl_local_process_job};
