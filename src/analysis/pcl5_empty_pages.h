// Blank back sides: drivers of duplex jobs insert empty pages that the
// printer does not count. A tracker remembers the last two page ends of one
// kind; the stretch between them is judged empty when it holds fewer than 3
// marking bytes (non-marking PCL commands, HP-GL/2 set-up commands and white
// space do not count).
#pragma once

#include <cstdint>
#include <optional>

#include "analysis/pcl5_blank_page.h"
#include "foundation/owned.h"
#include "scan/byte_cursor.h"

struct EmptyPageTracker {
  std::optional<std::uint64_t> latest_page;         // position of the latest page end
  std::optional<std::uint64_t> second_latest_page;  // the page end before it
  std::uint64_t potential_empty_pages = 0;
  // How raster rows were written at each of the two page ends.
  Pcl5RasterFormat latest_format;
  Pcl5RasterFormat second_latest_format;
};

// The compiled patterns of non-marking content, built on first use.
struct Pcl5NonMarkingSet;

[[nodiscard]] Pcl5NonMarkingSet* pcl5_non_marking_set_new();
void pcl5_non_marking_set_free(Pcl5NonMarkingSet* set);
using Pcl5NonMarkingSetPtr = Owned<Pcl5NonMarkingSet, pcl5_non_marking_set_free>;

// Stretches longer than this are never empty.
inline constexpr std::uint64_t PCL5_EMPTY_PAGE_MAX_BYTES = 250;
// A stretch with this many marking bytes is not empty.
inline constexpr std::uint64_t PCL5_MARKING_THRESHOLD = 3;

// 1 when the bytes [from, to) hold fewer than 3 marking bytes; 0 when the
// stretch is empty (from at or after to), longer than 250 bytes, or the set
// is incomplete.
[[nodiscard]] int is_empty_except_non_marking(Pcl5NonMarkingSet* set, ByteSpan data,
                                              std::uint64_t from, std::uint64_t to);

// Records a page end at `position` with `page_number`: the stretch from the
// previous page end is judged, and an empty one on an even page counts as a
// potential empty page. The first page end is only remembered.
void process_empty_pages(Pcl5NonMarkingSet* set, ByteSpan data, EmptyPageTracker* tracker,
                         std::uint64_t position, std::int64_t page_number);
