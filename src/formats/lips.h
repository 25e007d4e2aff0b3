// LIPS jobs that Canon's page printers receive without a PJL or CPCA head
// (they open with ESC % @ and the DCS that enters LIPS mode): pages end with
// a form feed between commands; raster commands carry their data's length.
#pragma once

#include <cstdint>

#include "formats/format_walk.h"

struct LipsCount {
  int pages = 0;
  int paper = -1;         // the first paper-size command's number, -1 when none
  bool reliable = false;  // every command lined up with the next one
};

// true when the data opens with ESC % @ (the LIPS reset, no PJL in front).
[[nodiscard]] bool lips_bare_job(ByteSpan data);

// Walks the commands (CSI and DCS in their 7- and 8-bit forms, raster data
// skipped by its length) and counts the form feeds between them. A raster
// command whose data does not end where a command or control begins, or the
// LIPS IV vector mode (whose images are not walked here), leaves the count
// unreliable.
[[nodiscard]] LipsCount lips_pages(ByteSpan data, WalkTimer* timer);
