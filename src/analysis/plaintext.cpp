// Plain text: the pages a text printer makes of the data, found with
// memchr from one line feed or form feed to the next.
#include "analysis/plaintext.h"

#include <algorithm>
#include <cstring>

#include "scan/position_timer.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

struct TextPages {
  std::int64_t pages = 0;      // pages ended so far
  std::int64_t lines = 0;      // line feeds on the current page
  std::int64_t line_feeds = 0;
  bool page_has_content = false;
};

// true when the bytes hold anything but carriage returns.
bool has_content(const std::uint8_t* p, const std::uint8_t* end) {
  for (; p < end; ++p) {
    if (*p != '\r') return true;
  }
  return false;
}

// The next line feed or form feed at or after p, or end. The next form feed
// is remembered, so the data is searched for it once.
const std::uint8_t* next_stop(const std::uint8_t* p, const std::uint8_t* end,
                              const std::uint8_t** next_form_feed) {
  if (*next_form_feed == nullptr || *next_form_feed < p) {
    const void* ff = std::memchr(p, '\f', static_cast<std::size_t>(end - p));
    *next_form_feed = ff != nullptr ? static_cast<const std::uint8_t*>(ff) : end;
  }
  const std::uint8_t* limit = *next_form_feed;
  const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(limit - p));
  return lf != nullptr ? static_cast<const std::uint8_t*>(lf) : limit;
}

void end_page(TextPages* t) {
  ++t->pages;
  t->lines = 0;
  t->page_has_content = false;
}

}  // namespace

int plaintext_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja,
                          int lines_per_page) {
  LOG_DEV("entering plaintext_process_job");
  if (lines_per_page <= 0) {
    LOG_DEBUG("Plain text lines per page %d is not positive; using %d", lines_per_page,
              PLAINTEXT_DEFAULT_LINES_PER_PAGE);
    lines_per_page = PLAINTEXT_DEFAULT_LINES_PER_PAGE;
  }
  LOG_DEBUG("Plain text lines per page: %d", lines_per_page);
  WalkTimer timer("Plain Text");
  TextPages t;
  const std::uint8_t* p = data;
  const std::uint8_t* end = data + (data != nullptr ? length : 0);
  const std::uint8_t* next_form_feed = nullptr;
  while (p < end) {
    if (timer.expired(static_cast<std::uint64_t>(p - data))) break;
    const std::uint8_t* stop = next_stop(p, end, &next_form_feed);
    t.page_has_content = t.page_has_content || has_content(p, stop);
    if (stop == end) break;
    if (*stop == '\f') {
      end_page(&t);
    } else {
      ++t.line_feeds;
      t.page_has_content = true;
      if (++t.lines == lines_per_page) end_page(&t);
    }
    p = stop + 1;
  }
  if (t.page_has_content) ++t.pages;
  LOG_DEBUG("plaintext found %lld lines", static_cast<long long>(t.line_feeds));
  ja_set_pages(ja, static_cast<int>(std::min<std::int64_t>(t.pages, INT32_MAX)));
  ja_set_is_grayscale(ja, 1);
  ja_set_color_pages(ja, 0);
  if (t.pages == 0) {
    LOG_ERROR("plaintext_process_job: no page in %llu bytes", static_cast<unsigned long long>(length));
    return -1;
  }
  return 0;
}

namespace {
int plaintext_adapter(const std::uint8_t* data, std::uint64_t length, int lines_per_page,
                      JobAttribs* ja) {
  return plaintext_process_job(data, length, ja, lines_per_page);
}
}  // namespace

const AnalyzerEntry PLAINTEXT_ANALYZER{"plaintext_process_job", plaintext_adapter};
