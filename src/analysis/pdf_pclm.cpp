// PCLm, the raster PDF of HP's driver-less and hpcups printers: every page
// is a column of image strips and carries a job ticket in comments. A
// two-sided job of an odd page count gets a blank page at its end, made of
// strips the driver names /WhiteStrip.
#include <algorithm>
#include <string>
#include <string_view>

#include "analysis/pdf_internal.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"

namespace {

constexpr std::string_view PCLM_MARK = "%PCLm";
constexpr std::uint64_t PCLM_MARK_WINDOW = 64;
// The first page's ticket stands before its page object, within a few
// kilobytes of the start.
constexpr std::uint64_t TICKET_WINDOW = 16384;
constexpr std::string_view SIDES = "sides: ";
constexpr std::string_view COLOR_MODE = "print-color-mode: ";
constexpr std::string_view COPIES = "copies: ";
constexpr std::uint64_t VALUE_MAX = 32;
constexpr std::string_view PAGE_TYPE = "/Type /Page";
constexpr std::string_view END_OBJECT = "endobj";
constexpr std::string_view WHITE_STRIP = "/Name /WhiteStrip";
constexpr std::string_view STREAM = "stream";
// A page of many strips still names fewer than this many images.
constexpr int MAX_STRIPS = 100000;
// A strip's dictionary, from "obj" to "stream", is a few lines.
constexpr std::uint64_t STRIP_DICT_MAX = 1024;

std::string_view text_of(ByteSpan d, std::uint64_t from, std::uint64_t to) {
  to = std::min<std::uint64_t>(to, d.size());
  return from < to ? scan_text(d.subspan(from, to - from)) : std::string_view();
}

// The value of a "key: value" line of the first page's job ticket, or
// nothing.
std::string_view ticket_value(ByteSpan d, std::string_view key) {
  const std::uint64_t window = std::min<std::uint64_t>(d.size(), TICKET_WINDOW);
  const auto at = scan_find(d.first(window), 0, key);
  if (!at) return {};
  const std::uint64_t from = *at + key.size();
  const std::string_view value = text_of(d, from, from + VALUE_MAX);
  return value.substr(0, value.find_first_of("\r\n"));
}

// Sides ("two-sided-long-edge", "two-sided-short-edge"), colour mode
// ("monochrome", "color") and copies.
void read_ticket(ByteSpan d, PclmJob* job) {
  const std::string_view sides = ticket_value(d, SIDES);
  job->duplex = sides.starts_with("two-sided");
  job->tumble = sides.starts_with("two-sided-short-edge");
  job->monochrome = ticket_value(d, COLOR_MODE).starts_with("monochrome");
  const DecimalRead copies = decimal_read(ticket_value(d, COPIES), DecimalSign::NONE);
  if (copies.length > 0) job->copies = decimal_clamp<int>(copies.value);
}

// The object "<number> 0 obj" at or after `from`.
std::optional<std::uint64_t> object_at(ByteSpan d, std::uint64_t from, std::int64_t number) {
  std::string head = "\n";
  head += std::to_string(number);
  head += " 0 obj";
  const auto at = scan_find(d, from, head);
  if (!at) return std::nullopt;
  return *at + 1;
}

// Whether the image object at `at` is a strip the driver named white: its
// dictionary, up to its stream, says so.
bool white_strip(ByteSpan d, std::uint64_t at) {
  const auto stream = scan_find(d.first(std::min<std::uint64_t>(d.size(), at + STRIP_DICT_MAX)), at,
                                STREAM);
  if (!stream) return false;
  return text_of(d, at, *stream).find(WHITE_STRIP) != std::string_view::npos;
}

// The last page object's images ("/ImageN <n> 0 R" up to its endobj), all
// white strips. The strips follow their page object.
bool last_page_blank(ByteSpan d) {
  std::uint64_t before = d.size();
  std::optional<std::uint64_t> page;
  while ((page = scan_rfind(d, before, PAGE_TYPE))) {
    // "/Type /Pages" is the page tree.
    if (*page + PAGE_TYPE.size() >= d.size() || d[*page + PAGE_TYPE.size()] != 's') break;
    before = *page;
  }
  if (!page) return false;
  const auto end = scan_find(d, *page, END_OBJECT);
  if (!end) return false;
  const std::string_view dict = text_of(d, *page, *end);
  int strips = 0;
  // The strips follow in the order the page names them: each is looked for
  // behind the one before, so the search reads the file once (a page naming
  // strips out of order is not taken as blank).
  std::uint64_t from = *end;
  for (std::size_t i = dict.find("/Image"); i != std::string_view::npos;
       i = dict.find("/Image", i + 1)) {
    std::size_t j = i + 6;
    while (j < dict.size() && dict[j] >= '0' && dict[j] <= '9') ++j;
    while (j < dict.size() && dict[j] == ' ') ++j;
    const DecimalRead number = decimal_read(dict.substr(j), DecimalSign::NONE);
    if (number.length == 0) continue;
    const auto object = object_at(d, from, number.value);
    if (!object || !white_strip(d, *object) || ++strips > MAX_STRIPS) return false;
    from = *object;
  }
  return strips > 0;
}

}  // namespace

PclmJob pclm_read(ByteSpan d) {
  PclmJob job;
  const std::uint64_t head = std::min<std::uint64_t>(d.size(), PCLM_MARK_WINDOW);
  if (!scan_find(d.first(head), 0, PCLM_MARK)) return job;
  job.pclm = true;
  read_ticket(d, &job);
  job.last_page_blank = job.duplex && last_page_blank(d);
  LOG_DEBUG("PCLm job: duplex=%d, tumble=%d, monochrome=%d, copies=%d, last page blank=%d",
            job.duplex, job.tumble, job.monochrome, job.copies, job.last_page_blank);
  return job;
}
