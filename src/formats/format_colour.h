// Colour pages as a format's own records judge them, page by page. Where a
// format's records carry no colour mark the job's colour pages stay unjudged
// (-1), never reported as gray.
#pragma once

#include <optional>

#include "foundation/ja.h"
#include "foundation/log.h"

// What a walk over a job's records found: its pages and how many of them
// are in colour.
struct PageColours {
  int pages = 0;
  int colour_pages = 0;
};

// Sets the job's colour pages and makes the job gray exactly when none is
// in colour.
inline void format_set_judged_colour(JobAttribs* ja, int colour_pages) {
  ja_set_color_pages(ja, colour_pages);
  ja_set_is_grayscale(ja, colour_pages == 0 ? 1 : 0);
}

// The same for a walk that read the job to its end, when it counted the
// pages the job reports; otherwise the colour is left unjudged.
inline void format_report_colour(JobAttribs* ja, const std::optional<PageColours>& walk,
                                 const char* format) {
  if (!walk || walk->pages != ja->pages) {
    LOG_DEBUG("%s: colour not judged", format);
    return;
  }
  format_set_judged_colour(ja, walk->colour_pages);
}
