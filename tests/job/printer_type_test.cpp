// The printer's model from its PPD file.
#include "job/printer_type.h"

#include <gtest/gtest.h>

#include <string>

#include "job_test_support.h"

namespace {

using sw_test::TempDir;

TEST(PrinterType, ModelNameFromPpdLines) {
  struct Case {
    const char* name;
    const char* ppd;
    std::size_t size;
    int found;
    const char* model;
  };
  const Case cases[] = {
      {"plain", "*PPD-Adobe: \"4.3\"\n*ModelName: \"HP LaserJet 4\"\n", 1024, 1, "HP LaserJet 4"},
      {"caseless key, blanks", "  *modelname:\t \"Generic PCL\"\r\n", 1024, 1, "Generic PCL"},
      {"first one wins", "*ModelName: \"First\"\n*ModelName: \"Second\"\n", 1024, 1, "First"},
      {"comment skipped", "# *ModelName: \"Commented\"\n*ModelName: \"Real\"\n", 1024, 1, "Real"},
      {"unterminated value skipped", "*ModelName: \"Broken\n*ModelName: \"Next\"\n", 1024, 1,
       "Next"},
      {"empty value", "*ModelName: \"\"\n", 1024, 1, ""},
      {"cut to the buffer", "*ModelName: \"ABCDEFGHIJ\"\n", 5, 1, "ABCD"},
      {"none", "*NickName: \"Only a nick\"\n", 1024, 0, ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sw_test::write_file(dir / "p.ppd", c.ppd);
    char buffer[1024] = "stale";
    EXPECT_EQ(common_read_ppd_model_name((dir / "p.ppd").c_str(), buffer, c.size), c.found);
    EXPECT_STREQ(buffer, c.model);
  }
}

TEST(PrinterType, PpdSearchTakesTheFirstReadableAndRefusesPathNames) {
  TempDir dir;
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  sw_test::write_file(dir / "b/lab.ppd", "*ModelName: \"B\"\n");
  sw_test::write_file(dir / "secret.ppd", "*ModelName: \"outside\"\n");
  const std::string a = dir / "a";
  const std::string b = dir / "b";
  const char* dirs[] = {a.c_str(), b.c_str()};
  const char* found = common_find_ppd_in_dirs("lab", dirs, 2);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir / "b/lab.ppd");
  sw_test::write_file(dir / "a/lab.ppd", "*ModelName: \"A\"\n");
  EXPECT_EQ(std::string(common_find_ppd_in_dirs("lab", dirs, 2)), dir / "a/lab.ppd");
  for (const char* name : {"../secret", "", ".hidden", "x/../../secret"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(common_find_ppd_in_dirs(name, dirs, 2), nullptr);
  }
}

}  // namespace
