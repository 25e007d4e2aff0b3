// The state of one ESC/Page walk, shared by the walk and its EJL lines.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/regex.h"
#include "scan/byte_cursor.h"
#include "scan/position_timer.h"
#include "scan/scan_regex.h"

struct JobAttribs;

// The EJL and setting patterns, compiled once a call (all anchored: each is
// tried at one position). A pattern that does not compile never matches.
struct EpsonPagePatterns {
  ScanRegex qt{"@EJL SET .*? QT=(\\d+) ", PCRE_ANCHORED};
  ScanRegex co{"@EJL SET .*? CO=(\\d+) ", PCRE_ANCHORED};
  ScanRegex pgimode{"PGIMODE=ON", PCRE_ANCHORED};
  ScanRegex paper{"PS=(\\w+)\\b", PCRE_ANCHORED};
  ScanRegex duplex{"DX=ON", PCRE_ANCHORED};
  ScanRegex colormode{"ESC\\/PAGE-COLOR", PCRE_ANCHORED};
  ScanRegex gammamode{"GAMMAMODE=NORMAL", PCRE_ANCHORED};
  ScanRegex sheets{"@EJL JI PAGES\\s*=\\s*\"(\\d+)\"", PCRE_ANCHORED};
  ScanRegex driver{"@EJL JI.*? DRIVER=\"(.*?)\"", PCRE_ANCHORED};
  ScanRegex date_printer{"@EJL JI DATE=\"([^\"]*)\"\\s*PRINTER=\"([^\"]*)\"", PCRE_ANCHORED};
  ScanRegex date{"@EJL JI DATE=\"([^\"]*)\"", PCRE_ANCHORED};
  ScanRegex printer{"@EJL JI PRINTER=\"([^\"]*)\"", PCRE_ANCHORED};
  ScanRegex document{"@EJL JI.*?DOCUMENT\\s*=\\s*\"([^\"]*)\"", PCRE_ANCHORED};
};

inline constexpr std::size_t EPSONPAGE_DRIVER_SIZE = 128;

struct EpsonPageScan {
  const std::uint8_t* data = nullptr;
  std::uint64_t length = 0;
  ByteSpan d;
  JobAttribs* ja = nullptr;
  const EpsonPagePatterns* re = nullptr;

  std::int32_t sheets = 0;
  std::int32_t qt = -1;
  std::int32_t co = -1;
  char driver[EPSONPAGE_DRIVER_SIZE] = {};
  bool has_color = false;
  bool color_header = false;    // a 16eps{IB header decided the colour
  bool trailing_blank = false;
  bool date_printer = false;    // DATE and PRINTER on one EJL line
  bool date = false;
  bool printer = false;
  bool lps8100 = false;
  std::int32_t alc900 = 0;
  std::int32_t alc7000 = 0;
  std::int32_t alc6200 = 0;
  std::int32_t c2000 = 0;
  bool form_feed_since_c2000 = true;  // no C2000 page start counted since the last FF
  std::int32_t c2000_ff = 0;
  std::int32_t lp7800_double = 0;
};

// The EJL tests at an "@" at p; the position the walk goes on at.
[[nodiscard]] std::uint64_t epsonpage_ejl_line(EpsonPageScan* s, std::uint64_t p);

// The paper of an EJL PS= code, nullptr for a code not in the table.
[[nodiscard]] const char* epsonpage_ps_paper_name(std::string_view code);

// Pages counted on the command stream's own boundaries (form feeds, and
// resets that end a page of bit images); in_step is false when the walk met
// bytes that are no command where one must begin, or ran out of time, and
// the count is not to be used.
struct EpsonPageCommandPages {
  std::int32_t pages = 0;
  bool in_step = true;
};

[[nodiscard]] EpsonPageCommandPages epsonpage_command_pages(ByteSpan d, WalkTimer* timer);
