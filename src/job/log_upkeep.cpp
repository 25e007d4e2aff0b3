#include "job/log_upkeep.h"

#include <unistd.h>

#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "foundation/util.h"

namespace {

constexpr std::uint64_t KIB = 1024;

// The directory of the log; false when no log is configured.
bool log_dir(char* dir, std::size_t size) {
  if (global_ctx.log_file_path[0] == '\0') return false;
  util_dirname(dir, global_ctx.log_file_path, size);
  if (dir[0] == '\0') util_safe_strncpy(dir, "/", size);
  return true;
}

// Whether this process may rename files in `dir`. The refusal is reported
// once per directory: the check runs after every server call.
bool may_rotate_in(const char* dir, std::uint64_t size) {
  static std::string reported;
  if (access(dir, W_OK | X_OK) == 0) return true;
  if (reported != dir) {
    reported = dir;
    LOG_ERROR("Unable to rotate the log \"%s\" of %lu bytes: this process (account uid %d) "
              "cannot write its directory \"%s\"; give the log a directory of its own",
              global_ctx.log_file_path, static_cast<unsigned long>(size),
              static_cast<int>(getuid()), dir);
  }
  return false;
}

}  // namespace

int log_upkeep_prepare_dir() {
  char dir[CONFIG_TEXT_SIZE];
  if (!log_dir(dir, sizeof dir)) return 0;
  if (os_file_is_dir(dir)) return 1;
  const long group = os_account_group(OS_SERVICE_ACCOUNT);
  if (!os_make_private_dir(dir, LOG_DIR_MODE, group >= 0 ? group : OS_NO_GROUP)) return 0;
  LOG_INFO("Made the log directory %s", dir);
  return 1;
}

int log_upkeep_rotate_if_due() {
  if (global_ctx.log_rotate_number <= 1) return 0;
  const std::uint64_t limit =
      static_cast<std::uint64_t>(global_ctx.log_rotate_size_kbytes > 0
                                     ? global_ctx.log_rotate_size_kbytes
                                     : 0) *
      KIB;
  std::uint64_t size = 0;
  char dir[CONFIG_TEXT_SIZE];
  // The size is looked at first: most checks find nothing to do, and a
  // rotation writes lines of its own.
  if (!log_dir(dir, sizeof dir) || !os_file_size_by_path(global_ctx.log_file_path, &size) ||
      size <= limit || !may_rotate_in(dir, size)) {
    return 0;
  }
  // Its failures are DEBUG lines of the rotation; the next check tries again.
  return log_rotate_if_required(static_cast<std::uint64_t>(global_ctx.log_rotate_number), limit);
}
