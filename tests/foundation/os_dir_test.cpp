#include "foundation/os_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/os_file.h"
#include "support/test_support.h"

using sw_test::ScopedEnv;
using sw_test::TempDir;
using sw_test::write_file;

namespace {

const char* null_or(const char* text) { return text; }

void set_mtime(const std::string& path, time_t seconds) {
  timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

struct Visits {
  std::vector<std::string> names;
  int stop_after = -1;  // return 0 on this call (1-based); -1 never
};

int record_visit(const char* path, std::int64_t /*mtime*/, void* data) {
  auto* visits = static_cast<Visits*>(data);
  const char* slash = std::strrchr(path, '/');
  visits->names.emplace_back(slash != nullptr ? slash + 1 : path);
  return static_cast<int>(visits->names.size()) == visits->stop_after ? 0 : 1;
}

}  // namespace

TEST(OsPath, CatPath) {
  struct Case {
    const char* dir;
    const char* name;
    std::size_t size;
    int result;
    const char* joined;
  };
  const Case cases[] = {
      {"/a/", "b", 64, 1, "/a/b"},  {"/a", "b", 64, 1, "/a/b"},  {"", "b", 64, 1, "/b"},
      {nullptr, "b", 64, 1, "b"},   {"/a", nullptr, 64, 1, "/a/"}, {"/a", "b", 5, 1, "/a/b"},
      {"/a", "b", 4, 0, ""},  // a cut-off path would name another file
      {nullptr, nullptr, 64, 0, nullptr}, {"/a", "b", 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    char buffer[64] = "untouched";
    EXPECT_EQ(os_cat_path(buffer, c.size, null_or(c.dir), null_or(c.name)), c.result)
        << (c.dir ? c.dir : "(null)") << " + " << (c.name ? c.name : "(null)");
    if (c.joined != nullptr) { EXPECT_STREQ(buffer, c.joined); }
  }
  EXPECT_EQ(os_cat_path(nullptr, 10, "/a", "b"), 0);
}

TEST(OsPath, SplitPath) {
  struct Case {
    const char* path;
    int result;
    const char* dir;
    const char* name;
  };
  const Case cases[] = {
      {"file", 1, "", "file"},   {"/file", 1, "", "file"},     {"/a/b/c", 1, "/a/b", "c"},
      {"a/", 1, "a", ""},        {"rel/x.ps", 1, "rel", "x.ps"}, {"/a/waytoolongname", 0, "", ""},
  };
  for (const Case& c : cases) {
    char dir[8] = "?";
    char name[8] = "?";
    EXPECT_EQ(os_split_path(dir, sizeof dir, name, sizeof name, c.path), c.result) << c.path;
    if (c.result == 1) {
      EXPECT_STREQ(dir, c.dir) << c.path;
      EXPECT_STREQ(name, c.name) << c.path;
    }
  }
  char name[8];
  EXPECT_EQ(os_split_path(nullptr, 0, name, sizeof name, "/x/y"), 1);
  EXPECT_STREQ(name, "y");
}

TEST(OsPath, AbsoluteAndChangedDirectory) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  char buffer[4096];
  EXPECT_EQ(os_get_abs_path(buffer, sizeof buffer, "/abs/x"), 1);
  EXPECT_STREQ(buffer, "/abs/x");
  EXPECT_EQ(os_get_abs_path(buffer, sizeof buffer, ""), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(os_get_abs_path(buffer, sizeof buffer, "rel/x"), 1);
  EXPECT_EQ(std::string(buffer), std::string(cwd) + "/rel/x");
  EXPECT_EQ(os_get_abs_path(buffer, std::strlen(cwd) + 2, "rel"), 0);
  EXPECT_EQ(os_get_abs_path(nullptr, 10, "x"), 0);

  EXPECT_EQ(os_change_path_dir(buffer, sizeof buffer, "/var/spool/d00042-001", "/archive/"), 1);
  EXPECT_STREQ(buffer, "/archive/d00042-001");
}

TEST(OsPath, WhereisExecutableSearchesPathInOrder) {
  TempDir dir;
  std::filesystem::create_directories(dir / "first");
  std::filesystem::create_directories(dir / "second");
  std::filesystem::create_directories(dir / "second/tool-dir");
  write_file(dir / "first/tool", "#!/bin/sh\n");  // not executable
  write_file(dir / "second/tool", "#!/bin/sh\n");
  chmod((dir / "second/tool").c_str(), 0755);
  std::string path = dir / "first" + ":" + dir / "second";
  ScopedEnv env("PATH", path.c_str());
  char found[4096];
  ASSERT_EQ(os_whereis_executable("tool", found, sizeof found), 1);
  EXPECT_EQ(std::string(found), dir / "second/tool");
  EXPECT_EQ(os_whereis_executable("tool-dir", found, sizeof found), 0);  // a directory
  EXPECT_EQ(os_whereis_executable("absent", found, sizeof found), 0);
  EXPECT_EQ(os_whereis_executabe("tool", found, 8), 0);  // does not fit
  ScopedEnv no_path("PATH", nullptr);
  EXPECT_EQ(os_whereis_executable("tool", found, sizeof found), 0);
}

TEST(OsPath, PrinterNameCopiedOnlyWhenItFits) {
  char buffer[16];
  EXPECT_EQ(os_prepend_server_printer_name(buffer, 6, "laser"), 1);
  EXPECT_STREQ(buffer, "laser");
  EXPECT_EQ(os_prepend_server_printer_name(buffer, 5, "laser"), 0);
}

TEST(OsDir, CreateDirectories) {
  TempDir dir;
  write_file(dir / "file", "x");
  EXPECT_EQ(os_create_dir(dir.path().c_str()), 1);  // exists already
  EXPECT_EQ(os_create_dir((dir / "file").c_str()), 0);
  EXPECT_EQ(os_create_dir((dir / "new").c_str()), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "new"));

  std::string twenty = dir.path();
  for (int i = 0; i < 20; ++i) twenty += "/l" + std::to_string(i);
  std::string twenty_one = dir / "m";
  for (int i = 0; i < 21; ++i) twenty_one += "/l" + std::to_string(i);
  struct Case {
    std::string path;
    int result;
  };
  const Case cases[] = {
      {dir / "a/b/c/", 1},         // trailing slash dropped
      {dir / "a/b/c", 1},          // all there already
      {dir / "file", 0},           // the leaf is a file
      {dir / "file/sub", 0},       // a parent is a file
      {twenty, 1},
      {twenty_one, 0},             // more missing levels than one call makes
      {"", 0},
      {dir / std::string(1100, 'x'), 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os_create_dir_recursive(c.path.c_str()), c.result) << c.path;
    if (c.result == 1) { EXPECT_TRUE(std::filesystem::is_directory(c.path)) << c.path; }
  }
}

// A private directory is made, or taken over, with exactly the mode asked
// for; what is not a real directory of this account is refused.
TEST(OsDir, PrivateDirectories) {
  TempDir dir;
  const std::string made = dir / "spool/tmp";
  ASSERT_EQ(os_make_private_dir(made.c_str(), 0710, OS_NO_GROUP), 1);
  EXPECT_EQ(sw_test::file_mode(made), 0710u);
  ASSERT_EQ(chmod(made.c_str(), 0777), 0);
  ASSERT_EQ(os_make_private_dir(made.c_str(), 0700, OS_NO_GROUP), 1);
  EXPECT_EQ(sw_test::file_mode(made), 0700u) << "a loosened mode is tightened again";

  ASSERT_EQ(symlink(made.c_str(), (dir / "link").c_str()), 0);
  write_file(dir / "file", "x");
  EXPECT_EQ(os_make_private_dir((dir / "link").c_str(), 0700, OS_NO_GROUP), 0);
  EXPECT_EQ(os_make_private_dir((dir / "file").c_str(), 0700, OS_NO_GROUP), 0);
  EXPECT_EQ(os_make_private_dir("", 0700, OS_NO_GROUP), 0);
  if (geteuid() == 0) {
    // Root: a directory another account owns, or could swap, is refused;
    // the group asked for is given.
    ASSERT_EQ(mkdir((dir / "theirs").c_str(), 0700), 0);
    ASSERT_EQ(chown((dir / "theirs").c_str(), 65534, 65534), 0);
    EXPECT_EQ(os_make_private_dir((dir / "theirs").c_str(), 0700, OS_NO_GROUP), 0);
    ASSERT_EQ(os_make_private_dir((dir / "grouped").c_str(), 0750, 65534), 1);
    struct stat info {};
    ASSERT_EQ(stat((dir / "grouped").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 65534u);
  }
}

TEST(OsDir, FirstNextWalkSkipsDotEntries) {
  TempDir dir;
  for (const char* name : {"a", "b", "c"}) write_file(dir / name, "");
  std::filesystem::create_directory(dir / "sub");
  OsDir* handle = nullptr;
  char name[OS_DIR_NAME_SIZE];
  std::vector<std::string> names;
  for (int more = os_first_file_in_dir(dir.path().c_str(), name, &handle); more;
       more = os_next_file_in_dir(handle, name)) {
    names.emplace_back(name);
  }
  os_close_dir(handle);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "sub"}));

  EXPECT_EQ(os_first_file_in_dir((dir / "sub").c_str(), name, &handle), 0);
  EXPECT_NE(OsDirPtr(handle), nullptr);
  EXPECT_EQ(os_first_file_in_dir((dir / "missing").c_str(), name, &handle), 0);
  EXPECT_EQ(handle, nullptr);
  os_close_dir(nullptr);
}

TEST(OsDir, ForallOrderedGoesOldestFirstAndStops) {
  TempDir dir;
  const time_t base = 1500000000;
  const std::pair<const char*, int> files[] = {{"m", 3}, {"z", 1}, {"a", 2}, {"q", 4}};
  for (const auto& [name, age] : files) {
    write_file(dir / name, "");
    set_mtime(dir / name, base + age);
  }
  std::filesystem::create_directory(dir / "subdir");
  set_mtime(dir / "subdir", base);

  struct Case {
    int ordered;
    int include_dirs;
    int include_files;
    int stop_after;
    int count;
    int stopped;
    std::vector<std::string> visited;  // empty: any order, size = count
  };
  const Case cases[] = {
      {1, 0, 1, -1, 4, 0, {"z", "a", "m", "q"}},
      {1, 1, 1, -1, 5, 0, {"subdir", "z", "a", "m", "q"}},
      {1, 0, 1, 2, 4, 1, {"z", "a"}},
      {1, 1, 0, -1, 1, 0, {"subdir"}},
      {0, 0, 1, -1, 4, 0, {}},
      {0, 0, 1, 1, 1, 1, {}},  // the entry that stopped the walk counts
  };
  for (const Case& c : cases) {
    Visits visits;
    visits.stop_after = c.stop_after;
    int count = -1;
    int stopped = -1;
    ASSERT_EQ(os_forall_files_in_dir_ex(dir.path().c_str(), record_visit, &visits, c.ordered,
                                        &count, &stopped, c.include_dirs, c.include_files),
              1);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(stopped, c.stopped);
    if (!c.visited.empty()) {
      EXPECT_EQ(visits.names, c.visited);
    } else {
      EXPECT_EQ(static_cast<int>(visits.names.size()), c.count);
    }
  }
  Visits visits;
  int count = -1;
  int stopped = -1;
  EXPECT_EQ(os_forall_files_in_dir((dir / "missing").c_str(), record_visit, &visits, 1, &count,
                                   &stopped),
            0);
  EXPECT_EQ(count, 0);
}

TEST(OsDir, RemovingContentsKeepsSubdirectories) {
  TempDir dir;
  std::filesystem::create_directories(dir / "d/sub");
  for (const char* name : {"d/x", "d/y", "d/sub/keep"}) write_file(dir / name, "");
  EXPECT_EQ(os_file_rmdir_contents((dir / "d").c_str()), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "d/x"));
  EXPECT_TRUE(std::filesystem::exists(dir / "d/sub/keep"));
  EXPECT_EQ(os_file_rmdir_and_contents((dir / "d").c_str()), 0);  // sub is not empty
  EXPECT_EQ(os_file_rmdir_and_contents((dir / "d/sub").c_str()), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "d/sub"));
  EXPECT_EQ(os_file_rmdir((dir / "d").c_str()), 1);
}
