// The net-snmp functions the hardware check calls, loaded on first use.
//
// The CUPS backend is a new process for every job, and most jobs never talk
// SNMP; linking net-snmp would make every one of them load it and, through
// it, OpenSSL's libraries (about 1.5 ms of start-up per job on these
// machines). So the programs are not linked against net-snmp: these
// definitions stand in for its functions, open the library by its soname the
// first time one of them is called and pass the call on. Should the library
// not load, each says so in the log once and fails the way net-snmp itself
// fails (no session, no PDU, an error status), which the hardware check
// already handles.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "hwcheck/snmp_netsnmp.h"

namespace {

struct NetSnmpLibrary {
  void* handle = nullptr;
};

const NetSnmpLibrary& netsnmp_library() {
  static const NetSnmpLibrary library = [] {
    NetSnmpLibrary loaded;
    loaded.handle = dlopen(SW_NETSNMP_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (loaded.handle == nullptr) {
      const char* why = dlerror();
      LOG_ERROR("The SNMP library %s could not be loaded: %s", SW_NETSNMP_SONAME,
                why != nullptr ? why : "unknown error");
    }
    return loaded;
  }();
  return library;
}

// The library's own function `name`, or nullptr when it did not load.
template <typename Function>
Function* netsnmp_function(const char* name) {
  void* handle = netsnmp_library().handle;
  if (handle == nullptr) return nullptr;
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) LOG_ERROR("The SNMP library has no function %s", name);
  return reinterpret_cast<Function*>(symbol);
}

}  // namespace

// Each definition looks its function up once; the compiler holds every one to
// the declaration in net-snmp's headers.
#define SW_NETSNMP_CALL(name, args, on_failure)                                       \
  static auto* const real = netsnmp_function<decltype(::name)>(#name);               \
  if (real == nullptr) on_failure;                                                   \
  return real args

extern "C" {

void init_snmp(const char* type) { SW_NETSNMP_CALL(init_snmp, (type), return); }

int netsnmp_ds_set_boolean(int storeid, int which, int value) {
  SW_NETSNMP_CALL(netsnmp_ds_set_boolean, (storeid, which, value), return SNMPERR_GENERR);
}

int netsnmp_ds_set_int(int storeid, int which, int value) {
  SW_NETSNMP_CALL(netsnmp_ds_set_int, (storeid, which, value), return SNMPERR_GENERR);
}

int snmp_register_callback(int major, int minor, SNMPCallback* callback, void* arg) {
  SW_NETSNMP_CALL(snmp_register_callback, (major, minor, callback, arg), return SNMPERR_GENERR);
}

void snmp_enable_calllog(void) { SW_NETSNMP_CALL(snmp_enable_calllog, (), return); }

const char* snmp_errstring(int error) {
  SW_NETSNMP_CALL(snmp_errstring, (error), return "the SNMP library is not available");
}

void snmp_sess_init(netsnmp_session* session) {
  SW_NETSNMP_CALL(snmp_sess_init, (session), {
    std::memset(session, 0, sizeof(*session));
    return;
  });
}

void* snmp_sess_open(netsnmp_session* session) {
  SW_NETSNMP_CALL(snmp_sess_open, (session), return nullptr);
}

int snmp_sess_close(void* session) { SW_NETSNMP_CALL(snmp_sess_close, (session), return 0); }

int snmp_sess_synch_response(void* session, netsnmp_pdu* pdu, netsnmp_pdu** response) {
  SW_NETSNMP_CALL(snmp_sess_synch_response, (session, pdu, response), {
    if (response != nullptr) *response = nullptr;
    return STAT_ERROR;
  });
}

netsnmp_pdu* snmp_pdu_create(int command) {
  SW_NETSNMP_CALL(snmp_pdu_create, (command), return nullptr);
}

void snmp_free_pdu(netsnmp_pdu* pdu) { SW_NETSNMP_CALL(snmp_free_pdu, (pdu), return); }

netsnmp_variable_list* snmp_add_null_var(netsnmp_pdu* pdu, const oid* name, size_t length) {
  SW_NETSNMP_CALL(snmp_add_null_var, (pdu, name, length), return nullptr);
}

int snprint_variable(char* buffer, size_t size, const oid* name, size_t length,
                     const netsnmp_variable_list* variable) {
  SW_NETSNMP_CALL(snprint_variable, (buffer, size, name, length, variable), return -1);
}

void fprint_variable(FILE* file, const oid* name, size_t length,
                     const netsnmp_variable_list* variable) {
  SW_NETSNMP_CALL(fprint_variable, (file, name, length, variable), return);
}

}  // extern "C"
