// The waits around a job. Each pass polls the printer, compares with the
// previous poll, decides, calls the caller's callback and sleeps.
#include "hwcheck/snmp_logging.h"
#include "hwcheck/snmp_wait.h"

namespace {

unsigned long ul(std::uint64_t v) { return static_cast<unsigned long>(v); }

// The error and no-error time limits of a wait, on the session's clock in
// whole seconds. The clock restarts whenever the printer enters or leaves
// an error.
class WaitClock {
 public:
  explicit WaitClock(const SnmpSession* session) : session_(session) { restart(); }
  void restart() { start_ = seconds(); }
  // True when a limit above 0 has passed.
  bool passed(std::int64_t limit_secs) const {
    return limit_secs > 0 && seconds() - start_ > limit_secs;
  }
  std::int64_t waited() const { return seconds() - start_; }

 private:
  std::int64_t seconds() const { return snmp_session_now_millis(session_) / 1000; }
  const SnmpSession* session_;
  std::int64_t start_ = 0;
};

// The poll interval grows by the error increment while it is below the
// error back-off limit.
void increase_interval(const SnmpSnapshotConfig* c, std::int64_t* interval) {
  if (*interval < c->max_error_backoff_secs * 1000) {
    *interval += c->error_increment_secs * 1000;
    HW_DEBUG("increased the delay on error to: %lu", ul(static_cast<std::uint64_t>(*interval)));
  }
}

bool device_down(const SnmpSnapshotConfig* c, const PrinterData* d) {
  return c->use_device_status && d->device_status == 5;
}

bool is_idle(const SnmpSnapshotConfig* c, const PrinterData* d) {
  if (d->printer_status == 3) return true;
  return d->printer_status == 1 &&
         (!c->use_device_status || d->device_status == 2 || d->device_status == 3);
}

// Compares a poll with the previous one: false when a counter dropped.
bool compare_polls(const PrinterData* previous, const PrinterData* current) {
  (void)snmp_log_differences_printer_data(previous, current, 1);
  if (snmp_negative_diff_printer_data(previous, current)) {
    HW_ERROR("A page counter detected as decreasing.");
    return false;
  }
  return true;
}

bool call_back(SnmpPollCallback callback, const SnmpSnapshotConfig* c, const PrinterData* d,
               void* callback_data) {
  if (callback == nullptr || callback(c, d, callback_data, 0) != 0) return true;
  HW_DEBUG("snmp loop callback failed");
  return false;
}

// The state of one idle wait between its passes.
struct IdleWait {
  bool after = false;
  std::int64_t loops = 0;
  std::int64_t stable = 0;  // consecutive idle polls
  bool extra_time = false;
  bool in_error = false;
};

enum class Verdict { GO_ON, IDLE, GIVE_UP };

// An idle poll: stabilization, extra time when the job moved no counter.
Verdict idle_poll(SnmpSession* session, const SnmpSnapshotConfig* c, const PageCounts* before,
                  const PageCounts* counts, IdleWait* w) {
  if (w->loops == 0) {
    HW_DEBUG("we have reached idle state (no stabilization)");
    return Verdict::IDLE;
  }
  int exists = 1;
  if (c->custom_job_exists != nullptr && c->custom_job_exists(session, &exists) && !exists) {
    HW_DEBUG("detected no pending jobs (no stabilization)");
    return Verdict::IDLE;
  }
  ++w->stable;
  HW_DEBUG("increment stabilization count: %lu", ul(static_cast<std::uint64_t>(w->stable)));
  if (w->stable <= w->loops) return Verdict::GO_ON;
  const bool unchanged = w->after && before != nullptr &&
                         counts->total_page_count == before->total_page_count;
  if (w->extra_time) {
    if (!unchanged) return Verdict::IDLE;
    HW_DEBUG("we have reached idle state (with stabilization) and no counter changes");
    return Verdict::GIVE_UP;  // settled, but the job may be pending: the abandon check decides
  }
  if (!unchanged || c->extra_time_loops <= 0) return Verdict::IDLE;
  w->loops += c->extra_time_loops;
  w->extra_time = true;
  HW_DEBUG("going into extra stabilization time of %lu loops because counter not changed since "
           "job start",
           ul(static_cast<std::uint64_t>(c->extra_time_loops)));
  return Verdict::GO_ON;
}

}  // namespace

void snmp_page_counts_from_data(const SnmpSnapshotConfig* c, const PrinterData* d,
                                PageCounts* counts) {
  *counts = PageCounts{};
  counts->total_page_count = c->total.any_usable ? d->total_count : d->marker_count;
  counts->has_color_count = c->color.any_usable;
  counts->color_page_count = d->color_count;
  counts->has_large_page_count = c->large.any_usable;
  counts->large_page_count = d->large_page_count;
}

int snmp_wait_for_printing(SnmpSession* session, const SnmpSnapshotConfig* c,
                           SnmpPollCallback callback, void* callback_data) {
  std::int64_t interval = c->printing_poll_interval_ms;
  WaitClock clock(session);
  HW_DEBUG("*** Waiting for PRINTING (interval of %lu milliseconds) ***",
           ul(static_cast<std::uint64_t>(interval)));
  PrinterData previous{};
  PrinterData data{};
  bool in_error = false;
  std::uint64_t first_main = 0;
  for (bool first = true;; first = false) {
    if (!snmp_get_printer_data_retry(session, c, &data, c->retries_after, callback, callback_data)) {
      return 0;
    }
    if (!first && !compare_polls(&previous, &data)) return 0;
    const bool error_now = snmp_in_error(c, &data) != 0;
    if (error_now != in_error) clock.restart();
    in_error = error_now;
    if (data.printer_status == 4 || data.printer_status == 5) {
      HW_DEBUG("we have reached printing state");
      return 1;
    }
    const std::uint64_t main = snmp_main_counter(c, &data);
    if (first) {
      first_main = main;
    } else if (main > first_main) {
      HW_DEBUG("Increase in counter detected (%lu to %lu) and still not printing", ul(first_main),
               ul(main));
      return 1;
    }
    if (in_error) {
      if (clock.passed(c->printing_error_max_secs)) {
        HW_DEBUG("give up on waiting for printing state in error. Have already waited over: %lu secs",
                 ul(static_cast<std::uint64_t>(clock.waited())));
        return 1;
      }
      increase_interval(c, &interval);
    } else if (clock.passed(c->printing_noerror_max_secs)) {
      HW_DEBUG("give up on waiting for printing state. Have already waited over: %lu secs",
               ul(static_cast<std::uint64_t>(clock.waited())));
      return 1;
    } else if (device_down(c, &data)) {
      increase_interval(c, &interval);
    } else {
      interval = c->printing_poll_interval_ms;
    }
    previous = data;
    if (!call_back(callback, c, &data, callback_data)) return 0;
    snmp_session_sleep_millis(session, interval);
  }
}

int snmp_wait_for_idle(SnmpSession* session, int after, const SnmpSnapshotConfig* c,
                       SnmpPollCallback callback, void* callback_data, const PageCounts* before,
                       PageCounts* counts) {
  std::int64_t interval = c->idle_poll_interval_ms;
  WaitClock clock(session);
  IdleWait w;
  w.after = after != 0;
  w.loops = w.after ? c->loops_after : c->loops_before;
  const std::int64_t retries = w.after ? c->retries_after : 0;
  HW_DEBUG("*** Waiting for IDLE %s (interval of %lu milliseconds) ***",
           w.after ? "after printing" : "before printing", ul(static_cast<std::uint64_t>(interval)));
  PrinterData previous{};
  PrinterData data{};
  for (bool first = true;; first = false) {
    if (!snmp_get_printer_data_retry(session, c, &data, retries, callback, callback_data)) {
      HW_DEBUG("snmp_get_printer_data_retry failed");
      return 0;
    }
    if (first) {
      snmp_log_printer_data(c, &data);
    } else {
      if (!compare_polls(&previous, &data)) return 0;
      if (snmp_main_counter(c, &data) != snmp_main_counter(c, &previous)) {
        HW_DEBUG("Counter changed during stabilization, reset stabilization counter");
        w.stable = 0;
        if (w.extra_time) {
          w.loops = c->loops_after;
          HW_DEBUG("In extra time, num loops reset to %lu", ul(static_cast<std::uint64_t>(w.loops)));
        }
      }
    }
    snmp_page_counts_from_data(c, &data, counts);
    if (snmp_in_error(c, &data)) {
      HW_DEBUG("detected in error");
      snmp_log_printer_data(c, &data);
      if (!w.in_error) clock.restart();
      w.in_error = true;
      if (clock.passed(c->idle_error_max_secs)) {
        HW_DEBUG("give up on waiting for idle state in error. Have already waited over: %lu secs",
                 ul(static_cast<std::uint64_t>(clock.waited())));
        // The printer never settled: what was counted may be mid-job.
        counts->abandoned = 1;
        snmp_abandon_check(session, c, counts);
        return 1;
      }
      w.stable = 0;
      increase_interval(c, &interval);
    } else {
      if (w.in_error) clock.restart();
      w.in_error = false;
      Verdict verdict = Verdict::GO_ON;
      if (is_idle(c, &data)) {
        verdict = idle_poll(session, c, before, counts, &w);
      } else {
        w.stable = 0;
      }
      if (verdict == Verdict::GIVE_UP) {
        snmp_abandon_check(session, c, counts);
        return 1;
      }
      if (verdict == Verdict::IDLE) {
        HW_DEBUG("we have reached idle state (with stabilization)");
        return 1;
      }
      if (clock.passed(c->idle_noerror_max_secs)) {
        HW_DEBUG("give up on waiting for idle state. Have already waited over: %lu secs",
                 ul(static_cast<std::uint64_t>(clock.waited())));
        counts->abandoned = 1;
        snmp_abandon_check(session, c, counts);
        return 1;
      }
      if (device_down(c, &data)) {
        increase_interval(c, &interval);
      } else {
        interval = c->idle_poll_interval_ms;
      }
    }
    previous = data;
    if (!call_back(callback, c, &data, callback_data)) return 0;
    snmp_session_sleep_millis(session, interval);
  }
}

int snmp_wait_for_idle_before_print(SnmpSession* session, const SnmpSnapshotConfig* config,
                                    SnmpPollCallback callback, void* callback_data,
                                    PageCounts* counts) {
  *counts = PageCounts{};
  if (!snmp_wait_for_idle(session, 0, config, callback, callback_data, nullptr, counts)) return 0;
  snmp_log_page_counts(counts);
  return 1;
}

int snmp_wait_for_idle_after_print(SnmpSession* session, const SnmpSnapshotConfig* config,
                                   SnmpPollCallback callback, void* callback_data,
                                   const PageCounts* before, PageCountDiff* diff) {
  *diff = PageCountDiff{};
  if (!snmp_wait_for_printing(session, config, callback, callback_data)) return 0;
  PageCounts after{};
  if (!snmp_wait_for_idle(session, 1, config, callback, callback_data, before, &after)) return 0;
  snmp_log_page_counts(&after);
  if (!snmp_page_count_diff(config, before, &after, diff)) {
    if (!after.abandoned) return 0;
    *diff = PageCountDiff{};
    diff->has_color = before->has_color_count;
    diff->abandoned = 1;
  }
  return 1;
}
