#include "foundation/os_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/test_support.h"

using sw_test::file_mode;
using sw_test::ScopedEnv;
using sw_test::TempDir;

namespace {

// 1 when another open of the lock file could take the lock right now.
bool lock_is_free(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR);
  if (fd < 0) return false;
  bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);
  return free;
}

}  // namespace

TEST(OsNamedLock, ExcludesOtherHoldersUntilUnlockOrClose) {
  TempDir dir;
  OsNamedLock* lock = nullptr;
  ASSERT_EQ(os_namedlock_open(dir.path().c_str(), "jobs", &lock), 1);
  const std::string path = dir / "jobs.lock";
  EXPECT_EQ(file_mode(path), 0600u);
  ASSERT_EQ(os_namedlock_lock(lock), 1);
  EXPECT_FALSE(lock_is_free(path));
  ASSERT_EQ(os_namedlock_unlock(lock), 1);
  EXPECT_TRUE(lock_is_free(path));
  ASSERT_EQ(os_namedlock_lock(lock), 1);
  os_namedlock_close(lock);
  EXPECT_TRUE(lock_is_free(path));
  EXPECT_TRUE(std::filesystem::exists(path)) << "lock files are never deleted";
  os_namedlock_close(nullptr);
}

TEST(OsNamedLock, TryLockNeverWaitsForAnotherHolder) {
  TempDir dir;
  OsNamedLock* first = nullptr;
  OsNamedLock* second = nullptr;
  ASSERT_EQ(os_namedlock_open(dir.path().c_str(), "printer", &first), 1);
  ASSERT_EQ(os_namedlock_open(dir.path().c_str(), "printer", &second), 1);
  EXPECT_EQ(os_namedlock_trylock(first), 1);
  EXPECT_EQ(os_namedlock_trylock(second), 0);
  ASSERT_EQ(os_namedlock_unlock(first), 1);
  EXPECT_EQ(os_namedlock_trylock(second), 1);
  EXPECT_EQ(os_namedlock_trylock(nullptr), 0);
  os_namedlock_close(first);
  os_namedlock_close(second);
}

TEST(OsNamedLock, WaitsForAnotherProcess) {
  TempDir dir;
  int ready[2];
  int release[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(release), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OsNamedLock* held = nullptr;
    if (!os_namedlock_open(dir.path().c_str(), "shared", &held) || !os_namedlock_lock(held)) {
      _exit(1);
    }
    char byte = 'r';
    if (write(ready[1], &byte, 1) != 1 || read(release[0], &byte, 1) != 1) _exit(2);
    os_namedlock_close(held);
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  OsNamedLock* opened = nullptr;
  ASSERT_EQ(os_namedlock_open(dir.path().c_str(), "shared", &opened), 1);
  const OsNamedLockPtr lock(opened);
  EXPECT_FALSE(lock_is_free(dir / "shared.lock"));
  ASSERT_EQ(write(release[1], "g", 1), 1);
  EXPECT_EQ(os_namedlock_lock(lock.get()), 1);  // blocks until the child lets go
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST(OsNamedLock, DirectoryFallbackAndPlantedLinks) {
  TempDir dir;
  {
    ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
    OsNamedLock* lock = nullptr;
    ASSERT_EQ(os_namedlock_open(nullptr, "fallback", &lock), 1);
    const OsNamedLockPtr owned(lock);
    EXPECT_TRUE(std::filesystem::exists(dir / "fallback.lock"));
  }
  // A link planted where the lock file goes is not followed.
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "planted.lock").c_str()), 0);
  OsNamedLock* lock = nullptr;
  EXPECT_EQ(os_namedlock_open(dir.path().c_str(), "planted", &lock), 0);
  EXPECT_EQ(lock, nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir / "victim"));
  EXPECT_EQ(os_namedlock_open(dir.path().c_str(), "", &lock), 0);
}
