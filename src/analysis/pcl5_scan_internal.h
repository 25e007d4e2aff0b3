// Parts of the PCL5 scanner shared by its source files. Not for other
// callers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "analysis/pcl5_scan.h"

namespace pcl5_scanner {

// One scan position.
struct Pos {
  ByteSpan data;
  std::uint64_t p;
  // Bytes left from the position.
  [[nodiscard]] std::uint64_t n() const { return data.size() - p; }
  // Offset from the job's start.
  [[nodiscard]] std::uint64_t offset() const { return p; }
  [[nodiscard]] std::uint8_t at(std::uint64_t ahead = 0) const { return data[p + ahead]; }
  [[nodiscard]] bool is(std::string_view text) const { return scan_bytes_at(data, p, text); }
};

// Where the scan goes on: a position behind p, or nothing when the step did
// not take the position.
using Next = std::optional<std::uint64_t>;

// The mode steps (pcl5_scan_modes.cpp), for a position that holds an ESC
// and for any other position. The steps of one family of commands are
// routed by the bytes that follow the ESC: no test of another family can
// take the position.
[[nodiscard]] Next pcl_escape_step(Pcl5ScanState* st, Pos pos, JobAttribs* ja);
[[nodiscard]] Next pcl_text_step(Pcl5ScanState* st, Pos pos, JobAttribs* ja);
[[nodiscard]] Next raster_mode_step(Pcl5ScanState* st, Pos pos);
[[nodiscard]] Next hpgl_escape_step(Pcl5ScanState* st, Pos pos);
[[nodiscard]] Next hpgl_mode_step(Pcl5ScanState* st, Pos pos, JobAttribs* ja);

// ESC*b#W or ESC*b#V at an ESC*b, one a row in nearly every raster job: the
// position behind its data, or 0 when the bytes are no row. The digits are
// read here (at most 16 within a 20-byte window, so no overflow). Called
// once a row, so it takes and returns registers only: a Pos or a Next went
// through the stack in pieces and was read back whole, and that stall cost
// more than the row itself.
[[nodiscard]] std::uint64_t raster_row(Pcl5ScanState* st, ByteSpan data, std::uint64_t p);

// The groups of a combined raster command from q on ("#v", "#w", "#y",
// "#m" and their upper-case forms), each plane's data stepped over by its
// count. Ghostscript's DeskJet drivers go on with such groups right after
// a group that an upper-case letter ended, without a new ESC*b; they are
// read as one command. The position behind the last group (q when there is
// none); raster mode when the last group is in lower case, PCL mode when in
// upper case. The colour detector is given every group it has not seen:
// all of them, or all but the first when `first_judged` (the detector was
// fed the position of the first).
[[nodiscard]] std::uint64_t raster_groups(Pcl5ScanState* st, ByteSpan data, std::uint64_t q,
                                          bool first_judged);

// Paper (pcl5_paper.cpp).
// The ESC&l#A paper code: its name goes to the record; code 101 reads the
// custom size that follows the command at `command`.
void set_pcl_paper_code(JobAttribs* ja, std::int64_t code, ByteSpan data, std::uint64_t command);
// The Kyocera "SPSZ" paper code.
void set_kyocera_paper_code(JobAttribs* ja, std::int64_t code, std::uint64_t offset);

// A data block of `count` bytes that begins at `data_start` is stepped
// over: the position behind it (the end when it runs past the job) and the
// binary border on its last byte.
[[nodiscard]] std::uint64_t step_over_data(Pcl5ScanState* st, ByteSpan data,
                                           std::uint64_t data_start, std::uint64_t count);

// Records a page end of the standard or unicode kind.
void count_page_end(Pcl5ScanState* st, Pos pos, bool unicode);

}  // namespace pcl5_scanner
