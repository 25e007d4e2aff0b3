#include "formats/marker_count.h"

#include <cstdint>

#include "foundation/log.h"

int marker_count(ByteSpan data, const MarkerRule& rule, WalkTimer* timer) {
  if (rule.marker.empty()) return 0;
  int count = 0;
  (void)format_walk(data, timer, WalkStarts{rule.marker[0]}, [&](std::uint64_t pos) {
    if (!walk_has_room(data.size(), pos, rule.room) || !walk_marker_at(data, pos, rule.marker)) {
      return pos + 1;
    }
    if (count < INT32_MAX) ++count;
    LOG_DEBUG("%s%llu", rule.hit_line, static_cast<unsigned long long>(pos));
    return pos + rule.next;
  });
  return count;
}
