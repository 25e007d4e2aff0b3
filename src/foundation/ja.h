// The job record: one JobAttribs per print job, from creation by the backend
// until the job ends. Analyzers change the findings only through the ja_set_*
// setters, which log every change with the caller's file and line.
#pragma once

#include <cstdint>
#include <ctime>

#include "foundation/owned.h"

// Buffer sizes of the record's texts (terminator included).
inline constexpr int JA_UID_SIZE = 41;              // 40 hexadecimal digits
inline constexpr int JA_TEXT_SIZE = 1024;           // names, paths, ids
inline constexpr int JA_ARCHIVE_PATH_SIZE = 31;     // "yyyy/mm/dd/hh"
inline constexpr int JA_HIDDEN_PATH_SIZE = 4096;
inline constexpr int JA_PRINT_PROCESSOR_SIZE = 57;

// Colour pages in an analysis record: 0 or more when the analyzer judged the
// colour of every page (0: judged, gray); the start value -1 when it did not
// judge colour at all; COLOR_PAGES_UNJUDGED when it looked but could not
// judge (raster it cannot decode, vendor-unique bands). The merge sends both
// negative values on as -1, not counted, so that such a job is never billed
// as gray.
inline constexpr std::int32_t COLOR_PAGES_UNJUDGED = -2;

struct JobAttribs {
  char job_uid[JA_UID_SIZE];
  std::tm submit_time;  // local time of creation
  char spool_file[JA_TEXT_SIZE];
  char username[JA_TEXT_SIZE];
  char document_name[JA_TEXT_SIZE];
  char printer_type[JA_TEXT_SIZE];  // driver or model name
  char printer_name[JA_TEXT_SIZE];
  char server_name[JA_TEXT_SIZE];
  char client_machine[JA_TEXT_SIZE];
  char client_ip[JA_TEXT_SIZE];
  std::int32_t spooler_type;
  std::int32_t port_flag;
  char job_id[JA_TEXT_SIZE];
  std::int32_t language;  // language code, see ja_languages.h
  std::int64_t size_kb;
  std::int32_t pages;
  std::int32_t color_pages;  // -1: not judged, not counted (see COLOR_PAGES_UNJUDGED)
  std::int32_t copy_count;
  std::int32_t is_duplex;
  std::int32_t is_tumble;
  std::int32_t is_grayscale;
  std::int32_t page_height_mm;  // -1: unknown
  std::int32_t page_width_mm;   // -1: unknown
  char paper_size_name[JA_TEXT_SIZE];
  char archive_path[JA_ARCHIVE_PATH_SIZE];
  char hidden_spl_path[JA_HIDDEN_PATH_SIZE];
  char print_processor[JA_PRINT_PROCESSOR_SIZE];
};

// A new record with the start values (copies 1, colour pages -1, page size
// -1 x -1, submit time now); null when memory runs out.
[[nodiscard]] JobAttribs* analyzer_create_job_attribs();
// Frees a record; null is ignored.
void analyzer_free_job_attribs(JobAttribs* ja);

using JobAttribsPtr = Owned<JobAttribs, analyzer_free_job_attribs>;

// Spool file paths. Setters cut to the field; getters give null for no record.
void ja_set_spool_file(JobAttribs* ja, const char* path);
[[nodiscard]] const char* ja_get_original_spool_file(const JobAttribs* ja);
void ja_set_hidden_spool_file(JobAttribs* ja, const char* path);
[[nodiscard]] int ja_has_hidden_spool_file(const JobAttribs* ja);
// The hidden path when one is set, else the spool file path.
[[nodiscard]] const char* ja_get_spool_file(const JobAttribs* ja);

// Setters: each replaces the value and writes one DEBUG entry attributed to
// the caller's file and line. The rules that keep larger copy counts, only
// set flags or fill empty names belong to the callers. Call them through the
// macros below so that the caller's position is passed.
void ja_set_document_name_func(const char* file, int line, JobAttribs* ja, const char* name);
void ja_set_printer_type_func(const char* file, int line, JobAttribs* ja, const char* name);
void ja_set_printer_name_func(const char* file, int line, JobAttribs* ja, const char* name);
void ja_set_copy_count_func(const char* file, int line, JobAttribs* ja, int n);
void ja_set_color_pages_func(const char* file, int line, JobAttribs* ja, int n);
void ja_set_pages_func(const char* file, int line, JobAttribs* ja, int pages);
void ja_set_is_tumble_func(const char* file, int line, JobAttribs* ja, int on);
void ja_set_is_duplex_func(const char* file, int line, JobAttribs* ja, int on);
void ja_set_is_grayscale_func(const char* file, int line, JobAttribs* ja, int on);
// Whole millimetres of a length in millimetres, halves upwards. Lengths
// read from print data always convert: beyond a kilometre either way they
// are clamped, and a value that is not a number gives 0.
[[nodiscard]] int ja_round_mm(double mm);
// Page size in millimetres, rounded half up. A positive size replaces the
// recorded one only when its area is not smaller; a size with a side of 0 or
// below is stored as it is. Non-finite values are refused.
void ja_set_page_width_height_mm_func(const char* file, int line, JobAttribs* ja, double width_mm,
                                      double height_mm);
// Paper name: drops a "LONGEDGE" suffix, turns "INCH_<w>X<h>" into a page size,
// ignores "CUSTOM", and refuses a known name whose area is smaller than the
// recorded one.
void ja_set_paper_size_name_func(const char* file, int line, JobAttribs* ja, const char* name);

#define ja_set_document_name(ja, v) ja_set_document_name_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_printer_type(ja, v) ja_set_printer_type_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_printer_name(ja, v) ja_set_printer_name_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_copy_count(ja, v) ja_set_copy_count_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_color_pages(ja, v) ja_set_color_pages_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_pages(ja, v) ja_set_pages_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_is_tumble(ja, v) ja_set_is_tumble_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_is_duplex(ja, v) ja_set_is_duplex_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_is_grayscale(ja, v) ja_set_is_grayscale_func(__FILE_NAME__, __LINE__, (ja), (v))
#define ja_set_page_width_height_mm(ja, w, h) \
  ja_set_page_width_height_mm_func(__FILE_NAME__, __LINE__, (ja), (w), (h))
#define ja_set_paper_size_name(ja, v) \
  ja_set_paper_size_name_func(__FILE_NAME__, __LINE__, (ja), (v))

// Doubles the job's paper for two pages to a sheet: A<n> becomes A<n-1>,
// INVOICE becomes LETTER, LETTER becomes LEDGER, and a known non-square size
// gets its short side doubled as the new long side.
void double_paper_size(JobAttribs* ja);

// The job dump, DEBUG entries only when debug logging is on. size_bytes below
// 0 means unknown.
void analyzer_log_ja(const char* heading, const JobAttribs* ja, int color, std::int64_t size_bytes);
