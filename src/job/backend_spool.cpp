// The spool tree of the backend program and the modes that keep each part to
// the accounts that use it:
//   SpoolDir            0755  passed through by every account
//   tmp (spool files)   0710  root writes; CUPS's group reaches files handed
//                             to a backend that CUPS runs as its own user
//   jobstate            0700  root only
//   settings            0750  root writes; the service account's group reads
//   jobreplay, heldjobs, locks
//                       0770  root and the service account's programs
#include <sys/stat.h>
#include <unistd.h>

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
// The prefixes of the files the job flow makes in the spool directory:
// spool files and rewritten files (tv), copies (copies-).
constexpr const char* OWN_SPOOL_PREFIXES[] = {CUPS_INTAKE_SPOOL_PREFIX, BACKEND_COPIES_PREFIX};

struct SpoolDirSpec {
  const char* path;
  unsigned mode;
  bool service_group;
};

bool has_prefix(const char* name, const char* prefix) {
  return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

struct PruneRule {
  // Files of our prefixes older than this go too (the private directory only).
  std::int64_t age_limit;
  bool private_dir;
};

// A file of ours, named with the process that made it, whose process is
// gone: a backend killed during its job (SIGKILL, a crash) never removed it.
// Ours means made by this account too: in a directory others share, a name
// of our shape may be anybody's.
bool left_by_dead_process(const char* path, const char* name) {
  for (const char* prefix : OWN_SPOOL_PREFIXES) {
    const long pid = os_file_owner_pid(name, prefix);
    if (pid <= 0) continue;
    struct stat st {};
    return lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
           os_process_is_running(pid) == 0;
  }
  return false;
}

// Only the private directory is ours alone: there, old files of our
// prefixes go whatever their names (files of earlier versions, a process id
// taken over by another process).
bool too_old_in_private_dir(const char* name, std::int64_t mtime, const PruneRule& rule) {
  if (!rule.private_dir || mtime >= rule.age_limit) return false;
  for (const char* prefix : OWN_SPOOL_PREFIXES) {
    if (has_prefix(name, prefix)) return true;
  }
  return false;
}

int delete_stale_spool_file(const char* path, std::int64_t mtime, void* data) {
  const auto* rule = static_cast<const PruneRule*>(data);
  const char* name = util_basename(path);
  if ((left_by_dead_process(path, name) || too_old_in_private_dir(name, mtime, *rule)) &&
      os_file_delete(path)) {
    LOG_INFO("Removed a spool file left by an earlier run: %s", path);
  }
  return 1;
}

void prune_stale_spool_files(const char* dir, bool private_dir) {
  PruneRule rule{os_current_time_millis() / 1000 - STALE_SPOOL_SECS, private_dir};
  int count = 0;
  int stopped = 0;
  (void)os_forall_files_in_dir(dir, delete_stale_spool_file, &rule, 0, &count, &stopped);
}

// Our files wherever the job flow puts them: the configured directory (one
// that others may share: only names of ours whose process is gone), and
// the private one, in use or left from before a TmpCupsSpoolDir was set.
void prune_spool_dirs(const char* in_use) {
  char private_dir[CONFIG_TEXT_SIZE];
  const bool has_private = global_ctx.spool_dir_path[0] != '\0' &&
                           os_cat_path(private_dir, sizeof private_dir,
                                       global_ctx.spool_dir_path, CUPS_INTAKE_PRIVATE_DIR_NAME) &&
                           os_file_is_dir(private_dir);
  if (has_private) prune_stale_spool_files(private_dir, true);
  if (!has_private || std::strcmp(in_use, private_dir) != 0) {
    prune_stale_spool_files(in_use, false);
  }
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
  prune_spool_dirs(tmp);
  char journal_dir[CONFIG_TEXT_SIZE];
  if (os_cat_path(journal_dir, sizeof journal_dir, global_ctx.spool_dir_path,
                  JOB_JOURNAL_DIR_NAME) &&
      os_file_is_dir(journal_dir)) {
    (void)job_journal_prune(journal_dir, JOB_JOURNAL_MAX_AGE_SECS);
  }
  return 1;
}
