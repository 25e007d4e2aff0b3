// The PCL XL analyzer's pieces: the page list and page judgement
// (pcl6_page_list.cpp), the walk over the job (pcl6_scan.cpp), the PJL
// lines inside a job (pcl6_pjl_lines.cpp) and the end of the job with the
// analyzer entry (pcl6_job.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/pcl6color.h"
#include "foundation/owned.h"
#include "foundation/timeout.h"
#include "scan/byte_cursor.h"
#include "scan/inline_copies.h"
#include "scan/kyocerameta.h"
#include "scan/pjl.h"
#include "scan/scan_regex.h"

struct JobAttribs;

// ---- Page list ----

// Pages whose marking bytes are fewer than this are empty.
inline constexpr std::uint64_t MIN_PAGE_LEN = 60;

struct Pcl6PageDesc {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  std::int32_t empty = 0;
  std::int32_t color = 0;
  std::uint64_t data_bytes = 0;  // embedded data in the page (all of it marks)
};

// Page extents from the begin-page and end-page markers, in order. A marker
// out of turn (a begin without the previous end, an end without a begin)
// makes the list inconsistent, and it is no longer changed or used.
//
// Only the latest page is kept whole; each page is judged (empty, colour)
// when the next one begins or the list is summed up, and folded into the
// counts below, so the list's memory does not grow with the job.
struct page_list {
  int n_begin = 0;
  int n_end = 0;
  std::uint64_t latest = 0;
  bool inconsistent = false;
  bool has_open = false;
  Pcl6PageDesc open;        // the latest page
  int n_total = 0;          // pages folded so far
  int n_empty = 0;
  int n_color = 0;          // colour pages among the non-empty ones
  bool blank_backs = true;  // every odd page printed and every even page empty so far
};

[[nodiscard]] page_list* page_list_create();
void page_list_free(page_list* list);
using PageListPtr = Owned<page_list, page_list_free>;
void page_list_add_beginpage(page_list* list, ByteSpan job, std::uint64_t offset);
void page_list_add_endpage(page_list* list, std::uint64_t offset);
// Embedded data met inside the latest page.
void page_list_add_data(page_list* list, std::uint64_t bytes);
// The colour callback of the detector: marks the latest page as colour.
void page_list_color_callback(PCL6Color* detector, void* data);

// The page's marking bytes: its length less the non-marking operators in it
// (see pcl6_page_list.cpp). 1 with the size; 0 with size 0 when the end lies
// before the start.
[[nodiscard]] int get_marking_size(ByteSpan job, std::uint64_t start, std::uint64_t end,
                                   std::uint64_t* size);
// 1 when the page's marking bytes are fewer than MIN_PAGE_LEN.
[[nodiscard]] int is_empty_except_non_marking(ByteSpan job, std::uint64_t start,
                                              std::uint64_t end);
// true when the page [start, end), holding `data_bytes` of embedded data,
// has fewer than `limit` marking bytes. Embedded data all marks, so a page
// with that much of it is not scanned.
[[nodiscard]] bool page_marks_less_than(ByteSpan job, std::uint64_t start, std::uint64_t end,
                                        std::uint64_t data_bytes, std::uint64_t limit);

// Pages and colour pages from a consistent list in which every page begun
// has ended; false when the list cannot be used. Blank back sides of a
// duplex job (every odd page printed, every even page empty) are left out.
[[nodiscard]] bool page_list_get_number_pages(ByteSpan job, page_list* list, bool duplex,
                                              int* pages, int* color_pages);

// ---- Scan ----

// The empty-page sizes: most drivers, and the MS PCL XL driver.
inline constexpr std::uint64_t PCL6_EMPTY_PAGE_SIZE = 95;
inline constexpr std::uint64_t PCL6_MS_EMPTY_PAGE_SIZE = 350;

// Booklet and folding settings from PJL lines inside the job.
struct Pcl6Booklet {
  int booklet_nup = 0;      // pages per booklet sheet side (BKLT, LAYOUT)
  int nup = 0;              // N-up (NLPP), for the colour detector
  bool nested = false;      // a nested booklet (PAGEIMAGEINFO, 4-in-1)
  bool double_paper = false;
  int finish_bookletin1 = 0;  // LAYOUT BOOKLETnIN1
  bool finish_folding = false;
};

struct Pcl6Scan {
  ByteSpan job;
  bool color = false;
  JobAttribs* ja = nullptr;
  PCL6Color* detector = nullptr;
  page_list* pages = nullptr;
  Timeout timeout{};

  int end_pages = 0;
  std::int64_t end_pages_with_copies = 0;
  int physical_pages = 0;
  int strict_physical_pages = 0;
  int start_pages = 0;
  int empty_start_pages = 0;
  int potential_empty_pages = 0;
  bool last_judged_empty = false;

  std::uint64_t judged_page_start = 0;   // start of the page the next end-page closes
  std::uint64_t last_begin_page = 0;     // offset of the latest valid BeginPage
  bool has_begin_page = false;
  std::uint64_t page_boundary = 0;       // latest page marker, bounds the attribute walk
  std::uint64_t data_since_begin = 0;    // embedded data in the last page, at the end
  bool physical_recorded = false;
  std::uint64_t physical_position = 0;

  int custom_unit = -1;
  double custom_x = -1;
  double custom_y = -1;
  bool page_duplex = false;   // a DuplexPageMode attribute was seen

  std::uint64_t empty_page_size = PCL6_EMPTY_PAGE_SIZE;
  bool has_color = false;
  bool kyocera = false;
  bool xerox_global = false;
  bool ricoh_2008 = false;
  bool jetready = false;

  Pcl6Booklet booklet;
  int qty_lines = 0;

  bool cpca = false;
  int cpca_copies = 1;
  int cpca_grayscale = 0;
  bool cpca_color = false;
  bool cpca_duplex = false;

  bool pjl_read = false;
  bool pjl_header_read = false;
  PjlHeaderInfo pjl_header{};
  bool pjl_trailer_read = false;
  PjlTrailerInfo pjl_trailer{};

  ScanRegex layout{"@PJL SET LAYOUT\\s*=\\s*(\\S+)", PCRE_CASELESS | PCRE_ANCHORED};
  ScanRegex folding{"@PJL SET FOLDING\\s*=\\s*(\\S+)", PCRE_CASELESS | PCRE_ANCHORED};
  ScanRegex kyocera_comment{"!R!\\s+CMNT.{0,60}?EXIT;", 0};

  // Whether the job is duplex by now: CPCA, the job record, a page's
  // DuplexPageMode.
  [[nodiscard]] bool duplex() const;
};

// The paper name of a MediaSize enumeration value, nullptr for a value not
// in the table.
[[nodiscard]] const char* pcl6_media_size_name(std::int64_t value);

// The walk over the job (steps at each position); ends at the end of the
// data or when the ParseTimeout runs out.
void pcl6_scan_job(Pcl6Scan& s);
// The driver marks in the first bytes of the job.
void pcl6_find_driver_marks(Pcl6Scan& s);
// A PJL line inside the job at `pos` (an "@" byte).
void pcl6_pjl_line(Pcl6Scan& s, std::uint64_t pos);
// The 1-based number of the page that the current position belongs to.
[[nodiscard]] int pcl6_current_page(const Pcl6Scan& s);
