// Dymo LabelWriter jobs. Labels end with ESC E. The job CUPS's Dymo driver
// writes (a run of ESC bytes and ESC @ first) is walked command by command:
// its raster lines (SYN and the line's bytes) may hold ESC E by chance.
#include "formats/dymo.h"

#include "formats/format_entry.h"
#include "formats/format_walk.h"
#include "formats/marker_count.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"

namespace {

constexpr auto END_OF_LABEL_BYTES = marker_bytes("\x1b\x45");
constexpr MarkerRule END_OF_LABEL{END_OF_LABEL_BYTES, 1, 1, "found end page marker at: "};

constexpr std::uint8_t ESC = 0x1b;
constexpr std::uint8_t SYN = 0x16;  // one raster line follows
// ESC bytes in front of the ESC @ of CUPS's driver.
constexpr std::uint64_t RESET_RUN = 100;

// Where the commands begin behind the reset run, 0 when the job has none.
std::uint64_t after_reset(ByteSpan d) {
  std::uint64_t run = 0;
  while (run < d.size() && d[run] == ESC) ++run;
  if (run <= RESET_RUN || run >= d.size() || d[run] != '@') return 0;
  return run + 1;
}

// The bytes of the command at `pos` (ESC and its letter included); SYN lines
// take the bytes per line of the last ESC D.
std::uint64_t command_size(ByteSpan d, std::uint64_t pos, std::uint64_t& line_bytes) {
  if (d[pos] == SYN) return 1 + line_bytes;
  if (d[pos] != ESC || pos + 1 >= d.size()) return 1;
  const std::uint8_t letter = d[pos + 1];
  const bool has_parameter = pos + 2 < d.size();
  switch (letter) {
    case 'L':  // label length, two bytes
      return 4;
    case 'D':  // bytes per raster line
      if (has_parameter) line_bytes = d[pos + 2];
      return 3;
    case 'q':  // roll
    case 'B':  // dot tab
      return 3;
    case 'f':  // ESC f 01 n skips n lines; ESC f alone is a print density
      return has_parameter && d[pos + 2] == 0x01 ? 4 : 2;
    default:
      return 2;
  }
}

int cups_labels(ByteSpan d, std::uint64_t pos, WalkTimer* timer) {
  int labels = 0;
  std::uint64_t line_bytes = 0;
  while (pos < d.size() && !timer->expired(pos)) {
    if (d[pos] == ESC && pos + 1 < d.size() && d[pos + 1] == 'E') {
      ++labels;
      LOG_DEBUG("found end page marker at: %llu", static_cast<unsigned long long>(pos));
    }
    const std::uint64_t size = command_size(d, pos, line_bytes);
    pos = size < d.size() - pos ? pos + size : d.size();
  }
  return labels;
}

}  // namespace

int dymo_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering dymo_process_job");
  WalkTimer timer(analyzer_lang_to_string(LANG_DYMO));
  const ByteSpan d = scan_bytes(data, length);
  const std::uint64_t commands = after_reset(d);
  ja_set_pages(ja, commands != 0 ? cups_labels(d, commands, &timer)
                                 : marker_count(d, END_OF_LABEL, &timer));
  return 0;
}

const AnalyzerEntry DYMO_ANALYZER{"dymo_process_job", format_entry_adapter<dymo_process_job>};
