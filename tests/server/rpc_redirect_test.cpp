#include "server/rpc_redirect.h"

#include <gtest/gtest.h>

#include <string>

#include "server/rpc_calls.h"
#include "server/rpc_test_fixture.h"

namespace {

TEST(RedirectText, OnlyHostColonPortStartsARedirect) {
  const sw_test::ScopedGlobalContext context;
  const struct {
    std::string text;
    int started;
    std::string host;
    int port;
  } rows[] = {
      {"ab:1", 0, "", 0},            // colon at index 2
      {"abc:1", 1, "abc", 1},        // colon at index 3
      {"abc:", 0, "", 0},            // colon last
      {"abc", 0, "", 0},             // too short
      {"", 0, "", 0},
      {"hostname", 0, "", 0},        // no colon
      {"abc:0", 0, "", 0},           // port out of range
      {"abc:65536", 0, "", 0},
      {"abc:99999999999", 0, "", 0},
      {"abc:-1", 0, "", 0},
      {"abc:x", 0, "", 0},
      {"abc:65535", 1, "abc", 65535},
      {"10.1.2.3:9192", 1, "10.1.2.3", 9192},
      {"srv:9192:extra", 1, "srv", 9192},
      {std::string(1019, 'h') + ":9192", 1, std::string(1019, 'h'), 9192},  // 1024 characters
      {std::string(1020, 'h') + ":9192", 0, "", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 40));
    redirect_state_clear(&global_redirect_state);
    util_safe_strncpy(global_ctx.app_server_name, "home", sizeof global_ctx.app_server_name);
    global_ctx.app_server_port = 9191;
    ASSERT_EQ(global_use_redirect_server(row.text.c_str()), row.started);
    char host[REDIRECT_HOST_SIZE];
    int port = -1;
    global_get_server_address(host, sizeof host, &port);
    if (row.started) {
      EXPECT_EQ(host, row.host);
      EXPECT_EQ(port, row.port);
      // A second redirect is refused while one is active.
      EXPECT_EQ(global_use_redirect_server("other:1"), 0);
      EXPECT_EQ(global_cancel_redirect_server(), 1);
    }
    global_get_server_address(host, sizeof host, &port);
    EXPECT_STREQ(host, "home");
    EXPECT_EQ(port, 9191);
    EXPECT_EQ(global_cancel_redirect_server(), 0);
  }
  redirect_state_clear(&global_redirect_state);
  EXPECT_EQ(global_use_redirect_server(nullptr), 0);
}

TEST(RedirectText, AddressIsCutToTheBuffer) {
  redirect_state_clear(&global_redirect_state);
  ASSERT_EQ(global_use_redirect_server("longhostname:80"), 1);
  char host[5];
  int port = 0;
  global_get_server_address(host, sizeof host, &port);
  EXPECT_STREQ(host, "long");
  EXPECT_EQ(port, 80);
  global_get_server_address(host, sizeof host, nullptr);
  redirect_state_clear(&global_redirect_state);
}

// Two stand-ins: the configured server (home) and a redirect target.
class Redirect : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    target_ = std::make_unique<sw_test::AppServerStandin>(dir_ / "target");
    ASSERT_TRUE(target_->running());
    target_address_ = "127.0.0.1:" + std::to_string(target_->port());
  }
  void TearDown() override {
    target_.reset();
    StandinTest::TearDown();
  }
  void home_redirects() {
    server_->write_script("{\"redirect\": \"" + target_address_ + "\"}");
  }
  static int register_one() {
    return rpc_register_printer("s", "p", "", "", "", 5, "", "");
  }
  std::size_t home_calls() const { return server_->calls().size(); }
  std::size_t target_calls() const { return target_->calls().size(); }

  std::unique_ptr<sw_test::AppServerStandin> target_;
  std::string target_address_;
};

TEST_F(Redirect, Fault1000MovesCallsToTheTarget) {
  home_redirects();
  ASSERT_EQ(register_one(), 0);
  EXPECT_EQ(home_calls(), 1u);
  EXPECT_EQ(target_calls(), 1u);
  EXPECT_EQ(global_redirect_state.active, 1);
  // Later calls go straight to the target.
  ASSERT_EQ(register_one(), 0);
  EXPECT_EQ(home_calls(), 1u);
  EXPECT_EQ(target_calls(), 2u);
}

TEST_F(Redirect, TargetRefusingReturnsToHomeOnce) {
  home_redirects();
  ASSERT_EQ(register_one(), 0);
  server_->write_script("{}");
  target_->stop();
  // The request never reached the target: it is repeated on home.
  ASSERT_EQ(register_one(), 0);
  EXPECT_EQ(home_calls(), 2u);
  EXPECT_EQ(global_redirect_state.active, 0);
}

TEST_F(Redirect, RepeatOnHomeFailingEndsTheCall) {
  home_redirects();
  ASSERT_EQ(register_one(), 0);
  target_->stop();
  // Home still redirects: the repeat's fault 1000 is not followed again.
  EXPECT_EQ(register_one(), -1);
  EXPECT_EQ(home_calls(), 2u);
  EXPECT_EQ(global_redirect_state.active, 0);
}

TEST_F(Redirect, RequestThatReachedTheTargetIsNotRepeated) {
  const struct {
    const char* name;
    std::string target_answer;
    int send_timeout_ms;
  } rows[] = {
      {"server fault", "{\"fault\": [42, \"database locked\"]}", 10000},
      {"reply too late", "{\"sleep\": 2, \"answer\": \"OK\"}", 400},
      {"bad reply", "{\"fault\": [0, \"\"]}", 10000},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    redirect_state_clear(&global_redirect_state);
    server_->clear_calls();
    global_ctx.send_timeout_ms = 10000;
    home_redirects();
    ASSERT_EQ(register_one(), 0);
    server_->write_script("{}");
    target_->answer("spoolwarden.registerPrinter3", row.target_answer);
    global_ctx.send_timeout_ms = row.send_timeout_ms;
    // The target may have recorded the request: sending it to home too could
    // record it twice.
    EXPECT_EQ(register_one(), -1);
    EXPECT_EQ(home_calls(), 1u);
    EXPECT_EQ(global_redirect_state.active, 0);
    target_->write_script("{}");
  }
}

// A read-only call keeps its one repeat on home even when the target got the
// request: repeating it can record nothing.
TEST_F(Redirect, ReadOnlyCallThatReachedTheTargetIsRepeatedOnHome) {
  home_redirects();
  ASSERT_EQ(register_one(), 0);
  server_->write_script("{}");
  target_->answer("spoolwarden.isServerReadyToRegisterPrinters",
                  "{\"fault\": [42, \"database locked\"]}");
  int ready = 0;
  ASSERT_EQ(rpc_is_server_ready_to_register_printers(&ready), 0);
  EXPECT_EQ(ready, 1);
  EXPECT_EQ(home_calls(), 2u);
  EXPECT_EQ(global_redirect_state.active, 0);
}

TEST(RedirectMethods, OnlyReadingMethodsAreReadOnly) {
  for (const char* method : {"spoolwarden.getPrinterConfig", "spoolwarden.getPrinterConfigString",
                             "spoolwarden.getConfig", "spoolwarden.getConfigLastUpdatedTime",
                             "spoolwarden.isServerReadyToRegisterPrinters",
                             "spoolwarden.getPendingSpooledPrintJobs"}) {
    EXPECT_EQ(rpc_method_is_read_only(method), 1) << method;
  }
  for (const char* method : std::initializer_list<const char*>{
           "spoolwarden.processPrintJob6", "spoolwarden.processPrintJob", "spoolwarden.cancelPrintJob",
        "spoolwarden.processPastPrintJob", "spoolwarden.registerPrinter3", "log.logMessage",
        "spoolwarden.drainEvents", "spoolwarden.validateAndRegisterRedirectedJob",
        "spoolwarden.getPrinterConfigX", "", nullptr}) {
    EXPECT_EQ(rpc_method_is_read_only(method), 0) << (method != nullptr ? method : "null");
  }
}

TEST_F(Redirect, SecondRedirectWhileActiveIsRefused) {
  home_redirects();
  ASSERT_EQ(register_one(), 0);
  target_->write_script("{\"redirect\": \"127.0.0.1:1\"}");
  EXPECT_EQ(register_one(), -1);
  EXPECT_EQ(home_calls(), 1u);
  EXPECT_STREQ(global_redirect_state.host, "127.0.0.1");
  EXPECT_EQ(global_redirect_state.port, target_->port());
}

TEST_F(Redirect, InvalidRedirectTextsFailTheCall) {
  const std::string texts[] = {
      "ab:1", "127.0.0.1:0", "127.0.0.1:", "127.0.0.1:70000", "",
      // Over 1024 characters, though its first 1024 would name the target.
      target_address_ + ";" + std::string(1100, 'x'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 40));
    server_->write_script(std::string("{\"methods\": {\"spoolwarden.registerPrinter3\": "
                                      "{\"answer\": {\"fault\": [1000, \"") +
                          text + "\"]}}}}");
    EXPECT_EQ(register_one(), -1);
    EXPECT_EQ(global_redirect_state.active, 0);
  }
  EXPECT_EQ(target_calls(), 0u);
}

TEST_F(Redirect, CheckPeriodEndsTheRedirect) {
  global_ctx.app_server_redirect_check_secs = 60;
  home_redirects();
  ASSERT_EQ(register_one(), 0);
  server_->write_script("{}");
  // Exactly the period: still redirected.
  global_redirect_state.start_time -= 59;
  ASSERT_EQ(register_one(), 0);
  EXPECT_EQ(target_calls(), 2u);
  // More than the period: back home without any fault.
  global_redirect_state.start_time -= 2;
  ASSERT_EQ(register_one(), 0);
  EXPECT_EQ(target_calls(), 2u);
  EXPECT_EQ(home_calls(), 2u);
  EXPECT_EQ(global_redirect_state.active, 0);
  EXPECT_EQ(global_cancel_redirect_server_if_check_due(), 0);
}

}  // namespace
