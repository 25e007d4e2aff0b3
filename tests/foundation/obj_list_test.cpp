#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/containers.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;

ObjListPtr list_of(const std::vector<std::string>& blobs) {
  ObjListPtr list(obj_list_create());
  for (const std::string& blob : blobs) EXPECT_EQ(obj_list_append(list.get(), blob.data(), blob.size()), 1);
  return list;
}

std::vector<std::string> blobs_of(const obj_list* list) {
  std::vector<std::string> out;
  for (int i = 0; i < obj_list_size(list); ++i) {
    std::uint64_t length = 0;
    const std::uint8_t* data = obj_list_get(list, i, &length);
    out.emplace_back(reinterpret_cast<const char*>(data), length);
  }
  return out;
}

std::string top_of(const obj_list* list) {
  std::uint64_t length = 0;
  const std::uint8_t* data = obj_list_top(list, &length);
  return data == nullptr ? "<none>" : std::string(reinterpret_cast<const char*>(data), length);
}

TEST(ObjList, AppendGetPutDel) {
  ObjListPtr list = list_of({"zero", std::string("o\0ne", 4), "two"});
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"zero", std::string("o\0ne", 4), "two"}));
  std::uint64_t length = 0;
  EXPECT_EQ(obj_list_get(list.get(), 2, &length)[length], 0) << "copies are zero-terminated";

  ASSERT_EQ(obj_list_put(list.get(), 1, "ONE", 3), 1);
  ASSERT_EQ(obj_list_del(list.get(), 0), 1);
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"ONE", "two"}));
  ASSERT_EQ(obj_list_del(list.get(), 1), 1);
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"ONE"}));
  ASSERT_EQ(obj_list_append(list.get(), nullptr, 0), 1);
  EXPECT_EQ(obj_list_size(list.get()), 2);
}

TEST(ObjList, OutOfRangeIndexesAreRefused) {
  ObjListPtr list = list_of({"a", "b"});
  LogCapture log;
  for (int index : {-1, 2, 99}) {
    SCOPED_TRACE(index);
    const std::string shown = std::to_string(static_cast<unsigned>(index));
    log.clear();
    std::uint64_t length = 5;
    EXPECT_EQ(obj_list_get(list.get(), index, &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(log.contains("obj_list_get: index out of range index=" + shown + ",size=2"));
    EXPECT_TRUE(log.contains("message: (data != NULL) assertion failed"));
    log.clear();
    EXPECT_EQ(obj_list_put(list.get(), index, "x", 1), 0);
    EXPECT_TRUE(log.contains("message: (ok) assertion failed"));
    log.clear();
    EXPECT_EQ(obj_list_del(list.get(), index), 0);
    EXPECT_TRUE(log.contains("obj_list_del: index out of range index=" + shown + ",size=2"));
  }
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"a", "b"}));

  log.clear();
  EXPECT_EQ(obj_list_get(nullptr, 0, nullptr), nullptr);
  EXPECT_TRUE(log.contains("obj_list_get: obj_list==NULL"));
  EXPECT_EQ(obj_list_size(nullptr), -1);
  EXPECT_TRUE(log.contains("obj_list_size: obj_list==NULL"));
  EXPECT_EQ(obj_list_del(nullptr, 0), 0);
  EXPECT_TRUE(log.contains("obj_list_del: obj_list==NULL"));
  EXPECT_EQ(obj_list_resize(nullptr, 0), 0);
  EXPECT_TRUE(log.contains("obj_list_resize: obj_list==NULL"));
}

TEST(ObjList, StackKeepsPoppedBlobsUntilOverwritten) {
  ObjListPtr list(obj_list_create());
  for (const char* blob : {"a", "b", "c"}) ASSERT_EQ(obj_list_push(list.get(), blob, 1), 1);
  EXPECT_EQ(obj_list_depth(list.get()), 3);
  EXPECT_EQ(top_of(list.get()), "c");

  std::uint64_t length = 0;
  EXPECT_EQ(*obj_list_pop(list.get(), &length), 'c');
  EXPECT_EQ(*obj_list_pop(list.get(), &length), 'b');
  EXPECT_EQ(obj_list_depth(list.get()), 1);
  EXPECT_EQ(obj_list_size(list.get()), 3);

  ASSERT_EQ(obj_list_push(list.get(), "dd", 2), 1);
  EXPECT_EQ(obj_list_depth(list.get()), 2);
  EXPECT_EQ(obj_list_size(list.get()), 3);
  EXPECT_EQ(top_of(list.get()), "dd");
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"a", "dd", "c"}));

  // Past the high-water mark a push appends again.
  ASSERT_EQ(obj_list_push(list.get(), "e", 1), 1);
  ASSERT_EQ(obj_list_push(list.get(), "f", 1), 1);
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"a", "dd", "e", "f"}));
  EXPECT_EQ(obj_list_depth(list.get()), 4);
}

TEST(ObjList, PopOfAnEmptyStackGivesNothing) {
  ObjListPtr list = list_of({"not on the stack"});
  LogCapture log;
  std::uint64_t length = 3;
  EXPECT_EQ(obj_list_pop(list.get(), &length), nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(obj_list_depth(list.get()), 0);
  EXPECT_EQ(obj_list_top(list.get(), nullptr), nullptr);
  EXPECT_TRUE(log.contains("obj_list_pop: obj_list->_stack_depth=0"));
  ASSERT_EQ(obj_list_push(list.get(), "x", 1), 1);
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"x"}));
}

TEST(ObjList, ShrinkingNeverLeavesTheStackPastTheEnd) {
  ObjListPtr list(obj_list_create());
  for (const char* blob : {"a", "b", "c", "d"}) ASSERT_EQ(obj_list_push(list.get(), blob, 1), 1);
  LogCapture log;
  EXPECT_EQ(obj_list_resize(list.get(), 5), 0);
  EXPECT_TRUE(log.contains("obj_list_resize: attempt to grow _size=4,size=5"));
  EXPECT_EQ(obj_list_resize(list.get(), -1), 0);

  ASSERT_EQ(obj_list_resize(list.get(), 3), 1);
  EXPECT_EQ(obj_list_depth(list.get()), 3);
  EXPECT_EQ(top_of(list.get()), "c");
  ASSERT_EQ(obj_list_del(list.get(), 0), 1);
  EXPECT_EQ(obj_list_depth(list.get()), 2);
  EXPECT_EQ(top_of(list.get()), "c");
  ASSERT_EQ(obj_list_reset(list.get()), 1);
  EXPECT_EQ(obj_list_depth(list.get()), 0);
  EXPECT_EQ(obj_list_size(list.get()), 0);
  EXPECT_EQ(top_of(list.get()), "<none>");
}

TEST(ObjList, Slice) {
  ObjListPtr list = list_of({"e0", "e1", "e2", "e3", "e4"});
  struct Case {
    int start;
    int end;
    std::vector<std::string> expected;
    bool refused;
  };
  const Case cases[] = {
      {-2, 0, {"e3", "e4"}, false},
      {0, 0, {"e0", "e1", "e2", "e3", "e4"}, false},
      {1, 3, {"e1", "e2"}, false},
      {0, -1, {"e0", "e1", "e2", "e3"}, false},
      {-5, 5, {"e0", "e1", "e2", "e3", "e4"}, false},
      {2, 2, {}, false},
      {3, 1, {}, true},
      {-6, 0, {}, true},
      {0, 6, {}, true},
      {0, -9, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << ".." << c.end);
    ObjListPtr slice(obj_list_slice(list.get(), c.start, c.end));
    if (c.refused) {
      EXPECT_EQ(slice, nullptr);
      continue;
    }
    ASSERT_NE(slice, nullptr);
    EXPECT_EQ(blobs_of(slice.get()), c.expected);
  }
}

TEST(ObjList, SortComparesDecodedElements) {
  ObjListPtr list = list_of({"ccc", "a", "bb", std::string("a\0", 2)});
  obj_list_sort(list.get(), [](const void* a, const void* b) {
    std::uint64_t la = 0;
    std::uint64_t lb = 0;
    const std::uint8_t* da = obj_decode(a, &la);
    const std::uint8_t* db = obj_decode(b, &lb);
    const int by_bytes = std::memcmp(da, db, la < lb ? la : lb);
    return by_bytes != 0 ? by_bytes : (la < lb ? -1 : la > lb ? 1 : 0);
  });
  EXPECT_EQ(blobs_of(list.get()), (std::vector<std::string>{"a", std::string("a\0", 2), "bb", "ccc"}));
}

TEST(ObjList, SignatureDependsOnBytesAndTheirSplit) {
  struct Case {
    std::vector<std::string> blobs;
    std::uint32_t expected;  // worked out independently of this code
  };
  const Case cases[] = {
      {{"A"}, 42547100u},
      {{std::string(280, '\0')}, 2821505067u},  // passes one round of the prime table
      {{"ab", "c"}, 191465332u},
      {{"a", "bc"}, 191465333u},
      {{"abc"}, 191465329u},
      {{"", "x"}, 78003018u},
      {{}, 0u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ObjListPtr list = list_of(c.blobs);
    EXPECT_EQ(obj_list_signature(list.get()), c.expected);
  }
  std::string all;
  for (int i = 0; i < 3; ++i) {
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  }
  EXPECT_EQ(obj_list_signature(list_of({all}).get()), 2656375059u);
  EXPECT_EQ(obj_list_signature(nullptr), 0u);
}

}  // namespace
