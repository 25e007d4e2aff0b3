#include "command/hostwright.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/config.h"
#include "foundation/redirect_state.h"
#include "foundation/util.h"
#include "support/appserver_standin.h"
#include "support/test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using sw_test::AppServerStandin;

const std::string USAGE =
    "Usage: hostwright command args...\n\nCommands:\n"
    "\tregister-printer server printer location\n"
    "\twait-for-server-setup-to-complete time-to-wait-secs\n\n";

struct RunResult {
  int status;
  std::string err;
};

// The command copied next to a configuration of its own, run as a process.
class Hostwright : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    command_ = dir_ / "bin" / "hostwright";
    fs::create_directories(command_.parent_path());
    fs::copy_file(fs::path(SW_BINARY_DIR) / "hostwright", command_);
    configure(sw_test::unused_port());
  }

  void configure(int port) {
    sw_test::write_file(command_.parent_path() / "spoolwarden.conf",
                        "ApplicationServer=127.0.0.1\nApplicationServerPort=" +
                            std::to_string(port) + "\nConnectTimeout=2000\nDebug=on\n");
  }

  RunResult run(const std::vector<std::string>& args) const {
    const fs::path err_path = dir_ / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> all{command_.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    RunResult result{-1, ""};
    if (posix_spawn(&pid, command_.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.err = sw_test::read_file(err_path);
    return result;
  }

  std::string log_text() const {
    return sw_test::read_file(command_.parent_path() / "spoolwarden.log");
  }

  sw_test::TempDir temp_;
  const fs::path dir_{temp_.path()};
  fs::path command_;
};

TEST_F(Hostwright, UsageErrors) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {"no command", {}, USAGE},
      {"unknown command", {"print"}, USAGE},
      {"command differs in case", {"Register-Printer", "s", "p"}, USAGE},
      {"wait without seconds", {"wait-for-server-setup-to-complete"}, USAGE},
      {"register without printer", {"register-printer", "srv"},
       "Error: Missing server and printer name arguments\n\n" + USAGE},
      {"register without arguments", {"register-printer"},
       "Error: Missing server and printer name arguments\n\n" + USAGE},
      {"empty server", {"register-printer", "", "p"},
       "Error: Server name is not defined.\n\n" + USAGE},
      {"empty printer", {"register-printer", "s", ""},
       "Error: Printer name is not defined.\n\n" + USAGE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const RunResult r = run(row.args);
    EXPECT_EQ(r.status, 1);
    // The configuration loader may write notes first; the usage text ends it.
    EXPECT_TRUE(r.err.ends_with(row.err)) << r.err;
  }
}

TEST_F(Hostwright, MissingConfigurationEndsWith10) {
  fs::remove(command_.parent_path() / "spoolwarden.conf");
  const RunResult r = run({"register-printer", "s", "p"});
  // Only when no configuration exists at the fixed places of this machine.
  if (!fs::exists("/etc/spoolwarden.conf") && !fs::exists("/etc/torvelle/spoolwarden.conf") &&
      !fs::exists("/home/torvelle/providers/print/linux-x64/spoolwarden.conf")) {
    EXPECT_EQ(r.status, CONFIG_EXIT_NOT_FOUND);
  }
}

TEST_F(Hostwright, RegisterPrinter) {
  AppServerStandin server(dir_ / "server");
  ASSERT_TRUE(server.running());
  configure(server.port());
  RunResult r = run({"register-printer", "srv1", "laser", "2nd floor"});
  EXPECT_EQ(r.status, 0) << r.err;
  auto calls = server.calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].method, "spoolwarden.registerPrinter3");
  EXPECT_EQ(calls[0].params,
            "[[\"string\", \"srv1\"], [\"string\", \"laser\"], [\"string\", \"2nd floor\"], "
            "[\"string\", \"\"], [\"string\", \"\"], [\"string\", \"\"], [\"int\", 13], "
            "[\"string\", \"\"], [\"string\", \"\"], [\"boolean\", false]]");

  server.answer("spoolwarden.registerPrinter3", "\"FAILURE\"");
  r = run({"register-printer", "srv1", "laser"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.ends_with("Error: Unable to register printer with server: srv1\\laser\n"))
      << r.err;
  EXPECT_EQ(server.calls().back().params.find("[\"string\", \"laser\"], [\"string\", \"\"]") !=
                std::string::npos,
            true);

  server.stop();
  r = run({"register-printer", "srv1", "laser"});
  EXPECT_EQ(r.status, 1);
}

TEST_F(Hostwright, RegisterPrinterFollowsARedirect) {
  AppServerStandin home(dir_ / "home");
  AppServerStandin target(dir_ / "target");
  ASSERT_TRUE(home.running() && target.running());
  home.write_script("{\"redirect\": \"127.0.0.1:" + std::to_string(target.port()) + "\"}");
  configure(home.port());
  const RunResult r = run({"register-printer", "srv1", "laser"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(home.calls().size(), 1u);
  ASSERT_EQ(target.calls().size(), 1u);
  EXPECT_EQ(target.calls()[0].method, "spoolwarden.registerPrinter3");
}

TEST_F(Hostwright, WaitWithZeroSecondsMakesNoCall) {
  AppServerStandin server(dir_ / "server");
  configure(server.port());
  for (const char* seconds : {"0", "-4", "soon"}) {
    const RunResult r = run({"wait-for-server-setup-to-complete", seconds});
    EXPECT_EQ(r.status, 0) << seconds;
  }
  EXPECT_TRUE(server.calls().empty());
}

TEST_F(Hostwright, WaitUntilTheServerIsReady) {
  AppServerStandin server(dir_ / "server");
  server.write_script(
      "{\"methods\": {\"spoolwarden.isServerReadyToRegisterPrinters\": "
      "{\"sequence\": [false, false, true]}}}");
  configure(server.port());
  const RunResult r = run({"wait-for-server-setup-to-complete", "60"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(server.calls().size(), 3u);
}

TEST_F(Hostwright, WaitKeepsAskingWhileNoServerListens) {
  // Six seconds leave room for at least two attempts even when a loaded
  // machine slows the first one down.
  const RunResult r = run({"wait-for-server-setup-to-complete", "6"});
  EXPECT_EQ(r.status, 0);
  // Asked every two seconds: every attempt was refused.
  std::size_t refused = 0;
  const std::string log = log_text();
  for (std::size_t at = 0; (at = log.find("unable to establish TCP connection", at)) !=
                           std::string::npos;
       ++at) {
    ++refused;
  }
  EXPECT_GE(refused, 2u) << log;
}

// A server that accepts the connection and never answers: each call gets
// only the time that remains, so the command ends about when asked to, not
// a whole network time-out later.
TEST_F(Hostwright, WaitEndsOnTimeAgainstAServerThatNeverAnswers) {
  int port = 0;
  const int listener = sw_test::bind_loopback(&port);
  ASSERT_GE(listener, 0);
  ASSERT_EQ(listen(listener, 16), 0);
  sw_test::write_file(command_.parent_path() / "spoolwarden.conf",
                      "ApplicationServer=127.0.0.1\nApplicationServerPort=" +
                          std::to_string(port) + "\nConnectTimeout=2000\nNetworkTimeout=120000\n");
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = run({"wait-for-server-setup-to-complete", "2"});
  const auto took = std::chrono::steady_clock::now() - start;
  close(listener);
  EXPECT_EQ(r.status, 0);
  // Two seconds asked for; a whole network time-out would be 120.
  EXPECT_LT(took, std::chrono::seconds(30));
}

TEST_F(Hostwright, WaitReachesAServerThatStartsLate) {
  const int port = sw_test::unused_port();
  configure(port);
  RunResult r{};
  std::thread command([&] { r = run({"wait-for-server-setup-to-complete", "60"}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  AppServerStandin server(dir_ / "server", port);
  command.join();
  EXPECT_EQ(r.status, 0);
  ASSERT_TRUE(server.running());
  ASSERT_FALSE(server.calls().empty());
  EXPECT_EQ(server.calls()[0].method, "spoolwarden.isServerReadyToRegisterPrinters");
}

// The wait loop itself, with a clock that only moves when it sleeps.
struct FakeClock {
  static inline std::int64_t now = 0;
  static inline std::vector<std::int64_t> sleeps;
  static std::int64_t read() { return now; }
  static void sleep(std::int64_t ms) {
    sleeps.push_back(ms);
    now += ms;
  }
};

TEST(HostwrightWait, AsksEveryTwoSecondsUntilTheTimeIsUp) {
  const sw_test::ScopedGlobalContext context;
  redirect_state_clear(&global_redirect_state);
  util_safe_strncpy(global_ctx.app_server_name, "127.0.0.1", sizeof global_ctx.app_server_name);
  global_ctx.app_server_port = sw_test::unused_port();
  const HostwrightClock clock{FakeClock::read, FakeClock::sleep};
  const struct {
    std::int64_t seconds;
    std::vector<std::int64_t> sleeps;
  } rows[] = {
      {0, {}},
      {1, {1000}},
      {5, {2000, 2000, 1000}},
  };
  for (const auto& row : rows) {
    FakeClock::now = 5000;
    FakeClock::sleeps.clear();
    EXPECT_EQ(hostwright_wait_for_server(row.seconds, &clock), 0);
    EXPECT_EQ(FakeClock::sleeps, row.sleeps) << row.seconds;
  }
}

}  // namespace
