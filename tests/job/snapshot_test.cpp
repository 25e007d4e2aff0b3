// Spool snapshots: made only when asked for, named as documented, and never
// written through a link planted in the snapshot directory.
#include "job/snapshot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "job_test_support.h"

namespace {


class SnapshotTest : public job_test::JobTest {
 protected:
  void SetUp() override {
    job_test::configure(dir_, 1);
    global_ctx.take_spool_snapshot = 1;
    spool_ = dir_ / "job.spl";
    sw_test::write_file(spool_, "%PDF-1.4 spool data\n");
  }
  std::string spool_;
};

TEST_F(SnapshotTest, NamesFollowTheSuffixAndTheDirectory) {
  struct Case {
    const char* dir_suffix;  // appended to the snapshots dir
    const char* suffix;
    const char* name;
  };
  const Case cases[] = {{"", nullptr, "spool-snapshot.spl"},
                        {"/", "post-redirect", "spool-snapshot-post-redirect.spl"},
                        {"", "pre-redirect", "spool-snapshot-pre-redirect.spl"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    job_test::copy_text(global_ctx.spool_snapshot_dir, CONFIG_TEXT_SIZE,
                        dir_ / (std::string("snapshots") + c.dir_suffix));
    const char* made = take_spool_snapshot(spool_.c_str(), c.suffix);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(std::string(made), dir_ / (std::string("snapshots/") + c.name));
    EXPECT_EQ(sw_test::read_file(made), sw_test::read_file(spool_));
  }
}

TEST_F(SnapshotTest, NothingWhenOffOrWithoutSpoolPath) {
  global_ctx.take_spool_snapshot = 0;
  EXPECT_EQ(take_spool_snapshot(spool_.c_str(), nullptr), nullptr);
  EXPECT_FALSE(sw_test::exists(dir_ / "snapshots/spool-snapshot.spl"));
  global_ctx.take_spool_snapshot = 1;
  EXPECT_EQ(take_spool_snapshot("", nullptr), nullptr);
  EXPECT_EQ(take_spool_snapshot(nullptr, nullptr), nullptr);
}

// In a shared directory another user may plant a link under the snapshot's
// name; the snapshot must replace the link, never write through it.
TEST_F(SnapshotTest, PlantedSymbolicLinkIsNeverFollowed) {
  const std::string victim = dir_ / "victim";
  sw_test::write_file(victim, "precious");
  const std::string target = dir_ / "snapshots/spool-snapshot.spl";
  ASSERT_EQ(symlink(victim.c_str(), target.c_str()), 0);
  ASSERT_NE(take_spool_snapshot(spool_.c_str(), nullptr), nullptr);
  EXPECT_EQ(sw_test::read_file(victim), "precious");
  struct stat st {};
  ASSERT_EQ(lstat(target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(sw_test::read_file(target), sw_test::read_file(spool_));
}

TEST_F(SnapshotTest, CopiesWhenLinkingIsImpossible) {
  // /proc files cannot be hard-linked into /tmp (another file system), so the
  // snapshot falls back to a copy made with an exclusive create.
  const char* made = take_spool_snapshot("/proc/self/status", "copy");
  ASSERT_NE(made, nullptr);
  EXPECT_NE(sw_test::read_file(made).find("Name:"), std::string::npos);
}

}  // namespace
