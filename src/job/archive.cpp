#include "job/archive.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "analysis/analyzer.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/os.h"
#include "foundation/os_dir.h"
#include "foundation/os_process.h"
#include "server/rpc_calls.h"

namespace {

constexpr const char PDL_PREFIX[] = "pdl.";

// Tells the job whether the copy goes ahead: one byte on the pipe. A job
// that stopped waiting has closed its end: the write fails (SIGPIPE is
// ignored here) and the copy is not made, so the server never hears of a
// copy it was not told the path of.
bool report_ready(int fd, bool ready) {
  const char byte = ready ? '1' : '0';
  ssize_t n = -1;
  do {
    n = write(fd, &byte, 1);
  } while (n < 0 && errno == EINTR);
  close(fd);
  return n == 1 && ready;
}

// The job's directory, made as the account the copy runs as; 1 when it is
// there and this process may write into it.
int make_job_dir(const JobAttribs* ja) {
  char dir[OS_PATH_BUFFER_SIZE];
  if (!archive_build_archive_job_dir(dir, sizeof dir, ja->archive_path, ja->job_uid)) {
    LOG_ERROR("Unable to make directory for archive destination: %s", global_ctx.archive_dir);
    return 0;
  }
  if (!os_create_dir_recursive(dir) || access(dir, W_OK | X_OK) != 0) {
    LOG_ERROR("Unable to make directory for archive destination: %s", dir);
    return 0;
  }
  return 1;
}

// Copies the archive in the (second) child: drops root, sets a umask that
// keeps the copy to the service account and its group, makes the job's
// directory and says so on `ready_fd`, copies, exits.
[[noreturn]] void archive_child(const char* file, FILE* in, const JobAttribs* ja, int ready_fd) {
  (void)os_unix_daemonize();
  std::signal(SIGPIPE, SIG_IGN);
  if (os_su_to_torvelle()) {
    LOG_DEBUG("Switched to user %s for archive copy", OS_SERVICE_ACCOUNT);
  } else {
    LOG_DEBUG("Archive copy not switched to account %s", OS_SERVICE_ACCOUNT);
  }
  // Archived print data is nobody else's business: directories 0750, files
  // 0640, whoever makes them.
  LOG_DEBUG("Using umask 0027 for archive copy");
  umask(ARCHIVE_UMASK);
  if (report_ready(ready_fd, make_job_dir(ja) == 1)) {
    (void)archive_copy_spool_to_archive(file, in, ja->archive_path, ja->job_uid, LANG_UNKNOWN);
  }
  std::fclose(in);
  std::fflush(nullptr);
  _exit(0);
}

// The child's answer on `fd`: true when it makes the copy. Waits at most
// ARCHIVE_READY_WAIT_MS; a child that ended without a word did not.
bool wait_ready(int fd) {
  pollfd p{fd, POLLIN, 0};
  int n = -1;
  do {
    n = poll(&p, 1, ARCHIVE_READY_WAIT_MS);
  } while (n < 0 && errno == EINTR);
  char byte = '0';
  if (n == 1) {
    ssize_t got = -1;
    do {
      got = read(fd, &byte, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 1) byte = '0';
  } else {
    LOG_ERROR("The archive copy did not start within %d ms; the server is not told its path",
              ARCHIVE_READY_WAIT_MS);
  }
  return byte == '1';
}

}  // namespace

int analyzer_build_archive_path(char* buffer, std::size_t size, const std::tm* submit_time) {
  if (buffer == nullptr || size == 0 || submit_time == nullptr) {
    TV_ASSERT(buffer != nullptr && size != 0 && submit_time != nullptr);
    return 0;
  }
  const int n = std::snprintf(buffer, size, "%04d/%02d/%02d/%02d", submit_time->tm_year + 1900,
                              submit_time->tm_mon + 1, submit_time->tm_mday,
                              submit_time->tm_hour);
  return n >= 0 && static_cast<std::size_t>(n) < size ? 1 : 0;
}

int archive_does_stop_file_exist() {
  char path[OS_PATH_BUFFER_SIZE];
  if (!os_cat_path(path, sizeof path, global_ctx.archive_dir, ARCHIVE_STOP_FILE)) return 0;
  return os_file_exists(path);
}

int archive_is_wanted(const char* file_path) {
  if (global_ctx.archive_dir[0] == '\0') {
    LOG_ERROR("No archive path configured. Cannot archive spool file: %s", file_path);
    return 0;
  }
  if (archive_does_stop_file_exist()) {
    LOG_DEBUG("Found archiving stopped file, so do not copy file. File: %s", file_path);
    LOG_INFO("Not archiving spool file as server indicated to stop archiving.");
    return 0;
  }
  return 1;
}

int archive_prepare_archive_dir() {
  if (os_file_is_dir(global_ctx.archive_dir)) return 1;
  const long group = os_account_group(OS_SERVICE_ACCOUNT);
  if (!os_make_private_dir(global_ctx.archive_dir, ARCHIVE_DIR_MODE,
                           group >= 0 ? group : OS_NO_GROUP)) {
    LOG_ERROR("Unable to make directory for archive destination: %s", global_ctx.archive_dir);
    return 0;
  }
  LOG_INFO("Made the archive directory %s", global_ctx.archive_dir);
  return 1;
}

int archive_build_archive_job_dir(char* buffer, std::size_t size, const char* archive_path,
                                  const char* job_uid) {
  char sub[OS_PATH_BUFFER_SIZE];
  if (!os_cat_path(sub, sizeof sub, global_ctx.archive_dir, archive_path)) return 0;
  return os_cat_path(buffer, size, sub, job_uid);
}

int archive_build_archive_tmp_pdl_path(char* buffer, std::size_t size, const char* archive_path,
                                       const char* job_uid) {
  char dir[OS_PATH_BUFFER_SIZE];
  if (!archive_build_archive_job_dir(dir, sizeof dir, archive_path, job_uid)) return 0;
  return os_cat_path(buffer, size, dir, ARCHIVE_TMP_PDL_NAME);
}

int archive_build_achive_pdl_path(char* buffer, std::size_t size, const char* archive_path,
                                  const char* job_uid, const char* extension) {
  char dir[OS_PATH_BUFFER_SIZE];
  char name[OS_PATH_BUFFER_SIZE];
  if (!archive_build_archive_job_dir(dir, sizeof dir, archive_path, job_uid)) return 0;
  const int n = std::snprintf(name, sizeof name, "%s%s", PDL_PREFIX, extension);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof name) return 0;
  return os_cat_path(buffer, size, dir, name);
}

int archive_copy_spool_to_archive(const char* file_path, FILE* in, const char* archive_path,
                                  const char* job_uid, int language) {
  if (global_ctx.archive_dir[0] != '\0' && in == nullptr) {
    LOG_ERROR("No open spool file handle provided.");
    return 0;
  }
  if (!archive_is_wanted(file_path)) return 0;
  char dir[OS_PATH_BUFFER_SIZE];
  char tmp[OS_PATH_BUFFER_SIZE];
  if (!archive_build_archive_job_dir(dir, sizeof dir, archive_path, job_uid) ||
      !archive_build_archive_tmp_pdl_path(tmp, sizeof tmp, archive_path, job_uid)) {
    LOG_ERROR("Unable to make directory for archive destination: %s", global_ctx.archive_dir);
    return 0;
  }
  LOG_DEBUG("Starting archive copy of spool file: %s to destination: %s", file_path, tmp);
  if (!os_create_dir_recursive(dir)) {
    LOG_ERROR("Unable to make directory for archive destination: %s", dir);
    return 0;
  }
  // A copy that an interrupted earlier run left is replaced; the copy below
  // makes a new file and refuses anything found at its name.
  if (unlink(tmp) == 0) LOG_DEBUG("Removed an unfinished archive copy: %s", tmp);
  if (!os_file_copy_handle(in, tmp)) {
    LOG_ERROR("Unable to copy spool file (%s) to archive destination (%s)", file_path, tmp);
    (void)os_file_delete(tmp);
    return 0;
  }
  const int code = language != LANG_UNKNOWN ? language : analyzer_lang_detect_spool_file(tmp);
  char final_path[OS_PATH_BUFFER_SIZE];
  if (!archive_build_achive_pdl_path(final_path, sizeof final_path, archive_path, job_uid,
                                     analyzer_lang_to_file_extension(code))) {
    LOG_ERROR("Unable to rename/move spool file into final location: %s", dir);
    (void)os_file_delete(tmp);
    return 0;
  }
  LOG_DEBUG("Completed copy, rename temp archive file to final name: %s", final_path);
  if (std::rename(tmp, final_path) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to rename/move spool file into final location: %s", final_path);
    (void)os_file_delete(tmp);
    return 0;
  }
  (void)rpc_notify_pdl_copy_complete(global_ctx.server_name, archive_path, job_uid);
  return 1;
}

int archive_copy_spool_to_archive_in_background(const char* file, const JobAttribs* ja) {
  if (file == nullptr || ja == nullptr) {
    TV_ASSERT(file != nullptr && ja != nullptr);
    return 0;
  }
  if (!archive_is_wanted(file) || !archive_prepare_archive_dir()) return 0;
  LOG_DEBUG("Starting spool archive copy of file: %s", file);
  FILE* in = os_fopen(file, "rb");
  if (in == nullptr) {
    LOG_LAST_SYSTEM_ERROR("Cannot open spool file for copying: %s", ja->spool_file);
    return 0;
  }
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to fork to background task to copy spool to archive");
    std::fclose(in);
    return 0;
  }
  std::fflush(nullptr);
  // Two forks: the intermediate child exits at once and is reaped here, so
  // the copy runs detached and leaves no zombie in a long-lived caller.
  const pid_t pid = fork();
  if (pid < 0) {
    LOG_ERROR("Unable to fork to background task to copy spool to archive");
    std::fclose(in);
    close(ready[0]);
    close(ready[1]);
    return 0;
  }
  if (pid == 0) {
    close(ready[0]);
    const pid_t grandchild = fork();
    if (grandchild == 0) archive_child(file, in, ja, ready[1]);
    if (grandchild < 0) LOG_ERROR("Unable to fork to background task to copy spool to archive");
    _exit(0);
  }
  std::fclose(in);
  close(ready[1]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const bool copying = wait_ready(ready[0]);
  close(ready[0]);
  return copying ? 1 : 0;
}
