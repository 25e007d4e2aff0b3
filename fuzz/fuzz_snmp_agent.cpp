// A printer's agent that answers whatever the input says: each request is
// answered (or left unanswered, or refused) as the next bytes decide, with
// variables of any name, type and value. The hardware check builds a
// printer's settings, waits before and after a job, and runs the makers'
// checks against it. The clock moves on its own, so every wait ends.
#include "hwcheck/snmp_netsnmp.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/config.h"
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_maker_checks.h"
#include "hwcheck/snmp_wait.h"
#include "hwcheck/snmp_walk.h"

namespace {

struct Script {
  Script(const std::uint8_t* bytes, std::size_t length) : data(bytes), size(length) {}
  const std::uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  std::int64_t now = 1700000000000;
  std::vector<oid> last;  // the name answered last

  bool done() const { return at >= size; }
  std::uint8_t next() { return at < size ? data[at++] : 0; }
  long number() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | next();
    return static_cast<long>(static_cast<std::int32_t>(v));
  }
};

// The name of one answered variable: the one asked, one below it, the last
// one again, or any name at all (up to 140 sub-identifiers).
std::vector<oid> answer_name(Script& s, const netsnmp_variable_list* asked) {
  std::vector<oid> name(asked->name, asked->name + asked->name_length);
  switch (s.next() % 4) {
    case 0:
      break;
    case 1:
      for (int extra = s.next() % 4 + 1; extra > 0; --extra) name.push_back(s.next());
      break;
    case 2:
      if (!s.last.empty()) name = s.last;
      break;
    default:
      name.assign(s.next() % 141, 0);
      for (oid& id : name) id = s.next() % 8 == 0 ? static_cast<std::uint32_t>(s.number()) : s.next();
      break;
  }
  return name;
}

void add_answer(Script& s, netsnmp_pdu* pdu, const std::vector<oid>& name) {
  static constexpr u_char TYPES[] = {ASN_INTEGER,       ASN_COUNTER,         ASN_GAUGE,
                                      ASN_OCTET_STR,     ASN_OBJECT_ID,       SNMP_NOSUCHOBJECT,
                                      SNMP_NOSUCHINSTANCE, SNMP_ENDOFMIBVIEW, ASN_NULL};
  const u_char type = TYPES[s.next() % std::size(TYPES)];
  if (type == ASN_OCTET_STR) {
    std::vector<u_char> bytes(s.next());
    for (u_char& b : bytes) b = s.next();
    snmp_pdu_add_variable(pdu, name.data(), name.size(), type, bytes.data(), bytes.size());
  } else if (type == ASN_OBJECT_ID) {
    std::vector<oid> value(s.next() % 20);
    for (oid& id : value) id = s.next();
    snmp_pdu_add_variable(pdu, name.data(), name.size(), type, value.data(),
                          value.size() * sizeof(oid));
  } else if (type == ASN_INTEGER || type == ASN_COUNTER || type == ASN_GAUGE) {
    long value = s.number();
    if (type != ASN_INTEGER) value &= 0xFFFFFFFFL;
    snmp_pdu_add_variable(pdu, name.data(), name.size(), type, &value, sizeof value);
  } else {
    snmp_pdu_add_variable(pdu, name.data(), name.size(), type, nullptr, 0);
  }
}

int exchange(void* context, snmp_pdu* request, snmp_pdu** response) {
  auto& s = *static_cast<Script*>(context);
  s.now += 500;
  std::unique_ptr<netsnmp_pdu, decltype(&snmp_free_pdu)> asked(request, snmp_free_pdu);
  const std::uint8_t how = s.done() ? 0 : s.next();
  if (how % 16 == 0) return SNMP_EXCHANGE_TIMEOUT;
  if (how % 16 == 1) return SNMP_EXCHANGE_FAILED;
  netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_RESPONSE);
  pdu->errstat = how % 16 == 2 ? s.next() % 19 : SNMP_ERR_NOERROR;
  pdu->errindex = 0;
  for (auto* v = request->variables; v != nullptr; v = v->next_variable) {
    if (s.next() % 32 == 0) continue;  // an answer that lacks a variable
    const std::vector<oid> name = answer_name(s, v);
    add_answer(s, pdu, name);
    s.last = name;
  }
  *response = pdu;
  return SNMP_EXCHANGE_OK;
}

std::int64_t now(void* context) { return static_cast<Script*>(context)->now; }
void sleep(void* context, std::int64_t millis) { static_cast<Script*>(context)->now += millis; }

// Ends every wait after a bounded number of polls.
int polls_left(const SnmpSnapshotConfig*, const PrinterData*, void* data, int) {
  return --*static_cast<int*>(data) > 0 ? 1 : 0;
}

void configure(std::uint8_t mode) {
  static bool once = false;
  if (!once) {
    once = true;
    snmp_init(1, nullptr);
    log_set_path("/dev/null");
  }
  config_init_session_defaults(&global_ctx);
  global_ctx.debug_logging = 1;
  global_ctx.hwcheck_wait_retries_after = 2;
  global_ctx.hwcheck_wait_printing_noerror_max_secs = 20;
  global_ctx.hwcheck_wait_idle_noerror_max_secs = 30;
  global_ctx.hwcheck_wait_idle_error_max_secs = 30;
  global_ctx.hwcheck_wait_printing_error_max_secs = 30;
  global_ctx.hwcheck_extra_time_loops = 3;
  static const char* const MODES[] = {"Off", "AnyTray", "AllTrays"};
  std::snprintf(global_ctx.hwcheck_model[0], CONFIG_TEXT_SIZE,
                "model=\"\" enterprise=\"1\" usetotalasmaincounter=\"%d\" "
                "PauseOnPaperTrayError=\"%s\" total=\"1.3.6.1.2.1.43.10.2.1.4.1.1\"",
                mode & 1, MODES[(mode >> 1) % 3]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exact-size copy so that a one-byte over-read is caught.
  std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]);
  if (size > 0) std::memcpy(bytes.get(), data, size);
  Script script(bytes.get(), size);
  const std::uint8_t mode = script.next();
  configure(mode);
  SnmpSessionPtr session(snmp_create_exchange_session(mode & 8 ? 1 : 2, exchange, &script,
                                                      SnmpClock{now, sleep, &script}));
  SnmpSnapshotConfig config{};
  (void)snmp_init_snapshot_config(session.get(), &config);
  int polls = 40;
  PageCounts before{};
  (void)snmp_wait_for_idle_before_print(session.get(), &config, polls_left, &polls, &before);
  polls = 40;
  PageCountDiff diff{};
  (void)snmp_wait_for_idle_after_print(session.get(), &config, polls_left, &polls, &before, &diff);
  HwcheckModelConfig entry;
  int flag = 0;
  (void)custom_ricoh_counter_func(session.get(), &entry);
  (void)custom_konica_error_func(session.get(), &flag);
  (void)custom_toshiba_job_exists_func(session.get(), &flag);
  (void)snmp_has_no_paper_of_sizes(session.get(), &flag);
  char desc[SNMP_PRINTER_DESC_SIZE];
  std::uint8_t error[2];
  (void)snmp_get_printer_error(session.get(), error, &flag);
  (void)snmp_get_printer_desc(session.get(), desc, sizeof desc);
  if (FILE* out = std::fopen("/dev/null", "w")) {
    (void)snmp_walk_dump(session.get(), mode & 16, 0, out, out, SnmpOidView());
    std::fclose(out);
  }
  return 0;
}
