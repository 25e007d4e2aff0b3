// The PCL5 and HP-GL/2 scanner: one forward pass over a job that counts page
// ends of several kinds, follows the mode (PCL, HP-GL/2, raster), steps over
// binary data blocks by their lengths, reads the job-level commands that
// matter (copies, duplex, paper, page length), notes several drivers' marks
// and feeds the colour-page detector. pcl5_job.cpp turns the counters into
// the job's attributes.
#pragma once

#include <cstdint>

#include "analysis/pcl5_color.h"
#include "analysis/pcl5_empty_pages.h"
#include "foundation/timeout.h"
#include "scan/byte_cursor.h"

struct JobAttribs;

// Driver marks found in the job.
struct Pcl5DriverFlags {
  bool pjl_seen = false;
  bool oki = false;
  bool oki_c8 = false;
  bool ricoh = false;
  bool oce_custom = false;
  bool aveva_plot = false;
  bool pcl3gui = false;
  bool pcl3gui_grayscale = false;
  bool kyocera = false;
};

struct Pcl5ScanState {
  int mode = PCL5_MODE_PCL;
  bool in_header = true;
  // Page ends and the other counters. 64-bit so that no job can overflow
  // them; the summary clamps them into the record's range.
  std::int64_t standard_pages = 0;
  std::int64_t unicode_pages = 0;  // form feeds behind a byte of 0x80 or above
  std::int64_t dpss_count = 0;     // duplex page side selections
  std::int64_t hpgl_pages = 0;     // "PG;"
  std::int64_t hpgl_copies = 0;
  std::int64_t eject_count = 0;    // ESC&l0H
  std::int64_t marked_ejects = 0;  // ESC&l0H that closed a page with raster data
  std::int64_t uel_count = 0;      // universal exits
  std::int64_t reset_count = 0;    // ESC E after the first 100 bytes (runs count once)
  std::int64_t oki_raster_pages = 0;
  std::int64_t oki_raster_start = -1;
  std::int64_t copies = 0;         // last ESC&l#X
  bool duplex = false;             // an ESC&l#S above 0
  std::int64_t lines_per_inch = 0;
  std::int64_t page_length_lines = 0;
  int hpgl_input_width = -1;       // millimetres from IP or IW
  int hpgl_input_height = -1;
  int oki_custom_width = 0;        // millimetres from ESC&f#I and #J
  int oki_custom_height = 0;
  std::int64_t oce_copies = 0;
  // Raster data (a row or plane of at least one byte) since the last page
  // end of any kind; page ends that close such a page are counted apart.
  bool raster_marks = false;
  bool raster_seen = false;          // raster data anywhere in the job
  std::int64_t marked_ends = 0;      // resets and universal exits that closed raster data
  // Raster data since the last sheet end (form feed, eject, side selection,
  // HP-GL/2 page end), the position behind that end and how raster rows
  // were written then.
  bool marks_since_sheet_end = false;
  std::uint64_t last_sheet_end = 0;
  Pcl5RasterFormat raster_format;   // how raster rows are written now
  Pcl5RasterFormat format_at_sheet_end;
  std::uint64_t binary_border = 0;  // last byte of the last data block stepped over
  bool binary_border_set = false;
  Pcl5DriverFlags flags;
  // The job tokens: %XRXcopyCount and ESC&b1M (each counts once).
  std::int64_t xrx_copy_count = -1;
  bool grayscale_token = false;
  // Trackers of standard and unicode page ends for blank back sides.
  EmptyPageTracker standard_tracker;
  EmptyPageTracker unicode_tracker;
  Pcl5NonMarkingSet* non_marking = nullptr;  // owned by the caller
  PCL5Color* color = nullptr;                // owned by the caller; null without detection
  Timeout timeout;
  std::uint64_t timeout_counter = 0;
  bool timed_out = false;
};

// Positions between two polls of the time limit.
inline constexpr std::uint64_t PCL5_TIMEOUT_POLL_POSITIONS = 10000;

// Runs the scan over `data` into `state` (which holds the detector and the
// non-marking set, and whose Timeout the caller has started). Paper names,
// page sizes and the PCL3GUI grayscale mode are set on `ja` as they are
// found.
void pcl5_scan(ByteSpan data, Pcl5ScanState* state, JobAttribs* ja);

// The page index handed to the colour detector: every counted page end
// starts a new page there.
[[nodiscard]] int pcl5_color_page_index(const Pcl5ScanState& state);

// Page ends as the raster marks see them: a sheet end (form feed, eject,
// duplex side selection, HP-GL/2 page end) at `position`, and a reset or
// universal exit, which counts among the marked ends when raster data came
// before it. pcl5_note_raster_marks carries the marks of the rows read since
// the last end into the job-wide flags (also at the end of the scan).
void pcl5_sheet_end(Pcl5ScanState* st, std::uint64_t position);
void pcl5_job_boundary_end(Pcl5ScanState* st);
void pcl5_note_raster_marks(Pcl5ScanState* st);

// Reads a decimal number whose digits stand every `step` bytes (1 for
// bytes, 2 for UTF-16LE text) from `pos` up to `terminator`, reading at most
// `max_length` bytes and nothing past the end. *consumed receives the bytes
// read. When the byte where it stopped is not the terminator: ERROR
// "Truncated numeric value" and -1. The value saturates.
[[nodiscard]] std::int64_t get_value_number(ByteSpan data, std::uint64_t pos,
                                            std::uint64_t max_length, std::uint64_t step,
                                            std::uint8_t terminator, std::uint64_t* consumed);

// DEBUG "**page: offset=%lu,page_count=%d,color_pagecount=%d".
void log_page_count(std::uint64_t offset, std::int64_t page_count, const PCL5Color* detector);
