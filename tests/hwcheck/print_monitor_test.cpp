// The print-monitor line protocol against monitors written as shell scripts:
// each answers every line it reads with a scripted answer and logs the lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/popen3.h"
#include "hwcheck/print_monitor.h"
#include "support/test_support.h"

namespace {

using sw_test::read_file;

class PrintMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.empty()); }
  void TearDown() override { stop(); }
  // Starts a monitor that runs `body` for each line read into $line.
  void start(const std::string& body) {
    std::string script = dir_ + "/monitor.sh";
    std::ofstream(script) << "#!/bin/sh\nwhile IFS= read -r line; do\n  printf '%s\\n' \"$line\" >> '"
                          << lines_ << "'\n  " << body << "\ndone\n";
    chmod(script.c_str(), 0755);
    pid_ = popen3_create_fp(script.c_str(), &in_, &out_, nullptr);
    ASSERT_GT(pid_, 0);
  }
  int stop() {
    if (pid_ <= 0) return -1;
    if (in_ != nullptr) std::fclose(in_);
    in_ = nullptr;
    int status = popen3_wait(pid_);
    std::fclose(out_);
    out_ = nullptr;
    pid_ = -1;
    return status;
  }
  int send(const char* name, const char* value, int* del, int timeout_ms = 10000) {
    return print_monitor_write_command_check_response_ex(in_, out_, name, value, del, timeout_ms);
  }

  sw_test::TempDir temp_;
  const std::string dir_ = temp_.path();
  const std::string lines_ = dir_ + "/lines";
  pid_t pid_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
};

TEST_F(PrintMonitorTest, AnswersAreClassifiedByTheirBeginning) {
  struct {
    const char* answer;
    int result;
    int del;
  } cases[] = {
      {"OK", 1, 0},          {"OK and more", 1, 0}, {"DELETE", 1, 1},
      {"DELETE now", 1, 1},  {"ERROR", 0, 0},       {"ok", 0, 0},
      {"delete", 0, 0},      {"", 0, 0},            {"MAYBE", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    start(std::string("echo '") + c.answer + "'");
    int del = -1;
    EXPECT_EQ(send("startdoc_lock", nullptr, &del), c.result);
    EXPECT_EQ(del, c.del);
    stop();
  }
}

TEST_F(PrintMonitorTest, RequestLinesAreWellFormed) {
  start("echo OK");
  int del = -1;
  const std::string long_value(1500, 'v');
  EXPECT_EQ(send("printername", "q1", &del), 1);
  EXPECT_EQ(send("papersize", "A4\nstartdoc_lock\r", &del), 1);
  EXPECT_EQ(send("jobid", long_value.c_str(), &del), 1);
  EXPECT_EQ(send("enddoc_bg", nullptr, &del), 1);
  EXPECT_EQ(stop(), 0);
  // The value's line end does not start a line of its own; the long line is
  // cut but still ends, so the next request is a line of its own.
  const std::string cut = "jobid=" + std::string(1022 - 6, 'v');
  EXPECT_EQ(read_file(lines_),
            "printername=q1\npapersize=A4startdoc_lock\n" + cut + "\nenddoc_bg\n");
}

TEST_F(PrintMonitorTest, DeleteFlagFollowsTheLastAnswer) {
  start("case \"$line\" in startdoc_lock) echo DELETE;; *) echo OK;; esac");
  int del = -1;
  EXPECT_EQ(send("startdoc_lock", nullptr, &del), 1);
  EXPECT_EQ(del, 1);
  EXPECT_EQ(send("jobid", "5", &del), 1);
  EXPECT_EQ(del, 0);
}

TEST_F(PrintMonitorTest, DeadOrSilentMonitorGivesFailure) {
  struct {
    const char* name;
    const char* body;
  } cases[] = {
      {"exits without answering", "exit 0"},
      {"never answers", "sleep 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    start(c.body);
    int del = -1;
    EXPECT_EQ(send("printername", "q1", &del, 300), 0);
    EXPECT_EQ(del, 0);
    if (std::string(c.name) == "exits without answering") {
      // Writing to a monitor that has gone is an error, not a SIGPIPE.
      usleep(100 * 1000);
      EXPECT_EQ(send("printeraddress", "h", &del, 300), 0);
    }
    kill(pid_, SIGKILL);
    stop();
  }
}

}  // namespace
