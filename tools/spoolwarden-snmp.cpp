// Looks at a printer the way the hardware check does, for administrators:
//   spoolwarden-snmp walk HOST [ROOT] [--bulk]   every object under ROOT (default 1.3.6.1)
//   spoolwarden-snmp poll HOST                   the printer's model settings and one poll
// HOST may carry ":port". The community, retries and time-out come from
// spoolwarden.conf when one is found next to this program (SNMPCommunity,
// HWCheckSnmpRetries, HWCheckSnmpTimeoutSecs), else the defaults.
#include <cstdio>
#include <cstring>

#include "foundation/config.h"
#include "foundation/global.h"
#include "foundation/os_file.h"
#include "foundation/os_process.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_printer_data.h"
#include "hwcheck/snmp_walk.h"

namespace {

int usage(const char* program) {
  std::fprintf(stderr, "Usage: %s walk HOST [ROOT] [--bulk] | poll HOST\n", program);
  return 1;
}

int walk(SnmpSession* session, int argc, char** argv) {
  SnmpOid root{};
  bool bulk = false;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bulk") == 0) {
      bulk = true;
    } else if (!snmp_parse_oid_text(argv[i], &root)) {
      std::fprintf(stderr, "Error: bad object identifier: %s\n", argv[i]);
      return 1;
    }
  }
  return snmp_walk_dump(session, bulk, 0, stdout, stderr, snmp_oid_view(root)) ? 0 : 2;
}

int poll(SnmpSession* session) {
  SnmpSnapshotConfig config{};
  (void)snmp_init_snapshot_config(session, &config);
  PrinterData data{};
  int timed_out = 0;
  const int ok = snmp_get_printer_data(session, &config, &data, &timed_out);
  snmp_output_printer_data(&config, &data, stdout);
  if (!ok) std::fprintf(stderr, "Error: %s\n", timed_out ? "no answer" : "the poll failed");
  return ok ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage(argv[0]);
  global_init();
  // The configuration beside the program, however it was started.
  char self[OS_PATH_BUFFER_SIZE] = {};
  (void)config_load_no_exit(os_command_path(argv[0], self, sizeof self), &global_ctx, nullptr,
                            nullptr);
  snmp_init(0, stderr);
  SnmpSessionPtr session(snmp_create_session(argv[2], 2));
  if (!session) {
    std::fprintf(stderr, "Error: cannot open a session to %s\n", argv[2]);
    return 2;
  }
  if (std::strcmp(argv[1], "walk") == 0) return walk(session.get(), argc, argv);
  if (std::strcmp(argv[1], "poll") == 0 && argc == 3) return poll(session.get());
  return usage(argv[0]);
}
