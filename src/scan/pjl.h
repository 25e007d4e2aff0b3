// Job-level PJL: the header lines ("@PJL ...") a driver writes before the
// page data, the PJL header step that applies them to a job's JobAttribs,
// and the job totals some drivers write after the last page (an FXJOBINFO
// comment block, or PJL lines before the last universal exit).
//
// Every reader only reads the buffer and stays inside it whatever the bytes
// claim; numbers are read saturated to 32 bits. The header reader looks at a
// bounded window at the start (10 KB plus NUL padding), the trailer reader
// at a bounded window at the end, so their cost does not grow with the job.
//
//   PjlHeaderInfo header;
//   if (pjl_parse_header(data, length, &header) == 1 && header.duplex) ...
//   pjl_set_job_attributes(data, length, ja, PJL_UNIT_720TH_INCH);
#pragma once

#include <cstdint>

struct JobAttribs;

// Size of the record's texts, terminator included (copies truncate).
inline constexpr int PJL_TEXT_SIZE = 1024;

// Millimetres per unit of PAPERWIDTH and PAPERLENGTH, as the callers pass it.
inline constexpr double PJL_UNIT_MM = 1.0;
inline constexpr double PJL_UNIT_720TH_INCH = 25.4 / 720.0;

// The universal exit that begins and ends PJL jobs: ESC "%-12345X".
inline constexpr char PJL_UEL[] = "\x1b%-12345X";
inline constexpr std::uint64_t PJL_UEL_LENGTH = 9;

// Bytes of the header window (before NUL padding widens it), the bytes each
// match may span, and the shortest job that can hold a header.
inline constexpr std::uint64_t PJL_HEADER_WINDOW = 10240;
inline constexpr std::uint64_t PJL_MATCH_SPAN = 150;
inline constexpr std::uint64_t PJL_HEADER_MIN_LENGTH = 300;

// One PJL header (or XPIF ticket, see xpif.h), owned by the caller.
// pjl_init_header gives the reset values noted beside each field.
struct PjlHeaderInfo {
  std::int32_t copies;   // -1; COPIES or an XCPT copies element, when above 0
  std::int32_t qty;      // -1; QTY (or the XPIF copies), when at least 1
  char paper_name[PJL_TEXT_SIZE];  // ""; PAPER, one word
  std::int32_t duplex;            // 0; 1 when two-sided printing is asked for
  std::int32_t duplex_off;        // 0; 1 when DUPLEX=OFF
  std::int32_t tumble;            // 0; 1 for short-edge binding
  std::int32_t grayscale;         // 0; 1 when monochrome output is asked for
  std::int32_t color;             // 0; 1 when colour output is asked for
  std::int32_t paper_length;      // -1; PAPERLENGTH in the format's unit
  std::int32_t paper_width;       // -1; PAPERWIDTH in the format's unit
  std::int32_t y_dimension_mm;    // -1; OKIYDIMENSIONMILLIMETER (or XPIF y)
  std::int32_t x_dimension_mm;    // -1; OKIXDIMENSIONMILLIMETER (or XPIF x)
  std::int32_t inked_print_area;  // 0; 1 when PRINTAREA=INKEDAREA
  std::int32_t multipage;         // -1; OKIAUXJOBINFO MultiPage N-up count
  std::int32_t multipage_seen;    // 0; 1 when multipage was set
  char job_name[PJL_TEXT_SIZE];   // ""; JOBNAME, JOB NAME or CANPJL DOCNAME
  char driver_name[PJL_TEXT_SIZE];    // ""; DRIVERNAME
  char printer_model[PJL_TEXT_SIZE];  // ""; the model of a driver's COMMENT line
  std::int32_t gl_version_major;  // 0; GLVERSION before the point
  std::int32_t gl_version_minor;  // 0; GLVERSION after the point
};

// Job totals of a trailer, owned by the caller; pjl_parse_trailer resets it.
struct PjlTrailerInfo {
  std::int32_t pages;        // -1; page count
  std::int32_t color_pages;  // -1; colour pages (FXJOBINFO only)
  // 0; 1 when the trailer reports two-sided printing. FXJOBINFO gives -1
  // when it lists no page: take duplex only when it is 1 (pjl_trailer_is_duplex).
  std::int32_t duplex;
  std::int32_t grayscale;    // 0; 1 when the render mode is monochrome
  std::int32_t page_height;  // 0; last page's height (FXJOBINFO; -1 when it gave none)
  std::int32_t page_width;   // 0; last page's width (FXJOBINFO; -1 when it gave none)
  std::int32_t multipage;    // -1; N-up count
  std::int32_t copies;       // 0; copy count (FXJOBINFO; 0 when none was found)
};

// What a caller may take from a trailer: pages only when above 0 (an
// FXJOBINFO block whose pages were all empty gives 0), duplex only when 1.
[[nodiscard]] constexpr bool pjl_trailer_has_pages(const PjlTrailerInfo& t) {
  return t.pages > 0;
}
[[nodiscard]] constexpr bool pjl_trailer_is_duplex(const PjlTrailerInfo& t) {
  return t.duplex == 1;
}

// Resets the record to the values above.
void pjl_init_header(PjlHeaderInfo* header);

// Reads the PJL header at the start of the job into `header` (reset first).
// The window is the first 10240 bytes, widened by one byte per NUL byte in
// it and by 15 for each "OkiXferAdjustDCS"; no match begins in the last 150
// bytes of the job, and a job under 300 bytes has no header. For each
// setting only its first occurrence counts. Returns 1 when at least one
// setting was taken, else 0 (also for a missing record or a pattern that
// fails to compile).
[[nodiscard]] int pjl_parse_header(const std::uint8_t* buffer, std::uint64_t length,
                                   PjlHeaderInfo* header);

// Which rule fills the printer type from a header.
enum class PjlPrinterTypeRule {
  // The standard step: the driver name fills an empty printer type.
  DRIVER_NAME_WHEN_EMPTY,
  // The inline step of the makers' formats: the printer model of a driver's
  // COMMENT line replaces the printer type whenever the header names one.
  PRINTER_MODEL_ALWAYS,
};

// Applies a header already read to the job record, through the ja_set_*
// setters: the larger of the job's copies, qty and copies wins; duplex,
// tumble and grayscale are only ever set; PAPERWIDTH x PAPERLENGTH (both
// above 0) times `unit` millimetres, rounded half up, is offered as the page
// size (the setter keeps a larger one); a paper name is offered to the
// paper setter; the job name fills an empty document name; the printer type
// follows `rule`.
void pjl_apply_header(const PjlHeaderInfo& header, JobAttribs* ja, double unit,
                      PjlPrinterTypeRule rule);

// The PJL header step: pjl_parse_header, then, when a header was read,
// pjl_apply_header with the standard printer-type rule. `unit` is
// millimetres per unit of PAPERWIDTH and PAPERLENGTH (PJL_UNIT_MM or
// PJL_UNIT_720TH_INCH). Returns what pjl_parse_header returned.
int pjl_set_job_attributes(const std::uint8_t* buffer, std::uint64_t length, JobAttribs* ja,
                           double unit);
// The inline step of the makers' formats: the same with
// PjlPrinterTypeRule::PRINTER_MODEL_ALWAYS.
int pjl_set_job_attributes_inline(const std::uint8_t* buffer, std::uint64_t length,
                                  JobAttribs* ja, double unit);

// Reads the job totals at the end of the job into `trailer` (reset first):
// an FXJOBINFO comment block when "FXJOBINFO" occurs in the last 100 bytes,
// else up to 10 "@PJL" lines in the 600 bytes before a universal exit that
// starts 9 to 100 bytes before the end. Returns 1 when a trailer was found
// and read, else 0.
[[nodiscard]] int pjl_parse_trailer(const std::uint8_t* buffer, std::uint64_t length,
                                    PjlTrailerInfo* trailer);
