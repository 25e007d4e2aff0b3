// Byte strings: creation, growth, assignment, appending, formatting, editing.
#include "foundation/bstrlib.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "bstr_test_support.h"

using namespace std::string_literals;

namespace {

TEST(BstrCreate, CapacityFollowsContentLength) {
  struct Case {
    std::size_t length;
    int capacity;
  };
  const Case cases[] = {{0, 8}, {1, 8}, {6, 8}, {7, 16}, {14, 16}, {15, 32}, {30, 32}, {31, 64}};
  for (const Case& c : cases) {
    std::string text(c.length, 'x');
    Bptr from_text(bfromcstr(text.c_str()));
    Bptr from_block = make(text);
    for (const_bstring b : {from_text.get(), from_block.get()}) {
      ASSERT_TRUE(sound(b)) << c.length;
      EXPECT_EQ(b->slen, static_cast<int>(c.length));
      EXPECT_EQ(b->mlen, c.capacity) << "length " << c.length;
      EXPECT_EQ(content(b), text);
    }
  }
}

TEST(BstrCreate, CopiesKeepZeroBytesAndRequestedCapacity) {
  Bptr block = make("a\0b\0"s);
  ASSERT_TRUE(sound(block.get()));
  EXPECT_EQ(content(block.get()), "a\0b\0"s);
  Bptr copy(bstrcpy(block.get()));
  ASSERT_TRUE(sound(copy.get()));
  EXPECT_EQ(content(copy.get()), "a\0b\0"s);
  EXPECT_NE(copy->data, block->data);
  Bptr roomy(bfromcstralloc(100, "ab"));
  ASSERT_TRUE(sound(roomy.get()));
  EXPECT_GE(roomy->mlen, 100);
  EXPECT_EQ(content(roomy.get()), "ab");
}

TEST(BstrCreate, MissingOrInvalidInputGivesNone) {
  tagbstring destroyed{-1, -1, nullptr};
  tagbstring negative{8, -3, reinterpret_cast<unsigned char*>(const_cast<char*>("abc"))};
  EXPECT_EQ(bfromcstr(nullptr), nullptr);
  EXPECT_EQ(bfromcstralloc(16, nullptr), nullptr);
  EXPECT_EQ(blk2bstr(nullptr, 1), nullptr);
  EXPECT_EQ(blk2bstr("a", -1), nullptr);
  EXPECT_EQ(bstrcpy(nullptr), nullptr);
  EXPECT_EQ(bstrcpy(&destroyed), nullptr);
  EXPECT_EQ(bstrcpy(&negative), nullptr);
  EXPECT_EQ(bmidstr(&negative, 0, 1), nullptr);
  EXPECT_EQ(bstr2cstr(nullptr, '?'), nullptr);
  EXPECT_EQ(bformat(nullptr), nullptr);
  EXPECT_EQ(bdestroy(nullptr), BSTR_ERR);
  EXPECT_EQ(bdestroy(&destroyed), BSTR_ERR);
  EXPECT_EQ(bcstrfree(nullptr), BSTR_ERR);
}

TEST(BstrCreate, ReadOnlyViewsCannotBeDestroyedOrWritten) {
  char text[] = "view";
  tagbstring view = bview(text, 4);
  EXPECT_EQ(bdestroy(&view), BSTR_ERR);
  EXPECT_EQ(bconchar(&view, 'x'), BSTR_ERR);
  EXPECT_EQ(bcatcstr(&view, "x"), BSTR_ERR);
  EXPECT_EQ(balloc(&view, 100), BSTR_ERR);
  EXPECT_EQ(btolower(&view), BSTR_ERR);
  EXPECT_EQ(btrimws(&view), BSTR_ERR);
  EXPECT_EQ(bdelete(&view, 0, 1), BSTR_ERR);
  Bptr other = make("x");
  EXPECT_EQ(bassign(&view, other.get()), BSTR_ERR);
  EXPECT_EQ(bfindreplace(&view, other.get(), other.get(), 0), BSTR_ERR);
  EXPECT_EQ(view.slen, 4);
  EXPECT_STREQ(text, "view");
  // A record whose capacity does not exceed its length is not writable.
  tagbstring full{4, 4, reinterpret_cast<unsigned char*>(text)};
  EXPECT_EQ(bconchar(&full, 'x'), BSTR_ERR);
  EXPECT_EQ(bconcat(&full, other.get()), BSTR_ERR);
  // Reading through a view works.
  Bptr copy(bstrcpy(&view));
  EXPECT_EQ(content(copy.get()), "view");
}

TEST(BstrAlloc, GrowsToThePowerOfTwoAboveTheNeed) {
  struct Case {
    int need;
    int capacity;
  };
  const Case cases[] = {{1, 8}, {7, 8}, {8, 16}, {9, 16}, {15, 16}, {16, 32}, {100, 128},
                        {1024, 2048}};
  for (const Case& c : cases) {
    Bptr b = make("abc");
    ASSERT_EQ(balloc(b.get(), c.need), BSTR_OK) << c.need;
    EXPECT_EQ(b->mlen, c.capacity) << c.need;
    EXPECT_TRUE(sound(b.get()));
    EXPECT_EQ(content(b.get()), "abc");
  }
}

TEST(BstrAlloc, KeepsContentOnBothGrowthPaths) {
  // 14 of 16 bytes used is nearly full (reallocated in place); 3 of 16 is
  // not (copied to a fresh block).
  for (std::string text : {"abcdefghijklmn"s, "a\0c"s}) {
    Bptr b = make(text);
    ASSERT_EQ(balloc(b.get(), 16), BSTR_OK);
    ASSERT_EQ(balloc(b.get(), 40), BSTR_OK);
    EXPECT_EQ(b->mlen, 64);
    EXPECT_TRUE(sound(b.get()));
    EXPECT_EQ(content(b.get()), text);
  }
}

TEST(BstrAlloc, RejectsInvalidNeedsWithoutChange) {
  Bptr b = make("abc");
  for (int need : {0, -1, INT_MIN, INT_MAX}) {
    EXPECT_EQ(balloc(b.get(), need), BSTR_ERR) << need;
    EXPECT_EQ(b->mlen, 8);
    EXPECT_EQ(content(b.get()), "abc");
  }
  EXPECT_EQ(balloc(nullptr, 10), BSTR_ERR);
}

TEST(BstrAssign, SubstringsClipToTheContent) {
  struct Case {
    int left;
    int len;
    const char* expected;
  };
  const Case cases[] = {
      {1, 3, "ell"},        {0, 5, "hello"},  {-2, 4, "he"}, {3, 100, "lo"},  {5, 1, ""},
      {10, 1, ""},          {0, -1, ""},      {0, 0, ""},    {-10, 3, ""},    {INT_MIN, -1, ""},
      {INT_MIN, INT_MAX, ""}, {-1, INT_MAX, "hello"}, {INT_MAX, INT_MAX, ""},
  };
  Bptr source = make("hello");
  for (const Case& c : cases) {
    Bptr mid(bmidstr(source.get(), c.left, c.len));
    ASSERT_TRUE(sound(mid.get())) << c.left << "," << c.len;
    EXPECT_EQ(content(mid.get()), c.expected) << c.left << "," << c.len;
    Bptr target = make("previous content");
    ASSERT_EQ(bassignmidstr(target.get(), source.get(), c.left, c.len), BSTR_OK);
    EXPECT_TRUE(sound(target.get()));
    EXPECT_EQ(content(target.get()), c.expected) << c.left << "," << c.len;
  }
}

TEST(BstrAssign, CopiesGrowAndEmpty) {
  Bptr target = make("ab");
  Bptr longer = make("0123456789abcdefghij\0z"s);
  ASSERT_EQ(bassign(target.get(), longer.get()), BSTR_OK);
  EXPECT_TRUE(sound(target.get()));
  EXPECT_EQ(content(target.get()), "0123456789abcdefghij\0z"s);
  Bptr empty = make("");
  ASSERT_EQ(bassign(target.get(), empty.get()), BSTR_OK);
  EXPECT_TRUE(sound(target.get()));
  EXPECT_EQ(target->slen, 0);
  ASSERT_EQ(bassigncstr(target.get(), "text"), BSTR_OK);
  EXPECT_EQ(content(target.get()), "text");
  ASSERT_EQ(bassignblk(target.get(), "x\0y", 3), BSTR_OK);
  EXPECT_EQ(content(target.get()), "x\0y"s);
  EXPECT_EQ(bassign(target.get(), nullptr), BSTR_ERR);
  EXPECT_EQ(bassignblk(target.get(), nullptr, 1), BSTR_ERR);
  EXPECT_EQ(bassignblk(target.get(), "x", -1), BSTR_ERR);
  EXPECT_EQ(content(target.get()), "x\0y"s);
}

TEST(BstrAssign, SourcesInsideTheTargetsOwnStorage) {
  Bptr b = make("abcdefghij");
  ASSERT_EQ(bassign(b.get(), b.get()), BSTR_OK);
  EXPECT_EQ(content(b.get()), "abcdefghij");
  tagbstring tail = bview(b->data + 4, 6);
  ASSERT_EQ(bassign(b.get(), &tail), BSTR_OK);
  EXPECT_EQ(content(b.get()), "efghij");
  ASSERT_EQ(bassigncstr(b.get(), bdata(b.get()) + 2), BSTR_OK);
  EXPECT_EQ(content(b.get()), "ghij");
  // A view that covers the whole storage, so the target must grow.
  tagbstring all = bview(b->data, b->mlen);
  ASSERT_EQ(bassign(b.get(), &all), BSTR_OK);
  EXPECT_TRUE(sound(b.get()));
  EXPECT_EQ(b->slen, 16);
  EXPECT_EQ(content(b.get()).substr(0, 5), "ghij\0"s);
  // Text past the zero after the content is not initialised: refused.
  Bptr small = make("ab");
  EXPECT_EQ(bassigncstr(small.get(), bdata(small.get()) + 3), BSTR_ERR);
  EXPECT_EQ(bcatcstr(small.get(), bdata(small.get()) + 3), BSTR_ERR);
  EXPECT_EQ(content(small.get()), "ab");
}

TEST(BstrAppend, ConcatenationCases) {
  Bptr self = make("abc");
  ASSERT_EQ(bconcat(self.get(), self.get()), BSTR_OK);
  EXPECT_EQ(content(self.get()), "abcabc");
  ASSERT_EQ(bconcat(self.get(), self.get()), BSTR_OK);
  EXPECT_TRUE(sound(self.get()));
  EXPECT_EQ(content(self.get()), "abcabcabcabc");
  EXPECT_EQ(self->mlen, 16);

  // A source inside the target's storage when the target must grow.
  Bptr inner = make("0123456789abcd");
  tagbstring middle = bview(inner->data + 2, 10);
  ASSERT_EQ(bconcat(inner.get(), &middle), BSTR_OK);
  EXPECT_TRUE(sound(inner.get()));
  EXPECT_EQ(content(inner.get()), "0123456789abcd23456789ab");

  // ... and when it need not grow.
  Bptr roomy(bfromcstralloc(64, "xyz"));
  tagbstring first = bview(roomy->data, 2);
  ASSERT_EQ(bconcat(roomy.get(), &first), BSTR_OK);
  EXPECT_EQ(content(roomy.get()), "xyzxy");

  Bptr with_zero = make("a");
  ASSERT_EQ(bcatblk(with_zero.get(), "\0b", 2), BSTR_OK);
  EXPECT_EQ(content(with_zero.get()), "a\0b"s);
  EXPECT_EQ(bconcat(with_zero.get(), nullptr), BSTR_ERR);
  EXPECT_EQ(bconcat(nullptr, with_zero.get()), BSTR_ERR);
  EXPECT_EQ(bcatblk(with_zero.get(), nullptr, 1), BSTR_ERR);
  EXPECT_EQ(bcatblk(with_zero.get(), "x", -1), BSTR_ERR);
  EXPECT_EQ(content(with_zero.get()), "a\0b"s);
}

TEST(BstrAppend, CstrAroundTheRoomBoundary) {
  // Strings of capacity 8 with 0 to 7 bytes used, appended texts that end
  // before, at and past the free room.
  for (int used = 0; used < 7; ++used) {
    for (int added = 0; added < 12; ++added) {
      std::string start(static_cast<std::size_t>(used), 'a');
      std::string more(static_cast<std::size_t>(added), 'b');
      Bptr b = make(start);
      ASSERT_EQ(b->mlen, 8);
      ASSERT_EQ(bcatcstr(b.get(), more.c_str()), BSTR_OK);
      EXPECT_TRUE(sound(b.get())) << used << "+" << added;
      EXPECT_EQ(content(b.get()), start + more);
    }
  }
}

TEST(BstrAppend, BytesOneAtATime) {
  Bptr b = make("");
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    char c = static_cast<char>(i);
    ASSERT_EQ(bconchar(b.get(), c), BSTR_OK);
    expected.push_back(c);
    ASSERT_TRUE(sound(b.get()));
  }
  EXPECT_EQ(content(b.get()), expected);
  EXPECT_EQ(b->mlen, 512);
}

// Records that claim huge sizes over a small buffer: a guard that works
// fails before touching the bytes, so nothing gigabyte-sized is allocated.
struct HugeRecord {
  unsigned char bytes[16] = "0123456789";
  tagbstring record;
  HugeRecord(int mlen, int slen) : record{mlen, slen, bytes} {}
};

TEST(BstrOverflow, AppendingPastThe32BitLimitFails) {
  HugeRecord target(INT_MAX, INT_MAX - 2);
  Bptr two = make("xy");
  EXPECT_EQ(bconcat(&target.record, two.get()), BSTR_ERR);
  EXPECT_EQ(bcatblk(&target.record, "xy", 2), BSTR_ERR);
  EXPECT_EQ(bconchar(&target.record, 'x'), BSTR_ERR);
  EXPECT_EQ(binsert(&target.record, 0, two.get(), ' '), BSTR_ERR);
  EXPECT_EQ(binsertch(&target.record, 0, 5, ' '), BSTR_ERR);
  EXPECT_EQ(bsetstr(&target.record, INT_MAX - 1, two.get(), ' '), BSTR_ERR);
  EXPECT_EQ(breplace(&target.record, 0, 1, two.get(), ' '), BSTR_ERR);
  EXPECT_EQ(bformata(&target.record, "%s", "xyz"), BSTR_ERR);
  EXPECT_EQ(target.record.slen, INT_MAX - 2);
  EXPECT_EQ(target.record.mlen, INT_MAX);

  HugeRecord half(1 << 30, (1 << 30) - 1);
  EXPECT_EQ(bconcat(&half.record, &half.record), BSTR_ERR);
  EXPECT_EQ(half.record.slen, (1 << 30) - 1);
}

TEST(BstrOverflow, SizesFromArgumentsPastTheLimitFail) {
  Bptr b = make("abc");
  HugeRecord huge(-1, INT_MAX);  // read-only view claiming 2^31-1 bytes
  EXPECT_EQ(bconcat(b.get(), &huge.record), BSTR_ERR);
  EXPECT_EQ(bassign(b.get(), &huge.record), BSTR_ERR);
  EXPECT_EQ(binsert(b.get(), 1, &huge.record, ' '), BSTR_ERR);
  EXPECT_EQ(bsetstr(b.get(), 1, &huge.record, ' '), BSTR_ERR);
  EXPECT_EQ(breplace(b.get(), 0, 1, &huge.record, ' '), BSTR_ERR);
  EXPECT_EQ(binsertch(b.get(), 1, INT_MAX, ' '), BSTR_ERR);
  EXPECT_EQ(binsertch(b.get(), INT_MAX, 1, ' '), BSTR_ERR);
  EXPECT_EQ(bsetstr(b.get(), INT_MAX, nullptr, ' '), BSTR_ERR);
  EXPECT_EQ(bpattern(b.get(), INT_MAX), BSTR_ERR);
  EXPECT_EQ(bstrcpy(&huge.record), nullptr);
  EXPECT_TRUE(sound(b.get()));
  EXPECT_EQ(content(b.get()), "abc");
  EXPECT_EQ(b->mlen, 8);
}

TEST(BstrFormat, FormatsAndGrows) {
  Bptr simple(bformat("%d-%s", 42, "x"));
  ASSERT_TRUE(sound(simple.get()));
  EXPECT_EQ(content(simple.get()), "42-x");
  EXPECT_EQ(simple->mlen, 18);  // first guess 16 plus 2

  for (std::size_t n : {15u, 16u, 17u, 100u, 5000u}) {
    std::string arg(n, 'q');
    Bptr grown(bformat("<%s>", arg.c_str()));
    ASSERT_TRUE(sound(grown.get())) << n;
    EXPECT_EQ(content(grown.get()), "<" + arg + ">");
  }
  // The text ends at its first zero byte.
  Bptr cut(bformat("ab%cd", 0));
  EXPECT_EQ(content(cut.get()), "ab");

  Bptr b = make("n=");
  ASSERT_EQ(bformata(b.get(), "%03d", 7), BSTR_OK);
  EXPECT_EQ(content(b.get()), "n=007");
  EXPECT_EQ(bformata(nullptr, "%d", 1), BSTR_ERR);
}

TEST(BstrFormat, PrinterErrorGivesNoneInsteadOfEndlessGrowth) {
  // A wide character that the C locale cannot convert makes the printer
  // report an error; that must not be taken for a text that did not fit.
  const wchar_t unconvertible[] = {0x20AC, 0};
  EXPECT_EQ(bformat("x%lsy", unconvertible), nullptr);
  Bptr b = make("keep");
  EXPECT_EQ(bformata(b.get(), "%ls", unconvertible), BSTR_ERR);
  EXPECT_EQ(content(b.get()), "keep");
}

TEST(BstrCstr, ZeroBytesAreReplaced) {
  struct Case {
    std::string in;
    char z;
    const char* out;
  };
  const Case cases[] = {{"a\0b"s, '?', "a?b"}, {""s, '?', ""}, {"\0\0"s, '.', ".."}, {"ab"s, '?', "ab"}};
  for (const Case& c : cases) {
    Bptr b = make(c.in);
    char* text = bstr2cstr(b.get(), c.z);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, c.out);
    EXPECT_EQ(bcstrfree(text), BSTR_OK);
  }
}

TEST(BstrEdit, InsertReplaceSetTable) {
  enum Op { INSERT, REPLACE, SET };
  struct Case {
    Op op;
    const char* start;
    int pos;
    int len;  // replace only
    const char* with;
    const char* expected;
  };
  const Case cases[] = {
      {INSERT, "abc", 0, 0, "XY", "XYabc"},   {INSERT, "abc", 1, 0, "XY", "aXYbc"},
      {INSERT, "abc", 3, 0, "XY", "abcXY"},   {INSERT, "abc", 5, 0, "XY", "abc..XY"},
      {INSERT, "abc", 1, 0, "", "abc"},       {REPLACE, "abcdef", 1, 2, "XYZ", "aXYZdef"},
      {REPLACE, "abcdef", 1, 4, "X", "aXf"},  {REPLACE, "abcdef", 4, 10, "Q", "abcdQ"},
      {REPLACE, "abcdef", 8, 1, "Q", "abcdef..Q"}, {REPLACE, "abcdef", 0, 6, "", ""},
      {REPLACE, "abcdef", 2, 0, "--", "ab--cdef"}, {SET, "abcdef", 1, 0, "XY", "aXYdef"},
      {SET, "abc", 2, 0, "XYZ", "abXYZ"},     {SET, "abc", 5, 0, "Z", "abc..Z"},
      {SET, "abc", 1, 0, "", "abc"},
  };
  for (const Case& c : cases) {
    Bptr b = make(c.start);
    Bptr with = make(c.with);
    int ret = BSTR_ERR;
    switch (c.op) {
      case INSERT: ret = binsert(b.get(), c.pos, with.get(), '.'); break;
      case REPLACE: ret = breplace(b.get(), c.pos, c.len, with.get(), '.'); break;
      case SET: ret = bsetstr(b.get(), c.pos, with.get(), '.'); break;
    }
    ASSERT_EQ(ret, BSTR_OK) << c.op << " " << c.start << " " << c.pos;
    EXPECT_TRUE(sound(b.get()));
    EXPECT_EQ(content(b.get()), c.expected) << c.op << " " << c.start << " " << c.pos;
  }
}

TEST(BstrEdit, EditsWithTheStringItselfAsSource) {
  Bptr b = make("abcdefghij");
  ASSERT_EQ(binsert(b.get(), 3, b.get(), '.'), BSTR_OK);
  EXPECT_EQ(content(b.get()), "abcabcdefghijdefghij");
  Bptr r = make("abcdefghij");
  ASSERT_EQ(breplace(r.get(), 2, 3, r.get(), '.'), BSTR_OK);
  EXPECT_EQ(content(r.get()), "ababcdefghijfghij");
  Bptr t = make("abcdef");
  ASSERT_EQ(breplace(t.get(), 4, 10, t.get(), '.'), BSTR_OK);
  EXPECT_EQ(content(t.get()), "abcdabcdef");
  Bptr s = make("abcdef");
  tagbstring tail = bview(s->data + 3, 3);
  ASSERT_EQ(bsetstr(s.get(), 5, &tail, '.'), BSTR_OK);
  EXPECT_EQ(content(s.get()), "abcdedef");
  EXPECT_TRUE(sound(s.get()));
}

TEST(BstrEdit, DeleteTruncatePatternFill) {
  struct DeleteCase {
    int pos;
    int len;
    const char* expected;
  };
  const DeleteCase deletes[] = {{0, 2, "cdef"}, {2, 2, "abef"}, {4, 10, "abcd"}, {6, 1, "abcdef"},
                                {10, 1, "abcdef"}, {-1, 2, "bcdef"}, {-5, 3, "abcdef"},
                                {0, 0, "abcdef"}, {INT_MIN, INT_MAX, "abcdef"},
                                {1, INT_MAX, "a"}};
  for (const DeleteCase& c : deletes) {
    Bptr b = make("abcdef");
    ASSERT_EQ(bdelete(b.get(), c.pos, c.len), BSTR_OK) << c.pos << "," << c.len;
    EXPECT_TRUE(sound(b.get()));
    EXPECT_EQ(content(b.get()), c.expected) << c.pos << "," << c.len;
  }
  Bptr b = make("abcdef");
  EXPECT_EQ(bdelete(b.get(), 0, -1), BSTR_ERR);
  EXPECT_EQ(btrunc(b.get(), -1), BSTR_ERR);
  ASSERT_EQ(btrunc(b.get(), 10), BSTR_OK);
  EXPECT_EQ(content(b.get()), "abcdef");
  ASSERT_EQ(btrunc(b.get(), 2), BSTR_OK);
  EXPECT_EQ(content(b.get()), "ab");
  ASSERT_EQ(bpattern(b.get(), 7), BSTR_OK);
  EXPECT_EQ(content(b.get()), "abababa");
  ASSERT_EQ(bpattern(b.get(), 3), BSTR_OK);
  EXPECT_EQ(content(b.get()), "aba");
  EXPECT_TRUE(sound(b.get()));
  Bptr empty = make("");
  EXPECT_EQ(bpattern(empty.get(), 3), BSTR_ERR);
  ASSERT_EQ(binsertch(b.get(), 1, 2, '-'), BSTR_OK);
  EXPECT_EQ(content(b.get()), "a--ba");
  ASSERT_EQ(binsertch(b.get(), 7, 1, '+'), BSTR_OK);
  EXPECT_EQ(content(b.get()), "a--ba+++");
  EXPECT_EQ(binsertch(b.get(), 1, -1, '-'), BSTR_ERR);
  EXPECT_EQ(binsert(b.get(), -1, empty.get(), '-'), BSTR_ERR);
}

TEST(BstrCase, FoldsAsciiLettersOnly) {
  Bptr lower = make("AbC\xC4z@[`{09\0Q"s);
  Bptr upper = make("AbC\xE4z@[`{09\0q"s);
  ASSERT_EQ(btolower(lower.get()), BSTR_OK);
  ASSERT_EQ(btoupper(upper.get()), BSTR_OK);
  EXPECT_EQ(content(lower.get()), "abc\xC4z@[`{09\0q"s);
  EXPECT_EQ(content(upper.get()), "ABC\xE4Z@[`{09\0Q"s);
}

TEST(BstrTrim, WhiteSpaceOfTheCLocale) {
  struct Case {
    std::string in;
    const char* both;
    const char* left;
    const char* right;
  };
  const Case cases[] = {
      {"  a b \t\n", "a b", "a b \t\n", "  a b"},
      {" \t\n\v\f\r", "", "", ""},
      {"", "", "", ""},
      {"x", "x", "x", "x"},
      {"\xA0x\x85", "\xA0x\x85", "\xA0x\x85", "\xA0x\x85"},  // not C-locale space
  };
  for (const Case& c : cases) {
    Bptr both = make(c.in);
    Bptr left = make(c.in);
    Bptr right = make(c.in);
    ASSERT_EQ(btrimws(both.get()), BSTR_OK);
    ASSERT_EQ(bltrimws(left.get()), BSTR_OK);
    ASSERT_EQ(brtrimws(right.get()), BSTR_OK);
    for (const_bstring b : {both.get(), left.get(), right.get()}) EXPECT_TRUE(sound(b));
    EXPECT_EQ(content(both.get()), c.both) << c.in;
    EXPECT_EQ(content(left.get()), c.left) << c.in;
    EXPECT_EQ(content(right.get()), c.right) << c.in;
  }
  // Zero bytes are content, not white space.
  Bptr zeros = make(" \0 a \0 "s);
  ASSERT_EQ(btrimws(zeros.get()), BSTR_OK);
  EXPECT_EQ(content(zeros.get()), "\0 a \0"s);
}

}  // namespace
