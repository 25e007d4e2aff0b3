#include "hwcheck/print_monitor_program.h"

#include <poll.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_lock.h"
#include "foundation/os_process.h"
#include "foundation/os_time.h"
#include "hwcheck/hwcheck_report.h"
#include "hwcheck/snmp_text.h"
#include "hwcheck/snmp_wait.h"

namespace {

constexpr std::int64_t LOCK_POLL_MILLIS = 500;

struct Job {
  std::string printer_name;
  std::string address;
  std::string job_id;
  std::string paper_size;
  bool started = false;
  OsNamedLockPtr lock;
  SnmpSessionPtr session;
  SnmpSnapshotConfig config{};
  PageCounts before{};
  bool counted = false;  // `before` holds the counts before the job
  std::string failure;   // why nothing was counted
};

// Ends a wait once its time is up, or once the backend that waits for the
// answer has gone (its end of `input_fd` closed: a cancelled job); keeps the
// last poll for what was counted.
struct Deadline {
  const SnmpSession* session;
  std::int64_t at;
  int input_fd = -1;
  bool passed = false;
  bool have_last = false;
  PrinterData last{};
};

// The backend never writes while it waits for an answer: its end of the
// pipe hung up means it is gone.
bool input_closed(int fd) {
  pollfd pfd{fd, POLLIN, 0};
  return poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLHUP) != 0;
}

int deadline_callback(const SnmpSnapshotConfig*, const PrinterData* data, void* context,
                      int data_error) {
  auto* d = static_cast<Deadline*>(context);
  if (!data_error) {
    d->last = *data;
    d->have_last = true;
  }
  if (d->input_fd >= 0 && input_closed(d->input_fd)) {
    LOG_INFO("Hardware check: the backend has gone; the wait ends");
    return 0;
  }
  if (snmp_session_now_millis(d->session) < d->at) return 1;
  d->passed = true;
  LOG_INFO("Hardware check: the time for this wait is up");
  return 0;
}

std::string text_of(const char* format, ...) SW_PRINTF(1, 2);
std::string text_of(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// One check per printer at a time: a job's counts must not take in the
// pages of the next. Waits for an earlier check until `until`, then goes on
// without the lock.
void lock_printer(Job& job, std::int64_t until) {
  std::string name = "hwcheck-" + job.address;
  for (char& c : name) {
    if (!ascii_is_alnum(c) && c != '.' && c != '-' && c != '_') c = '_';
  }
  OsNamedLock* lock = nullptr;
  if (!os_namedlock_open(global_ctx.locks_spool_dir_path, name.c_str(), &lock)) return;
  job.lock.reset(lock);
  while (!os_namedlock_trylock(lock)) {
    if (os_current_time_millis() >= until) {
      LOG_ERROR("Printer %s is still checked for an earlier job; checking job %s without waiting",
                job.address.c_str(), job.job_id.c_str());
      job.lock.reset();
      return;
    }
    os_sleep_millis(LOCK_POLL_MILLIS);
  }
}

// One more poll: is the printer in error now? An SNMP failure says no.
bool printer_in_error(Job& job, char* errors, std::size_t size) {
  PrinterData data{};
  int timed_out = 0;
  if (!snmp_get_printer_data(job.session.get(), &job.config, &data, &timed_out)) return false;
  snmp_convert_printererror_to_str2(errors, size, data.printer_error);
  return snmp_in_error(&job.config, &data) != 0;
}

void report(const Job& job, HwcheckOutcome outcome, const std::string& message,
            const PageCountDiff* diff) {
  HwcheckJobOutcome o;
  o.printer_name = job.printer_name;
  o.job_id = job.job_id;
  o.outcome = outcome;
  o.message = message;
  if (diff != nullptr) {
    o.counted = true;
    o.has_color = diff->has_color != 0;
    o.pages = diff->total;
    o.color_pages = diff->color;
  }
  (void)hwcheck_report_job(o);
}

// The printer before the job: idle, and its counts.
const char* startdoc(Job& job, const PrintMonitorLimits& limits, int input_fd) {
  if (job.started) return "ERROR startdoc_lock was sent already";
  if (job.address.empty()) return "ERROR no printeraddress was sent";
  job.started = true;
  const std::int64_t until = os_current_time_millis() + limits.startdoc_millis;
  lock_printer(job, until);
  job.session.reset(snmp_create_session(job.address.c_str(), 2));
  if (!job.session) {
    job.failure = text_of("no SNMP session to the printer at %s", job.address.c_str());
    return "OK";
  }
  (void)snmp_init_snapshot_config(job.session.get(), &job.config);
  if (job.session->last_timed_out) {
    job.failure = text_of("the printer at %s does not answer over SNMP", job.address.c_str());
    return "OK";
  }
  Deadline deadline{job.session.get(), until, input_fd};
  if (snmp_wait_for_idle_before_print(job.session.get(), &job.config, deadline_callback, &deadline,
                                      &job.before)) {
    job.counted = true;
  } else if (deadline.passed) {
    // Busy all along: count from where it was, and say so.
    snmp_page_counts_from_data(&job.config, &deadline.last, &job.before);
    job.before.abandoned = 1;
    job.counted = true;
  } else {
    job.failure = text_of("polling the printer at %s failed before the job", job.address.c_str());
  }
  char errors[SNMP_ERROR_TEXT_SIZE] = {};
  if (job.config.delete_on_error && printer_in_error(job, errors, sizeof errors)) {
    LOG_INFO("Printer %s (%s) is in error (%s): job %s is to be deleted", job.printer_name.c_str(),
             job.address.c_str(), errors, job.job_id.c_str());
    report(job, HwcheckOutcome::ERROR,
           "job deleted: the printer at " + job.address + " is in error (" + errors + ")", nullptr);
    return "DELETE";
  }
  return "OK";
}

// The check after the job, in the detached child: the exit status.
int after_job(Job& job, const PrintMonitorLimits& limits) {
  if (!job.counted) {
    report(job, HwcheckOutcome::ERROR, job.failure, nullptr);
    return 0;
  }
  SnmpSession* session = job.session.get();
  Deadline deadline{session, snmp_session_now_millis(session) + limits.background_millis};
  PageCounts after{};
  if (!snmp_wait_for_printing(session, &job.config, deadline_callback, &deadline) ||
      !snmp_wait_for_idle(session, 1, &job.config, deadline_callback, &deadline, &job.before,
                          &after)) {
    if (!deadline.passed || !deadline.have_last) {
      report(job, HwcheckOutcome::ERROR,
             text_of("lost the printer at %s during the job (no answer, or a counter went down)",
                     job.address.c_str()),
             nullptr);
      return 1;
    }
    snmp_page_counts_from_data(&job.config, &deadline.last, &after);
    after.abandoned = 1;
  }
  PageCountDiff diff{};
  if (!snmp_page_count_diff(&job.config, &job.before, &after, &diff)) {
    report(job, HwcheckOutcome::ERROR,
           text_of("a page counter of the printer at %s went down during the job", job.address.c_str()),
           nullptr);
    return 1;
  }
  if (diff.abandoned || job.before.abandoned) {
    report(job, HwcheckOutcome::PARTIAL,
           text_of("gave up waiting for the printer at %s to settle: %ld pages (%ld colour) so far",
                   job.address.c_str(), static_cast<long>(diff.total),
                   static_cast<long>(diff.color)),
           &diff);
  } else {
    report(job, HwcheckOutcome::OK,
           text_of("%s counted %ld pages (%ld colour)", job.address.c_str(),
                   static_cast<long>(diff.total), static_cast<long>(diff.color)),
           &diff);
  }
  return 0;
}

const char* set_variable(Job& job, const std::string& name, const std::string& value) {
  if (name == "printername") {
    job.printer_name = value;
  } else if (name == "printeraddress") {
    job.address = value;
  } else if (name == "jobid") {
    job.job_id = value;
  } else if (name == "papersize") {
    job.paper_size = value;
  } else {
    return "ERROR unknown variable";
  }
  return "OK";
}

void answer(FILE* out, const char* text) {
  std::fprintf(out, "%s\n", text);
  std::fflush(out);
}

// One request line without its line end; false when the stream ended.
bool read_request(FILE* in, std::string* line) {
  line->clear();
  char chunk[PRINT_MONITOR_LINE_MAX + 1];
  while (std::fgets(chunk, sizeof chunk, in) != nullptr) {
    const std::size_t n = std::strlen(chunk);
    if (n > 0 && chunk[n - 1] == '\n') {
      if (line->size() < PRINT_MONITOR_LINE_MAX) line->append(chunk, n - 1);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    if (line->size() < PRINT_MONITOR_LINE_MAX) line->append(chunk, n);
  }
  return !line->empty();
}

}  // namespace

int print_monitor_serve(FILE* in, FILE* out, const PrintMonitorLimits& limits) {
  Job job;
  std::string line;
  while (read_request(in, &line)) {
    LOG_DEBUG("print monitor received: %s", line.c_str());
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) {
      answer(out, set_variable(job, line.substr(0, eq), line.substr(eq + 1)));
    } else if (line == "startdoc_lock") {
      answer(out, startdoc(job, limits, fileno(in)));
    } else if (line != "enddoc_bg") {
      answer(out, "ERROR unknown command");
    } else if (!job.started) {
      answer(out, "ERROR enddoc_bg before startdoc_lock");
    } else {
      std::fflush(nullptr);
      const pid_t child = fork();
      if (child < 0) {
        LOG_LAST_SYSTEM_ERROR("Unable to start the hardware check of job %s", job.job_id.c_str());
        answer(out, "ERROR unable to start the check after the job");
        continue;
      }
      if (child == 0) {
        (void)os_unix_daemonize();
        return after_job(job, limits);
      }
      answer(out, "OK");
      return 0;
    }
  }
  return 0;
}
