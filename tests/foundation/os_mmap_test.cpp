#include "foundation/os_mmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "support/test_support.h"

using sw_test::LogCapture;
using sw_test::TempDir;
using sw_test::write_file;

namespace {

// The kernel's flags of the mapping that holds `address` ("rd", "sr", ...),
// from /proc/self/smaps; empty when the mapping is not found.
std::string mapping_flags(const void* address) {
  const auto wanted = reinterpret_cast<std::uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    unsigned long long low = 0;
    unsigned long long high = 0;
    char dash = 0;
    if (std::sscanf(line.c_str(), "%llx%c%llx", &low, &dash, &high) == 3 && dash == '-' &&
        line.find(' ') != std::string::npos) {
      inside = wanted >= low && wanted < high;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line.substr(8) + " ";
    }
  }
  return {};
}

}  // namespace

TEST(OsMmap, MapsWholeOrPartAndRefusesEmptyFiles) {
  TempDir dir;
  LogCapture log(sw_test::ALL_LOG_ENTRIES);
  const std::string content(10000, 'q');
  write_file(dir / "data", content);
  write_file(dir / "empty", "");

  OsFile* opened = nullptr;
  ASSERT_EQ(os_file_open_ro(&opened, (dir / "data").c_str()), 1);
  OsFilePtr file(opened);
  struct Case {
    std::int64_t wanted;
    std::uint64_t mapped;
  };
  for (Case c : {Case{-1, 10000}, Case{0, 10000}, Case{4096, 4096}, Case{20000, 10000}}) {
    OsMmap* map = nullptr;
    const std::uint8_t* address = nullptr;
    std::uint64_t length = 0;
    ASSERT_EQ(os_mmap_ro_file(&map, &address, &length, file.get(), c.wanted), 0) << c.wanted;
    const OsMmapPtr owned(map);
    EXPECT_EQ(length, c.mapped);
    EXPECT_EQ(std::memcmp(address, content.data(), length), 0);
  }
  OsMmap* map = nullptr;
  const std::uint8_t* address = nullptr;
  std::uint64_t length = 0;
  EXPECT_EQ(os_mmap_ro_large_file(&map, &address, &length, file.get()), 1);
  OsMmapPtr owned(map);
  EXPECT_EQ(length, 10000u);
  // Read-only, shared with the page cache (no private copy), read-ahead
  // advised for a front-to-back scan.
  const std::string flags = mapping_flags(address);
  ASSERT_FALSE(flags.empty());
  for (const char* flag : {" rd ", " ms ", " sr "}) {
    EXPECT_NE(flags.find(flag), std::string::npos) << flag << " in" << flags;
  }
  EXPECT_EQ(flags.find(" wr "), std::string::npos) << flags;
  owned.reset();

  ASSERT_EQ(os_file_open_ro(&opened, (dir / "empty").c_str()), 1);
  file.reset(opened);
  EXPECT_EQ(os_mmap_ro_file(&map, &address, &length, file.get(), -1), -1);
  EXPECT_EQ(map, nullptr);
  EXPECT_EQ(os_mmap_ro_large_file(&map, &address, &length, file.get()), 0);
  EXPECT_TRUE(log.contains("File of zero length detected: '" + dir / "empty" + "'"));

  os_mmap_free(nullptr);
  EXPECT_TRUE(log.contains("(map != NULL) assertion failed"));
}

// Prefaulting fills the page tables of any sub-range of a map, however it is
// aligned, and reads the same bytes.
TEST(OsMmap, PrefaultTakesAnyRangeOfAMap) {
  TempDir dir;
  const std::string content(3 * 4096 + 100, 'p');
  write_file(dir / "data", content);
  OsFile* opened = nullptr;
  ASSERT_EQ(os_file_open_ro(&opened, (dir / "data").c_str()), 1);
  const OsFilePtr file(opened);
  OsMmap* map = nullptr;
  const std::uint8_t* address = nullptr;
  std::uint64_t length = 0;
  ASSERT_EQ(os_mmap_ro_file(&map, &address, &length, file.get(), -1), 0);
  const OsMmapPtr owned(map);
  EXPECT_EQ(os_mmap_prefault(address, length), 1);
  EXPECT_EQ(os_mmap_prefault(address + 4097, 5000), 1);  // not page-aligned
  EXPECT_EQ(os_mmap_prefault(address, 0), 0);
  EXPECT_EQ(os_mmap_prefault(nullptr, 10), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(address), length), content);
}
