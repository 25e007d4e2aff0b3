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

// A job whose settings put all of it in a gray mode (the monochrome setting
// of its records, its PJL header's gray render mode) is judged gray: no
// colour pages. Called once every source of the setting was read; colour
// pages the records judged stand, and without a gray setting the colour
// stays unjudged.
inline void format_judge_gray_mode(JobAttribs* ja) {
  if (ja->color_pages >= 0 || ja->is_grayscale != 1) return;
  LOG_DEBUG("The job prints in a gray mode: no colour pages");
  ja_set_color_pages(ja, 0);
}
