// The label languages of CUPS's Zebra drivers (EPL2, ZPL, CPCL): labels
// counted by their print commands, with graphics skipped by their sizes.
#pragma once

#include <cstdint>

#include "formats/format_walk.h"

struct LabelCount {
  int labels = 0;  // print commands (label formats that print)
  int copies = 1;  // the largest quantity a print command asks for
};

// EPL2: lines "P<sets>[,<copies>]", GW graphics skipped.
[[nodiscard]] LabelCount epl2_labels(ByteSpan data, WalkTimer* timer);
// CPCL: "PRINT" lines; copies from the "! offset hres vres height qty" head;
// CG/EG graphics skipped.
[[nodiscard]] LabelCount cpcl_labels(ByteSpan data, WalkTimer* timer);
// ZPL: ^XA ... ^XZ formats that place a field (^FO, ^FT); copies from ^PQ.
[[nodiscard]] LabelCount zpl_labels(ByteSpan data, WalkTimer* timer);
