// Finding inline copies: a repeated head (drivers known to repeat the whole
// job), or copies that open with universal exits on page boundaries. Either
// way the copies must make up the whole buffer: the spool modification cuts
// the job to its first copy and writes that copy again, so bytes before the
// first copy or after the last would be lost or cut into.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <vector>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"
#include "scan/inline_copies.h"
#include "scan/inline_copies_internal.h"
#include "scan/pjl.h"

namespace {

constexpr char HP_UNIVERSAL[] = "HP Universal Printing";
constexpr char KYOCERA_MARK[] = "!R!SEM6;EXIT;";
// Bytes of the head that must repeat, and the shortest job tested for it.
constexpr std::uint64_t HEAD_SIZE = 1000;
constexpr std::uint64_t HEAD_MIN_LENGTH = 2000;
// Boundary test: window half-widths, and the bytes compared at each start.
constexpr std::uint64_t SMALL_PAGE = 4004;
constexpr std::uint64_t WINDOW_HALF = 1000;
constexpr std::uint64_t START_COMPARE = 1000;
constexpr std::uint64_t START_COMPARE_MIN = 500;

bool repeats_head(const std::uint8_t* buffer, std::uint64_t length, const JobAttribs* ja) {
  const bool hp = ja != nullptr && std::strcmp(ja->printer_type, HP_UNIVERSAL) == 0;
  const bool kyocera =
      length > 20 && std::memcmp(buffer, KYOCERA_MARK, sizeof(KYOCERA_MARK) - 1) == 0;
  return (hp || kyocera) && length >= HEAD_MIN_LENGTH;
}

// Offsets at which the first 1000 bytes occur again, each at least 1000
// bytes after the one before; 0 first.
std::vector<std::uint64_t> head_occurrences(const std::uint8_t* buffer, std::uint64_t length) {
  std::vector<std::uint64_t> found{0};
  while (found.back() + HEAD_SIZE < length) {
    const std::uint64_t from = found.back() + HEAD_SIZE;
    const std::uint8_t* hit = search_bm_cache_(buffer + from, length - from, buffer, HEAD_SIZE, 0);
    if (hit == nullptr) break;
    found.push_back(static_cast<std::uint64_t>(hit - buffer));
  }
  return found;
}

// The copy size when the occurrences of the head lie one copy apart, make up
// the whole buffer and every copy equals the first; 0 otherwise.
std::uint64_t head_copy_size(const std::uint8_t* buffer, std::uint64_t length) {
  const std::vector<std::uint64_t> found = head_occurrences(buffer, length);
  if (found.size() < 2) return 0;
  const std::uint64_t size = found[1];
  const ByteSpan data = scan_bytes(buffer, length);
  if (!inline_copies_fit(length, 0, found.size(), size) || found.size() * size != length) {
    return 0;
  }
  for (std::uint64_t k = 1; k < found.size(); ++k) {
    if (found[k] != k * size || !inline_bytes_equal(data, 0, found[k], size)) return 0;
  }
  return size;
}

// The copy starts found at the universal exits near page boundaries; empty
// when the first boundary has none (or a window is too small to hold one).
std::vector<std::uint64_t> boundary_starts(ByteSpan data, std::uint64_t pages) {
  const std::uint64_t length = data.size();
  const std::uint64_t f = length / pages;
  const std::uint64_t g = f < SMALL_PAGE ? f / 4 : WINDOW_HALF;
  std::vector<std::uint64_t> starts;
  for (std::uint64_t i = 0; i < pages; ++i) {
    const std::uint64_t lo = i * f > g ? i * f - g : 0;
    const std::uint64_t hi = std::min(i * f + g, length);
    if (hi <= lo || hi - lo <= PJL_UEL_LENGTH) {
      LOG_DEBUG("has_num_inline_copies: No room for EOJ. s=%p,e=%p",
                static_cast<const void*>(data.data() + std::min(lo, length)),
                static_cast<const void*>(data.data() + hi));
      return {};
    }
    if (i == 0) {
      const auto first = inline_find_uel(data, lo, hi);
      if (!first) {
        LOG_DEBUG("Document does not have inline copies");
        return {};
      }
      starts.push_back(*first);
      continue;
    }
    // A later exit starts a copy when its head equals the first copy's.
    for (std::uint64_t from = lo; hi - from >= 2 * PJL_UEL_LENGTH;) {
      const auto exit = inline_find_uel(data, from, hi);
      if (!exit) break;
      const std::uint64_t n =
          std::min({START_COMPARE, length - *exit, length - starts.front()});
      if (n < START_COMPARE_MIN) break;
      if (inline_bytes_equal(data, starts.front(), *exit, n)) {
        starts.push_back(*exit);
        break;
      }
      from = *exit + PJL_UEL_LENGTH;
    }
  }
  return starts;
}

// Number of copies when the exits lie one copy length apart, their count
// divides the pages, and the buffer is that many identical copies of that
// length; else 0. The copies are counted from the buffer's start: a driver
// may write a byte or two (a printer reset) before the exit that opens each
// copy, and those bytes belong to the copy.
std::uint64_t boundary_copies(ByteSpan data, const std::vector<std::uint64_t>& starts,
                              std::uint64_t pages) {
  const std::uint64_t n = starts.size();
  if (n < 1 || pages % n != 0) return 0;
  const std::uint64_t size = n > 1 ? starts[1] - starts[0] : data.size() - starts[0];
  for (std::uint64_t k = 1; k < n; ++k) {
    if (starts[k] - starts[k - 1] != size) return 0;
  }
  if (size == 0 || data.size() % size != 0 || data.size() / size != n) return 0;
  for (std::uint64_t k = 1; k < n; ++k) {
    if (!inline_bytes_equal(data, 0, k * size, size)) return 0;
  }
  LOG_DEBUG("has_num_inline_copies: num_copies=%" PRIu64, n);
  return n < 2 ? 0 : n;
}

}  // namespace

int find_inline_copies(const std::uint8_t* buffer, std::uint64_t length, const JobAttribs* ja,
                       std::uint64_t* copy_size) {
  if (copy_size != nullptr) *copy_size = length;
  LOG_DEV("find_inline_copies");
  if (buffer == nullptr || length == 0) return -1;
  const char* printer_type = ja != nullptr ? ja->printer_type : "";
  std::uint64_t size = 0;
  if (repeats_head(buffer, length, ja)) {
    size = head_copy_size(buffer, length);
    LOG_DEBUG("find_inline_copies: printer_type='%s',copy_size=%" PRIu64, printer_type, size);
  }
  if (size == 0) {
    const int pages = ja != nullptr ? ja->pages : 0;
    if (pages <= 1) return -1;
    const ByteSpan data = scan_bytes(buffer, length);
    const std::uint64_t copies =
        boundary_copies(data, boundary_starts(data, static_cast<std::uint64_t>(pages)),
                        static_cast<std::uint64_t>(pages));
    if (copies == 0) return -1;
    size = length / copies;
    LOG_DEBUG("find_inline_copies[2]: printer_type='%s',copy_size=%" PRIu64
              ",num_inline_copies=%" PRIu64,
              printer_type, size, copies);
  }
  const std::uint64_t copies = length / size;
  LOG_DEBUG("find_inline_copies: %" PRIu64 " copies of %" PRIu64 " bytes detected,buffer_len=%" PRIu64,
            copies, size, length);
  if (copies > INT32_MAX || check_inline_copies_size(static_cast<int>(copies), size) == 0) {
    return -1;
  }
  if (copy_size != nullptr) *copy_size = size;
  return static_cast<int>(copies);
}
