// Shared helpers of the job tests: the stand-in application server with the
// job flow's decision calls, a configuration that points every directory of
// the job flow into the test's temporary directory, recording scripts, and
// the fixtures built of them.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "foundation/log.h"
#include "support/appserver_standin.h"
#include "support/test_support.h"

namespace job_test {

inline int count_of(const std::string& text, const std::string& needle) {
  int n = 0;
  for (auto pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) {
    ++n;
  }
  return n;
}

// The stand-in application server in `dir`/standin.
class Standin : public sw_test::AppServerStandin {
 public:
  explicit Standin(const std::string& dir)
      : AppServerStandin(std::filesystem::path(dir) / "standin") {}

  // The decision requests, whichever version of the method was called.
  std::vector<sw_test::Call> decision_calls() const {
    return calls_starting_with("spoolwarden.processPrintJob");
  }
};

inline void copy_text(char* field, std::size_t size, const std::string& value) {
  std::snprintf(field, size, "%s", value.c_str());
}

// Every configuration value that the job flow reads, set for a test: the
// defaults, debug logging into the directory's log file, the stand-in as the
// application server, and the job directories inside the directory.
inline void configure(const sw_test::TempDir& dir, int port) {
  config_init_session_defaults(&global_ctx);
  global_ctx.debug_logging = 1;
  copy_text(global_ctx.server_name, sizeof global_ctx.server_name, "printhost");
  copy_text(global_ctx.app_server_name, sizeof global_ctx.app_server_name, "127.0.0.1");
  global_ctx.app_server_port = port;
  global_ctx.connect_timeout_ms = 2000;
  global_ctx.send_timeout_ms = 10000;
  global_ctx.process_job_connect_retries = 0;
  global_ctx.hold_job_on_error_ms = 200;
  const char* subdirs[] = {"settings", "heldjobs", "archive", "snapshots", "replay"};
  for (const char* sub : subdirs) std::filesystem::create_directories(dir / sub);
  copy_text(global_ctx.settings_spool_dir_path, CONFIG_TEXT_SIZE, dir / "settings");
  copy_text(global_ctx.heldjobs_spool_dir_path, CONFIG_TEXT_SIZE, dir / "heldjobs");
  copy_text(global_ctx.archive_dir, CONFIG_TEXT_SIZE, dir / "archive");
  copy_text(global_ctx.spool_snapshot_dir, CONFIG_TEXT_SIZE, dir / "snapshots");
  copy_text(global_ctx.jobreplay_spool_dir_path, CONFIG_TEXT_SIZE, dir / "replay");
  log_set_path((dir / "test.log").c_str());
}

inline std::string log_text(const sw_test::TempDir& dir) { return sw_test::read_file(dir / "test.log"); }

// A script that writes each of its arguments, one per line, to `out` and
// exits with `status`.
inline std::string make_recorder(const sw_test::TempDir& dir, const std::string& name, int status) {
  const std::string path = dir / name;
  sw_test::write_file(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                       (dir / (name + ".argv")) + "\"\nexit " + std::to_string(status) + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

inline std::vector<std::string> recorded_argv(const sw_test::TempDir& dir, const std::string& name) {
  std::vector<std::string> out;
  std::ifstream in(dir / (name + ".argv"));
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The fixture of the job tests: a fresh temp directory, the configuration of
// `configure` pointing into it (call it from SetUp with the server's port),
// and the whole configuration put back after the test.
class JobTest : public ::testing::Test {
 protected:
  sw_test::ScopedGlobalContext context_;
  sw_test::TempDir dir_;
};

// The same with the stand-in application server as the configured server.
class StandinJobTest : public JobTest {
 protected:
  void SetUp() override { configure(dir_, standin_.port()); }

  Standin standin_{dir_.path()};
};

}  // namespace job_test
