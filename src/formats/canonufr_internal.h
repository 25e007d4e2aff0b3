// The counts of one Canon UFR walk, shared by the walk and the decisions
// made after it.
#pragma once

#include <cstdint>

#include "foundation/regex.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

struct JobAttribs;

// The LIPS and driver-setting patterns, compiled once a call. One that does
// not compile never matches.
struct CanonUfrPatterns {
  ScanRegex eop{"\\[eop\\b", PCRE_ANCHORED};
  ScanRegex paper{"\\[(\\d+);\\d+;\\d+;\\d+p\\x1b", PCRE_ANCHORED};
  ScanRegex lips_paper{"\\[(\\d+);;;;+p", PCRE_ANCHORED};
  ScanRegex duplex{"DUPLEX-LAYOUT.ON", PCRE_ANCHORED};
  ScanRegex paper_save{"LIPS.PAPER-SAVE", PCRE_ANCHORED | PCRE_DOTALL};
  ScanRegex img_color{";ImgColor.*?\\x1b\\[(\\d+)v\\x1b", PCRE_ANCHORED};
  ScanRegex inch{"INCH_(\\d+)X(\\d+)", PCRE_ANCHORED};
};

struct CanonUfrScan {
  ByteSpan d;
  JobAttribs* ja = nullptr;
  const CanonUfrPatterns* re = nullptr;

  std::int32_t eop = 0;               // LIPS end-of-page commands
  std::int32_t paper_number = -1;
  std::int32_t lips_paper = -1;
  std::int32_t lips_alternate_paper = -1;
  std::int32_t impression_1 = 0;
  std::int32_t impression_2 = 0;
  std::int32_t inline_copies = 0;
  std::int32_t img_color_copies = 0;
  std::int32_t mf5700 = 0;
  std::int32_t ipf5100 = 0;
  std::int32_t ir5075 = 0;
  std::int32_t lbp9250 = 0;
  std::int32_t lbp8730 = 0;
  bool pjl_seen = false;
  bool pcl5_gray_header = false;
  bool pcl5_color_header = false;
};

// The tests at p; the position the walk goes on at.
[[nodiscard]] std::uint64_t canonufr_step(CanonUfrScan* s, std::uint64_t p);
// Paper, colour, duplex, PJL, pages and copies from the counts of the walk.
void canonufr_decide(CanonUfrScan* s);
