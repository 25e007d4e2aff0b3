// The FXJOBINFO block: found backwards from the end (memrchr speed), then
// read line by line. A line runs from one "@PJL COMMENT FXJOBINFO " to the
// next; the END line closes the last one, so the line before END is read
// too (its page or count is part of the job).
#include "scan/pjl_fxjobinfo.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/pjl.h"

namespace {

constexpr std::string_view MARK = "FXJOBINFO";
constexpr std::string_view LINE = "@PJL COMMENT FXJOBINFO ";
constexpr std::string_view BEGIN = "@PJL COMMENT FXJOBINFO BEGIN";
constexpr std::string_view END = "@PJL COMMENT FXJOBINFO END";
constexpr std::string_view PAGE = "@PJL COMMENT FXJOBINFO PAGEINFO=";
// The marker must lie in the last 100 bytes; no BEGIN is taken in the
// first 100.
constexpr std::uint64_t MARK_WINDOW = 100;
constexpr std::uint64_t BEGIN_LOWEST = 101;

// A number at the front of `text`, saturated to int32; advances past it.
bool take_int(std::string_view* text, std::int32_t* value) {
  const DecimalRead read = decimal_read(*text, DecimalSign::NONE);
  if (read.length == 0) return false;
  *value = decimal_clamp<std::int32_t>(read.value);
  text->remove_prefix(read.length);
  return true;
}

void skip_spaces(std::string_view* text) {
  while (!text->empty() && ascii_is_space(text->front())) text->remove_prefix(1);
}

bool skip(std::string_view* text, std::string_view what) {
  if (!text->starts_with(what)) return false;
  text->remove_prefix(what.size());
  return true;
}

// "\d+\.?\d*" rounded half up.
bool take_rounded(std::string_view* text, std::int32_t* value) {
  std::int32_t whole = 0;
  if (!take_int(text, &whole)) return false;
  bool round_up = false;
  if (skip(text, ".")) {
    round_up = !text->empty() && text->front() >= '5' && text->front() <= '9';
    while (!text->empty() && ascii_is_digit(text->front())) text->remove_prefix(1);
  }
  *value = round_up && whole < INT32_MAX ? whole + 1 : whole;
  return true;
}

// "SIZE[w X h]" anywhere in the line: the first occurrence that parses.
bool page_size(std::string_view line, std::int32_t* width, std::int32_t* height) {
  for (auto at = line.find("SIZE["); at != std::string_view::npos;
       at = line.find("SIZE[", at + 1)) {
    std::string_view rest = line.substr(at + 5);
    if (take_rounded(&rest, width) && skip(&rest, "X") && take_rounded(&rest, height) &&
        skip(&rest, "]")) {
      return true;
    }
  }
  return false;
}

// The word of "KEY[word]" anywhere in the line (the first that parses).
std::string_view bracket_word(std::string_view line, std::string_view key) {
  for (auto at = line.find(key); at != std::string_view::npos; at = line.find(key, at + 1)) {
    const std::string_view rest = line.substr(at + key.size());
    std::size_t n = 0;
    while (n < rest.size() && (ascii_is_alnum(rest[n]) || rest[n] == '_')) ++n;
    if (n > 0 && n < rest.size() && rest[n] == ']') return rest.substr(0, n);
  }
  return {};
}

// "@PJL COMMENT FXJOBINFO <key>\s*=\s*(\d+)" at the start of the line.
bool count_line(std::string_view line, std::string_view key, std::int32_t* value) {
  if (!skip(&line, LINE) || !skip(&line, key)) return false;
  skip_spaces(&line);
  if (!skip(&line, "=")) return false;
  skip_spaces(&line);
  return take_int(&line, value);
}

struct Block {
  int pages = 0;
  int colour = 0;
  int duplex = -1;
  std::int32_t width = -1;
  std::int32_t height = -1;
  std::int32_t job_copies = -1;
  std::int32_t page_copies = -1;
  std::int32_t nup = -1;
  std::int32_t physical = -1;
  std::int32_t logical = -1;
};

void read_page(std::string_view line, Block* b) {
  std::int32_t width = -1;
  std::int32_t height = -1;
  if (!page_size(line, &width, &height)) width = height = -1;
  const std::string_view mode = bracket_word(line, "MODE[");
  if (mode.find("EMPTY") != std::string_view::npos) return;
  const int duplex = bracket_word(line, "DUPLEX[").find("DUPLEX") != std::string_view::npos;
  if (b->pages > 0) {
    if (duplex != b->duplex) {
      LOG_DEBUG("Inconsistent duplex: doc_page_count=%d,doc_is_duplex=%d,is_duplex=%d", b->pages,
                b->duplex, duplex);
    }
    if (width != b->width) {
      LOG_DEBUG("Inconsistent width: doc_page_count=%d,doc_width=%d,width=%d", b->pages, b->width,
                width);
    }
    if (height != b->height) {
      LOG_DEBUG("Inconsistent height: total_pages=%d,doc_length=%d,height=%d", b->pages,
                b->height, height);
    }
  }
  ++b->pages;
  b->colour += mode.find("COLOR") != std::string_view::npos ? 1 : 0;
  b->duplex = duplex;
  b->width = width;
  b->height = height;
}

void read_line(std::string_view line, Block* b) {
  if (line.starts_with(PAGE)) {
    read_page(line, b);
    return;
  }
  if (count_line(line, "JOBCOPIES", &b->job_copies)) return;
  if (count_line(line, "PAGECOPIES", &b->page_copies)) return;
  if (count_line(line, "NUP", &b->nup)) return;
  if (count_line(line, "PHYSICALPAGES", &b->physical)) return;
  (void)count_line(line, "LOGICALPAGES", &b->logical);
}

void fill_trailer(const Block& b, PjlTrailerInfo* t) {
  t->pages = b.pages;
  t->color_pages = b.colour;
  t->duplex = b.pages > 0 ? b.duplex : -1;
  t->page_width = b.pages > 0 ? b.width : -1;
  t->page_height = b.pages > 0 ? b.height : -1;
  if (b.physical >= 0 && b.physical != b.pages) {
    LOG_ERROR("Inconsistent page count: phys_pages=%d,doc_page_count=%d", b.physical, b.pages);
  }
  if (b.job_copies > 1) {
    t->copies = b.job_copies;
  } else if (b.page_copies > 1) {
    t->copies = b.page_copies;
  } else if (b.logical > 0 && b.logical < b.physical && b.physical % b.logical == 0) {
    t->copies = b.physical / b.logical;
    t->pages = b.logical;
    LOG_DEBUG("log_pages=%d,phys_pages=%d=>copy_count=%d,page_count=%d", b.logical, b.physical,
              t->copies, t->pages);
    t->color_pages = std::min(t->color_pages, t->pages);
  }
}

}  // namespace

bool pjl_read_fxjobinfo(ByteSpan data, PjlTrailerInfo* trailer) {
  const std::uint64_t tail = data.size() > MARK_WINDOW ? data.size() - MARK_WINDOW : 0;
  if (!scan_find(data, tail, MARK) || data.size() < BEGIN.size()) return false;
  // The job's last BEGIN, searched back from the end.
  const auto begin = scan_rfind(data, data.size() - BEGIN.size() + 1, BEGIN);
  if (!begin || *begin < BEGIN_LOWEST) return false;
  const auto end = scan_find(data, *begin, END);
  if (!end) return false;

  const std::string_view text = scan_text(data).substr(0, *end + LINE.size());
  Block block;
  std::uint64_t line = *begin;
  while (line < *end) {
    const std::uint64_t next = text.find(LINE, line + 1);
    read_line(text.substr(line, next - line), &block);
    line = next;
  }
  fill_trailer(block, trailer);
  return true;
}
