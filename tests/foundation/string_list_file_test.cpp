#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/containers.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;
using sw_test::TempDir;

std::vector<std::string> entries_of(const string_list* list) {
  std::vector<std::string> out;
  for (int i = 0; i < string_list_size(list); ++i) out.emplace_back(string_list_get(list, i));
  return out;
}

TEST(StringListFromFile, LinesAreCutAtTheLastHashAndTrimmed) {
  TempDir dir;
  const std::string long_line(600, 'x');
  const std::string path = dir.write("lines.txt",
                                     "  alpha  \n"
                                     "# only a comment\n"
                                     "beta # trailing comment\n"
                                     "a#b#c\n"
                                     "\n"
                                     "\t gamma\t\r\n" +
                                         long_line +
                                         "\n"
                                         "delta");
  StringListPtr list(string_list_from_file(path.c_str()));
  ASSERT_NE(list, nullptr);
  // The overlong line keeps its first 511 bytes and does not spill into an
  // entry of its own.
  EXPECT_EQ(entries_of(list.get()),
            (std::vector<std::string>{"alpha", "beta", "a#b", "gamma", std::string(511, 'x'), "delta"}));

  LogCapture log;
  const std::string missing = dir.file("missing.txt");
  EXPECT_EQ(string_list_from_file(missing.c_str()), nullptr);
  EXPECT_TRUE(log.contains("string_list_from_file: Could not open " + missing +
                           " 2:No such file or directory"));
}

TEST(StringListFromFile, ZipSplitsLinesIntoColumns) {
  TempDir dir;
  const std::string good = dir.write("good.txt", "name1 value1\n# comment\nname2\tvalue2 extra\n");
  string_list** lists = string_list_from_file_zip(good.c_str(), " \t", 2);
  ASSERT_NE(lists, nullptr);
  EXPECT_EQ(entries_of(lists[0]), (std::vector<std::string>{"name1", "name2"}));
  EXPECT_EQ(entries_of(lists[1]), (std::vector<std::string>{"value1", "value2"}));
  string_list_array_free(lists, 2);

  const std::string short_line = dir.write("short.txt", "name1 value1\nname2\n");
  EXPECT_EQ(string_list_from_file_zip(short_line.c_str(), " ", 2), nullptr);
  EXPECT_EQ(string_list_from_file_zip(dir.file("missing").c_str(), " ", 2), nullptr);
  EXPECT_EQ(string_list_from_file_zip(good.c_str(), " ", 0), nullptr);
}

}  // namespace
