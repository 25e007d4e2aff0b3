// The event process: drains the application server's events and so keeps
// the held-job markers that release held jobs. It runs until SIGTERM or
// SIGINT. The configuration is found as for the backend (next to this
// program); exit statuses 10 to 12 report a configuration that cannot be
// loaded.
#include <signal.h>
#include <unistd.h>

#include <string>

#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/log.h"
#include "job/held_job_manager.h"
#include "server/events_manager.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void on_stop(int) { g_stop = 1; }

int should_stop() { return g_stop; }

std::string own_path() {
  char path[4096] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

int main(int, char** argv) {
  global_init();
  std::string self = own_path();
  config_load(self.empty() ? argv[0] : self.c_str(), &global_ctx);
  struct sigaction action{};
  action.sa_handler = on_stop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a signal ends the long poll that is under way.
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  if (held_job_manager_subscribe(&global_ctx) == 0) {
    LOG_ERROR("Unable to subscribe to the held-job events");
    return 1;
  }
  LOG_INFO("Event process started");
  int rc = events_manager_start_drain(should_stop);
  LOG_INFO("Event process stopped (%d)", rc);
  return 0;
}
