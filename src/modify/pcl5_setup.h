// Where the PCL5 planner inserts its commands: after the job's leading
// set-up commands (a reset, the "&l" page-size, orientation and paper-source
// commands, a Kyocera PRESCRIBE block), and before anything that marks the
// first page.
#pragma once

#include <cstdint>

#include "scan/byte_cursor.h"

// The set-up scan looks at most this far into the job.
inline constexpr std::uint64_t PCL5_SETUP_WINDOW = 16384;

struct Pcl5Setup {
  std::uint64_t start = 0;       // where the scan began (0, or a later reset)
  std::int64_t insertion = -1;   // U: end of the last set-up command, -1 when none
  int orientation = -1;          // from an "&l<n>O" command, -1 when none
  std::uint64_t first_mark = 0;  // where the first page mark (or the window's end) is
  bool page_follows = false;     // the scan stopped at a page mark
};

// Walks the job command by command from its start (over a universal exit
// and PJL lines) up to the first page mark: printable text, a form feed,
// raster, a rectangle fill, HP-GL/2 or transparent data. The insertion point
// is the end of the last reset (ESC E), "&l" command with an a, p or o
// parameter, or Kyocera "!R! ... ;exit;" block met on the way, each of the
// first two counting only when an ESC follows it. Returns false (logged)
// when the job does not look like PCL5: no such command, a first byte that
// is a form feed, or no ESC at the insertion point.
[[nodiscard]] bool pcl5_find_setup(ByteSpan data, Pcl5Setup* setup);

// The same scan from a reset (ESC E) at `reset` in the middle of the job,
// which takes back what the set-up before it chose: true when that reset
// starts a set-up that a page follows.
[[nodiscard]] bool pcl5_find_setup_after_reset(ByteSpan data, std::uint64_t reset,
                                               Pcl5Setup* setup);
