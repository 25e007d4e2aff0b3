// Shared fixture of the spool-modification tests: defaults, the log in a
// temporary directory that is also TMPDIR (so temporary files left behind
// show).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "corpus/corpus.h"
#include "foundation/bstrlib.h"
#include "foundation/ja.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "foundation/config.h"
#include "scan/cpca.h"
#include "support/oracle.h"
#include "support/test_support.h"

namespace modify_test {

// What a planner made of a job: its result, the flags it set, the number of
// edits and the job with the edits applied.
struct Planned {
  int result = 0;
  std::string output;
  msf_state state{};
  std::int64_t edits = 0;
};

using PlannerFunc = int (*)(const watermark_params*, const JobAttribs*, const std::uint8_t*,
                            std::uint64_t, ReplacementList*);

// Runs `planner` over `input` into `list` (made by the caller with the
// header facts the planner needs) and applies the edits.
inline Planned run_planner(PlannerFunc planner, const std::string& input,
                           const watermark_params& request, const JobAttribs* job,
                           ReplacementList* list) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  Planned p;
  p.result = planner(&request, job, data, input.size(), list);
  get_msf_state(list, &p.state);
  p.edits = replacement_list_size(list);
  if (bstring out = replacement_list_flatten(data, input.size(), list)) {
    p.output.assign(reinterpret_cast<const char*>(out->data), static_cast<std::size_t>(out->slen));
    bdestroy(out);
  }
  return p;
}

// A request for forced duplex, grayscale and copies.
inline watermark_params asking(int duplex, int grayscale, int copies) {
  watermark_params p{};
  p.force_duplex = duplex;
  p.force_grayscale = grayscale;
  p.copies = copies;
  return p;
}

// The print data of a Canon CPCA stream, by the extraction (the file it
// wrote is removed).
inline std::string extracted(const std::string& bytes) {
  char path[4096] = "";
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  if (!extract_canon_cpca_content2(data, bytes.size(), path, sizeof path) || path[0] == '\0') {
    return "<not extracted>";
  }
  std::string out = sw_test::read_file(path);
  std::remove(path);
  return out;
}

class ModifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    config_init_session_defaults(&global_ctx);
    global_ctx.debug_logging = 1;
    std::filesystem::create_directories(tmp_dir_);
  }
  void TearDown() override { config_init_session_defaults(&global_ctx); }

  bool logged(const std::string& text) const { return log_.contains(text); }
  std::string write(const std::string& name, const std::string& bytes) const {
    return temp_.write(name, bytes);
  }
  // What was left in TMPDIR.
  std::vector<std::string> temp_files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp_dir_)) {
      names.push_back(e.path().filename().string());
    }
    return names;
  }

  sw_test::TempDir temp_;
  sw_test::LogCapture log_{temp_.file("spoolwarden.log"), std::nullopt};
  std::string tmp_dir_ = temp_.file("tmp");
  sw_test::ScopedEnv tmpdir_{"TMPDIR", tmp_dir_.c_str()};
};

}  // namespace modify_test
