// The strict packet walk over a rewrite, read through a view of the list.
#include "modify/cpca_rewrite_check.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <vector>

#include "foundation/log.h"
#include "modify/replacement_list.h"
#include "scan/cpca.h"

namespace {

// A run of the rewrite's bytes: from the input or from an insertion.
struct Segment {
  std::uint64_t out_start;
  std::uint64_t len;
  const std::uint8_t* bytes;
};

// The rewrite as runs, in the order the writer produces them: the input
// gap before each request, then its insertion. False when a request does
// not fit the input.
bool build_segments(const std::uint8_t* data, std::uint64_t length, const ReplacementList* list,
                    std::vector<Segment>* out, std::uint64_t* size) {
  std::uint64_t consumed = 0;
  std::uint64_t at = 0;
  auto add = [&](const std::uint8_t* bytes, std::uint64_t n) {
    if (n == 0) return;
    out->push_back({at, n, bytes});
    at += n;
  };
  for (const replacement_request& r : list->replacements) {
    if (r.offset > length || r.len > length - r.offset) {
      LOG_ERROR("cpca_walk_rewrite: request at %" PRIu64 " (%" PRIu64
                " bytes) beyond the buffer of %" PRIu64,
                r.offset, r.len, length);
      return false;
    }
    if (r.offset > consumed) add(data + consumed, r.offset - consumed);
    consumed = std::max(consumed, r.offset + r.len);
    const int n = blength(r.insertion.get());
    if (n > 0) add(r.insertion->data, static_cast<std::uint64_t>(n));
  }
  if (consumed < length) add(data + consumed, length - consumed);
  *size = at;
  return true;
}

// Reads `n` bytes of the rewrite at `offset` (the caller keeps them within
// the rewrite).
void read_rewrite(const std::vector<Segment>& segments, std::uint64_t offset, std::uint8_t* out,
                  std::uint64_t n) {
  auto it = std::upper_bound(segments.begin(), segments.end(), offset,
                             [](std::uint64_t o, const Segment& s) { return o < s.out_start; });
  --it;  // offset lies inside the rewrite, so a segment starts at or before it
  while (n > 0) {
    const std::uint64_t skip = offset - it->out_start;
    const std::uint64_t take = std::min(n, it->len - skip);
    std::memcpy(out, it->bytes + skip, static_cast<std::size_t>(take));
    out += take;
    offset += take;
    n -= take;
    ++it;
  }
}

// Offset of the first signature within the stream window, or -1.
std::int64_t find_first_packet(const std::vector<Segment>& segments, std::uint64_t size) {
  if (size < 2) return -1;
  const std::uint64_t window = std::min<std::uint64_t>(size, CPCA_SIGNATURE_WINDOW + 1);
  std::vector<std::uint8_t> head(static_cast<std::size_t>(window));
  read_rewrite(segments, 0, head.data(), window);
  for (std::uint64_t p = 0; p + 1 < window; ++p) {
    if (head[p] == 0xCD && head[p + 1] == 0xCA) return static_cast<std::int64_t>(p);
  }
  return -1;
}

void walk_packets(const std::vector<Segment>& segments, std::uint64_t size, int max_print_data,
                  CpcaRewriteWalk* walk) {
  const std::int64_t first = find_first_packet(segments, size);
  if (first < 0) {
    LOG_ERROR("cpca_walk_rewrite: no CPCA signature in the first %" PRIu64 " bytes",
              CPCA_SIGNATURE_WINDOW);
    return;
  }
  std::uint64_t offset = static_cast<std::uint64_t>(first);
  std::uint8_t header[CPCA_HEADER_SIZE];
  for (;;) {
    if (size - offset < CPCA_HEADER_SIZE) {
      LOG_ERROR("cpca_walk_rewrite: packet %d at %" PRIu64 " has no whole header (size %" PRIu64
                ")",
                walk->packets, offset, size);
      return;
    }
    read_rewrite(segments, offset, header, CPCA_HEADER_SIZE);
    const std::uint16_t opcode = cpca_get_packet_opcode(header);
    const bool opens = opcode == CPCA_OP_BEGIN || opcode == CPCA_OP_BEGIN_ALT;
    if (header[0] != 0xCD || header[1] != 0xCA || (walk->packets == 0 && !opens)) {
      LOG_ERROR("cpca_walk_rewrite: packet %d at %" PRIu64 " begins 0x%02X%02X, opcode 0x%04X",
                walk->packets, offset, header[0], header[1], opcode);
      return;
    }
    walk->last_offset = static_cast<std::int64_t>(offset);
    ++walk->packets;
    if (opcode == CPCA_OP_PRINT_DATA) ++walk->print_data;
    const std::uint64_t end = offset + CPCA_HEADER_SIZE + cpca_get_packet_length(header);
    if (end > size) {
      LOG_ERROR("cpca_walk_rewrite: packet %d at %" PRIu64 " ends at %" PRIu64
                ", beyond the rewrite's %" PRIu64 " bytes",
                walk->packets - 1, offset, end, size);
      return;
    }
    if (end == size || (max_print_data >= 0 && walk->print_data >= max_print_data)) {
      walk->valid = 1;
      return;
    }
    offset = end;
  }
}

}  // namespace

int cpca_walk_rewrite(const std::uint8_t* data, std::uint64_t length, const ReplacementList* list,
                      int max_print_data, CpcaRewriteWalk* walk) {
  *walk = CpcaRewriteWalk{};
  if (list == nullptr) {
    LOG_ERROR("cpca_walk_rewrite: replacement_list == NULL");
    return 0;
  }
  std::vector<Segment> segments;
  if (!build_segments(data, length, list, &segments, &walk->output_size)) return 0;
  if (max_print_data == 0) {
    walk->valid = 1;
    return 1;
  }
  walk_packets(segments, walk->output_size, max_print_data, walk);
  return 1;
}

int check_cpca_integrity_func(const char* file, int line, const std::uint8_t* data,
                              std::uint64_t length, const ReplacementList* list,
                              int max_print_data) {
  if (list == nullptr) {
    LOG_ERROR("check_cpca_integrity: replacement_list == NULL");
    return 0;
  }
  const ReplacementListPtr sorted(replacement_list_clone(list));
  if (sorted == nullptr) return 0;
  replacement_list_sort(sorted.get());
  CpcaRewriteWalk walk;
  const int walked = cpca_walk_rewrite(data, length, sorted.get(), max_print_data, &walk);
  LOG_DEV(" >>> cpca packets=%3d, offset=%8" PRId64 ", complete=%d", walk.packets, walk.last_offset,
          walk.valid);
  if (walked == 1 && walk.valid == 1) return 1;
  char title[256];
  std::snprintf(title, sizeof title, "Bad CPCA: %s%d: max_print_data=%d", file, line,
                max_print_data);
  replacement_list_log(sorted.get(), title);
  LOG_ERROR("check_cpca_integrity failed: %s:%d,max_print_data=%d,last_out_offset=%" PRId64, file,
            line, max_print_data, walk.last_offset);
  return 0;
}

int cpca_is_valid(const std::uint8_t* data, std::uint64_t length, const ReplacementList* list) {
  return check_cpca_integrity(data, length, list, -1);
}
