#include "foundation/sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string hex_of(const std::string& input) {
  char out[41];
  EXPECT_EQ(util_digest_sha1_hex(reinterpret_cast<const std::uint8_t*>(input.data()),
                                 static_cast<std::uint32_t>(input.size()), out),
            1);
  return out;
}

std::string repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

TEST(Sha1, Rfc3174TestVectors) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
      {repeat("0123456701234567012345670123456701234567012345670123456701234567", 10),
       "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      // Lengths around the padding boundary (55, 56, 64 bytes); digests by sha1sum.
      {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
      {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
      {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.size());
    EXPECT_EQ(hex_of(c.input), c.digest);
  }
}

TEST(Sha1, PiecewiseInputEqualsOneInput) {
  const std::string text = repeat("The quick brown fox ", 13);
  SHA1Context context;
  ASSERT_EQ(SHA1Reset(&context), 1);
  for (std::size_t at = 0; at < text.size(); at += 7) {
    const std::size_t n = std::min<std::size_t>(7, text.size() - at);
    ASSERT_EQ(SHA1Input(&context, reinterpret_cast<const std::uint8_t*>(text.data() + at),
                        static_cast<unsigned>(n)),
              1);
  }
  std::uint8_t digest[SHA1HashSize];
  ASSERT_EQ(SHA1Result(&context, digest), 1);
  char hex[41];
  for (int i = 0; i < SHA1HashSize; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  EXPECT_EQ(std::string(hex), hex_of(text));
}

TEST(Sha1, InputAfterResultCorruptsTheState) {
  SHA1Context context;
  ASSERT_EQ(SHA1Reset(&context), 1);
  const std::uint8_t byte = 'a';
  ASSERT_EQ(SHA1Input(&context, &byte, 1), 1);
  std::uint8_t first[SHA1HashSize];
  std::uint8_t again[SHA1HashSize];
  ASSERT_EQ(SHA1Result(&context, first), 1);
  ASSERT_EQ(SHA1Result(&context, again), 1);
  EXPECT_EQ(std::memcmp(first, again, SHA1HashSize), 0);
  EXPECT_EQ(SHA1Input(&context, &byte, 1), 0);
  EXPECT_EQ(SHA1Result(&context, again), 0);
}

TEST(Sha1, MessageOf2To64BitsIsRefused) {
  SHA1Context context;
  ASSERT_EQ(SHA1Reset(&context), 1);
  // Pretend 2^64 - 8 bits were already read: one more byte overflows.
  context.Length_High = 0xFFFFFFFF;
  context.Length_Low = 0xFFFFFFF8;
  const std::uint8_t byte = 'a';
  EXPECT_EQ(SHA1Input(&context, &byte, 1), 0);
  std::uint8_t digest[SHA1HashSize];
  EXPECT_EQ(SHA1Result(&context, digest), 0);
}

TEST(Sha1, NullArguments) {
  EXPECT_EQ(SHA1Reset(nullptr), 0);
  SHA1Context context;
  ASSERT_EQ(SHA1Reset(&context), 1);
  EXPECT_EQ(SHA1Input(&context, nullptr, 3), 0);
  EXPECT_EQ(SHA1Result(&context, nullptr), 0);
  char out[41];
  EXPECT_EQ(util_digest_sha1_hex(nullptr, 0, out), 1);
  EXPECT_STREQ(out, "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

}  // namespace
