// One operation per application-server method, each with its fixed parameter
// list. All go through rpc_call_method_wrapper (rpc_redirect.h) and return 0
// on success and -1 on failure unless said otherwise.
#pragma once

#include <cstddef>

struct JobAttribs;

// Levels of log.logMessage.
enum RpcLogLevel : int {
  RPC_LOG_CRITICAL = 0,
  RPC_LOG_WARNING = 1,
  RPC_LOG_INFORMATION = 2,
};

// Spooler kinds sent to the server.
enum RpcSpoolerKind : int {
  SPOOLER_WIN = 0,
  SPOOLER_CUPS = 1,
  SPOOLER_SAMBA = 2,
  SPOOLER_IPRINT = 3,
};

// Size of one slot of rpc_get_pending_spooled_jobs (terminator included).
inline constexpr std::size_t RPC_SPOOLED_JOB_ID_SIZE = 40;

// The spooler's name for a kind: "WIN", "CUPS", "SAMBA", "IPRINT", else "".
[[nodiscard]] const char* rpc_spooler_name(int kind);

// Writes `text` to the server's log at `level` (0 CRITICAL, 1 WARNING,
// 2 and above INFORMATION). A string reply other than "SUCCESS" gives -1;
// other reply types count as success.
[[nodiscard]] int rpc_log_message(const char* server_name, int level, const char* text);
// The same with a printf format; a formatting failure gives -1 without a call.
int rpc_log_messagef(const char* server_name, int level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Tells the server that the archive copy of a job is complete. Always 0.
int rpc_notify_pdl_copy_complete(const char* server_name, const char* archive_sub_path,
                                 const char* job_uid);

// Sends four texts in the given order; the boolean reply is not used.
[[nodiscard]] int rpc_update_spooled_job_status(const char* text1, const char* text2,
                                                const char* text3, const char* text4);

// Asks whether a redirected job is known; the server's boolean goes to
// `flag`. Another reply type gives -1.
[[nodiscard]] int rpc_validate_and_register_redirected_job(const char* redirect_uid,
                                                           const char* job_id, int* flag);

// Asks whether the server accepts printer registrations yet; a boolean reply
// goes to `flag` (may be null); another reply type leaves it and gives 0.
[[nodiscard]] int rpc_is_server_ready_to_register_printers(int* flag);
// The same with the call's own time-outs (milliseconds) in place of
// ConnectTimeout and NetworkTimeout, for a caller that has only so much time.
[[nodiscard]] int rpc_is_server_ready_to_register_printers_within(int* flag, int connect_timeout_ms,
                                                                  int send_timeout_ms);

// Registers a print queue. The method and parameters follow env_version
// (registerPrinter up to 9, registerPrinter2 10 to 12, registerPrinter3 from
// 13). A string reply "FAILURE" gives -1.
[[nodiscard]] int rpc_register_printer(const char* server, const char* printer,
                                       const char* location, const char* text4,
                                       const char* text5, int spooler_kind, const char* text6,
                                       const char* text7);

// Reports a cancelled job (2 connect retries). A boolean false reply gives -1.
[[nodiscard]] int rpc_process_print_job_cancellation(const char* server, const char* printer,
                                                     const char* job_id, int flag, int number);
// The same with the call's own time-outs (milliseconds), for a caller that
// must end soon (a job cancelled in CUPS).
[[nodiscard]] int rpc_process_print_job_cancellation_within(const char* server,
                                                            const char* printer,
                                                            const char* job_id, int flag,
                                                            int number, int connect_timeout_ms,
                                                            int send_timeout_ms);

// Reports a printer's state (`PrinterState` code). An int reply is the
// result; another reply type gives 0; a failed call -1.
[[nodiscard]] int rpc_report_printer_state(const char* server, const char* printer, int state,
                                           int number, int flag);

// The server's configuration text, copied into `buffer` (cut, terminated).
// Another reply type gives -1.
[[nodiscard]] int rpc_get_config(char* buffer, std::size_t size);
// The time the server's configuration last changed, as rpc_get_config.
[[nodiscard]] int rpc_get_config_last_updated(char* buffer, std::size_t size);

// Reports a job printed while the server could not decide it (the first 16
// decision parameters, then `number`, client IP and colour pages).
// `retry` is set when the reply is exactly "RETRY". Another reply type -1.
[[nodiscard]] int rpc_process_past_print_job(const JobAttribs* ja, int number, int* retry);

// The outcome of a printer hardware check for one job. The meaning of the
// fields belongs to the caller; the encodings are fixed here.
struct HwcheckJobReport {
  const char* text1;
  const char* text2;
  const char* text3;
  int number1;
  int number2;
  int yes_no_code;  // sent "Y" for 0, "N" for 1, "" otherwise
  int method_code;  // sent "SNMP" for 0, "PJL" otherwise
  int result_code;  // sent "OK" for 0, "ERROR" for 1, "PARTIAL" otherwise
  const char* message;
};

// Sends a hardware-check outcome; the boolean reply goes to `flag` (0 before
// the call). Another reply type gives -1.
[[nodiscard]] int rpc_process_print_job_hardware_check(const HwcheckJobReport* report, int* flag);

// Ids of the jobs spooled for this server. `ids` receives a malloc'ed array
// of RPC_SPOOLED_JOB_ID_SIZE-byte slots, zero-filled, always ending with at
// least one empty slot (free() it); a reply that is not a string leaves it
// null with result 0. Ids of 40 characters or more are skipped.
[[nodiscard]] int rpc_get_pending_spooled_jobs(const char* server_name,
                                               char (**ids)[RPC_SPOOLED_JOB_ID_SIZE]);
