// What the print monitor tells the application server about one job
// (processPrintJobHardwareCheck). The fields, in the order sent:
//   1 text   this print server's name (ServerName)
//   2 text   the printer (CUPS queue) name
//   3 text   the CUPS job id
//   4 int    pages the printer counted for the job (0 when none could be counted)
//   5 int    colour pages the printer counted (0 when it keeps no colour counter)
//   6 text   "Y" when field 5 is a real colour count, "N" when the printer keeps
//            no colour counter, "" when nothing was counted
//   7 text   "SNMP": how the pages were counted
//   8 text   "OK" the printer settled and the counts are the job's; "PARTIAL" a
//            wait gave up (a time limit passed or a job was still active), the
//            counts are those so far; "ERROR" nothing could be counted (the
//            printer did not answer, a counter went down, or the job was deleted
//            because the printer was in error)
//   9 text   a line for the server's log saying what happened
#pragma once

#include <cstdint>
#include <string>

// The outcome of a hardware check for one job.
enum class HwcheckOutcome { OK, PARTIAL, ERROR };

struct HwcheckJobOutcome {
  std::string printer_name;
  std::string job_id;
  HwcheckOutcome outcome = HwcheckOutcome::ERROR;
  bool counted = false;     // fields 4 and 5 hold counts
  bool has_color = false;   // the printer keeps a colour counter
  std::int64_t pages = 0;
  std::int64_t color_pages = 0;
  std::string message;
};

// Sends the outcome to the application server; 0, or -1 when the call failed
// (logged).
[[nodiscard]] int hwcheck_report_job(const HwcheckJobOutcome& outcome);
