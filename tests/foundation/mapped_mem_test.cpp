#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "foundation/mapped_mem.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;
using sw_test::TempDir;

std::string image(const mapped_mem* mm) {
  return {reinterpret_cast<const char*>(mm->data), mm->size};
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

TEST(MappedMem, MapsTheWholeFile) {
  TempDir dir;
  std::string bytes(100000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  const std::string path = dir.write("spool", bytes);
  MappedMemPtr mm(create_mapped_mem(path.c_str()));
  ASSERT_NE(mm, nullptr);
  EXPECT_EQ(mm->size, bytes.size());
  EXPECT_EQ(image(mm.get()), bytes);
  EXPECT_STREQ(mm->backing_file, path.c_str());
  EXPECT_EQ(mm->delete_backing_file, 0);
}

TEST(MappedMem, EmptyFileGivesAnEmptyImage) {
  TempDir dir;
  const std::string empty = dir.write("empty", "");
  const std::string full = dir.write("full", "content");
  MappedMemPtr mm(create_mapped_mem(empty.c_str()));
  ASSERT_NE(mm, nullptr);
  EXPECT_EQ(mm->size, 0u);
  EXPECT_NE(mm->data, nullptr);

  ASSERT_EQ(update_mapped_mem(mm.get(), full.c_str(), 0), 1);
  EXPECT_EQ(image(mm.get()), "content");
  ASSERT_EQ(update_mapped_mem(mm.get(), empty.c_str(), 1), 1);
  EXPECT_EQ(mm->size, 0u);
  EXPECT_TRUE(exists(full));
  mapped_mem* raw = mm.release();
  free_mapped_mem(&raw);
  EXPECT_FALSE(exists(empty));
}

TEST(MappedMem, UnopenablePathsAreRefused) {
  TempDir dir;
  LogCapture log;
  const std::string missing = dir.file("missing");
  EXPECT_EQ(create_mapped_mem(missing.c_str()), nullptr);
  EXPECT_TRUE(log.contains("Could not open '" + missing + "' "));
  EXPECT_EQ(create_mapped_mem(""), nullptr);
  EXPECT_EQ(create_mapped_mem(nullptr), nullptr);
  // A path that does not fit the record is refused rather than cut to the
  // name of some other file.
  const std::string too_long = dir.path() + "/" + std::string(MAPPED_MEM_PATH_MAX, 'x');
  EXPECT_EQ(create_mapped_mem(too_long.c_str()), nullptr);
}

TEST(MappedMem, RePointingReleasesAndDeletesOnlyOwnedFiles) {
  TempDir dir;
  const std::string original = dir.write("original", "original bytes");
  const std::string temp1 = dir.write("temp1", "first rewrite");
  const std::string temp2 = dir.write("temp2", "second rewrite");
  MappedMemPtr mm(create_mapped_mem(original.c_str()));
  ASSERT_NE(mm, nullptr);

  ASSERT_EQ(update_mapped_mem(mm.get(), temp1.c_str(), 1), 1);
  EXPECT_EQ(image(mm.get()), "first rewrite");
  EXPECT_TRUE(exists(original)) << "the original was not owned by the image";

  ASSERT_EQ(update_mapped_mem(mm.get(), temp2.c_str(), 0), 1);
  EXPECT_EQ(image(mm.get()), "second rewrite");
  EXPECT_FALSE(exists(temp1)) << "the owned temporary file goes with its mapping";
  EXPECT_STREQ(mm->backing_file, temp2.c_str());

  // Re-pointing at the file already shown does not delete it under the image.
  ASSERT_EQ(update_mapped_mem(mm.get(), temp2.c_str(), 1), 1);
  ASSERT_EQ(update_mapped_mem(mm.get(), mm->backing_file, 1), 1);
  EXPECT_TRUE(exists(temp2));
  EXPECT_EQ(image(mm.get()), "second rewrite");

  mapped_mem* raw = mm.release();
  free_mapped_mem(&raw);
  EXPECT_EQ(raw, nullptr);
  EXPECT_FALSE(exists(temp2));
  EXPECT_TRUE(exists(original));
}

TEST(MappedMem, FailedRePointKeepsTheOldImage) {
  TempDir dir;
  const std::string owned = dir.write("owned", "still readable");
  const std::string original = dir.write("original", "x");
  MappedMemPtr mm(create_mapped_mem(original.c_str()));
  ASSERT_NE(mm, nullptr);
  ASSERT_EQ(update_mapped_mem(mm.get(), owned.c_str(), 1), 1);

  LogCapture log;
  EXPECT_EQ(update_mapped_mem(mm.get(), dir.file("missing").c_str(), 0), 0);
  EXPECT_EQ(update_mapped_mem(mm.get(), "", 0), 0);
  EXPECT_EQ(image(mm.get()), "still readable");
  EXPECT_STREQ(mm->backing_file, owned.c_str());
  EXPECT_EQ(mm->delete_backing_file, 1);
  EXPECT_TRUE(exists(owned));

  mapped_mem* raw = mm.release();
  free_mapped_mem(&raw);
  EXPECT_FALSE(exists(owned));
}

TEST(MappedMem, InvalidRecordsAreRefused) {
  TempDir dir;
  const std::string path = dir.write("file", "data");
  LogCapture log;
  mapped_mem blank{};
  EXPECT_EQ(update_mapped_mem(&blank, path.c_str(), 0), 0);
  EXPECT_EQ(update_mapped_mem(nullptr, path.c_str(), 0), 0);
  EXPECT_TRUE(log.contains("update_memmap: invalid params"));
  free_mapped_mem(nullptr);
  mapped_mem* none = nullptr;
  free_mapped_mem(&none);
}

TEST(MappedMem, FailedDeleteIsLogged) {
  TempDir dir;
  const std::string path = dir.write("vanishing", "data");
  mapped_mem* mm = create_mapped_mem(path.c_str());
  ASSERT_NE(mm, nullptr);
  ASSERT_EQ(update_mapped_mem(mm, path.c_str(), 1), 1);
  std::filesystem::remove(path);
  LogCapture log;
  free_mapped_mem(&mm);
  EXPECT_EQ(mm, nullptr);
  EXPECT_TRUE(log.contains("free_mapped_mem_contents: Could not delete backing_file='" + path + "'"));
}

}  // namespace
