#include "foundation/os_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <regex>
#include <set>
#include <string>

#include "foundation/os_dir.h"
#include "foundation/util.h"
#include "support/full_disk.h"
#include "support/test_support.h"

using sw_test::file_mode;
using sw_test::read_file;
using sw_test::ScopedEnv;
using sw_test::TempDir;
using sw_test::write_file;

namespace {

std::string pattern_bytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
  return bytes;
}

}  // namespace

TEST(OsFileTemp, NamesAreUnpredictableFreshEmptyPrivateFiles) {
  TempDir dir;
  ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
  // The maker's process id, then the random part.
  const std::regex shape(dir.path() + "/tv" + std::to_string(getpid()) + "-[0-9a-f]{13}");
  std::set<std::string> names;
  // Quick successive calls: each gets a file of its own.
  for (int i = 0; i < 50; ++i) {
    char name[4096];
    ASSERT_EQ(os_file_make_temp(name, sizeof name), 1);
    EXPECT_TRUE(std::regex_match(name, shape)) << name;
    EXPECT_EQ(file_mode(name), 0600u) << name;
    EXPECT_EQ(read_file(name), "");
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
}

TEST(OsFileTemp, DefaultsToTmpAndRefusesABufferTooSmallForTheName) {
  {
    ScopedEnv tmpdir("TMPDIR", nullptr);
    char name[4096];
    ASSERT_EQ(os_file_make_temp_ex(name, sizeof name, "ignored"), 1);
    EXPECT_EQ(std::string(name).rfind("/tmp/tv", 0), 0u) << name;
    unlink(name);
  }
  TempDir dir;
  ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
  char small[16];
  EXPECT_EQ(os_file_make_temp(small, sizeof small), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no file may be left behind";
}

// The program's private directory takes precedence over a shared TMPDIR;
// unique files there are made exclusively with the mode asked for.
TEST(OsFileTemp, PrivateDirectoryAndUniqueFiles) {
  TempDir shared;
  TempDir mine;
  ScopedEnv tmpdir("TMPDIR", shared.path().c_str());
  os_file_set_temp_dir(mine.path().c_str());
  char name[4096];
  ASSERT_EQ(os_file_make_temp(name, sizeof name), 1);
  EXPECT_EQ(std::string(name).rfind(mine.path() + "/tv", 0), 0u) << name;
  os_file_set_temp_dir(nullptr);
  ASSERT_EQ(os_file_make_temp(name, sizeof name), 1);
  EXPECT_EQ(std::string(name).rfind(shared.path() + "/tv", 0), 0u) << name;

  const std::regex shape(mine.path() + "/copies-" + std::to_string(getpid()) + "-[0-9a-f]{16}");
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    const int fd = os_file_create_unique(mine.path().c_str(), "copies-", 0640, name, sizeof name);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_TRUE(std::regex_match(name, shape)) << name;
    EXPECT_EQ(file_mode(name), 0640u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 20u);
  char small[8];
  EXPECT_EQ(os_file_create_unique(mine.path().c_str(), "copies-", 0600, small, sizeof small), -1);
  EXPECT_EQ(os_file_create_unique("/nonexistent-sw-dir", "x", 0600, name, sizeof name), -1);
}

// The maker's process id is read back only from a name of exactly the shape
// made above: a file of anyone else is never taken for ours.
TEST(OsFileTemp, OwnerPidOnlyFromNamesOfOurShape) {
  const struct {
    const char* name;
    const char* prefix;
    long pid;
  } rows[] = {
      {"tv4242-0123456789abcdef", "tv", 4242},
      {"tv7-0123456789abc", "tv", 7},  // a temporary file's 13 digits
      {"copies-99-0123456789abcdef", "copies-", 99},
      {"copies-99-0123456789abcdef", "tv", -1},
      {"tv4242-0123456789ABCDEF", "tv", -1},
      {"tv4242-0123456789abcdef.bak", "tv", -1},
      {"tv4242-0123456789", "tv", -1},
      {"tv-0123456789abcdef", "tv", -1},
      {"tv0-0123456789abcdef", "tv", -1},
      {"tv12345678901-0123456789abcdef", "tv", -1},
      {"tv0123456789abcdef", "tv", -1},  // the old shape names no process
      {"tvguide", "tv", -1},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(os_file_owner_pid(row.name, row.prefix), row.pid) << row.name;
  }
  char name[4096];
  TempDir dir;
  const int fd = os_file_create_unique(dir.path().c_str(), "tv", 0600, name, sizeof name);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(os_file_owner_pid(util_basename(name), "tv"), static_cast<long>(getpid()));
}

TEST(OsFileTemp, AnUnusableDirectoryFailsWithoutLooping) {
  ScopedEnv tmpdir("TMPDIR", "/nonexistent-sw-dir");
  char name[4096];
  EXPECT_EQ(os_file_make_temp(name, sizeof name), 0);
}

TEST(OsFileCopy, CopiesIntoANewFileOnly) {
  TempDir dir;
  std::string content = pattern_bytes(200000);
  write_file(dir / "src", content);
  ASSERT_EQ(os_file_copy((dir / "src").c_str(), (dir / "dst").c_str()), 1);
  EXPECT_EQ(read_file(dir / "dst"), content);
  EXPECT_EQ(os_file_copy((dir / "missing").c_str(), (dir / "dst2").c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "dst2"));
}

// Run as root, a copy to a name that someone else could have chosen first
// must not write through what they planted there: an existing file or a link
// to a file of root's is refused and left exactly as it was.
TEST(OsFileCopy, ExistingDestinationsAreRefusedNeverWrittenThrough) {
  TempDir dir;
  write_file(dir / "src", "job data");
  write_file(dir / "victim", "root's file");
  write_file(dir / "planted", "planted file");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  for (const char* name : {"planted", "link", "dangling"}) {
    const std::string target = dir / name;
    EXPECT_EQ(os_file_copy((dir / "src").c_str(), target.c_str()), 0) << name;
    EXPECT_EQ(os_file_copy_repeats((dir / "src").c_str(), target.c_str(), 3), 0) << name;
    FILE* in = std::fopen((dir / "src").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(os_file_copy_handle(in, target.c_str()), 0) << name;
    std::fclose(in);
  }
  EXPECT_EQ(read_file(dir / "victim"), "root's file");
  EXPECT_EQ(read_file(dir / "planted"), "planted file");
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
}

// A disk that fills up in the middle of a copy leaves no half-written file
// that could later be sent to a printer.
TEST(OsFileCopy, AFullDiskLeavesNothingHalfWritten) {
  TempDir dir;
  write_file(dir / "src", pattern_bytes(300000));
  const struct {
    const char* name;
    std::function<int(const std::string&)> copy;
  } cases[] = {
      {"copy", [&](const std::string& to) { return os_file_copy((dir / "src").c_str(), to.c_str()); }},
      {"repeats",
       [&](const std::string& to) {
         return os_file_copy_repeats((dir / "src").c_str(), to.c_str(), 3);
       }},
      {"stream",
       [&](const std::string& to) {
         FILE* in = std::fopen((dir / "src").c_str(), "rb");
         const int ok = in != nullptr && os_file_copy_handle(in, to.c_str());
         if (in != nullptr) std::fclose(in);
         return ok;
       }},
  };
  for (const auto& c : cases) {
    const std::string target = dir / (std::string("out-") + c.name);
    EXPECT_EQ(sw_test::with_disk_full_after(100000, [&] { return c.copy(target); }), 0) << c.name;
    EXPECT_FALSE(std::filesystem::exists(target)) << c.name;
  }
}

TEST(OsFileCopy, NeverCopiesAFileOntoItself) {
  TempDir dir;
  const std::string content = "precious spool data";
  const std::string source = dir / "spool";
  std::filesystem::create_directory(dir / "sub");
  write_file(source, content);
  ASSERT_EQ(link(source.c_str(), (dir / "hard").c_str()), 0);
  ASSERT_EQ(symlink(source.c_str(), (dir / "soft").c_str()), 0);
  const std::string aliases[] = {source, dir / "hard", dir / "soft", dir / "./spool",
                                 dir / "sub/../spool"};
  for (const std::string& target : aliases) {
    EXPECT_EQ(os_file_copy(source.c_str(), target.c_str()), 0) << target;
    EXPECT_EQ(os_file_copy_repeats(source.c_str(), target.c_str(), 2), 0) << target;
    EXPECT_EQ(read_file(source), content) << "source damaged by copy onto " << target;
  }
}

TEST(OsFileCopy, RepeatsWriteTheWholeSourceNTimes) {
  TempDir dir;
  const std::string content = pattern_bytes(20000);  // spans several blocks
  write_file(dir / "src", content);
  struct Case {
    int repeats;
    int result;
  };
  for (Case c : {Case{1, 1}, Case{3, 1}, Case{0, 0}, Case{-1, 0}}) {
    std::filesystem::remove(dir / "out");
    EXPECT_EQ(os_file_copy_repeats((dir / "src").c_str(), (dir / "out").c_str(), c.repeats),
              c.result)
        << c.repeats;
    if (c.result == 1) {
      std::string expected;
      for (int i = 0; i < c.repeats; ++i) expected += content;
      EXPECT_EQ(read_file(dir / "out"), expected) << c.repeats;
    }
  }
}

TEST(OsFileCopy, StreamCopiesCarryTheRestOfTheData) {
  TempDir dir;
  const std::string content = pattern_bytes(150000);  // more than one 64 KiB block
  write_file(dir / "src", content);

  FilePtr in(std::fopen((dir / "src").c_str(), "rb"));
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(std::fseek(in.get(), 1000, SEEK_SET), 0);
  EXPECT_EQ(os_file_copy_handle(in.get(), (dir / "rest").c_str()), 1);
  EXPECT_EQ(read_file(dir / "rest"), content.substr(1000));

  write_file(dir / "appended", "head:");
  FILE* out = std::fopen((dir / "appended").c_str(), "ab");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(os_file_copy_path((dir / "src").c_str(), out), 1);
  EXPECT_EQ(os_file_copy_path((dir / "missing").c_str(), out), 0);
  std::fclose(out);
  EXPECT_EQ(read_file(dir / "appended"), "head:" + content);

  // Data that never reached the disk is a failed copy.
  if (access("/dev/full", W_OK) == 0) {
    in.reset(std::fopen((dir / "src").c_str(), "rb"));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(os_file_copy_handle(in.get(), "/dev/full"), 0);
  }
}

TEST(OsFileCopy, AReadErrorIsAFailureNotTheEndOfTheData) {
  TempDir dir;
  write_file(dir / "src", "data");
  const FilePtr unreadable(std::fopen((dir / "src").c_str(), "ab"));  // reads fail on it
  const FilePtr out(std::fopen((dir / "out").c_str(), "wb"));
  ASSERT_NE(unreadable, nullptr);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(os_file_copy_handle_handle(unreadable.get(), out.get()), 0);
}

TEST(OsFile, ExistenceAndTypeTests) {
  TempDir dir;
  write_file(dir / "file", "x");
  struct Case {
    std::string path;
    int exists;
    int is_dir;
  };
  const Case cases[] = {
      {dir / "file", 1, 0},      {dir / "file/", 1, 0},  // one trailing separator ignored
      {dir / "file\\", 1, 0},    {dir.path(), 1, 1},     {dir.path() + "/", 1, 1},
      {dir / "missing", 0, 0},   {"", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(os_file_exists(c.path.c_str()), c.exists) << c.path;
    EXPECT_EQ(os_file_is_dir(c.path.c_str()), c.is_dir) << c.path;
  }
  EXPECT_EQ(os_is_dir_writeable((dir.path() + "/").c_str()), 1);
  EXPECT_EQ(os_is_executable("/bin/sh"), 1);
  EXPECT_EQ(os_is_executable((dir / "file").c_str()), 0);
}

TEST(OsFile, OpenSizeRenameDeleteAndCreateEmpty) {
  TempDir dir;
  write_file(dir / "f", "12345");
  OsFile* file = nullptr;
  ASSERT_EQ(os_file_open_ro(&file, (dir / "f").c_str()), 1);
  std::uint64_t size = 0;
  EXPECT_EQ(os_file_size(file, &size), 1);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::string(file->path), dir / "f");
  EXPECT_NE(fcntl(file->fd, F_GETFD) & FD_CLOEXEC, 0);
  os_file_close(file);
  os_file_close(nullptr);

  EXPECT_EQ(os_file_open_ro(&file, (dir / "missing").c_str()), 0);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(os_file_open_ro(&file, ""), 0);

  size = 99;
  EXPECT_EQ(os_file_size_by_path((dir / "missing").c_str(), &size), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(os_file_size_by_path_long((dir / "f").c_str(), &size), 1);
  EXPECT_EQ(size, 5u);
  std::int64_t mtime = 0;
  EXPECT_EQ(os_get_mtime((dir / "f").c_str(), &mtime), 1);
  EXPECT_GT(mtime, 0);

  EXPECT_EQ(os_file_rename((dir / "f").c_str(), (dir / "g").c_str()), 1);
  EXPECT_EQ(os_file_create_empty((dir / "g").c_str()), 1);  // truncates
  EXPECT_EQ(read_file(dir / "g"), "");
  EXPECT_EQ(os_file_delete((dir / "g").c_str()), 1);
  EXPECT_EQ(os_file_delete((dir / "g").c_str()), 0);
  EXPECT_EQ(os_file_create_empty((dir / "no/such/dir").c_str()), 0);
}

TEST(OsFile, FopenRefusesAnEmptyPathAndKeepsStreamsFromChildren) {
  EXPECT_EQ(os_fopen("", "r"), nullptr);
  EXPECT_EQ(os_fopen(nullptr, "r"), nullptr);
  TempDir dir;
  FILE* stream = os_fopen((dir / "f").c_str(), "w");
  ASSERT_NE(stream, nullptr);
  EXPECT_NE(fcntl(fileno(stream), F_GETFD) & FD_CLOEXEC, 0);
  std::fclose(stream);
}

// Logs, job logs and extracted print data are written as root: a link
// planted at the name is refused, never written through; an ordinary file
// is truncated or appended to as fopen would.
TEST(OsFile, FopenForWritingNeverFollowsALink) {
  TempDir dir;
  write_file(dir / "victim", "root's file");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "link").c_str()), 0);
  ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  for (const char* mode : {"w", "wb", "a", "w+"}) {
    for (const char* name : {"link", "dangling"}) {
      EXPECT_EQ(os_fopen((dir / name).c_str(), mode), nullptr) << mode << " " << name;
    }
  }
  EXPECT_EQ(read_file(dir / "victim"), "root's file");
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));
  FILE* link_read = os_fopen((dir / "link").c_str(), "r");
  ASSERT_NE(link_read, nullptr);
  std::fclose(link_read);

  write_file(dir / "plain", "old text");
  FILE* append = os_fopen((dir / "plain").c_str(), "a");
  ASSERT_NE(append, nullptr);
  std::fputs("+more", append);
  std::fclose(append);
  EXPECT_EQ(read_file(dir / "plain"), "old text+more");
  FILE* truncate = os_fopen((dir / "plain").c_str(), "w");
  ASSERT_NE(truncate, nullptr);
  std::fputs("new", truncate);
  std::fclose(truncate);
  EXPECT_EQ(read_file(dir / "plain"), "new");
}

TEST(OsFile, BytesToKilobytes) {
  struct Case {
    std::int64_t bytes;
    std::uint32_t kilobytes;
  };
  const Case cases[] = {
      {INT64_MIN, 0},
      {-1, 0},
      {0, 0},
      {1, 1},
      {1023, 1},
      {1024, 1},
      {2047, 1},
      {2048, 2},
      {4294967295LL * 1024, 4294967295U},
      {4294967295LL * 1024 + 1024, 4294967295U},
      {INT64_MAX, 4294967295U},
  };
  for (const Case& c : cases) EXPECT_EQ(convert_bytes_to_kilobytes(c.bytes), c.kilobytes) << c.bytes;
}
