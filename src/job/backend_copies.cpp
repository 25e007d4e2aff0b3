// The copies the backend makes, and the forced single copy.
#include <fcntl.h>
#include <unistd.h>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_file.h"
#include "job/backend.h"
#include "job/backend_internal.h"
#include "job/cups_intake.h"

namespace {

int run(const CupsBackend& b, const char* file, int copies) {
  return b.run_real != nullptr ? b.run_real(b, file, copies) : backend_run_real(b, file, copies);
}

// Writes `copies` repeats of `file` into a new private file whose path goes
// to `path`. 1 when the whole file was written; 0 leaves no file behind.
int write_repeats(const char* file, int copies, char* path, std::size_t size) {
  const char* dir = common_get_temp_spool_dir();
  if (dir == nullptr) return 0;
  const int out = os_file_create_unique(dir, BACKEND_COPIES_PREFIX, 0600, path, size);
  if (out < 0) return 0;
  backend_track_file(BACKEND_FILE_COPIES, path);
  const int in = open(file, O_RDONLY | O_CLOEXEC);
  int ok = in >= 0 && os_file_copy_repeats_fd(in, out, copies);
  if (!ok) LOG_LAST_SYSTEM_ERROR("Unable to write %d copies of %s into %s", copies, file, path);
  if (in >= 0) close(in);
  if (close(out) != 0) ok = 0;
  if (!ok) {
    unlink(path);
    backend_track_file(BACKEND_FILE_COPIES, nullptr);
  }
  return ok;
}

}  // namespace

int backend_copies_to_make(const CupsBackend& b) {
  if (b.input_file.empty()) return 1;
  if (b.ja->copy_count != b.cups_copies) return 1;
  return b.cups_copies;
}

int backend_print_copies(const CupsBackend& b, const char* file, int copies) {
  if (copies <= 1 || global_ctx.cups_force_single_copy == 0) return run(b, file, copies);
  char repeated[OS_PATH_BUFFER_SIZE] = {};
  if (!write_repeats(file, copies, repeated, sizeof repeated)) {
    // Nothing half-written is sent: the real backend makes the copies.
    LOG_ERROR("Unable to write %d copies of job %s; asking the backend for them", copies,
              b.argv[1]);
    return run(b, file, copies);
  }
  const int status = run(b, repeated, 1);
  unlink(repeated);
  backend_track_file(BACKEND_FILE_COPIES, nullptr);
  return status;
}
