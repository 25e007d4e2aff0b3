#include "foundation/gzip_wrapper.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>

#include "support/full_disk.h"
#include "support/test_support.h"

using sw_test::read_file;
using sw_test::TempDir;
using sw_test::write_file;

namespace {

std::string gunzip(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  if (in == nullptr) return "<gzopen failed>";
  std::string text;
  char block[8192];
  int n;
  while ((n = gzread(in, block, sizeof block)) > 0) text.append(block, static_cast<std::size_t>(n));
  if (n < 0) text = "<gzread failed>";
  gzclose(in);
  return text;
}

}  // namespace

TEST(GzipWrapper, OutputRoundTripsThroughZlib) {
  TempDir dir;
  std::mt19937 random(7);
  for (std::size_t size : {0u, 1u, 16383u, 16384u, 16385u, 300000u}) {
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      content[i] = static_cast<char>(i % 3 == 0 ? random() : 'a' + i % 7);
    }
    write_file(dir / "in", content);
    std::filesystem::remove(dir / "out.gz");
    ASSERT_EQ(gzip_compress((dir / "in").c_str(), (dir / "out.gz").c_str()), 1) << size;
    std::string compressed = read_file(dir / "out.gz");
    ASSERT_GE(compressed.size(), 18u);
    EXPECT_EQ(compressed.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(gunzip(dir / "out.gz"), content) << size;
  }
}

TEST(GzipWrapper, UnreadableInputOrUnwritableOutputFails) {
  TempDir dir;
  write_file(dir / "in", "data");
  EXPECT_EQ(gzip_compress((dir / "missing").c_str(), (dir / "out.gz").c_str()), 0);
  EXPECT_EQ(gzip_compress((dir / "in").c_str(), (dir / "no/dir/out.gz").c_str()), 0);
  EXPECT_EQ(gzip_compress(dir.path().c_str(), (dir / "out.gz").c_str()), 0);  // a directory
  EXPECT_EQ(gzip_compress((dir / "in").c_str(), (dir / "in").c_str()), 0);
  EXPECT_EQ(read_file(dir / "in"), "data") << "the input must survive";
  // Whatever exists at the output's name is refused and left alone: a file,
  // or a link to someone else's file.
  write_file(dir / "victim", "precious");
  write_file(dir / "existing.gz", "old");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "link.gz").c_str()), 0);
  EXPECT_EQ(gzip_compress((dir / "in").c_str(), (dir / "existing.gz").c_str()), 0);
  EXPECT_EQ(gzip_compress((dir / "in").c_str(), (dir / "link.gz").c_str()), 0);
  EXPECT_EQ(read_file(dir / "existing.gz"), "old");
  EXPECT_EQ(read_file(dir / "victim"), "precious");
  // A disk that fills up leaves no half-compressed file.
  std::string noise(200000, '\0');
  std::mt19937 random(3);
  for (char& c : noise) c = static_cast<char>(random());
  write_file(dir / "big", noise);
  EXPECT_EQ(sw_test::with_disk_full_after(4096, [&] {
              return gzip_compress((dir / "big").c_str(), (dir / "full.gz").c_str());
            }),
            0);
  EXPECT_FALSE(std::filesystem::exists(dir / "full.gz"));
}
