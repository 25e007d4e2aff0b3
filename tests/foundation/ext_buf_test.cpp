#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/containers.h"
#include "foundation/util.h"
#include "support/test_support.h"

namespace {

using sw_test::LogCapture;

std::string content(const ext_buf* buf) {
  return {reinterpret_cast<const char*>(ext_buf_data(buf)), ext_buf_size(buf)};
}

struct GrowthCase {
  const char* name;
  std::uint64_t initial_capacity;
  std::vector<std::uint64_t> appends;
  std::uint64_t expected_capacity;
};

TEST(ExtBuf, GrowthDoublesToTheFirstCapacityThatFits) {
  const GrowthCase cases[] = {
      {"default buffer, one byte over", EXT_BUF_DEFAULT_CAPACITY, {16385}, 32768},
      {"default buffer, exactly full", EXT_BUF_DEFAULT_CAPACITY, {16384}, 16384},
      {"default buffer, four times over", EXT_BUF_DEFAULT_CAPACITY, {16384 * 4 + 1}, 16384 * 8},
      {"capacity 0, one byte", 0, {1}, 1},
      {"capacity 0, five bytes", 0, {5}, 8},
      {"capacity 0, bytes one by one", 0, {1, 1, 1}, 4},
      {"capacity 0, nothing appended", 0, {0}, 0},
      {"capacity 3, grows by doubling", 3, {2, 2, 2}, 6},
  };
  for (const GrowthCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExtBufPtr buf(ext_buf_create_ex(c.initial_capacity));
    ASSERT_NE(buf, nullptr);
    std::string expected;
    for (std::uint64_t count : c.appends) {
      std::string bytes(count, static_cast<char>('a' + expected.size() % 26));
      ASSERT_EQ(ext_buf_append(buf.get(), bytes.data(), count), 1);
      expected += bytes;
    }
    EXPECT_EQ(buf->_capacity, c.expected_capacity);
    EXPECT_EQ(content(buf.get()), expected);
    // The spare byte behind the content holds a terminator.
    EXPECT_EQ(ext_buf_data(buf.get())[ext_buf_size(buf.get())], 0);
  }
}

TEST(ExtBuf, AppendOfItsOwnBytesSurvivesTheReallocation) {
  ExtBufPtr buf(ext_buf_create_ex(4));
  ASSERT_EQ(ext_buf_append(buf.get(), "abcd", 4), 1);
  ASSERT_EQ(ext_buf_append(buf.get(), ext_buf_data(buf.get()) + 1, 3), 1);
  EXPECT_EQ(content(buf.get()), "abcdbcd");
  ASSERT_EQ(ext_buf_concat(buf.get(), buf.get()), 1);
  EXPECT_EQ(content(buf.get()), "abcdbcdabcdbcd");
}

TEST(ExtBuf, PointerByteConcatAndReset) {
  ExtBufPtr buf(ext_buf_create());
  ExtBufPtr other(ext_buf_create_ex(0));
  int marker = 0;
  ASSERT_EQ(ext_buf_append_pointer(buf.get(), &marker), 1);
  ASSERT_EQ(ext_buf_size(buf.get()), sizeof(void*));
  void* stored = nullptr;
  std::memcpy(&stored, ext_buf_data(buf.get()), sizeof stored);
  EXPECT_EQ(stored, &marker);

  ext_buf_reset(buf.get());
  EXPECT_EQ(ext_buf_size(buf.get()), 0u);
  EXPECT_EQ(buf->_capacity, EXT_BUF_DEFAULT_CAPACITY);
  ASSERT_EQ(ext_buf_append_byte(buf.get(), 'x'), 1);
  ASSERT_EQ(ext_buf_append_byte(buf.get(), 0), 1);
  ASSERT_EQ(ext_buf_concat(other.get(), buf.get()), 1);
  ASSERT_EQ(ext_buf_concat(other.get(), buf.get()), 1);
  EXPECT_EQ(content(other.get()), std::string("x\0x\0", 4));
}

TEST(ExtBuf, ReplaceTakesExactlyTheBytesAndCanGrowAgain) {
  ExtBufPtr buf(ext_buf_create());
  ASSERT_EQ(ext_buf_append(buf.get(), "old content", 11), 1);
  ASSERT_EQ(ext_buf_replace(buf.get(), "new", 3), 1);
  EXPECT_EQ(buf->_capacity, 3u);
  EXPECT_EQ(content(buf.get()), "new");
  ASSERT_EQ(ext_buf_append(buf.get(), "er", 2), 1);
  EXPECT_EQ(content(buf.get()), "newer");

  // Replacing by nothing leaves capacity 0; the next append must still grow.
  ASSERT_EQ(ext_buf_replace(buf.get(), nullptr, 0), 1);
  EXPECT_EQ(buf->_capacity, 0u);
  ASSERT_EQ(ext_buf_append(buf.get(), "again", 5), 1);
  EXPECT_EQ(content(buf.get()), "again");

  // Replacing by a part of its own storage.
  ASSERT_EQ(ext_buf_replace(buf.get(), ext_buf_data(buf.get()) + 2, 3), 1);
  EXPECT_EQ(content(buf.get()), "ain");
}

TEST(ExtBuf, AsCstrCopiesTheUsedBytes) {
  LogCapture log;
  ExtBufPtr buf(ext_buf_create_ex(2));
  EXPECT_EQ(ext_buf_as_cstr(buf.get()), nullptr);
  EXPECT_TRUE(log.contains("ext_buf_as_cstr: _size"));
  EXPECT_EQ(ext_buf_as_cstr(nullptr), nullptr);
  EXPECT_TRUE(log.contains("ext_buf_as_cstr: ext_buf==NULL"));

  ASSERT_EQ(ext_buf_append(buf.get(), "a\0b", 3), 1);
  const TextPtr text(ext_buf_as_cstr(buf.get()));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text.get(), 4), std::string("a\0b\0", 4));
}

TEST(ExtBuf, RefusalsAreLoggedAndKeepTheContent) {
  LogCapture log;
  EXPECT_EQ(ext_buf_append(nullptr, "a", 1), 0);
  EXPECT_TRUE(log.contains("ext_buf_append: invalid ext_buf"));
  EXPECT_EQ(ext_buf_data(nullptr), nullptr);
  EXPECT_TRUE(log.contains("ext_buf_data: ext_buf==NULL"));
  EXPECT_EQ(ext_buf_size(nullptr), 0u);
  EXPECT_TRUE(log.contains("ext_buf_size: ext_buf==NULL"));

  ExtBufPtr buf(ext_buf_create_ex(8));
  ASSERT_EQ(ext_buf_append(buf.get(), "keep", 4), 1);
  log.clear();
  // A count whose sum with the used size wraps around must not be taken as
  // fitting the buffer.
  EXPECT_EQ(ext_buf_append(buf.get(), "x", UINT64_MAX - 1), 0);
  EXPECT_TRUE(log.contains("ext_buf_append: reallocation failed"));
  EXPECT_EQ(content(buf.get()), "keep");
  EXPECT_EQ(ext_buf_append(buf.get(), nullptr, 3), 0);
  ASSERT_EQ(ext_buf_append(buf.get(), "!", 1), 1);
  EXPECT_EQ(content(buf.get()), "keep!");
  ext_buf_free(nullptr);
}

}  // namespace
