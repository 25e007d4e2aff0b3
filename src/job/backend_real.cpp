// Running the real CUPS backend as CUPS itself would run it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "job/backend.h"
#include "job/backend_run.h"

namespace {

// The mode of a file handed to a backend that runs as CUPS's user: root's
// file, readable by CUPS's group, as CUPS keeps its own job files.
constexpr mode_t HANDED_FILE_MODE = 0640;

// The program the device URI's scheme names, or an empty text (logged, and
// CUPS told) when there is none that can be run.
std::string real_backend_program(const CupsBackend& b, std::string* scheme) {
  *scheme = b.wrapped_uri.substr(0, b.wrapped_uri.find(':'));
  if (scheme->empty() || scheme->find('/') != std::string::npos || *scheme == "spoolwarden") {
    backend_status("ERROR", "device URI \"" + b.wrapped_uri + "\" names no backend");
    LOG_ERROR("Device URI \"%s\" names no backend", b.wrapped_uri.c_str());
    return {};
  }
  const std::string dir =
      global_ctx.cups_backend_dir[0] != '\0' ? global_ctx.cups_backend_dir : b.exe_dir;
  std::string program = dir + "/" + *scheme;
  if (access(program.c_str(), X_OK) != 0) {
    backend_status("ERROR", "backend " + program + " cannot be run");
    LOG_ERROR("Backend %s cannot be run", program.c_str());
    return {};
  }
  return program;
}

// Lets CUPS's group read `file` (never through a link). A file that group
// reads already (CUPS's own job file, linked as the spool file) is left as
// it is.
bool hand_to_group(const char* file, long gid) {
  const int fd = open(file, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0;
  if (ok && !(info.st_gid == static_cast<gid_t>(gid) && (info.st_mode & S_IRGRP) != 0)) {
    ok = fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(gid)) == 0 &&
         fchmod(fd, HANDED_FILE_MODE) == 0;
  }
  close(fd);
  return ok;
}

// Whom the program runs as: null for this process's own account (CUPS runs
// the program as root, or we are not root and cannot change), else CUPS's
// user. False (logged) when CUPS's user is not known here.
bool choose_account(const std::string& program, const char* file, CupsRunAccount* account,
                    bool* unprivileged) {
  *unprivileged = false;
  struct stat info {};
  if (stat(program.c_str(), &info) != 0) return false;
  if (geteuid() != 0 || cups_backend_runs_as_root(info.st_mode)) return true;
  *account = cups_run_account();
  if (account->uid < 0 || account->gid < 0) {
    LOG_ERROR("Backend %s must run as CUPS's user, which is not known here", program.c_str());
    return false;
  }
  if (!hand_to_group(file, account->gid)) {
    LOG_LAST_SYSTEM_ERROR("Unable to let backend %s read %s", program.c_str(), file);
    return false;
  }
  *unprivileged = true;
  return true;
}

}  // namespace

int backend_run_real(const CupsBackend& b, const char* file, int copies) {
  std::string scheme;
  const std::string program = real_backend_program(b, &scheme);
  if (program.empty()) return CUPS_BACKEND_STOP;
  CupsRunAccount account{-1, -1};
  bool unprivileged = false;
  if (!choose_account(program, file, &account, &unprivileged)) {
    backend_status("ERROR", "backend " + program + " cannot be run as CUPS would run it");
    return CUPS_BACKEND_STOP;
  }
  setenv("DEVICE_URI", b.wrapped_uri.c_str(), 1);
  std::string copies_text = std::to_string(copies);
  std::string uri = b.wrapped_uri;
  char* args[] = {uri.data(),         b.argv[1], b.argv[2], b.argv[3], copies_text.data(),
                  b.argv[5],          const_cast<char*>(file), nullptr};
  int status = 0;
  LOG_DEBUG("Running backend %s for job %s with %d copies as %s", program.c_str(), b.argv[1],
            copies, unprivileged ? "CUPS's user" : "this account");
  if (common_run_sync_as(program.c_str(), args, &status, unprivileged ? &account : nullptr) == 0) {
    // Ended by a signal: the data may not have reached the printer.
    backend_status("ERROR", "backend " + scheme + " ended abnormally; the job will be retried");
    return CUPS_BACKEND_RETRY;
  }
  return status;
}
