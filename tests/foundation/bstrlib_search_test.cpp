// Byte strings: comparison, searching, find-and-replace, split and join.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "bstr_test_support.h"
#include "foundation/bstrlib.h"

using namespace std::string_literals;

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

TEST(BstrCompare, OrderingTable) {
  struct Case {
    std::string a;
    std::string b;
    int cmp;   // exact result of bstrcmp
    int icmp;  // sign of bstricmp
  };
  const Case cases[] = {
      {"ab", "abc", -1, -1},      {"abc", "ab", 1, 1},      {"", "", 0, 0},
      {"abc", "abc", 0, 0},       {"a", "b", -1, -1},       {"b", "a", 1, 1},
      {"ABC", "abc", 'A' - 'a', 0}, {"abd", "ABC", 'a' - 'A', 1}, {"", "a", -1, -1},
      // Bytes compare as signed values: 0x80 sorts before 'a'.
      {"\x80", "a", -128 - 'a', -1},
      // A zero byte both hold at the same place ends the comparison.
      {"a\0b"s, "a\0c"s, 0, 0},
      {"a\0"s, "a"s, 1, 1},
      // Bytes of 128 and above are not folded.
      {"\xC4", "\xE4", -32, -1},
      {"[", "{", '[' - '{', -1},
  };
  for (const Case& c : cases) {
    Bptr a = make(c.a);
    Bptr b = make(c.b);
    EXPECT_EQ(bstrcmp(a.get(), b.get()), c.cmp) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(bstricmp(a.get(), b.get())), c.icmp) << c.a << " vs " << c.b;
    EXPECT_EQ(biseq(a.get(), b.get()), c.a == c.b ? 1 : 0);
  }
  Bptr same = make("same");
  EXPECT_EQ(bstrcmp(same.get(), same.get()), 0);
}

TEST(BstrCompare, BoundedComparisonTable) {
  struct Case {
    const char* a;
    const char* b;
    int n;
    int cmp;
    int icmp;
  };
  const Case cases[] = {
      {"abcX", "abcY", 3, 0, 0},  {"abcX", "abcY", 4, -1, -1}, {"ab", "abc", 2, 0, 0},
      {"ab", "abc", 3, -1, -1},   {"abc", "ab", 5, 1, 1},      {"abc", "abc", 10, 0, 0},
      {"ABc", "abC", 3, -1, 0},   {"x", "y", 0, 0, 0},         {"", "", 4, 0, 0},
  };
  for (const Case& c : cases) {
    Bptr a = make(c.a);
    Bptr b = make(c.b);
    EXPECT_EQ(sign(bstrncmp(a.get(), b.get(), c.n)), c.cmp) << c.a << " " << c.b << " " << c.n;
    EXPECT_EQ(sign(bstrnicmp(a.get(), b.get(), c.n)), c.icmp) << c.a << " " << c.b << " " << c.n;
  }
}

TEST(BstrCompare, InvalidArgumentsGiveTheComparisonError) {
  Bptr a = make("a");
  tagbstring destroyed{-1, -1, nullptr};
  EXPECT_EQ(bstrcmp(a.get(), nullptr), BSTR_CMP_ERR);
  EXPECT_EQ(bstrcmp(nullptr, a.get()), BSTR_CMP_ERR);
  EXPECT_EQ(bstricmp(&destroyed, a.get()), BSTR_CMP_ERR);
  EXPECT_EQ(bstrncmp(a.get(), a.get(), -1), BSTR_CMP_ERR);
  EXPECT_EQ(bstrnicmp(a.get(), a.get(), -1), BSTR_CMP_ERR);
  EXPECT_EQ(bstrnicmp(nullptr, a.get(), 1), BSTR_CMP_ERR);
  EXPECT_EQ(biseq(a.get(), nullptr), BSTR_ERR);
  EXPECT_EQ(biseqcstr(a.get(), nullptr), BSTR_ERR);
  EXPECT_EQ(biseqcaseless(nullptr, a.get()), BSTR_ERR);
}

TEST(BstrCompare, EqualityTests) {
  struct Case {
    std::string s;
    const char* text;
    int eq_cstr;
    const char* other;
    int eq_caseless;
  };
  const Case cases[] = {
      {"abc", "abc", 1, "ABC", 1},   {"abc", "ab", 0, "abd", 0},  {"ab", "abc", 0, "AB", 1},
      {"", "", 1, "", 1},            {"a\0b"s, "a", 0, "A", 0},    {"\xC4", "\xC4", 1, "\xE4", 0},
  };
  for (const Case& c : cases) {
    Bptr s = make(c.s);
    Bptr other = make(c.other);
    EXPECT_EQ(biseqcstr(s.get(), c.text), c.eq_cstr) << c.text;
    EXPECT_EQ(biseqcaseless(s.get(), other.get()), c.eq_caseless) << c.other;
  }
}

TEST(BstrSearch, SubstringTable) {
  struct Case {
    std::string text;
    int pos;
    std::string pattern;
    int first;  // binstr
    int last;   // binstrr
  };
  const Case cases[] = {
      {"abcabc", 0, "bc", 1, -1},  {"abcabc", 2, "bc", 4, 1},   {"abcabc", 5, "bc", -1, 4},
      {"abc", 3, "", 3, 3},        {"abc", 3, "c", -1, 2},      {"abc", 4, "", -1, -1},
      {"abc", -1, "a", -1, -1},    {"abc", 0, "", 0, 0},        {"aaa", 0, "aaaa", -1, -1},
      {"", 0, "", 0, 0},           {"", 0, "a", -1, -1},        {"a\0b\0b"s, 0, "\0b"s, 1, -1},
      {"a\0b\0b"s, 4, "\0b"s, -1, 3}, {"xxxy", 0, "xy", 2, -1},  {"abc", 1, "abc", -1, 0},
  };
  for (const Case& c : cases) {
    Bptr text = make(c.text);
    Bptr pattern = make(c.pattern);
    EXPECT_EQ(binstr(text.get(), c.pos, pattern.get()), c.first) << c.text << "@" << c.pos;
    EXPECT_EQ(binstrr(text.get(), c.pos, pattern.get()), c.last) << c.text << "@" << c.pos;
  }
  Bptr text = make("abc");
  EXPECT_EQ(binstr(text.get(), 0, nullptr), BSTR_ERR);
  EXPECT_EQ(binstr(nullptr, 0, text.get()), BSTR_ERR);
  EXPECT_EQ(binstr(text.get(), 0, text.get()), 0);
}

TEST(BstrSearch, ByteAndByteSetTable) {
  struct Case {
    const char* text;
    int c;
    int pos;
    const char* set;
    int chr;      // bstrchrp
    int rchr;     // bstrrchrp
    int in;       // binchr
    int in_r;     // binchrr
    int not_in;   // bninchr
    int not_in_r; // bninchrr
  };
  const Case cases[] = {
      {"hello world", 'o', 0, "ow", 4, -1, 4, -1, 0, 0},
      {"hello world", 'o', 5, "ow", 7, 4, 6, 4, 5, 5},
      {"hello world", 'o', 10, "dl", -1, 7, 10, 10, -1, 8},
      {"hello world", 'z', 0, "z", -1, -1, -1, -1, 0, 0},
      {"aaaa", 'a', 0, "a", 0, 0, 0, 0, -1, -1},
      {"aaaa", 'a', 4, "a", -1, -1, -1, 3, -1, -1},
      {"", 'a', 0, "a", -1, -1, -1, -1, -1, -1},
      {"abc", 'a', -1, "a", -1, -1, -1, -1, -1, -1},
  };
  for (const Case& c : cases) {
    Bptr text = make(c.text);
    Bptr set = make(c.set);
    const std::string at = std::string(c.text) + "@" + std::to_string(c.pos);
    EXPECT_EQ(bstrchrp(text.get(), c.c, c.pos), c.chr) << at;
    EXPECT_EQ(bstrrchrp(text.get(), c.c, c.pos), c.rchr) << at;
    EXPECT_EQ(binchr(text.get(), c.pos, set.get()), c.in) << at;
    EXPECT_EQ(binchrr(text.get(), c.pos, set.get()), c.in_r) << at;
    EXPECT_EQ(bninchr(text.get(), c.pos, set.get()), c.not_in) << at;
    EXPECT_EQ(bninchrr(text.get(), c.pos, set.get()), c.not_in_r) << at;
  }
  Bptr text = make("a\xFF" "b\xFF");
  EXPECT_EQ(bstrchr(text.get(), 0xFF), 1);
  EXPECT_EQ(bstrchr(text.get(), '\xFF'), 1);
  EXPECT_EQ(bstrrchr(text.get(), 0xFF), 3);
  Bptr empty = make("");
  EXPECT_EQ(bstrchr(empty.get(), 'a'), -1);
  EXPECT_EQ(bstrrchr(empty.get(), 'a'), -1);
  EXPECT_EQ(binchr(text.get(), 0, nullptr), BSTR_ERR);
  EXPECT_EQ(binchr(text.get(), 0, empty.get()), BSTR_ERR);
  charField cf;
  EXPECT_EQ(buildCharField(&cf, empty.get()), BSTR_ERR);
  EXPECT_EQ(buildCharField(nullptr, text.get()), BSTR_ERR);
}

TEST(BstrReplace, FindReplaceTable) {
  struct Case {
    std::string text;
    std::string find;
    std::string repl;
    int pos;
    std::string expected;
  };
  std::string many_in(100, 'a');
  std::string many_out(200, 'b');
  const Case cases[] = {
      {"aaaa", "aa", "a", 0, "aa"},          {"aba", "a", "aa", 0, "aabaa"},
      {"aa", "a", "aa", 0, "aaaa"},          {"abc", "b", "xyz", 0, "axyzc"},
      {"abcabc", "bc", "XY", 0, "aXYaXY"},   {"aXaXa", "a", "b", 1, "aXbXb"},
      {"aaa", "a", "", 0, "" },              {"abc", "abc", "", 0, ""},
      {"abc", "x", "yy", 0, "abc"},          {"abc", "bc", "X", 2, "abc"},
      {"abc", "c", "X", 3, "abc"},           {"ab", "abc", "X", 0, "ab"},
      {"xaaay", "aa", "b", 0, "xbay"},       {"a\0a\0"s, "\0"s, "--", 0, "a--a--"},
      {"hello world", "o", "0", 5, "hello w0rld"}, {many_in, "a", "bb", 0, many_out},
      {"abcbcbc", "bcb", "Q", 0, "aQcbc"},   {"aaaa", "aa", "aaa", 1, "aaaaa"},
  };
  for (const Case& c : cases) {
    Bptr b = make(c.text);
    Bptr find = make(c.find);
    Bptr repl = make(c.repl);
    ASSERT_EQ(bfindreplace(b.get(), find.get(), repl.get(), c.pos), BSTR_OK) << c.text;
    EXPECT_TRUE(sound(b.get()));
    EXPECT_EQ(content(b.get()), c.expected) << c.text << " " << c.find << "->" << c.repl;
  }
}

TEST(BstrReplace, PatternOrReplacementFromTheStringItself) {
  Bptr b = make("abcab");
  tagbstring find = bview(b->data, 2);  // "ab" at the string's start
  Bptr repl = make("X");
  ASSERT_EQ(bfindreplace(b.get(), &find, repl.get(), 0), BSTR_OK);
  EXPECT_EQ(content(b.get()), "XcX");

  Bptr grow = make("a-a");
  Bptr dash = make("-");
  ASSERT_EQ(bfindreplace(grow.get(), dash.get(), grow.get(), 0), BSTR_OK);
  EXPECT_EQ(content(grow.get()), "aa-aa");

  Bptr whole = make("xyz");
  ASSERT_EQ(bfindreplace(whole.get(), whole.get(), dash.get(), 0), BSTR_OK);
  EXPECT_EQ(content(whole.get()), "-");
  EXPECT_TRUE(sound(whole.get()));
}

TEST(BstrReplace, InvalidArgumentsFailWithoutChange) {
  Bptr b = make("abc");
  Bptr empty = make("");
  Bptr x = make("x");
  EXPECT_EQ(bfindreplace(b.get(), empty.get(), x.get(), 0), BSTR_ERR);
  EXPECT_EQ(bfindreplace(b.get(), x.get(), x.get(), -1), BSTR_ERR);
  EXPECT_EQ(bfindreplace(b.get(), nullptr, x.get(), 0), BSTR_ERR);
  EXPECT_EQ(bfindreplace(b.get(), x.get(), nullptr, 0), BSTR_ERR);
  EXPECT_EQ(bfindreplace(nullptr, x.get(), x.get(), 0), BSTR_ERR);
  EXPECT_EQ(content(b.get()), "abc");
}

TEST(BstrOverflow, ReplacementGrowingPastThe32BitLimitFails) {
  // Two occurrences each growing by 2^30 - 1 bytes give 2^31 bytes. The
  // replacement claims its size over a small buffer and is never read.
  unsigned char small[8] = "r";
  tagbstring huge = bview(small, 1 << 30);
  Bptr b = make("aa");
  Bptr a = make("a");
  EXPECT_EQ(bfindreplace(b.get(), a.get(), &huge, 0), BSTR_ERR);
  EXPECT_TRUE(sound(b.get()));
  EXPECT_EQ(content(b.get()), "aa");
  EXPECT_EQ(b->mlen, 8);
}

std::vector<std::string> pieces(const bstrList* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->qty; ++i) {
    EXPECT_TRUE(sound(list->entry[i]));
    out.push_back(content(list->entry[i]));
  }
  return out;
}

TEST(BstrSplit, PiecesTable) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    V expected;
  };
  const Case cases[] = {
      {"a,b,", {"a", "b"}},      {"", {""}},               {",a", {"", "a"}},
      {"a,,b", {"a", "", "b"}},  {",", {""}},              {",,", {"", ""}},
      {"abc", {"abc"}},          {"a,b,c,d,e,f", {"a", "b", "c", "d", "e", "f"}},
      {"a,\0,b"s, {"a", "\0"s, "b"}},
  };
  for (const Case& c : cases) {
    Bptr text = make(c.text);
    BListPtr list(bsplit(text.get(), ','));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(pieces(list.get()), c.expected) << c.text;
    EXPECT_LE(list->qty, list->mlen);
  }
  EXPECT_EQ(bsplit(nullptr, ','), nullptr);
}

TEST(BstrSplit, BySetOfBytes) {
  using V = std::vector<std::string>;
  struct Case {
    std::string text;
    std::string set;
    V expected;
  };
  const Case cases[] = {
      {"a,b;c", ",;", {"a", "b", "c"}}, {"a;;b,", ";,", {"a", "", "b"}},
      {"a,b", ",", {"a", "b"}},         {"a,b", "", {"a,b"}},
      {"", ",;", {""}},
  };
  for (const Case& c : cases) {
    Bptr text = make(c.text);
    Bptr set = make(c.set);
    BListPtr list(bsplits(text.get(), set.get()));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(pieces(list.get()), c.expected) << c.text << " by " << c.set;
  }
}

TEST(BstrSplit, WalkReportsPiecesAndStopsOnNegativeResult) {
  Bptr text = make("ab,c,,def");
  std::vector<std::pair<int, int>> seen;
  auto record = [](void* parm, int ofs, int len) {
    static_cast<std::vector<std::pair<int, int>>*>(parm)->emplace_back(ofs, len);
    return 0;
  };
  ASSERT_EQ(bsplitcb(text.get(), ',', 0, record, &seen), BSTR_OK);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{0, 2}, {3, 1}, {5, 0}, {6, 3}}));
  seen.clear();
  ASSERT_EQ(bsplitcb(text.get(), ',', 4, record, &seen), BSTR_OK);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{4, 0}, {5, 0}, {6, 3}}));
  int calls = 0;
  auto stop = [](void* parm, int, int) { return ++*static_cast<int*>(parm) == 2 ? -7 : 0; };
  EXPECT_EQ(bsplitcb(text.get(), ',', 0, stop, &calls), -7);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(bsplitcb(text.get(), ',', 10, record, &seen), BSTR_ERR);
  EXPECT_EQ(bsplitcb(text.get(), ',', -1, record, &seen), BSTR_ERR);
  EXPECT_EQ(bsplitcb(text.get(), ',', 0, nullptr, &seen), BSTR_ERR);
}

TEST(BstrJoin, JoinsWithAndWithoutSeparator) {
  struct Case {
    std::string text;
    const char* sep;
    const char* expected;
  };
  const Case cases[] = {
      {"a,b,c", ", ", "a, b, c"}, {"a,b,c", nullptr, "abc"}, {",a", "+", "+a"},
      {"", "+", ""},              {"a,,b", "", "ab"},
  };
  for (const Case& c : cases) {
    Bptr text = make(c.text);
    BListPtr list(bsplit(text.get(), ','));
    Bptr sep = c.sep ? make(c.sep) : nullptr;
    Bptr joined(bjoin(list.get(), sep.get()));
    ASSERT_TRUE(sound(joined.get())) << c.text;
    EXPECT_EQ(content(joined.get()), c.expected);
  }
  BListPtr none(bstrListCreate());
  Bptr empty(bjoin(none.get(), nullptr));
  ASSERT_TRUE(sound(empty.get()));
  EXPECT_EQ(empty->slen, 0);
  EXPECT_EQ(bjoin(nullptr, nullptr), nullptr);
}

TEST(BstrJoin, InvalidEntriesAndOversizedResultsFail) {
  unsigned char small[8] = "x";
  tagbstring half = bview(small, 1 << 30);
  tagbstring negative{8, -1, small};
  tagbstring one = bview(small, 1);
  bstring entries[3] = {&half, &half, &one};
  bstrList list{2, 3, entries};
  EXPECT_EQ(bjoin(&list, nullptr), nullptr);  // 2^31 bytes
  entries[0] = &one;
  entries[1] = &one;
  list.qty = 3;
  EXPECT_EQ(bjoin(&list, &half), nullptr);  // two separators of 2^30 bytes
  Bptr fine(bjoin(&list, nullptr));
  EXPECT_EQ(content(fine.get()), "xxx");
  entries[1] = &negative;
  EXPECT_EQ(bjoin(&list, nullptr), nullptr);
  entries[1] = nullptr;
  EXPECT_EQ(bjoin(&list, nullptr), nullptr);
  list.qty = -1;
  EXPECT_EQ(bjoin(&list, nullptr), nullptr);
}

TEST(BstrList, DestroyAndRoom) {
  bstrList* list = bstrListCreate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(bstrListAlloc(list, 10), BSTR_OK);
  EXPECT_GE(list->mlen, 10);
  EXPECT_EQ(bstrListAlloc(list, 0), BSTR_ERR);
  list->entry[0] = bfromcstr("one");
  list->qty = 1;
  EXPECT_EQ(bstrListDestroy(list), BSTR_OK);
  EXPECT_EQ(bstrListDestroy(nullptr), BSTR_ERR);
}

}  // namespace
