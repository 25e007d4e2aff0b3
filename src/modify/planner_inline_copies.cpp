#include "modify/planner_inline_copies.h"

#include <cinttypes>

#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "scan/inline_copies.h"

namespace {

// The copies the rewrite writes out: the forced count when there is one,
// else as many as the driver wrote. More than the list can write out is cut
// to its limit, so the job still prints as many copies as it may.
std::int64_t copies_to_write(const watermark_params* request, std::uint64_t length,
                             std::uint64_t copy_size) {
  const std::int64_t wanted = request->copies > 0 ? request->copies
                                                  : static_cast<std::int64_t>(length / copy_size);
  if (wanted > REPLACEMENT_INLINE_COPIES_MAX) {
    LOG_ERROR("plan_replacements_inline_copies: %" PRId64 " copies cut to %d", wanted,
              REPLACEMENT_INLINE_COPIES_MAX);
    return REPLACEMENT_INLINE_COPIES_MAX;
  }
  return wanted;
}

}  // namespace

std::uint64_t plan_replacements_inline_copies(const watermark_params* request,
                                              const JobAttribs* job, const mapped_mem* mm,
                                              ReplacementList* list) {
  if (request == nullptr || mm == nullptr || list == nullptr) return 0;
  std::uint64_t copy_size = mm->size;
  const int found = find_inline_copies(mm->data, mm->size, job, &copy_size);
  if (found < 2 || copy_size == 0 || copy_size > mm->size) return mm->size;
  LOG_DEBUG("plan_replacements_inline_copies: %d copies of %" PRIu64
            " bytes detected,buffer_len=%" PRIu64,
            found, copy_size, mm->size);
  msf_state state{};
  get_msf_state(list, &state);
  replacement_list_set_buffer_len(list, copy_size);
  replacement_list_set_inline_copies(list, copies_to_write(request, mm->size, copy_size));
  state.copies = 1;
  set_msf_state(list, &state);
  return copy_size;
}
