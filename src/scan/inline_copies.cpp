// Confirming a given number of inline copies: by the universal exits that
// end each copy, or by a probe of the data repeated one copy length later.
#include "scan/inline_copies.h"

#include <algorithm>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/inline_copies_internal.h"
#include "scan/pjl.h"

namespace {

// Half-width of the window around each copy's expected end (exit mode).
constexpr std::uint64_t EXIT_WINDOW_HALF = 1000;
// Bytes of the data behind "@PJL ENTER LANGUAGE" and before the end that
// content mode leaves out of its region.
constexpr std::uint64_t CONTENT_MARGIN = 50;
// Trailing bytes of each copy that may differ in content mode.
constexpr std::uint64_t CONTENT_TAIL = 30;
constexpr std::uint64_t PROBE_START = 1000;
constexpr std::uint64_t QUICK_COMPARE = 1000;

bool params_valid(const std::uint8_t* buffer, std::uint64_t length, int copies, int pages) {
  if (copies >= 2 && pages >= 2 && pages % copies == 0 && buffer != nullptr && length > 0) {
    return true;
  }
  LOG_DEV("has_num_inline_copies: params wrong for inline copies. num_inline_copies=%d,num_pages=%d",
          copies, pages);
  return false;
}

// The exit that ends each copy: the first universal exit within 1000 bytes
// of its expected end. Empty when a window holds none.
std::vector<std::uint64_t> copy_exits(ByteSpan data, std::uint64_t copies, std::uint64_t expected) {
  std::vector<std::uint64_t> exits;
  for (std::uint64_t i = 0; i < copies; ++i) {
    const std::uint64_t centre = (i + 1) * expected;
    const std::uint64_t lo = centre > EXIT_WINDOW_HALF ? centre - EXIT_WINDOW_HALF : 0;
    const std::uint64_t hi = std::min<std::uint64_t>(centre + EXIT_WINDOW_HALF, data.size());
    if (hi <= lo) {
      LOG_DEBUG("has_num_inline_copies: No room for EOJ. s=%p,e=%p",
                static_cast<const void*>(data.data() + std::min<std::uint64_t>(lo, data.size())),
                static_cast<const void*>(data.data() + hi));
      return {};
    }
    const auto exit = inline_find_uel(data, lo, hi);
    if (!exit) {
      LOG_DEBUG("has_num_inline_copies: Could not find EOJ for copy=%" PRIu64 ",s=%p,sz=%" PRIu64,
                i, static_cast<const void*>(data.data() + lo), hi - lo);
      return {};
    }
    exits.push_back(*exit);
  }
  return exits;
}

// The copy size when every two consecutive exits lie one copy size apart
// and the first copy starts inside the buffer; 0 otherwise.
std::uint64_t exit_copy_size(ByteSpan data, const std::vector<std::uint64_t>& exits,
                             std::uint64_t expected, std::uint64_t* first_start) {
  const std::uint64_t size = exits[1] > exits[0] ? exits[1] - exits[0] : 0;
  if (size < INLINE_COPY_MIN_SIZE) {
    LOG_DEBUG("has_num_inline_copies: Copy size too small copy=%d,actual_copy_size=%" PRIu64, 1,
              size);
    return 0;
  }
  const std::uint64_t first_end = exits[0] + PJL_UEL_LENGTH;
  if (first_end < size) {
    LOG_DEBUG("has_num_inline_copies: Invalid copy sizes. data=%p,last_copy_end=%p,"
              "actual_copy_end=%p,page1size=%" PRIu64 ",actual_copy_size=%" PRIu64,
              static_cast<const void*>(data.data()), static_cast<const void*>(data.data()),
              static_cast<const void*>(data.data() + first_end), expected, size);
    return 0;
  }
  for (std::size_t i = 2; i < exits.size(); ++i) {
    if (exits[i] - exits[i - 1] != size) {
      LOG_DEBUG("has_num_inline_copies: Copies are different sizes. copy=%zu,"
                "copy_end-last_copy_end=%" PRIu64 ",actual_copy_size=%" PRIu64,
                i, exits[i] - exits[i - 1], size);
      return 0;
    }
  }
  *first_start = first_end - size;
  return size;
}

int has_copies_by_exit(ByteSpan data, int copies, int pages) {
  const std::uint64_t n = static_cast<std::uint64_t>(copies);
  const std::uint64_t expected = data.size() / n;
  if (expected < INLINE_COPY_MIN_SIZE) return 0;
  const std::vector<std::uint64_t> exits = copy_exits(data, n, expected);
  if (exits.size() != n) return 0;
  std::uint64_t start = 0;
  const std::uint64_t size = exit_copy_size(data, exits, expected, &start);
  if (size == 0) return 0;
  LOG_DEBUG("has_num_inline_copies: Probably has inline copies. size=%zu,num_inline_copies=%d,"
            "num_pages=%d,actual_copy_size=%" PRIu64,
            data.size(), copies, pages, size);
  if (!inline_copies_fit(data.size(), start, n, size)) {
    LOG_DEBUG("has_num_inline_copies: Binary match not possible. required end=%p > actual end=%p",
              static_cast<const void*>(data.data() + start),
              static_cast<const void*>(data.data() + data.size()));
    return 0;
  }
  for (std::uint64_t i = 1; i < n; ++i) {
    if (!inline_bytes_equal(data, start, start + i * size, size)) {
      LOG_DEBUG("has_num_inline_copies: Binary mismatch copy=%" PRIu64, i);
      return 0;
    }
  }
  LOG_DEBUG("has_num_inline_copies: Has inline copies. Binary match");
  return 1;
}

// Content mode's region: the whole buffer, or from 50 bytes behind
// "@PJL ENTER LANGUAGE" to 50 bytes before the end. Empty when those cross.
ByteSpan content_region(ByteSpan data) {
  const auto enter = scan_find(data, 0, "@PJL ENTER LANGUAGE");
  if (!enter) return data;
  const std::uint64_t start = *enter + CONTENT_MARGIN;
  if (data.size() < CONTENT_MARGIN || start >= data.size() - CONTENT_MARGIN) return {};
  return data.subspan(start, data.size() - CONTENT_MARGIN - start);
}

// Copy length from the probe: region bytes b to c searched again in the
// b + c bytes from region offset c. 0 when there is none of at least 1000.
std::uint64_t probe_copy_length(ByteSpan region, std::uint64_t copies, std::uint64_t* probe_at) {
  const std::uint64_t a = region.size();
  const std::uint64_t b = a < 4 * PROBE_START ? a / 4 : PROBE_START;
  std::uint64_t c = a / copies - CONTENT_TAIL;
  if (b >= c) return 0;
  if (b + 2 * c >= a) c = (a - b) / 2;
  if (b >= c) return 0;
  const ByteSpan probe = region.subspan(b, c - b);
  const ByteSpan haystack = region.subspan(0, std::min(a, c + b + c));
  const auto again = scan_find(haystack, c, scan_text(probe));
  if (!again || *again - b < INLINE_COPY_MIN_SIZE) return 0;
  *probe_at = b;
  return *again - b;
}

// Compares copies 1 to n - 1 (at base + i x length) with the first: the
// first 1000 bytes, then all but the last 30. The copies are counted from
// inside the first (behind the PJL header), so the last one runs past the
// end of the buffer by up to `base` bytes: a copy is compared over the bytes
// present, less its last 30, and may lack no more than the uncompared head.
bool compare_content_copies(ByteSpan data, std::uint64_t base, std::uint64_t n,
                            std::uint64_t length) {
  const std::uint64_t quick = std::min(length, QUICK_COMPARE);
  for (std::uint64_t i = 1; i < n; ++i) {
    const std::uint64_t at = base + i * length;
    const std::uint64_t present = at <= data.size() ? data.size() - at : 0;
    if (present + base + CONTENT_TAIL < length || present < quick) return false;
    if (!inline_bytes_equal(data, base, at, quick)) {
      LOG_DEBUG("has_num_inline_copies: Binary mismatch [short] copy=%" PRIu64, i);
      return false;
    }
  }
  if (length == QUICK_COMPARE) return true;
  for (std::uint64_t i = 1; i < n; ++i) {
    const std::uint64_t at = base + i * length;
    const std::uint64_t full = std::min(length, data.size() - at) - CONTENT_TAIL;
    if (!inline_bytes_equal(data, base, at, full)) {
      LOG_DEBUG("has_num_inline_copies: Binary mismatch copy=%" PRIu64 ", (%" PRIu64 " of %" PRIu64
                ")",
                i, inline_common_prefix(data, base, at, full), length);
      return false;
    }
  }
  LOG_DEBUG("has_num_inline_copies: Has inline copies. Binary match");
  return true;
}

int has_copies_by_content(ByteSpan data, int copies) {
  const std::uint64_t n = static_cast<std::uint64_t>(copies);
  const ByteSpan region = content_region(data);
  if (region.size() / n < INLINE_COPY_MIN_SIZE) return 0;
  std::uint64_t start = 0;
  const std::uint64_t length = probe_copy_length(region, n, &start);
  if (length == 0) return 0;
  // Back to where the copies begin: while the bytes before the probe and
  // before its second occurrence agree.
  while (start > 0 && region[start - 1] == region[start - 1 + length]) --start;
  if (region[start] != region[start + length]) {
    LOG_ERROR("Bad inline copy search. First bytes don't match");
  }
  const std::uint64_t base = static_cast<std::uint64_t>(region.data() - data.data()) + start;
  return compare_content_copies(data, base, n, length) ? 1 : 0;
}

}  // namespace

std::optional<std::uint64_t> inline_find_uel(ByteSpan data, std::uint64_t from,
                                             std::uint64_t to) {
  return scan_find(data.first(std::min<std::uint64_t>(to, data.size())), from,
                   std::string_view(PJL_UEL, PJL_UEL_LENGTH));
}

bool inline_copies_fit(std::uint64_t length, std::uint64_t start, std::uint64_t copies,
                       std::uint64_t size) {
  if (start > length || size == 0) return false;
  return copies <= (length - start) / size;
}

bool inline_bytes_equal(ByteSpan data, std::uint64_t a, std::uint64_t b, std::uint64_t count) {
  if (a > data.size() || b > data.size()) return false;
  if (count > data.size() - a || count > data.size() - b) return false;
  return std::memcmp(data.data() + a, data.data() + b, count) == 0;
}

std::uint64_t inline_common_prefix(ByteSpan data, std::uint64_t a, std::uint64_t b,
                                   std::uint64_t count) {
  std::uint64_t i = 0;
  while (i < count && a + i < data.size() && b + i < data.size() && data[a + i] == data[b + i]) {
    ++i;
  }
  return i;
}

int has_num_inline_copies(const std::uint8_t* buffer, std::uint64_t length, int copies,
                          int pages, int exit_mode) {
  if (!params_valid(buffer, length, copies, pages)) return 0;
  const ByteSpan data = scan_bytes(buffer, length);
  return exit_mode == INLINE_COPIES_BY_EXIT ? has_copies_by_exit(data, copies, pages)
                                            : has_copies_by_content(data, copies);
}

struct InlineCopiesCache {
  bool valid;
  const std::uint8_t* buffer;
  std::uint64_t length;
  int copies;
  int pages;
  int exit_mode;
  int result;
};

InlineCopiesCache* inline_copies_cache_create() {
  return static_cast<InlineCopiesCache*>(std::calloc(1, sizeof(InlineCopiesCache)));
}

void inline_copies_cache_free(InlineCopiesCache* cache) { std::free(cache); }

int has_num_inline_copies_cache(const std::uint8_t* buffer, std::uint64_t length, int copies,
                                int pages, int exit_mode, InlineCopiesCache* cache) {
  if (cache == nullptr) return has_num_inline_copies(buffer, length, copies, pages, exit_mode);
  if (cache->valid && cache->buffer == buffer && cache->length == length &&
      cache->copies == copies && cache->pages == pages && cache->exit_mode == exit_mode) {
    return cache->result;
  }
  const int result = has_num_inline_copies(buffer, length, copies, pages, exit_mode);
  *cache = InlineCopiesCache{true, buffer, length, copies, pages, exit_mode, result};
  return result;
}

int check_inline_copies_size(int copies, std::uint64_t size) {
  if (copies < 1) return 0;
  // In floating point: neither factor is bounded.
  const double total = static_cast<double>(copies) *
                       (static_cast<double>(size) + static_cast<double>(INLINE_COPY_EXPANSION));
  if (total <= static_cast<double>(INLINE_COPIES_MAX_BYTES)) return 1;
  constexpr double MIB = 1024.0 * 1024.0;
  LOG_DEBUG("check_inline_copies_size: Cannot map %.1f MBytes for %u inline copies of %.1f MBytes, "
            "max_size=%.1f MBytes (EXPANSION=%u bytes)",
            total / MIB, static_cast<unsigned>(copies), static_cast<double>(size) / MIB,
            static_cast<double>(INLINE_COPIES_MAX_BYTES) / MIB,
            static_cast<unsigned>(INLINE_COPY_EXPANSION));
  return 0;
}
