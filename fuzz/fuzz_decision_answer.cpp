// Decodes arbitrary server answers as decisions; the result must stay within
// the ranges the job flow and the spool modification rely on.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "server/rpc_process_job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exact-size heap copy, terminated, so a one-byte over-read is caught.
  char* answer = static_cast<char*>(std::malloc(size + 1));
  if (answer == nullptr) return 0;
  std::memcpy(answer, data, size);
  answer[size] = '\0';
  ProcessJobResponse r;
  rpc_process_job_decode_answer(answer, 13, "1", &r);
  const watermark_params& wm = r.wm;
  const bool sane =
      r.status >= PROCESS_JOB_PRINT && r.status <= PROCESS_JOB_ERROR && r.hold_time_ms >= 0 &&
      r.hold_time_ms <= ANSWER_MAX_HOLD_MS && r.long_hold_time_ms >= 0 &&
      r.long_hold_time_ms <= ANSWER_MAX_HOLD_MS &&
      std::strlen(r.redirect_uid) < REDIRECT_UID_SIZE &&
      std::strlen(r.redirect_server) < REDIRECT_NAME_SIZE &&
      std::strlen(r.redirect_printer) < REDIRECT_NAME_SIZE &&
      std::strlen(wm.text) < WATERMARK_TEXT_SIZE && std::isfinite(wm.font_size) &&
      wm.font_size <= ANSWER_MAX_FONT_SIZE && std::isfinite(wm.x) && std::isfinite(wm.y) &&
      wm.copies >= 0 && wm.copies <= ANSWER_MAX_COPIES && wm.force_duplex >= 0 &&
      wm.force_duplex <= 9 && wm.force_grayscale >= 0 && wm.force_grayscale <= 9 &&
      (wm.text[0] == '\0' || wm.font_size >= ANSWER_MIN_FONT_SIZE);
  std::free(answer);
  if (!sane) std::abort();
  return 0;
}
