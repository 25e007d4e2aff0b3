#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "foundation/containers.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;

TEST(Dict, NamesOfOneToThirtyTwoCharacters) {
  struct Case {
    std::string name;
    int expected;
  };
  const Case cases[] = {
      {"", 0},
      {"k", 1},
      {std::string(31, 'a'), 1},
      {std::string(32, 'b'), 1},
      {std::string(33, 'c'), 0},
      {std::string(200, 'd'), 0},
  };
  DictPtr d(dict_create());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.size());
    LogCapture log;
    EXPECT_EQ(dict_put(d.get(), c.name.c_str(), "v", 1), c.expected);
    EXPECT_EQ(dict_has(d.get(), c.name.c_str()), c.expected);
    if (c.expected == 0) {
      EXPECT_TRUE(log.contains("dict_put: invalid params"));
      EXPECT_TRUE(log.contains("message: (ok) assertion failed"));
    }
  }
  EXPECT_EQ(dict_size(d.get()), 3);

  LogCapture log;
  EXPECT_EQ(dict_put(d.get(), nullptr, "v", 1), 0);
  EXPECT_EQ(dict_put(nullptr, "k", "v", 1), 0);
  EXPECT_TRUE(log.contains("dict_put: invalid params"));
}

TEST(Dict, PutOfAnExistingNameReplacesInPlace) {
  DictPtr d(dict_create());
  ASSERT_EQ(dict_put(d.get(), "first", "1", 1), 1);
  ASSERT_EQ(dict_put(d.get(), "second", "2", 1), 1);
  ASSERT_EQ(dict_put(d.get(), "first", "a longer value", 14), 1);
  ASSERT_EQ(dict_size(d.get()), 2);

  std::uint64_t length = 0;
  const dict_item* item = nullptr;
  EXPECT_STREQ(dict_get_item(d.get(), 0, &length, &item), "a longer value");
  EXPECT_EQ(length, 14u);
  ASSERT_NE(item, nullptr);
  EXPECT_STREQ(item->name, "first");
  EXPECT_STREQ(dict_get_item(d.get(), 1, &length, nullptr), "2");
}

TEST(Dict, ValuesAreCountedBytesAndNamesAreCaseSensitive) {
  DictPtr d(dict_create());
  ASSERT_EQ(dict_put(d.get(), "Key", "a\0b", 3), 1);
  ASSERT_EQ(dict_put(d.get(), "key", "", 0), 1);
  ASSERT_EQ(dict_put(d.get(), "none", nullptr, 0), 1);
  std::uint64_t length = 99;
  const char* value = dict_get(d.get(), "Key", &length);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(std::string(value, length + 1), std::string("a\0b\0", 4));
  EXPECT_STREQ(dict_get(d.get(), "key", &length), "");
  EXPECT_EQ(length, 0u);
  EXPECT_STREQ(dict_get(d.get(), "none", nullptr), "");
  EXPECT_EQ(dict_has(d.get(), "KEY"), 0);
}

TEST(Dict, MissingNamesAndIndexes) {
  DictPtr d(dict_create());
  ASSERT_EQ(dict_put(d.get(), "present", "x", 1), 1);
  {
    LogCapture log;
    EXPECT_EQ(dict_has(d.get(), "absent"), 0);
    EXPECT_EQ(log.text(), "");
  }
  LogCapture log;
  std::uint64_t length = 7;
  EXPECT_EQ(dict_get(d.get(), "absent", &length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(log.contains("dict_get: key not found: 'absent'"));
  EXPECT_TRUE(log.contains("message: (item != NULL) assertion failed"));

  for (int index : {-1, 1, 1000}) {
    SCOPED_TRACE(index);
    log.clear();
    const dict_item* item = reinterpret_cast<const dict_item*>(1);
    EXPECT_EQ(dict_get_item(d.get(), index, &length, &item), nullptr);
    EXPECT_EQ(item, nullptr);
    EXPECT_TRUE(log.contains("message: (0 <= i && i < dict->_size) assertion failed"));
  }
}

TEST(Dict, ManyEntriesGrowTheStorage) {
  DictPtr d(dict_create());
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "name" + std::to_string(i);
    const std::string value = "value" + std::to_string(i);
    ASSERT_EQ(dict_put(d.get(), name.c_str(), value.data(), value.size()), 1);
  }
  EXPECT_EQ(dict_size(d.get()), 2000);
  for (int i = 0; i < 2000; i += 97) {
    EXPECT_EQ(dict_get(d.get(), ("name" + std::to_string(i)).c_str(), nullptr), "value" + std::to_string(i));
  }
  dict_free(nullptr);
}

}  // namespace
