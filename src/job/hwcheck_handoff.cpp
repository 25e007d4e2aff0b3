// The hand-off of a job's printer to the print monitor: the monitor is
// started under the shell with pipes to its standard streams and told the
// printer, its address, the job and the paper over the line protocol.
#include <cstdio>
#include <cstring>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/popen3.h"
#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "hwcheck/print_monitor.h"
#include "job/backend_run.h"

namespace {

constexpr const char MONITOR[] = "ze-zorov-eredazo";
constexpr std::size_t HOST_SIZE = 1024;
constexpr std::size_t COMMAND_SIZE = 4096;

struct MonitorPipes {
  FILE* in = nullptr;
  FILE* out = nullptr;
  FILE* err = nullptr;
};

bool is_unsupported_backend(const char* uri) {
  for (const char* scheme : unsupported_backends) {
    if (std::strncmp(uri, scheme, std::strlen(scheme)) == 0) return true;
  }
  return false;
}

// The variables, then "startdoc_lock" and (unless the monitor asked for the
// job to be deleted) "enddoc_bg". True when "enddoc_bg" was accepted.
bool exchange(const MonitorPipes& pipes, const char* printer_name, const char* host,
              const char* job_id, const char* paper_size, int* delete_job) {
  const char* variables[4][2] = {{"printername", printer_name},
                                 {"printeraddress", host},
                                 {"jobid", job_id},
                                 {"papersize", paper_size}};
  for (const auto& [name, value] : variables) {
    if (print_monitor_write_command_check_response(pipes.in, pipes.out, name,
                                                   value != nullptr ? value : "", nullptr) == 0) {
      LOG_ERROR("HwcheckJob: Failed %s command in %s", name, MONITOR);
      return false;
    }
  }
  if (print_monitor_write_command_check_response(pipes.in, pipes.out, "startdoc_lock", nullptr,
                                                 delete_job) == 0) {
    LOG_ERROR("HwcheckJob: Failed startdoc command in %s", MONITOR);
    return false;
  }
  LOG_DEBUG("HwcheckJob: sent <%s, %s, %s, %s>", printer_name, host, job_id, "startdoc");
  if (*delete_job != 0) {
    LOG_DEBUG("HwcheckJob: startdoc reported to delete the job and so no enddoc called");
    return false;
  }
  if (print_monitor_write_command_check_response(pipes.in, pipes.out, "enddoc_bg", nullptr,
                                                 nullptr) == 0) {
    LOG_ERROR("HwcheckJob: Failed to write enddoc_bg");
    return false;
  }
  LOG_DEBUG("HwcheckJob: sent enddoc_bg");
  return true;
}

// Closes the monitor's input first, so that a monitor reading to the end of
// it can finish, then waits. Its output streams are not read to their end: a
// monitor that goes on watching the printer in the background may keep them
// open.
void finish_monitor(pid_t pid, MonitorPipes& pipes) {
  std::fclose(pipes.in);
  int status = popen3_wait(pid);
  if (status != 0) LOG_ERROR("%s returned non-zero exit code: %d", MONITOR, status);
  std::fclose(pipes.out);
  if (pipes.err != nullptr) std::fclose(pipes.err);
}

// Checks the settings and the URI; false when no monitor is to run.
bool hwcheck_wanted(const char* monitor_path, const char* printer_name, const char* device_uri,
                    char* host, bool* error) {
  *error = true;
  if (monitor_path == nullptr || monitor_path[0] == '\0') {
    LOG_ERROR("No %s path set", MONITOR);
    return false;
  }
  PrinterSettings settings{};
  printer_settings_init_defaults(&settings);
  if (serialize_settings_readin(global_ctx.settings_spool_dir_path, printer_name, &settings) == 0) {
    LOG_ERROR("Unable to read in Printer settings for printer %s", printer_name);
    return false;
  }
  if (settings.hwcheck_mode != HWCHECK_MODE_SNMP) {
    LOG_DEBUG("Printer settings for printer %s detected hardware check off", printer_name);
    *error = false;
    return false;
  }
  if (is_unsupported_backend(device_uri)) {
    LOG_ERROR("CUPS backend from URI: \"%s\" is not supported for hardware check", device_uri);
    return false;
  }
  if (common_extract_host_from_uri(device_uri, host, HOST_SIZE) == 0 || host[0] == '\0') {
    LOG_ERROR("Unable to extract host from URI: \"%s\" for hardware check", device_uri);
    return false;
  }
  LOG_DEBUG("Printer settings for printer %s (%s) detected hardware check on", printer_name, host);
  return true;
}

}  // namespace

int common_run_hwcheck(const char* monitor_path, const char* job_id, const char* printer_name,
                       const char* paper_size, const char* device_uri, int* delete_job) {
  int ignored = 0;
  if (delete_job == nullptr) delete_job = &ignored;
  *delete_job = 0;
  if (printer_name == nullptr) printer_name = "";
  if (job_id == nullptr) job_id = "";
  if (device_uri == nullptr) device_uri = "";
  char host[HOST_SIZE] = {};
  bool error = false;
  bool done = false;
  if (hwcheck_wanted(monitor_path, printer_name, device_uri, host, &error)) {
    char command[COMMAND_SIZE];
    std::snprintf(command, sizeof command, "\"%s\"", monitor_path);
    MonitorPipes pipes;
    pid_t pid = popen3_create_fp(command, &pipes.in, &pipes.out, &pipes.err);
    if (pid < 0) {
      LOG_ERROR("Problem executing %s: %s! Exit code: %d", MONITOR, command, pid);
    } else {
      done = exchange(pipes, printer_name, host, job_id, paper_size, delete_job);
      finish_monitor(pid, pipes);
    }
  }
  if (error && !done) {
    LOG_ERROR("No hardware checking will be done for job %s on printer %s", job_id, printer_name);
  }
  return 0;
}
