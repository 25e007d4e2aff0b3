#include "server/rpc_calls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "foundation/printer_settings.h"
#include "foundation/serialize_settings.h"
#include "server/events_manager.h"
#include "server/http.h"
#include "server/rpc_printer_settings.h"
#include "server/rpc_process_job.h"
#include "server/rpc_test_fixture.h"

namespace {

using ServerCalls = StandinTest;

std::string s(const std::string& text) { return "[\"string\", \"" + text + "\"]"; }
std::string i(int value) { return "[\"int\", " + std::to_string(value) + "]"; }
std::string b(bool value) { return std::string("[\"boolean\", ") + (value ? "true" : "false") + "]"; }
std::string list(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t n = 0; n < items.size(); ++n) text += (n ? ", " : "") + items[n];
  return text + "]";
}

// Every method's request as the server receives it.
struct RequestCase {
  const char* name;
  int env_version;
  std::function<void()> call;
  std::string method;
  std::string params;
};

TEST_F(ServerCalls, RequestsCarryTheirParametersInOrder) {
  HwcheckJobReport report{"t1", "t2", "t3", 4, 5, 1, 1, 2, "paper jam"};
  HwcheckJobReport report_codes{"a", "b", "c", -1, 0, 0, 0, 0, ""};
  HwcheckJobReport report_other{"a", "b", "c", 0, 0, 9, 9, 1, "m"};
  char buffer[64];
  int flag = 0;
  const std::vector<RequestCase> cases = {
      {"log critical", 13, [] { (void)rpc_log_message("srv", 0, "disk <full> & more"); },
       "log.logMessage", list({s("srv"), s("CRITICAL"), s("disk <full> & more")})},
      {"log warning", 13, [] { (void)rpc_log_messagef("srv", 1, "%s\\%s #%d", "a", "b", 7); },
       "log.logMessage", list({s("srv"), s("WARNING"), s("a\\\\b #7")})},
      {"log information", 13, [] { (void)rpc_log_message("srv", 9, "x"); }, "log.logMessage",
       list({s("srv"), s("INFORMATION"), s("x")})},
      {"notify copy", 13, [] { (void)rpc_notify_pdl_copy_complete("srv", "2024/01", "uid"); },
       "spoolwarden.notifyPdlCopyComplete", list({s("srv"), s("2024/01"), s("uid")})},
      {"spooled status", 13, [] { (void)rpc_update_spooled_job_status("1", "2", "3", "4"); },
       "spoolwarden.updateSpooledJobStatus", list({s("1"), s("2"), s("3"), s("4")})},
      {"validate redirected", 13,
       [&] { (void)rpc_validate_and_register_redirected_job("ruid", "9", &flag); },
       "spoolwarden.validateAndRegisterRedirectedJob", list({s("ruid"), s("9")})},
      {"ready", 13, [&] { (void)rpc_is_server_ready_to_register_printers(&flag); },
       "spoolwarden.isServerReadyToRegisterPrinters", "[]"},
      {"register v1", 3, [] { (void)rpc_register_printer("s", "p", "l", "4", "5", 1, "6", "7"); },
       "spoolwarden.registerPrinter", list({s("s"), s("p"), s("l")})},
      {"register v1 with texts", 4,
       [] { (void)rpc_register_printer("s", "p", "l", "4", "5", 1, "6", "7"); },
       "spoolwarden.registerPrinter", list({s("s"), s("p"), s("l"), s("4"), s("5")})},
      {"register v2", 10,
       [] { (void)rpc_register_printer("s", "p", "l", "4", "5", 2, "6", "7"); },
       "spoolwarden.registerPrinter2",
       list({s("s"), s("p"), s("l"), s("4"), s("5"), s("SAMBA"), i(10), s("6"), s("7")})},
      {"register v3", 13,
       [] { (void)rpc_register_printer("s", "p", "l", "4", "5", 5, "6", "7"); },
       "spoolwarden.registerPrinter3",
       list({s("s"), s("p"), s("l"), s("4"), s("5"), s(""), i(13), s("6"), s("7"), b(false)})},
      {"cancel", 13, [] { (void)rpc_process_print_job_cancellation("s", "p", "12", 1, 3); },
       "spoolwarden.cancelPrintJob", list({s("s"), s("p"), s("12"), b(true), i(3)})},
      {"printer state", 13, [] { (void)rpc_report_printer_state("s", "p", 2, 5, 0); },
       "spoolwarden.reportPrinterStatus",
       list({s("s"), s("p"), s(util_printer_state_to_string(2)), i(5), b(false)})},
      {"config", 13, [&] { (void)rpc_get_config(buffer, sizeof buffer); },
       "spoolwarden.getConfig", "[]"},
      {"config updated", 13, [&] { (void)rpc_get_config_last_updated(buffer, sizeof buffer); },
       "spoolwarden.getConfigLastUpdatedTime", "[]"},
      {"hardware check", 13,
       [&] { (void)rpc_process_print_job_hardware_check(&report, &flag); },
       "spoolwarden.processPrintJobHardwareCheck",
       list({s("t1"), s("t2"), s("t3"), i(4), i(5), s("N"), s("PJL"), s("PARTIAL"),
             s("paper jam")})},
      {"hardware check first codes", 13,
       [&] { (void)rpc_process_print_job_hardware_check(&report_codes, &flag); },
       "spoolwarden.processPrintJobHardwareCheck",
       list({s("a"), s("b"), s("c"), i(-1), i(0), s("Y"), s("SNMP"), s("OK"), s("")})},
      {"hardware check other codes", 13,
       [&] { (void)rpc_process_print_job_hardware_check(&report_other, &flag); },
       "spoolwarden.processPrintJobHardwareCheck",
       list({s("a"), s("b"), s("c"), i(0), i(0), s(""), s("PJL"), s("ERROR"), s("m")})},
      {"pending jobs", 13,
       [] {
         char(*ids)[RPC_SPOOLED_JOB_ID_SIZE] = nullptr;
         (void)rpc_get_pending_spooled_jobs("srv", &ids);
         std::free(ids);
       },
       "spoolwarden.getPendingSpooledPrintJobs", list({s("srv")})},
      {"drain events", 13, [] { (void)rpc_drain_events(1000, 1000, "srv", 10, nullptr); },
       "spoolwarden.drainEvents", list({s("srv"), i(10)})},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    server_->clear_calls();
    global_ctx.env_version = c.env_version;
    c.call();
    const auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, c.method);
    EXPECT_EQ(calls[0].params, c.params);
  }
}

TEST_F(ServerCalls, PastJobSendsTheFirstSixteenDecisionParameters) {
  auto ja = make_job();
  int retry = -1;
  server_->answer("spoolwarden.processPastPrintJob", "\"RETRY\"");
  ASSERT_EQ(rpc_process_past_print_job(ja.get(), 11, &retry), 0);
  EXPECT_EQ(retry, 1);
  const auto calls = server_->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].method, "spoolwarden.processPastPrintJob");
  EXPECT_EQ(calls[0].params,
            list({"[\"dateTime.iso8601\", \"20240305T14:07:09\"]", s("printsrv"), s("laser1"),
                  s("desk7"), s("42"), s("Unknown"), s("report.pdf"), s("alice"), i(3), i(2),
                  b(true), b(false), s("A4"), i(210), i(297), i(17), i(11), s("10.0.0.7"),
                  i(1)}));
}

// What each method makes of the reply types it may get.
struct ReplyCase {
  const char* name;
  std::string method;
  std::string answer;  // JSON
  std::function<int()> call;
  int rc;
};

TEST_F(ServerCalls, RepliesAreReadPerMethod) {
  int flag = -7;
  int retry = -7;
  char buffer[8] = "";
  auto ja = make_job();
  HwcheckJobReport report{"a", "b", "c", 0, 0, 0, 0, 0, "m"};
  const std::vector<ReplyCase> cases = {
      {"log SUCCESS", "log.logMessage", "\"SUCCESS\"", [] { return rpc_log_message("s", 2, "t"); },
       0},
      {"log boolean true", "log.logMessage", "true", [] { return rpc_log_message("s", 2, "t"); },
       0},
      {"log OK string", "log.logMessage", "\"OK\"", [] { return rpc_log_message("s", 2, "t"); },
       -1},
      {"log fault", "log.logMessage", "{\"fault\": [3, \"no\"]}",
       [] { return rpc_log_message("s", 2, "t"); }, -1},
      {"notify ignores faults", "spoolwarden.notifyPdlCopyComplete", "{\"fault\": [3, \"no\"]}",
       [] { return rpc_notify_pdl_copy_complete("s", "a", "u"); }, 0},
      {"spooled status any reply", "spoolwarden.updateSpooledJobStatus", "\"x\"",
       [] { return rpc_update_spooled_job_status("1", "2", "3", "4"); }, 0},
      {"validate false", "spoolwarden.validateAndRegisterRedirectedJob", "false",
       [&] { flag = -7; int rc = rpc_validate_and_register_redirected_job("u", "1", &flag);
             return rc == 0 && flag == 0 ? 0 : -2; }, 0},
      {"validate string", "spoolwarden.validateAndRegisterRedirectedJob", "\"true\"",
       [&] { return rpc_validate_and_register_redirected_job("u", "1", &flag); }, -1},
      {"ready true", "spoolwarden.isServerReadyToRegisterPrinters", "true",
       [&] { flag = -7; int rc = rpc_is_server_ready_to_register_printers(&flag);
             return rc == 0 && flag == 1 ? 0 : -2; }, 0},
      {"ready string leaves the flag", "spoolwarden.isServerReadyToRegisterPrinters", "\"yes\"",
       [&] { flag = -7; int rc = rpc_is_server_ready_to_register_printers(&flag);
             return rc == 0 && flag == -7 ? 0 : -2; }, 0},
      {"ready without flag", "spoolwarden.isServerReadyToRegisterPrinters", "true",
       [] { return rpc_is_server_ready_to_register_printers(nullptr); }, 0},
      {"register FAILURE", "spoolwarden.registerPrinter3", "\"FAILURE\"",
       [] { return rpc_register_printer("s", "p", "", "", "", 5, "", ""); }, -1},
      {"register other string", "spoolwarden.registerPrinter3", "\"FAILURE2\"",
       [] { return rpc_register_printer("s", "p", "", "", "", 5, "", ""); }, 0},
      {"cancel false", "spoolwarden.cancelPrintJob", "false",
       [] { return rpc_process_print_job_cancellation("s", "p", "1", 0, 0); }, -1},
      {"cancel true", "spoolwarden.cancelPrintJob", "true",
       [] { return rpc_process_print_job_cancellation("s", "p", "1", 0, 0); }, 0},
      {"cancel string", "spoolwarden.cancelPrintJob", "\"no\"",
       [] { return rpc_process_print_job_cancellation("s", "p", "1", 0, 0); }, 0},
      {"printer state int", "spoolwarden.reportPrinterStatus", "7",
       [] { return rpc_report_printer_state("s", "p", 0, 0, 0); }, 7},
      {"printer state string", "spoolwarden.reportPrinterStatus", "\"7\"",
       [] { return rpc_report_printer_state("s", "p", 0, 0, 0); }, 0},
      {"config is cut", "spoolwarden.getConfig", "\"abcdefghij\"",
       [&] { int rc = rpc_get_config(buffer, sizeof buffer);
             return rc == 0 && std::string(buffer) == "abcdefg" ? 0 : -2; }, 0},
      {"config int", "spoolwarden.getConfigLastUpdatedTime", "5",
       [&] { return rpc_get_config_last_updated(buffer, sizeof buffer); }, -1},
      {"past job other string", "spoolwarden.processPastPrintJob", "\"OK\"",
       [&] { retry = -7; int rc = rpc_process_past_print_job(ja.get(), 0, &retry);
             return rc == 0 && retry == 0 ? 0 : -2; }, 0},
      {"past job boolean", "spoolwarden.processPastPrintJob", "true",
       [&] { return rpc_process_past_print_job(ja.get(), 0, &retry); }, -1},
      {"hardware check true", "spoolwarden.processPrintJobHardwareCheck", "true",
       [&] { int rc = rpc_process_print_job_hardware_check(&report, &flag);
             return rc == 0 && flag == 1 ? 0 : -2; }, 0},
      {"hardware check int", "spoolwarden.processPrintJobHardwareCheck", "1",
       [&] { flag = -7; int rc = rpc_process_print_job_hardware_check(&report, &flag);
             return rc == -1 && flag == 0 ? -1 : -2; }, -1},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    server_->answer(c.method, c.answer);
    EXPECT_EQ(c.call(), c.rc);
  }
}

TEST_F(ServerCalls, PendingSpooledJobsFillZeroEndedSlots) {
  const std::string long_id(40, 'x');
  const struct {
    const char* name;
    std::string answer;
    std::size_t slots;
    std::vector<std::string> ids;
  } rows[] = {
      {"empty item between", "\"a,b,,c\"", 5, {"a", "b", "c"}},
      {"empty reply", "\"\"", 1, {}},
      {"trailing comma", "\"id1,\"", 3, {"id1"}},
      {"too long id skipped", "\"" + long_id + ",ok\"", 3, {"ok"}},
      {"39 characters kept", "\"" + long_id.substr(1) + "\"", 2, {long_id.substr(1)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    server_->answer("spoolwarden.getPendingSpooledPrintJobs", row.answer);
    char(*ids)[RPC_SPOOLED_JOB_ID_SIZE] = nullptr;
    ASSERT_EQ(rpc_get_pending_spooled_jobs("srv", &ids), 0);
    ASSERT_NE(ids, nullptr);
    // The array ends with at least one empty slot; ids fill the slots in order.
    std::size_t n = 0;
    for (; n < row.ids.size(); ++n) EXPECT_STREQ(ids[n], row.ids[n].c_str());
    for (; n < row.slots; ++n) EXPECT_STREQ(ids[n], "");
    std::free(ids);
  }
  server_->answer("spoolwarden.getPendingSpooledPrintJobs", "3");
  char(*ids)[RPC_SPOOLED_JOB_ID_SIZE] = reinterpret_cast<char(*)[RPC_SPOOLED_JOB_ID_SIZE]>(1);
  EXPECT_EQ(rpc_get_pending_spooled_jobs("srv", &ids), 0);
  EXPECT_EQ(ids, nullptr);
}

TEST_F(ServerCalls, FailuresOfTheTransport) {
  // A fault, a reply slower than the network time-out, and nobody listening.
  server_->answer("spoolwarden.getConfig", "{\"fault\": [17, \"no config\"]}");
  char buffer[16];
  EXPECT_EQ(rpc_get_config(buffer, sizeof buffer), -1);
  global_ctx.send_timeout_ms = 300;
  server_->answer("spoolwarden.getConfig", "{\"sleep\": 2, \"answer\": \"late\"}");
  EXPECT_EQ(rpc_get_config(buffer, sizeof buffer), -1);
  server_->stop();
  EXPECT_EQ(rpc_get_config(buffer, sizeof buffer), -1);
  int flag = 0;
  EXPECT_EQ(rpc_is_server_ready_to_register_printers(&flag), -1);
}

// Nobody listening: every operation gives its documented failure result, its
// out values are what the caller may rely on, and the connection attempts
// follow each method's connect retries.
int g_retry_waits = 0;
void count_retry_wait(int) { ++g_retry_waits; }

TEST_F(ServerCalls, EveryOperationWithTheServerDown) {
  server_->stop();
  global_ctx.process_job_connect_retries = 2;
  const HttpSleepFunction saved_sleep = http_set_retry_sleep(count_retry_wait);
  auto ja = make_job();
  HwcheckJobReport report{"t1", "t2", "t3", 4, 5, 1, 1, 2, "m"};
  struct Row {
    const char* name;
    std::function<int()> call;
    int rc;
    int retry_waits;
  };
  int flag = 7;
  int retry = 7;
  char text[16] = "untouched";
  char (*ids)[RPC_SPOOLED_JOB_ID_SIZE] = nullptr;
  ProcessJobResponse response{};
  const Row rows[] = {
      {"log message", [] { return rpc_log_message("s", 0, "t"); }, -1, 0},
      {"notify copy complete", [] { return rpc_notify_pdl_copy_complete("s", "a", "u"); }, 0, 0},
      {"update spooled job", [] { return rpc_update_spooled_job_status("a", "b", "c", "d"); }, -1,
       0},
      {"validate redirected job",
       [&] { return rpc_validate_and_register_redirected_job("u", "j", &flag); }, -1, 0},
      {"server ready", [&] { return rpc_is_server_ready_to_register_printers(&flag); }, -1, 0},
      {"register printer", [] { return rpc_register_printer("s", "p", "", "", "", 1, "", ""); },
       -1, 0},
      {"cancel job", [] { return rpc_process_print_job_cancellation("s", "p", "j", 1, 2); }, -1, 2},
      {"report printer state", [] { return rpc_report_printer_state("s", "p", 0, 0, 0); }, -1, 0},
      {"get config", [&] { return rpc_get_config(text, sizeof text); }, -1, 0},
      {"config last updated", [&] { return rpc_get_config_last_updated(text, sizeof text); }, -1,
       0},
      {"past job", [&] { return rpc_process_past_print_job(ja.get(), 1, &retry); }, -1, 0},
      {"hardware check", [&] { return rpc_process_print_job_hardware_check(&report, &flag); }, -1,
       0},
      {"pending jobs", [&] { return rpc_get_pending_spooled_jobs("s", &ids); }, -1, 0},
      {"drain events", [] { return rpc_drain_events(1000, 1000, "s", 0, nullptr); }, -1, 0},
      {"decision", [&] { return rpc_process_print_job(ja.get(), 0, &response, 0); }, -1, 2},
      {"pre-notification", [&] { return rpc_print_job_pre_notification(ja.get(), &response); },
       -1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    g_retry_waits = 0;
    response.status = PROCESS_JOB_PRINT;
    EXPECT_EQ(row.call(), row.rc);
    EXPECT_EQ(g_retry_waits, row.retry_waits);
  }
  http_set_retry_sleep(saved_sleep);
  EXPECT_EQ(flag, 0);  // the hardware check clears its flag before the call
  EXPECT_EQ(retry, 7);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(ids, nullptr);
  EXPECT_EQ(response.status, PROCESS_JOB_ERROR);
  EXPECT_TRUE(server_->calls().empty());
}

// Printer settings: from the server, else the stored file, else defaults.
class PrinterSettingsTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    settings_dir_ = dir_ / "settings";
    std::filesystem::create_directories(settings_dir_);
    util_safe_strncpy(global_ctx.settings_spool_dir_path, settings_dir_.c_str(),
                      sizeof global_ctx.settings_spool_dir_path);
    util_safe_strncpy(global_ctx.server_name, "confname", sizeof global_ctx.server_name);
  }
  int fetch(PrinterSettings* settings) {
    return rpc_get_printer_config_settings(1000, 5000, "argname", "laser1", settings);
  }
  std::filesystem::path settings_dir_;
};

TEST_F(PrinterSettingsTest, OldServersOnlyGiveColourDetection) {
  global_ctx.env_version = 5;
  const struct {
    std::string answer;
    int rc;
    int colour;
  } rows[] = {{"\"y\"", 1, 1}, {"\"Yes\"", 1, 1}, {"\"N\"", 1, 0}, {"true", 0, 0},
              {"{\"fault\": [1, \"x\"]}", 0, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    server_->clear_calls();
    server_->answer("spoolwarden.getPrinterConfigString", row.answer);
    PrinterSettings settings{};
    settings.enable_color_detection = 1;
    settings.failure_mode = 2;
    EXPECT_EQ(fetch(&settings), row.rc);
    EXPECT_EQ(settings.enable_color_detection, row.colour);
    EXPECT_EQ(settings.failure_mode, 0);
    const auto calls = server_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].params, list({s("confname"), s("laser1"), s("color-detection")}));
  }
}

TEST_F(PrinterSettingsTest, ServerStoredOrDefault) {
  PrinterSettings settings{};
  // Unreachable, nothing stored: defaults.
  server_->answer("spoolwarden.getPrinterConfig", "{\"fault\": [1, \"x\"]}");
  EXPECT_EQ(fetch(&settings), 0);
  PrinterSettings defaults{};
  printer_settings_init_defaults(&defaults);
  EXPECT_EQ(serialize_settings_equals(&settings, &defaults), 1);
  EXPECT_TRUE(std::filesystem::is_empty(settings_dir_));

  // The server's settings are used and stored.
  server_->clear_calls();
  server_->answer("spoolwarden.getPrinterConfig",
                  "\"color-detection=Y;failure-mode=HOLD;\"");
  ASSERT_EQ(fetch(&settings), 1);
  const auto calls = server_->calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].params, list({s("argname"), s("laser1")}));
  PrinterSettings stored{};
  printer_settings_init_defaults(&stored);
  ASSERT_EQ(serialize_settings_readin(settings_dir_.c_str(), "laser1", &stored), 1);
  EXPECT_EQ(serialize_settings_equals(&settings, &stored), 1);

  // Unreachable (or unparsable) with a stored file: the stored settings, file untouched.
  const auto file = settings_dir_ / "laser1.dat";
  const auto written = std::filesystem::last_write_time(file);
  for (const std::string answer : {"{\"fault\": [1, \"x\"]}", "\"nonsense\"", "4"}) {
    SCOPED_TRACE(answer);
    server_->answer("spoolwarden.getPrinterConfig", answer);
    PrinterSettings again{};
    EXPECT_EQ(fetch(&again), 1);
    EXPECT_EQ(serialize_settings_equals(&again, &stored), 1);
    EXPECT_EQ(std::filesystem::last_write_time(file), written);
  }
}

}  // namespace
