#include "job/held_job_manager.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os.h"
#include "foundation/util.h"
#include "server/events_manager.h"

namespace {

constexpr const char HOLD_EVENT[] = "HoldJob";
constexpr const char UNHOLD_EVENT[] = "UnholdJob";
constexpr const char MARKER_SUFFIX[] = ".hold";
// Room of a marker's file name (254 characters).
constexpr std::size_t MARKER_NAME_SIZE = 255;
constexpr int DELETE_ATTEMPTS = 5;
constexpr int DELETE_RETRY_MILLIS = 200;

bool is_empty(const char* text) { return text == nullptr || text[0] == '\0'; }

// Whether an event with both texts set is of type `expected`; logs the event
// it processes, and `refusal` for one of another type.
bool event_is(const char* event_type, const char* job_id, const char* expected,
              const char* refusal) {
  if (is_empty(event_type) || is_empty(job_id)) return false;
  LOG_DEBUG("Processing event %s => %s", event_type, job_id);
  if (std::strcmp(event_type, expected) != 0) {
    LOG_ERROR("%s", refusal);
    return false;
  }
  return true;
}

// Deletes the job's marker; 1 when none is left.
int delete_marker(const char* job_id) {
  char path[OS_PATH_BUFFER_SIZE];
  if (!held_job_manager_marker_path(job_id, path, sizeof path)) return 1;
  if (unlink(path) == 0 || errno == ENOENT) return 1;
  return os_file_exists(path) ? 0 : 1;
}

// Creates the empty marker, never through a symbolic link.
int create_marker(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? 1 : 0;
  close(fd);
  return 1;
}

int delete_if_old(const char* path, std::int64_t mtime, void* data) {
  const std::int64_t now = *static_cast<const std::int64_t*>(data);
  if (std::strstr(util_basename(path), MARKER_SUFFIX) == nullptr) return 1;
  if (now - mtime <= HELD_JOB_MAX_AGE_SECS) return 1;
  LOG_DEBUG("Cleaning up old file: %s", path);
  if (unlink(path) != 0) LOG_LAST_SYSTEM_ERROR("Unable to delete hold file: \"%s\"", path);
  return 1;
}

void delete_old_markers(const char* dir) {
  LOG_DEBUG("Cleaning up any old held files");
  std::int64_t now = os_current_time_millis() / 1000;
  int count = 0;
  int stopped = 0;
  if (!os_forall_files_in_dir(dir, delete_if_old, &now, 0, &count, &stopped)) {
    LOG_DEBUG("Scan failed for deletion of old files");
  }
}

}  // namespace

int held_job_manager_marker_path(const char* job_id, char* buffer, std::size_t size) {
  if (is_empty(job_id) || buffer == nullptr || size == 0) return 0;
  char name[MARKER_NAME_SIZE];
  std::snprintf(name, sizeof name, "%s%s", job_id, MARKER_SUFFIX);
  // The id comes from the server or CUPS: no path separators in the name.
  (void)util_sanitize_fname(name);
  return os_cat_path(buffer, size, global_ctx.heldjobs_spool_dir_path, name);
}

int held_job_manager_subscribe(SessionContext* ctx) {
  if (ctx == nullptr) {
    TV_ASSERT(ctx != nullptr);
    return 0;
  }
  (void)os_create_dir(ctx->heldjobs_spool_dir_path);
  const int hold = events_manager_subscribe(HOLD_EVENT, process_hold_event);
  const int unhold = events_manager_subscribe(UNHOLD_EVENT, process_unhold_event);
  delete_old_markers(ctx->heldjobs_spool_dir_path);
  return hold && unhold ? 1 : 0;
}

void process_hold_event(const char* event_type, const char* job_id) {
  if (!event_is(event_type, job_id, HOLD_EVENT, "Unexpected event! Expected HoldJob.")) return;
  char path[OS_PATH_BUFFER_SIZE];
  if (!held_job_manager_marker_path(job_id, path, sizeof path)) {
    LOG_DEBUG("Unable to create a hold file for : %s", job_id);
    return;
  }
  if (os_file_exists(path)) {
    LOG_DEBUG("Job %s seems to already be held!", job_id);
    return;
  }
  if (!create_marker(path)) LOG_DEBUG("Unable to create a hold file for : %s", job_id);
}

void process_unhold_event(const char* event_type, const char* job_id) {
  if (!event_is(event_type, job_id, UNHOLD_EVENT, "Unexpected event! Expected UnholdJob.")) {
    return;
  }
  for (int attempt = 0; attempt < DELETE_ATTEMPTS; ++attempt) {
    if (delete_marker(job_id)) return;
    os_sleep_millis(DELETE_RETRY_MILLIS);
  }
  LOG_DEBUG("Unable to delete hold job!");
}

int held_job_manager_is_job_held(const char* job_id) {
  char path[OS_PATH_BUFFER_SIZE];
  if (!held_job_manager_marker_path(job_id, path, sizeof path)) return 0;
  return os_file_exists(path);
}

int held_job_manager_newjob(const char* job_id) {
  LOG_DEBUG("New JobId: %s, cleaning up any files", job_id != nullptr ? job_id : "");
  return delete_marker(job_id);
}

int held_job_manager_completejob(const char* job_id) {
  LOG_DEBUG("Complete JobId: %s, cleaning up any files", job_id != nullptr ? job_id : "");
  return delete_marker(job_id);
}

void held_job_manager_sleep_with_job_event_check(const char* job_id, std::int64_t hold_ms,
                                                 std::int64_t long_hold_ms) {
  held_job_manager_sleep_with_job_event_check_cb(job_id, hold_ms, long_hold_ms, nullptr, nullptr);
}

void held_job_manager_sleep_with_job_event_check_cb(const char* job_id, std::int64_t hold_ms,
                                                    std::int64_t long_hold_ms, void* argument,
                                                    HeldJobPollCallback callback) {
  if (hold_ms >= long_hold_ms) {
    LOG_DEBUG("No configuration to support long polling");
    LOG_DEBUG("Instructed to hold, sleeping for %ld milliseconds.", static_cast<long>(hold_ms));
    os_sleep_millis(hold_ms);
    return;
  }
  if (!held_job_manager_is_job_held(job_id)) {
    LOG_DEBUG("No held job file for %s, sleep for %lld millis", job_id != nullptr ? job_id : "",
              static_cast<long long>(hold_ms));
    os_sleep_millis(hold_ms);
    return;
  }
  LOG_DEBUG("Instructed to hold, long polling for %lld milliseconds.",
            static_cast<long long>(long_hold_ms));
  // Elapsed time on the monotonic clock: a clock step must neither end the
  // long hold early nor keep the job held past it.
  const std::int64_t start = os_monotonic_millis();
  for (;;) {
    if (callback != nullptr) callback(argument);
    os_sleep_millis(HELD_JOB_POLL_MILLIS);
    if (os_monotonic_millis() - start > long_hold_ms) {
      LOG_DEBUG("The long time on JobId: %s has expired.", job_id);
      return;
    }
    if (!held_job_manager_is_job_held(job_id)) {
      LOG_DEBUG("The hold on JobId: %s has been notified as released.", job_id);
      return;
    }
  }
}
