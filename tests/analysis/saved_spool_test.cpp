// Saved copies of unusually large jobs: when a copy is made, how old copies
// are pruned, and the keep counts of 0 and below.
#include "analysis/saved_spool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "foundation/ja.h"
#include "foundation/util.h"

namespace {

using analysis_test::AnalysisTest;
namespace fs = std::filesystem;

class SavedSpoolTest : public AnalysisTest {
 protected:
  void SetUp() override {
    AnalysisTest::SetUp();
    saved_ = dir_ / "saved";
    fs::create_directory(saved_);
    util_safe_strncpy(global_ctx.saved_spool_dir, saved_.c_str(), CONFIG_SAVED_SPOOL_DIR_SIZE);
    spool_ = file("d00042-001", "%!PS\nspool data\n");
    ja_.reset(analyzer_create_job_attribs());
    ja_->pages = 10001;  // above the default SavedSpoolMaxPages
    util_safe_strncpy(ja_->job_id, "42", sizeof ja_->job_id);
  }
  std::vector<std::string> saved_names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(saved_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void old_copies(int n) {
    for (int i = 0; i < n; ++i) {
      file("saved/savedspool.2001-01-0" + std::to_string(i + 1) + ".10-00-00.spl", "old");
    }
  }
  int save() { return saved_spool_save_if_rogue_job(spool_.c_str(), ja_.get()); }

  fs::path saved_;
  fs::path spool_;
  JobAttribsPtr ja_;
};

TEST_F(SavedSpoolTest, WhenACopyIsMade) {
  struct Case {
    const char* name;
    int debug;
    int pages;
    int copies;
    int height_mm;
    bool saved;
    int width_mm = -1;
  };
  const std::vector<Case> cases = {
      {"too many pages", 1, 10001, 1, 297, true},
      {"too many copies", 1, 1, 10001, 297, true},
      {"page too long", 1, 1, 1, 100001, true},
      {"page too wide", 1, 1, 1, 297, true, 100001},
      {"page at the limit", 1, 10000, 10000, 100000, false},
      {"large job without debug logging", 0, 10001, 10001, 100001, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(saved_);
    fs::create_directory(saved_);
    global_ctx.debug_logging = c.debug;
    ja_->pages = c.pages;
    ja_->copy_count = c.copies;
    ja_->page_height_mm = c.height_mm;
    ja_->page_width_mm = c.width_mm;
    EXPECT_EQ(save(), 1);
    const auto names = saved_names();
    ASSERT_EQ(names.size(), c.saved ? 1u : 0u);
    if (c.saved) {
      EXPECT_TRUE(names[0].starts_with("savedspool.") && names[0].ends_with(".spl")) << names[0];
      EXPECT_EQ(sw_test::read_file(saved_ / names[0]), "%!PS\nspool data\n");
    }
  }
  global_ctx.debug_logging = 1;
  EXPECT_TRUE(logged("saved_spool_save_if_rogue_job: A print job has returned an unusual "
                     "analysis. pages=10001,copy_count=1,page_width_mm=-1,page_height_mm=297,("
                     "saved_spool_max_pages=10000,saved_spool_max_copies=10000,saved_spool_max_"
                     "dimension_cm=10000),Printer: , Document: , Printed by: , JobId: 42"))
      << log();
  EXPECT_TRUE(logged("saved_spool_file_save : Saved spool file. save_path='" + saved_.string()));
}

TEST_F(SavedSpoolTest, OldCopiesArePruned) {
  struct Case {
    const char* name;
    int keep;
    int present;
    std::size_t old_left;  // old copies that survive (the oldest go first)
  };
  const std::vector<Case> cases = {
      {"three kept, three present", 3, 3, 2},
      {"three kept, five present", 3, 5, 2},
      {"three kept, two present", 3, 2, 2},
      {"keep 1", 1, 3, 0},
      {"keep 0 deletes every old copy", 0, 3, 0},
      {"negative keep counts as 0", -5, 3, 0},
      {"keep 0, nothing present", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(saved_);
    fs::create_directory(saved_);
    file("saved/unrelated.txt", "keep me");
    old_copies(c.present);
    global_ctx.saved_spool_keep_count = c.keep;
    EXPECT_EQ(save(), 1);
    const auto names = saved_names();
    // Old copies, the new copy and the unrelated file.
    ASSERT_EQ(names.size(), c.old_left + 2);
    for (std::size_t i = 0; i < c.old_left; ++i) {
      const int day = c.present - static_cast<int>(c.old_left) + static_cast<int>(i) + 1;
      EXPECT_EQ(names[i], "savedspool.2001-01-0" + std::to_string(day) + ".10-00-00.spl");
    }
    EXPECT_EQ(names.back(), "unrelated.txt");
  }
}

TEST_F(SavedSpoolTest, FilesThatOnlyHoldACopysNameAreNotPruned) {
  old_copies(1);
  const std::vector<std::string> foreign = {
      "savedspool.2000-01-01.00-00-00.spl.keep",
      "a-savedspool.2000-01-01.00-00-00.spl",
  };
  for (const std::string& name : foreign) file("saved/" + name, "not a saved copy");
  global_ctx.saved_spool_keep_count = 1;
  EXPECT_EQ(save(), 1);
  const auto names = saved_names();
  // The foreign files and the new copy; the old copy is gone.
  const auto has = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  EXPECT_EQ(names.size(), 3u);
  for (const std::string& name : foreign) EXPECT_TRUE(has(name)) << name;
  EXPECT_FALSE(has("savedspool.2001-01-01.10-00-00.spl"));
}

TEST_F(SavedSpoolTest, FailuresSaveNothing) {
  global_ctx.saved_spool_dir[0] = '\0';
  EXPECT_EQ(save(), 1);
  EXPECT_TRUE(logged("saved_spool_save_if_rogue_job: global_ctx.saved_spool_dir is not defined. "
                     "Cannot save job."));
  util_safe_strncpy(global_ctx.saved_spool_dir, (dir_ / "missing").c_str(),
                    CONFIG_SAVED_SPOOL_DIR_SIZE);
  EXPECT_EQ(save(), 0);
  EXPECT_TRUE(logged("saved_spool_delete_old_files: Scan failed for deletion of old files."));
  util_safe_strncpy(global_ctx.saved_spool_dir, saved_.c_str(), CONFIG_SAVED_SPOOL_DIR_SIZE);
  EXPECT_EQ(saved_spool_save_if_rogue_job((dir_ / "gone").c_str(), ja_.get()), 0);
  EXPECT_TRUE(logged("saved_spool_file_save: os_file_copy failed.")) << log();
}

}  // namespace
