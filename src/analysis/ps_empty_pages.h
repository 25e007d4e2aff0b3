// Empty pages and bounding boxes of the PostScript analyzer. Drivers that
// print two-sided often end a job with an empty back side; each family of
// page-end markers keeps a window over its last two pages, and an even page
// that is small, shows no text and paints nothing is a potential empty page.
#pragma once

#include <cstdint>
#include <string_view>

struct JobAttribs;

// Threshold of a page's marking bytes, and the lower one after its setup.
inline constexpr std::int64_t PS_EMPTY_PAGE_THRESHOLD = 230;
inline constexpr std::int64_t PS_EMPTY_PAGE_THRESHOLD_AFTER_SETUP = 40;

struct PsEmptyPageWindow {
  std::int64_t closed_start = -1;  // offset of the closed page's start, -1 none
  std::int64_t closed_limit = 0;
  std::int64_t latest_start = -1;  // offset of the latest page's start, -1 none
  std::int64_t latest_threshold = PS_EMPTY_PAGE_THRESHOLD;
  std::int32_t potential = 0;      // potential empty pages counted
  // The closed page of an odd page count is tested for nothing: its limit
  // holds only its threshold while `limit_pending`, and the non-marking
  // bytes of its first `pending_head` bytes are counted only when the pages
  // are decided (and only when no later page closes).
  bool limit_pending = false;
  std::uint64_t pending_head = 0;
};

// A page-end marker at offset `marker` of [start, end) brings the page count
// to `pages`: the page before it is closed and, on an even page count,
// tested for emptiness.
void process_empty_pages(const std::uint8_t* start, std::uint64_t marker, int pages,
                         PsEmptyPageWindow* window);
// "%%EndPageSetup" at `offset`: the latest page starts there with the lower
// threshold.
void ps_empty_pages_setup_end(PsEmptyPageWindow* window, std::uint64_t offset);
// A duplex job of an even page count whose last closed page is below its
// limit loses the window's potential empty pages. `start` is the buffer the
// window's offsets count from.
void readjust_on_empty_pages(JobAttribs* ja, const PsEmptyPageWindow& window,
                             const std::uint8_t* start);

// Bytes taken by the non-overlapping occurrences of `text` in the window.
[[nodiscard]] std::uint64_t bytes_occupied_by_string(const std::uint8_t* window,
                                                     std::uint64_t length, std::string_view text);
// The page paints: a painting operator or a show of visible text stands in
// the bytes.
[[nodiscard]] bool ps_page_paints(const std::uint8_t* page, std::uint64_t length);

// Width and height in millimetres (|llx| + urx by |lly| + ury points) of a
// bounding-box text "llx lly urx ury": 0, or -1 (sizes -1) when the text is
// not one.
int postscript_boundbox_size(std::string_view text, int* width_mm, int* height_mm);
// Points to millimetres, rounded half up and clamped to the int range.
[[nodiscard]] int ps_points_to_mm(double points);
