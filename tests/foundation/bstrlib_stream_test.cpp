// Byte strings: reading from a caller's source and buffered streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bstr_test_support.h"
#include "foundation/bstrlib.h"

using namespace std::string_literals;

namespace {

// A source over a text that hands out at most `chunk` bytes per read, the
// way pipes and sockets give short reads. `overclaim` makes it report more
// bytes than it was asked for, as a faulty source might.
struct Source {
  std::string text;
  std::size_t chunk = 1 << 20;
  std::size_t at = 0;
  std::size_t overclaim = 0;
  int reads = 0;
};

std::size_t source_read(void* buff, std::size_t elsize, std::size_t nelem, void* parm) {
  auto* s = static_cast<Source*>(parm);
  ++s->reads;
  std::size_t n = std::min({elsize * nelem, s->chunk, s->text.size() - s->at});
  std::memcpy(buff, s->text.data() + s->at, n);
  s->at += n;
  return n == 0 ? 0 : n + s->overclaim;
}

int source_getc(void* parm) {
  auto* s = static_cast<Source*>(parm);
  if (s->at >= s->text.size()) return -1;
  return static_cast<unsigned char>(s->text[s->at++]);
}

std::vector<std::string> read_lines(bStream* s, char terminator) {
  std::vector<std::string> lines;
  Bptr line = make("");
  while (bsreadln(line.get(), s, terminator) == BSTR_OK) {
    EXPECT_TRUE(sound(line.get()));
    lines.push_back(content(line.get()));
  }
  return lines;
}

TEST(BstrStream, LinesAcrossReadSizesAndBufferSizes) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    V lines;
  };
  const Case cases[] = {
      {"one\ntwo\nthree", {"one\n", "two\n", "three"}},
      {"one\ntwo\n", {"one\n", "two\n"}},
      {"", {}},
      {"\n\n", {"\n", "\n"}},
      {"no terminator at all", {"no terminator at all"}},
      {"a\0b\nc"s, {"a\0b\n"s, "c"}},
      {std::string(3000, 'x') + "\ny", {std::string(3000, 'x') + "\n", "y"}},
  };
  for (std::size_t chunk : {1u, 3u, 7u, 1024u}) {
    for (int buffer : {1, 4, 1024}) {
      for (const Case& c : cases) {
        Source src{c.text, chunk};
        BStreamPtr s(bsopen(source_read, &src));
        ASSERT_EQ(bsbufflength(s.get(), buffer), BSTR_STREAM_BUFFER);
        EXPECT_EQ(read_lines(s.get(), '\n'), c.lines) << chunk << "/" << buffer;
        EXPECT_EQ(bseof(s.get()), 1);
      }
    }
  }
}

TEST(BstrStream, TerminatorBytesAboveAscii) {
  Source src{"ab\xFF" "cd\xFF" "e", 2};
  BStreamPtr s(bsopen(source_read, &src));
  EXPECT_EQ(read_lines(s.get(), '\xFF'),
            (std::vector<std::string>{"ab\xFF", "cd\xFF", "e"}));
}

TEST(BstrStream, LinesEndingAtAnyByteOfASet) {
  Source src{"a;b,c;", 2};
  BStreamPtr s(bsopen(source_read, &src));
  Bptr term = make(",;");
  Bptr line = make("");
  std::vector<std::string> lines;
  while (bsreadlns(line.get(), s.get(), term.get()) == BSTR_OK) lines.push_back(content(line.get()));
  EXPECT_EQ(lines, (std::vector<std::string>{"a;", "b,", "c;"}));
  Bptr empty = make("");
  EXPECT_EQ(bsreadlns(line.get(), s.get(), empty.get()), BSTR_ERR);
}

TEST(BstrStream, CountedReadsUnreadAndPeek) {
  Source src{"0123456789", 4};
  BStreamPtr s(bsopen(source_read, &src));
  Bptr b = make("");
  ASSERT_EQ(bsread(b.get(), s.get(), 3), BSTR_OK);
  EXPECT_EQ(content(b.get()), "012");
  ASSERT_EQ(bsreada(b.get(), s.get(), 5), BSTR_OK);
  EXPECT_EQ(content(b.get()), "01234567");
  Bptr back = make("xy");
  ASSERT_EQ(bsunread(s.get(), back.get()), BSTR_OK);
  Bptr peek = make("old");
  ASSERT_EQ(bspeek(peek.get(), s.get()), BSTR_OK);
  EXPECT_EQ(content(peek.get()), "xy");
  ASSERT_EQ(bsread(b.get(), s.get(), 100), BSTR_OK);
  EXPECT_EQ(content(b.get()), "xy89");
  EXPECT_TRUE(sound(b.get()));
  EXPECT_EQ(bsread(b.get(), s.get(), 1), BSTR_ERR);
  EXPECT_EQ(bseof(s.get()), 1);
  EXPECT_EQ(bsread(b.get(), s.get(), 0), BSTR_ERR);
  EXPECT_EQ(bsread(b.get(), nullptr, 1), BSTR_ERR);
  EXPECT_EQ(bseof(nullptr), BSTR_ERR);
  EXPECT_EQ(bsbufflength(s.get(), -1), BSTR_ERR);
}

TEST(BstrStream, ReadLineThenCountedReadShareTheBuffer) {
  Source src{"head\nbody bytes", 64};
  BStreamPtr s(bsopen(source_read, &src));
  Bptr line = make("");
  ASSERT_EQ(bsreadln(line.get(), s.get(), '\n'), BSTR_OK);
  EXPECT_EQ(content(line.get()), "head\n");
  Bptr body = make("");
  ASSERT_EQ(bsread(body.get(), s.get(), 4), BSTR_OK);
  EXPECT_EQ(content(body.get()), "body");
  ASSERT_EQ(bsreadlna(body.get(), s.get(), '\n'), BSTR_OK);
  EXPECT_EQ(content(body.get()), "body bytes");
}

TEST(BstrStream, SourceClaimingMoreThanAskedIsClamped) {
  Source src{"abcdefgh\nrest", 4, 0, 1000};
  BStreamPtr s(bsopen(source_read, &src));
  ASSERT_EQ(bsbufflength(s.get(), 4), BSTR_STREAM_BUFFER);
  Bptr line = make("");
  ASSERT_EQ(bsreadln(line.get(), s.get(), '\n'), BSTR_OK);
  EXPECT_TRUE(sound(line.get()));
  EXPECT_EQ(content(line.get()), "abcdefgh\n");
  // Whatever it claims, no count beyond what was asked is taken, so the
  // string never extends past its storage.
  Source whole{"abcdefgh", 4, 0, 1000};
  Bptr all(bread(source_read, &whole));
  ASSERT_TRUE(sound(all.get()));
  EXPECT_EQ(content(all.get()).substr(0, 4), "abcd");
}

TEST(BstrStream, SplitsTheWholeStream) {
  using Piece = std::pair<int, std::string>;
  using V = std::vector<Piece>;
  struct Case {
    std::string text;
    std::string set;
    V expected;
  };
  const Case cases[] = {
      {"a,b;c", ",;", {{0, "a"}, {2, "b"}, {4, "c"}}},
      {"a,b,", ",", {{0, "a"}, {2, "b"}}},
      {",a", ",", {{0, ""}, {1, "a"}}},
      {"", ",", {{0, ""}}},
      {"a,,b", ",", {{0, "a"}, {2, ""}, {3, "b"}}},
      {"whole,text", "", {{0, "whole,text"}}},
  };
  auto collect = [](void* parm, int ofs, const_bstring entry) {
    static_cast<V*>(parm)->emplace_back(ofs, content(entry));
    return 0;
  };
  for (std::size_t chunk : {1u, 2u, 100u}) {
    for (const Case& c : cases) {
      Source src{c.text, chunk};
      BStreamPtr s(bsopen(source_read, &src));
      Bptr set = make(c.set);
      V seen;
      ASSERT_EQ(bssplitscb(s.get(), set.get(), collect, &seen), BSTR_OK);
      EXPECT_EQ(seen, c.expected) << c.text << " chunk " << chunk;
    }
  }
  Source src{"a,b,c", 1};
  BStreamPtr s(bsopen(source_read, &src));
  Bptr comma = make(",");
  auto stop = [](void*, int, const_bstring) { return -3; };
  EXPECT_EQ(bssplitscb(s.get(), comma.get(), stop, nullptr), -3);
}

TEST(BstrStream, OpenAndCloseHandBackTheSource) {
  Source src{"x"};
  EXPECT_EQ(bsopen(nullptr, &src), nullptr);
  bStream* s = bsopen(source_read, &src);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(bsclose(s), &src);
  EXPECT_EQ(bsclose(nullptr), nullptr);
}

TEST(BstrRead, LinesByteByByteAndWholeSources) {
  Source src{"first\nsecond\xFFthird"};
  Bptr line(bgets(source_getc, &src, '\n'));
  ASSERT_TRUE(sound(line.get()));
  EXPECT_EQ(content(line.get()), "first\n");
  Bptr next = make(">");
  ASSERT_EQ(bgetsa(next.get(), source_getc, &src, '\xFF'), BSTR_OK);
  EXPECT_EQ(content(next.get()), ">second\xFF");
  Bptr rest(bgets(source_getc, &src, '\n'));
  EXPECT_EQ(content(rest.get()), "third");
  EXPECT_EQ(bgets(source_getc, &src, '\n'), nullptr);
  EXPECT_EQ(bgetsa(next.get(), source_getc, &src, '\n'), BSTR_ERR);
  EXPECT_EQ(bgetsa(next.get(), nullptr, &src, '\n'), BSTR_ERR);

  for (std::size_t size : {0u, 5u, 1023u, 1024u, 1025u, 70000u}) {
    std::string text(size, 'z');
    Source whole{text, 333};
    Bptr all(bread(source_read, &whole));
    ASSERT_TRUE(sound(all.get())) << size;
    EXPECT_EQ(content(all.get()), text);
    Bptr prefixed = make("p:");
    Source again{text, 1000};
    ASSERT_EQ(breada(prefixed.get(), source_read, &again), BSTR_OK);
    EXPECT_EQ(content(prefixed.get()), "p:" + text);
  }
  EXPECT_EQ(bread(nullptr, nullptr), nullptr);
}

}  // namespace
