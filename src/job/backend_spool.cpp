// The spool tree of the backend program and the modes that keep each part to
// the accounts that use it:
//   SpoolDir            0755  passed through by every account
//   tmp (spool files)   0710  root writes; CUPS's group reaches files handed
//                             to a backend that CUPS runs as its own user
//   jobstate            0700  root only
//   settings            0750  root writes; the service account's group reads
//   jobreplay, heldjobs, locks
//                       0770  root and the service account's programs
#include <cstring>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "foundation/os_time.h"
#include "foundation/util.h"
#include "job/backend.h"
#include "job/backend_internal.h"
#include "job/cups_intake.h"
#include "job/job_journal.h"

namespace {

constexpr unsigned SPOOL_ROOT_MODE = 0755;
constexpr unsigned READ_BY_SERVICE_MODE = 0750;
constexpr unsigned SHARED_WITH_SERVICE_MODE = 0770;
// Spool files older than this in the private directory were left by a
// backend that was killed; no job keeps its spool file that long.
constexpr std::int64_t STALE_SPOOL_SECS = 24 * 3600;

struct SpoolDirSpec {
  const char* path;
  unsigned mode;
  bool service_group;
};

bool has_prefix(const char* name, const char* prefix) {
  return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

int delete_stale_spool_file(const char* path, std::int64_t mtime, void* data) {
  const auto* limit = static_cast<const std::int64_t*>(data);
  const char* name = util_basename(path);
  const bool ours =
      has_prefix(name, CUPS_INTAKE_SPOOL_PREFIX) || has_prefix(name, BACKEND_COPIES_PREFIX);
  if (ours && mtime < *limit && os_file_delete(path)) {
    LOG_INFO("Removed a spool file left by an earlier run: %s", path);
  }
  return 1;
}

void prune_stale_spool_files(const char* dir) {
  std::int64_t limit = os_current_time_millis() / 1000 - STALE_SPOOL_SECS;
  int count = 0;
  int stopped = 0;
  (void)os_forall_files_in_dir(dir, delete_stale_spool_file, &limit, 0, &count, &stopped);
}

}  // namespace

int backend_prepare_spool_tree() {
  const long service_group = os_account_group(OS_SERVICE_ACCOUNT);
  const SpoolDirSpec dirs[] = {
      {global_ctx.spool_dir_path, SPOOL_ROOT_MODE, false},
      {global_ctx.settings_spool_dir_path, READ_BY_SERVICE_MODE, true},
      {global_ctx.jobreplay_spool_dir_path, SHARED_WITH_SERVICE_MODE, true},
      {global_ctx.heldjobs_spool_dir_path, SHARED_WITH_SERVICE_MODE, true},
      {global_ctx.locks_spool_dir_path, SHARED_WITH_SERVICE_MODE, true},
  };
  for (const SpoolDirSpec& dir : dirs) {
    if (dir.path[0] == '\0') continue;
    if (!os_make_private_dir(dir.path, dir.mode, dir.service_group ? service_group : OS_NO_GROUP)) {
      LOG_ERROR("Unable to prepare spool directory \"%s\"", dir.path);
    }
  }
  const char* tmp = common_get_temp_spool_dir();
  if (tmp == nullptr) return 0;
  // The job flow's own temporary files (rewritten spool files) go there too.
  os_file_set_temp_dir(tmp);
  // Only our own directory: a configured one may be shared with others.
  if (std::strcmp(tmp, global_ctx.tmp_cups_spool_dir) != 0) prune_stale_spool_files(tmp);
  char journal_dir[CONFIG_TEXT_SIZE];
  if (os_cat_path(journal_dir, sizeof journal_dir, global_ctx.spool_dir_path,
                  JOB_JOURNAL_DIR_NAME) &&
      os_file_is_dir(journal_dir)) {
    (void)job_journal_prune(journal_dir, JOB_JOURNAL_MAX_AGE_SECS);
  }
  return 1;
}
