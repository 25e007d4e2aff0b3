// What the CUPS backend program runs around a job: the real CUPS backend as
// a child, the hand-off of the job's printer to the print monitor, the host
// of a device URI, the crash handler and waiting for a directory to change.
// Results are 1 for success and 0 for failure.
#pragma once

#include <cstddef>

// Device-URI schemes whose printers the hardware check cannot reach.
inline constexpr const char* unsupported_backends[] = {"dnssd:", "pap:",    "parallel:", "scsi:",
                                                       "serial:", "snmp:", "usb:"};

// The account CUPS runs its unprivileged backends as: "User" and "Group" of
// cups-files.conf in CUPS_SERVERROOT (default /etc/cups), else lp and lp.
// An id is -1 when the name is not known here.
struct CupsRunAccount {
  long uid;
  long gid;
};
[[nodiscard]] CupsRunAccount cups_run_account();
// The group of that account (-1 when unknown).
[[nodiscard]] long cups_run_group();
// 1 when CUPS runs a backend whose file has `mode` as root: when others may
// not execute it (0700, 0744, 0750 run as root; 0755 and 0705 as CUPS's
// user), else 0.
[[nodiscard]] int cups_backend_runs_as_root(unsigned mode);

// Runs `program` with `argv` (argv[0] included, null-terminated) and waits
// for it. 1 when it exited (*exit_status set) or when a "usb:" backend was
// ended by SIGTERM (*exit_status 0, as CUPS treats a cancelled USB job); 0
// when the fork failed or the child was killed by a signal.
[[nodiscard]] int common_run_sync(const char* program, char* const argv[], int* exit_status);
// The same with the child switched to `account` first (its group as the only
// group, then its user) unless `account` is null; a child that cannot
// switch ends with status 1 and never runs the program.
[[nodiscard]] int common_run_sync_as(const char* program, char* const argv[], int* exit_status,
                                     const CupsRunAccount* account);
// The process id of the child that common_run_sync is waiting for, 0 when
// none. Safe to call from a signal handler (to pass a cancel on to it).
[[nodiscard]] int common_run_sync_child_pid();

// Hands the job to the print monitor at `monitor_path` over the line
// protocol when the printer's settings ask for a hardware check. *delete_job
// becomes 1 when the monitor asked for the job to be deleted. The return
// value carries no meaning (always 0).
int common_run_hwcheck(const char* monitor_path, const char* job_id, const char* printer_name,
                       const char* paper_size, const char* device_uri, int* delete_job);

// The host of a device URI (after "://" and any "user:password@", up to the
// first character that is not a letter, digit, "-", "." or "_") into
// `buffer`. 1 on success (the host may be empty); 0 without "://" or when
// the host does not fit.
[[nodiscard]] int common_extract_host_from_uri(const char* uri, char* buffer, std::size_t size);

// Cleanup called by the crash handler before it aborts. It runs inside a
// signal handler: it must only make async-signal-safe calls.
using CoredumpCallback = void (*)(void* data);

// Installs the crash handler for SIGBUS and SIGSEGV (both blocked while it
// runs). The handler writes a fixed message and a backtrace with write(2)
// only, calls the cleanup callback, then aborts.
void common_setup_coredump_signals();
// Sets the cleanup callback and its data (null callback: none).
void common_setup_coredump_callback(CoredumpCallback callback, void* data);

// Waits until a file is created in `dir` (or `seconds` pass; 0: until a
// signal arrives), then another 500 ms. The caller must handle SIGRTMIN. 1
// after waiting, 0 when the directory cannot be watched.
[[nodiscard]] int common_wait_change(const char* dir, int seconds);

// Does nothing; kept for the backend program.
void common_set_server_name_when_nonlocal();
