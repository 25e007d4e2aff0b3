#include "hwcheck/snmp_netsnmp.h"

#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_objects.h"
#include "hwcheck/snmp_request.h"
#include "hwcheck/snmp_walk.h"

namespace {

enum class Step { GO_ON, DONE, FAILED };

// The streams and request kind of a printed walk; a plain walk has none.
struct Dump {
  bool bulk = false;
  FILE* out = nullptr;
  FILE* err = nullptr;
};

SnmpOidView root_or_default(SnmpOidView root) {
  return root.empty() ? SnmpOidView(OID_INTERNET) : root;
}

// Tells a printed walk's error stream why the request failed.
void report_failure(const SnmpSession* session, SnmpOutcome outcome, const netsnmp_pdu* answer,
                    SnmpOidView asked, const Dump* dump) {
  if (dump == nullptr || dump->err == nullptr) return;
  if (outcome == SnmpOutcome::TIMEOUT) {
    std::fprintf(dump->err, "Timeout: No Response from %s\n", session->peer);
  } else if (outcome == SnmpOutcome::FAILED) {
    std::fprintf(dump->err, "Snmp: error with snmp_sync_response %s\n", session->peer);
  } else if (answer != nullptr) {
    std::fprintf(dump->err, "Error in packet.\nReason: %s\n",
                 snmp_errstring(static_cast<int>(answer->errstat)));
    char text[SNMP_OID_TEXT_SIZE];
    snmp_format_oid(asked, text, sizeof text);
    std::fprintf(dump->err, "Failed object: %s\n", text);
  }
}

Step end_of_mib(const Dump* dump) {
  if (dump != nullptr && dump->out != nullptr) std::fputs("End of MIB\n", dump->out);
  return Step::DONE;
}

// The root itself: a value there is handed on; nothing there is no error.
Step walk_root(SnmpSession* session, void* context, SnmpWalkCallback callback, SnmpOidView root,
               const Dump* dump) {
  PduPtr answer;
  const SnmpOutcome outcome = snmp_get_one(session, root, &answer);
  if (outcome == SnmpOutcome::ERROR_STATUS && answer->errstat == SNMP_ERR_NOSUCHNAME) {
    return Step::GO_ON;
  }
  if (outcome != SnmpOutcome::ANSWER) {
    report_failure(session, outcome, answer.get(), root, dump);
    return Step::FAILED;
  }
  for (const netsnmp_variable_list* var = answer->variables; var != nullptr;
       var = var->next_variable) {
    if (snmp_var_is_exception(var)) continue;
    if (callback(context, var) != 0) return Step::DONE;
  }
  return Step::GO_ON;
}

PduPtr next_request(SnmpOidView after, const Dump* dump) {
  const bool bulk = dump != nullptr && dump->bulk;
  PduPtr request = snmp_new_request(bulk ? SNMP_MSG_GETBULK : SNMP_MSG_GETNEXT);
  if (!request || !snmp_request_add(request.get(), after)) return nullptr;
  if (bulk) {
    // With all (one) variables non-repeaters, each answer carries one.
    request->non_repeaters = 10;
    request->max_repetitions = 0;
  }
  return request;
}

// One step after *last; *last moves to the variable received.
Step walk_next(SnmpSession* session, void* context, SnmpWalkCallback callback, SnmpOidView root,
               SnmpOid* last, const Dump* dump) {
  PduPtr answer;
  const SnmpOutcome outcome =
      snmp_send(session, next_request(snmp_oid_view(*last), dump), &answer);
  if (outcome == SnmpOutcome::ERROR_STATUS && answer->errstat == SNMP_ERR_NOSUCHNAME) {
    return end_of_mib(dump);  // v1 tells the end of the MIB view this way
  }
  if (outcome != SnmpOutcome::ANSWER) {
    report_failure(session, outcome, answer.get(), snmp_oid_view(*last), dump);
    return Step::FAILED;
  }
  const netsnmp_variable_list* var = answer->variables;
  if (var == nullptr) return Step::FAILED;
  // endOfMibView is v2c's normal end of a walk.
  if (snmp_var_is_exception(var)) return end_of_mib(dump);
  const SnmpOidView name = snmp_var_name(var);
  if (!snmp_oid_in_subtree(name, root)) return Step::DONE;
  if (snmp_oid_compare(name, snmp_oid_view(*last)) <= 0) {
    char text[SNMP_OID_TEXT_SIZE];
    snmp_format_oid(name, text, sizeof text);
    HW_ERROR("snmp walk: OID not increasing: %s", text);
    if (dump != nullptr && dump->err != nullptr) {
      std::fprintf(dump->err, "Error: OID not increasing: %s\n", text);
    }
    return Step::FAILED;
  }
  if (snmp_oid_assign(name, last) == 0) return Step::FAILED;
  return callback(context, var) != 0 ? Step::DONE : Step::GO_ON;
}

int walk_subtree(SnmpSession* session, void* context, SnmpWalkCallback callback, SnmpOidView root,
                 const Dump* dump) {
  root = root_or_default(root);
  SnmpOid last{};
  if (session == nullptr || callback == nullptr || snmp_oid_assign(root, &last) == 0) return 0;
  Step step = walk_root(session, context, callback, root, dump);
  for (std::size_t n = 0; step == Step::GO_ON; ++n) {
    if (n == SNMP_WALK_MAX_VARIABLES) {
      HW_ERROR("snmp walk: stopped after %zu variables", n);
      return 0;
    }
    step = walk_next(session, context, callback, root, &last, dump);
  }
  return step == Step::DONE ? 1 : 0;
}

// The printing walk's callback.
struct DumpContext {
  FILE* out;
  bool show_progress;
  unsigned long count;
  int progress_width;
};

int print_variable(void* context, const variable_list* var) {
  auto* dump = static_cast<DumpContext*>(context);
  fprint_variable(dump->out, var->name, var->name_length, var);
  ++dump->count;
  if (dump->show_progress) {
    for (int i = 0; i < dump->progress_width; ++i) std::fputc('\b', stdout);
    dump->progress_width = std::printf("%lu", dump->count);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int snmp_walk(SnmpSession* session, void* context, SnmpWalkCallback callback, SnmpOidView root) {
  return walk_subtree(session, context, callback, root, nullptr);
}

int snmp_walk_dump(SnmpSession* session, int use_bulk, int show_progress, FILE* out, FILE* err,
                   SnmpOidView root) {
  if (out == nullptr) return 0;
  DumpContext context{out, show_progress != 0, 0, 0};
  const Dump dump{use_bulk != 0, out, err};
  const int result = walk_subtree(session, &context, print_variable, root, &dump);
  std::fflush(out);
  return result;
}
