#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/config.h"
#include "foundation/containers.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;

TEST(IntList, AppendGetPut) {
  IntListPtr list(int_list_create());
  const std::int32_t values[] = {0, -1, INT32_MIN, INT32_MAX, 42};
  for (std::int32_t v : values) ASSERT_EQ(int_list_append(list.get(), v), 1);
  ASSERT_EQ(int_list_size(list.get()), 5);
  for (std::uint64_t i = 0; i < 5; ++i) EXPECT_EQ(int_list_get(list.get(), i), values[i]);
  ASSERT_EQ(int_list_put(list.get(), 2, 7), 1);
  EXPECT_EQ(int_list_get(list.get(), 2), 7);
  EXPECT_EQ(int_list_size(nullptr), -1);

  for (int i = 0; i < 10000; ++i) ASSERT_EQ(int_list_append(list.get(), i), 1);
  EXPECT_EQ(int_list_get(list.get(), 5 + 9999), 9999);
}

TEST(IntList, RefusalsAreLogged) {
  IntListPtr list(int_list_create());
  ASSERT_EQ(int_list_append(list.get(), 1), 1);
  struct Case {
    std::uint64_t index;
    const char* get_logged;
    const char* put_logged;
  };
  const Case cases[] = {
      {1, "int_list_get: index out of range index=1,size=1", "int_list_put: index out of range index=1,size=1"},
      {UINT64_MAX, "int_list_get: index out of range index=4294967295,size=1",
       "int_list_put: index out of range index=4294967295,size=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    LogCapture log;
    EXPECT_EQ(int_list_get(list.get(), c.index), -1);
    EXPECT_EQ(int_list_put(list.get(), c.index, 5), 0);
    EXPECT_TRUE(log.contains(c.get_logged));
    EXPECT_TRUE(log.contains(c.put_logged));
  }
  LogCapture log;
  EXPECT_EQ(int_list_get(nullptr, 0), -1);
  EXPECT_EQ(int_list_put(nullptr, 0, 1), 0);
  EXPECT_TRUE(log.contains("int_list_get: int_list=NULL"));
  EXPECT_TRUE(log.contains("int_list_put: int_list=NULL"));
  EXPECT_EQ(int_list_get(list.get(), 0), 1);
}

TEST(OffsetList, KeepsSixtyFourBitOffsets) {
  OffsetListPtr list(offset_list_create());
  const std::uint64_t values[] = {0, 4294967296ull, UINT64_MAX - 1, 17};
  for (std::uint64_t v : values) ASSERT_EQ(offset_list_append(list.get(), v), 1);
  ASSERT_EQ(offset_list_size(list.get()), 4u);
  for (std::uint64_t i = 0; i < 4; ++i) EXPECT_EQ(offset_list_get(list.get(), i), values[i]);

  LogCapture log;
  EXPECT_EQ(offset_list_get(list.get(), 4), OFFSET_LIST_INVALID);
  EXPECT_TRUE(log.contains("offset_list_get: index out of range index=4,size=4"));
  EXPECT_EQ(offset_list_get(nullptr, 0), OFFSET_LIST_INVALID);
}

TEST(NameDataList, GetCopiesTheFirstEntryOfAName) {
  NameDataListPtr list(name_data_list_create());
  ExtBufPtr first(ext_buf_create_ex(0));
  ASSERT_EQ(ext_buf_append(first.get(), "one\0two", 7), 1);
  ExtBufPtr second(ext_buf_create_ex(4));
  ASSERT_EQ(ext_buf_append(second.get(), "later", 5), 1);
  ExtBufPtr empty(ext_buf_create_ex(0));
  ASSERT_EQ(name_data_list_append(list.get(), "part", first.get()), 1);
  ASSERT_EQ(name_data_list_append(list.get(), "part", second.get()), 1);
  ASSERT_EQ(name_data_list_append(list.get(), "Empty", empty.get()), 1);
  // The list holds its own copies.
  ext_buf_reset(first.get());

  ExtBufPtr got(name_data_list_get(list.get(), "part"));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ext_buf_data(got.get())), ext_buf_size(got.get())),
            std::string("one\0two", 7));
  EXPECT_EQ(name_data_list_get(list.get(), "PART"), nullptr);
  EXPECT_EQ(name_data_list_get(list.get(), "par"), nullptr);

  // The copy of empty data has capacity 0 and must still grow.
  ExtBufPtr got_empty(name_data_list_get(list.get(), "Empty"));
  ASSERT_NE(got_empty, nullptr);
  EXPECT_EQ(ext_buf_size(got_empty.get()), 0u);
  ASSERT_EQ(ext_buf_append(got_empty.get(), "grows", 5), 1);
  EXPECT_EQ(ext_buf_size(got_empty.get()), 5u);

  EXPECT_EQ(name_data_list_append(list.get(), nullptr, first.get()), 0);
  EXPECT_EQ(name_data_list_append(list.get(), "x", nullptr), 0);
  EXPECT_EQ(list->_size, 3u);
}


TEST(ValueListsDebugPrint, IntListRowsOfTwentyValues) {
  IntListPtr list(int_list_create());
  for (int i = 0; i < 22; ++i) ASSERT_EQ(int_list_append(list.get(), i == 21 ? -1234 : i), 1);
  LogCapture log(sw_test::LogFlags{.debug = true});
  int_list_debug_print("pages", list.get());
  const std::string text = log.text();
  EXPECT_NE(text.find("--- pages ---"), std::string::npos);
  EXPECT_NE(text.find("    0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, ["),
            std::string::npos);
  EXPECT_NE(text.find("   20,-1234, ["), std::string::npos);
  EXPECT_NE(text.find("--- size=22 ---"), std::string::npos);
}

TEST(ValueListsDebugPrint, OffsetListOneLinePerValue) {
  OffsetListPtr list(offset_list_create());
  ASSERT_EQ(offset_list_append(list.get(), 7), 1);
  ASSERT_EQ(offset_list_append(list.get(), 5000000000ull), 1);
  LogCapture log(sw_test::LogFlags{.debug = true});
  offset_list_debug_print("marks", list.get());
  const std::string text = log.text();
  EXPECT_NE(text.find("offset_list_debug_print: marks: 2 items ------------- -----------------"),
            std::string::npos);
  EXPECT_NE(text.find("marks,  0: 7 ["), std::string::npos);
  EXPECT_NE(text.find("marks,  1: 5000000000 ["), std::string::npos);
}

}  // namespace
