// The print monitor that the backend starts for a job whose printer is
// checked over SNMP (PrintMonitorPath; installed as ze-zorov-eredazo with
// spoolwarden.conf beside it). It speaks the line protocol on standard input
// and output; the work is in src/hwcheck (print_monitor_program.h). Exit
// statuses 10 to 12 report a configuration that cannot be loaded.
#include <signal.h>

#include <cstdio>

#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/os_dir.h"
#include "hwcheck/print_monitor_program.h"
#include "hwcheck/snmp_logging.h"

int main(int, char** argv) {
  global_init();
  // The backend starts this program by its absolute path.
  config_load(argv[0], &global_ctx);
  signal(SIGPIPE, SIG_IGN);
  // The per-printer locks live there; the backend makes the directory too.
  (void)os_create_dir_recursive(global_ctx.locks_spool_dir_path);
  snmp_init(1, nullptr);
  return print_monitor_serve(stdin, stdout, PRINT_MONITOR_DEFAULT_LIMITS);
}
