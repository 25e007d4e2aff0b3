#include "job/events_program.h"

#include <signal.h>
#include <unistd.h>

#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "foundation/os_stop.h"
#include "foundation/os_time.h"
#include "job/held_job_manager.h"
#include "job/log_upkeep.h"
#include "server/events_manager.h"

namespace {

// Root and the service account share the held-job markers.
constexpr unsigned HELD_JOBS_DIR_MODE = 0770;

void on_stop(int) { os_request_stop(); }

// Asked after every drain call: the log's upkeep, then whether to stop.
int after_each_call() {
  (void)log_upkeep_rotate_if_due();
  return os_stop_requested();
}

// With server events off nothing is drained, but the log still needs its
// upkeep: the process stays for that until it is asked to stop.
void keep_log_until_stopped() {
  LOG_INFO("Server events are off: the event process only keeps the log bounded");
  while (!os_stop_requested()) {
    (void)log_upkeep_rotate_if_due();
    os_sleep_millis(EVENTS_IDLE_LOG_CHECK_MS);
  }
}

void install_signal_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal ends the long poll that is under way.
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// As root: the markers' directory for both accounts, then the service
// account for everything else. 1, or 0 when root cannot let go of root.
int settle_account() {
  if (geteuid() != 0) return 1;
  const long group = os_account_group(OS_SERVICE_ACCOUNT);
  if (group < 0) {
    LOG_ERROR("The service account %s does not exist; the event process will not run as root",
              OS_SERVICE_ACCOUNT);
    return 0;
  }
  if (!os_make_private_dir(global_ctx.heldjobs_spool_dir_path, HELD_JOBS_DIR_MODE, group)) {
    LOG_ERROR("Unable to prepare the held-job directory \"%s\"",
              global_ctx.heldjobs_spool_dir_path);
  }
  if (!os_su_to_torvelle()) {
    LOG_ERROR("Unable to switch the event process to the service account %s",
              OS_SERVICE_ACCOUNT);
    return 0;
  }
  return 1;
}

}  // namespace

int events_program_main(int argc, char** argv) {
  (void)argc;
  char self[OS_PATH_BUFFER_SIZE] = {};
  global_init();
  config_load(os_command_path(argv[0], self, sizeof self), &global_ctx);
  install_signal_handlers();
  // As root: the service account rotates the log in its directory.
  (void)log_upkeep_prepare_dir();
  // Written as root, so that a log made here belongs to the service account.
  LOG_INFO("Event process starting");
  if (!settle_account()) return 1;
  if (held_job_manager_subscribe(&global_ctx) == 0) {
    LOG_ERROR("Unable to subscribe to the held-job events");
    return 1;
  }
  LOG_INFO("Event process started");
  const int rc = events_manager_start_drain(after_each_call);
  if (rc == 0) keep_log_until_stopped();
  LOG_INFO("Event process stopped (%d)", rc);
  return 0;
}
