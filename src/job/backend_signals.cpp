// The backend program's signals: a cancelled job (SIGTERM) and crashes.
#include <signal.h>
#include <unistd.h>

#include "foundation/os_file.h"
#include "foundation/os_stop.h"
#include "foundation/util.h"
#include "job/backend_internal.h"
#include "job/backend_run.h"

namespace {

constexpr int TRACKED_FILES = 2;
char g_tracked[TRACKED_FILES][OS_PATH_BUFFER_SIZE] = {};

// Runs inside the crash handler: unlink only.
void remove_tracked_files(void*) {
  for (const char* path : g_tracked) {
    if (path[0] != '\0') unlink(path);
  }
}

// CUPS cancels a job with SIGTERM. While the real backend runs it gets the
// signal and ends the job its own way; before that the job flow stops at its
// next wait and ends the job cleanly (telling the server when it held it).
void on_sigterm(int) {
  const int child = common_run_sync_child_pid();
  if (child > 0) {
    kill(child, SIGTERM);
    return;
  }
  os_request_stop();
}

}  // namespace

void backend_track_file(BackendFile which, const char* path) {
  util_safe_strncpy(g_tracked[which], path != nullptr ? path : "", sizeof g_tracked[which]);
}

const char* backend_tracked_file(BackendFile which) { return g_tracked[which]; }

void backend_install_signal_handlers() {
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = on_sigterm;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait in progress ends at once.
  sigaction(SIGTERM, &action, nullptr);
  common_setup_coredump_signals();
  common_setup_coredump_callback(remove_tracked_files, nullptr);
}
