// Shared fixtures of the transform tests: defaults with transforms on, the
// log and a TransformsDir tree in a temporary directory, a spool file of
// given bytes mapped for an interpreter, and perl as the oracle of matches
// and offsets.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/mapped_mem.h"
#include "support/oracle.h"
#include "support/test_support.h"
#include "transform/xvp_cook.h"

namespace transform_test {

class TransformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
    global_ctx.env_version = 13;
    global_ctx.xvp_enabled = 1;
    std::filesystem::create_directories(temp_.file("tmp"));
    std::filesystem::create_directories(temp_.file("transforms/logs"));
    util_copy(global_ctx.xvp_scripts_dir_path, temp_.file("transforms"));
    util_copy(global_ctx.xvp_logs_dir_path, temp_.file("transforms/logs"));
    ja_.reset(analyzer_create_job_attribs());
    util_copy(ja_->job_id, "42");
    util_copy(ja_->username, "alice");
    util_copy(ja_->printer_name, "q1");
    util_copy(ja_->server_name, "srv");
    ja_->language = 1;
    ja_->pages = 2;
  }
  void TearDown() override {
    free_mapped_mem(&mm_);
    config_init_session_defaults(&global_ctx);
  }

  template <std::size_t N>
  static void util_copy(char (&field)[N], const std::string& text) {
    std::snprintf(field, N, "%s", text.c_str());
  }

  bool logged(const std::string& text) const { return log_.contains(text); }
  std::string log() const { return log_.text(); }

  // Writes the spool file and maps it.
  const mapped_mem* spool(const std::string& bytes) {
    free_mapped_mem(&mm_);
    spool_path_ = temp_.write("spool", bytes);
    mm_ = create_mapped_mem(spool_path_.c_str());
    EXPECT_NE(mm_, nullptr);
    return mm_;
  }

  // Runs a script over the mapped spool file; the interpreter for
  // inspection, its parse result in *ok.
  InterpreterPtr run(const std::string& script, int* ok) {
    InterpreterPtr in(interpreter_create(mm_, ja_.get(), 0));
    EXPECT_NE(in, nullptr);
    *ok = in ? interpreter_parse_text(in.get(), script) : 0;
    return in;
  }

  // A variable's text after a run, "<none>" when it is not set.
  static std::string var(const interpreter* in, const std::string& name) {
    const xvp_token* t = xvp_lookup(in, name);
    return t == nullptr ? "<none>" : t->text;
  }

  // A script file in the tree: "custom/postscript/x.transform".
  std::string script_file(const std::string& relative, const std::string& text) const {
    return temp_.write("transforms/" + relative, text);
  }

  sw_test::TempDir temp_;
  sw_test::LogCapture log_{temp_.file("spoolwarden.log"), std::nullopt};
  sw_test::ScopedEnv tmpdir_{"TMPDIR", temp_.file("tmp").c_str()};
  JobAttribsPtr ja_;
  mapped_mem* mm_ = nullptr;
  std::string spool_path_;
};

// perl -0777's matches of /pattern/msg over the file, one line
// "start end group1" per match ("-" for an unset or missing group 1).
inline std::vector<std::string> perl_matches(const std::string& path, const std::string& pattern) {
  static const char program[] =
      "my $re = $ENV{SW_RE}; "
      "while (/$re/msg) { print \"$-[0] $+[0] \", (defined $1 ? $1 : \"-\"), \"\\n\" }";
  const std::string out = sw_test::command_output(
      "SW_RE=" + sw_test::shell_quote(pattern) + " perl -0777 -ne " +
      sw_test::shell_quote(program) + " " + sw_test::shell_quote(path));
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', from)) {
    lines.push_back(out.substr(from, nl - from));
    from = nl + 1;
  }
  return lines;
}

}  // namespace transform_test
