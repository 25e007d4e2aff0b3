// ZjStream on hand-made streams (record layout of foo2zjs's streams, built
// field by field below): the record parse with its copies folding and
// duplex correction, the fall-back byte scan, and the DMPAPER names.
#include "formats/zjstream.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "formats/dmpaper.h"
#include "formats/record_formats_test_util.h"

namespace {

using namespace record_formats_test;
using Items = std::vector<std::pair<std::uint16_t, std::uint32_t>>;

constexpr int RECORD_PARSE = 1;  // language code 28
constexpr int BYTE_SCAN = 0;     // language code 67

// Record: size, type, item count (BE32 each), two unread bytes, "ZZ", the
// 12-byte items (size 12, id BE16, value type 1, one unread byte, value
// BE32), then the record's own data.
std::string record(std::uint32_t type, const Items& items = {}, const std::string& data = "") {
  std::string r = be32(static_cast<std::uint32_t>(16 + 12 * items.size() + data.size())) +
                  be32(type) + be32(static_cast<std::uint32_t>(items.size())) + zeros(2) + "ZZ";
  for (const auto& [id, value] : items) r += be32(12) + be16(id) + bytes({1, 0}) + be32(value);
  return r + data;
}

const Items PAGE_ITEMS = {{3, 9}, {4, 1}};  // paper A4, one copy

// One page: start of page, a data record of `bytes` bytes of `fill`, end.
std::string page(char fill, std::size_t data_bytes = 600, const Items& items = PAGE_ITEMS) {
  return record(2, items) + record(0x10, {}, std::string(data_bytes, fill)) + record(3);
}

std::string stream(const std::string& pages, const Items& doc_items = {{2, 1}, {15, 1}}) {
  return "JZJZ" + record(0, doc_items) + pages + record(1);
}

// foo2hp's pages: the start record's plane count (item 7), a band record
// (type 0C: a plane item, then JBIG stripe data), and an end record whose
// items 8200-8203 tell whether the page has cyan, magenta, yellow, black.
const std::string MARKS = bytes({0x4B, 0xC6, 0xFF, 0x02});  // coded stripe data
const std::string BLANK = bytes({0xFF, 0x02, 0x00, 0x00});  // an end marker only
std::string hp_page(int planes, const std::string& band, const Items& dots = {}) {
  return record(2, {{3, 9}, {4, 1}, {7, static_cast<std::uint32_t>(planes)}}) +
         record(0x0C, {{20, 4}}, band) + record(3, dots);
}
const Items COLOUR_DOTS = {{0x8200, 1}, {0x8201, 1}, {0x8202, 0}, {0x8203, 1}};
const Items GRAY_DOTS = {{0x8200, 0}, {0x8201, 0}, {0x8202, 0}, {0x8203, 1}};
const std::string PAUSE = record(0x0B);

class ZjStreamTest : public sw_test::TempDirTest {};

TEST_F(ZjStreamTest, RecordParseFoldsRepeatedRunsIntoCopies) {
  struct Case {
    const char* name;
    std::string pages;
    int expected_pages;
    int expected_copies;
  };
  const Case cases[] = {
      {"four identical pages", page('a') + page('a') + page('a') + page('a'), 1, 4},
      {"two collated copies of two pages", page('a') + page('b') + page('a') + page('b'), 2, 2},
      {"four different pages", page('a') + page('b') + page('c') + page('d'), 4, 1},
      {"three identical pages", page('a') + page('a') + page('a'), 1, 3},
      {"equal bytes, different lengths", page('a', 600) + page('a', 601), 2, 1},
  };
  for (const Case& c : cases) {
    const Findings f = run_analyzer(ZJSTREAM_ANALYZER, stream(c.pages), RECORD_PARSE);
    EXPECT_EQ(f.ja->pages, c.expected_pages) << c.name;
    EXPECT_EQ(f.ja->copy_count, c.expected_copies) << c.name;
    EXPECT_STREQ(f.ja->paper_size_name, "A4") << c.name;
  }
  EXPECT_FALSE(logged("Falling back"));
}

// Drivers end the stream with an end-of-document record and often a PJL
// trailer behind it; that trailer is no record and must not send the
// analysis to the byte scan (which would lose the copies folding).
TEST_F(ZjStreamTest, RecordParseEndsAtTheEndOfDocument) {
  const std::string trailer = "\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X";
  const Findings f = run_analyzer(
      ZJSTREAM_ANALYZER, stream(page('a') + page('a') + page('a') + page('a')) + trailer,
      RECORD_PARSE);
  EXPECT_EQ(f.ja->pages, 1);
  EXPECT_EQ(f.ja->copy_count, 4);
  EXPECT_FALSE(logged("Falling back"));
}

// foo2zjs writes duplex and quantity in the start-of-document record only.
TEST_F(ZjStreamTest, RecordParseReadsDuplexAndQuantityOfTheDocument) {
  const Findings f = run_analyzer(ZJSTREAM_ANALYZER,
                                  stream(page('a') + page('b'), {{2, 2}, {15, 3}}), RECORD_PARSE);
  EXPECT_EQ(f.ja->pages, 2);
  EXPECT_EQ(f.ja->is_duplex, 1);
  EXPECT_EQ(f.ja->copy_count, 3);
  const Findings simplex = run_analyzer(ZJSTREAM_ANALYZER,
                                        stream(page('a') + page('b'), {{2, 1}}), RECORD_PARSE);
  EXPECT_EQ(simplex.ja->is_duplex, 0);
  EXPECT_EQ(simplex.ja->copy_count, 1);
}

TEST_F(ZjStreamTest, DuplexJobLosesOneBlankBackSideWhenItsPageCountIsEven) {
  const Items duplex = {{2, 2}};
  struct Case {
    const char* name;
    std::string pages;
    int expected_pages;
  };
  const Case cases[] = {
      {"four pages, one short", page('a') + page('b', 10) + page('c') + page('d'), 3},
      {"four pages, two short", page('a') + page('b', 10) + page('c') + page('d', 20), 3},
      {"three pages, one short", page('a') + page('b', 10) + page('c'), 3},
      {"four long pages", page('a') + page('b') + page('c') + page('d'), 4},
  };
  for (const Case& c : cases) {
    const Findings f = run_analyzer(ZJSTREAM_ANALYZER, stream(c.pages, duplex), RECORD_PARSE);
    EXPECT_EQ(f.ja->pages, c.expected_pages) << c.name;
  }
}

TEST_F(ZjStreamTest, RecordParseCountsColourPagesPageByPage) {
  struct Case {
    const char* name;
    std::string pages;
    int expected_pages;
    int expected_colour;  // -1: not judged
    int expected_grayscale;
  };
  const Case cases[] = {
      {"a colour page between gray ones", hp_page(1, MARKS) + hp_page(4, MARKS, COLOUR_DOTS) +
                                              hp_page(1, MARKS),
       3, 1, 0},
      {"gray pages", hp_page(1, MARKS) + hp_page(1, MARKS + MARKS), 2, 0, 1},
      {"four planes whose dot items say no colour", hp_page(4, MARKS, GRAY_DOTS), 1, 0, 1},
      // foo2zjs's colour mode sends four planes of every page, gray or not.
      {"four planes without dot items", hp_page(4, MARKS) + hp_page(1, MARKS), 2, -1, 0},
      {"identical copies of a colour page",
       hp_page(4, MARKS, COLOUR_DOTS) + hp_page(4, MARKS, COLOUR_DOTS), 1, 1, 0},
  };
  for (const Case& c : cases) {
    const Findings f = run_analyzer(ZJSTREAM_ANALYZER, stream(c.pages), RECORD_PARSE);
    EXPECT_EQ(f.ja->pages, c.expected_pages) << c.name;
    EXPECT_EQ(f.ja->color_pages, c.expected_colour) << c.name;
    EXPECT_EQ(f.ja->is_grayscale, c.expected_grayscale) << c.name;
  }
}

// foo2hp's manual duplex: the driver pauses for the sheets to be turned and
// makes an odd page count even with a blank back side.
TEST_F(ZjStreamTest, ManualDuplexLosesItsBlankBackSide) {
  const Items duplex = {{2, 2}};
  // Pages longer than the short-page rule's 450 bytes.
  auto times = [](const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  const std::string a = hp_page(1, times(MARKS, 150));
  const std::string b = hp_page(1, times(MARKS, 151));
  const std::string c = hp_page(1, times(MARKS, 152));
  const std::string blank = hp_page(1, times(BLANK, 150));
  struct Case {
    const char* name;
    std::string pages;
    int expected_pages;
  };
  const Case cases[] = {
      {"blank back side after the pause", a + c + PAUSE + blank + b, 3},
      {"a blank page without a pause stays", a + c + blank + b, 4},
      {"no blank page", a + c + PAUSE + a + b, 4},
      {"an odd count keeps its blank page", a + PAUSE + blank + b, 3},
  };
  for (const Case& k : cases) {
    const Findings f = run_analyzer(ZJSTREAM_ANALYZER, stream(k.pages, duplex), RECORD_PARSE);
    EXPECT_EQ(f.ja->pages, k.expected_pages) << k.name;
    EXPECT_EQ(f.ja->is_duplex, 1) << k.name;
  }
}

TEST_F(ZjStreamTest, DefectiveStreamsFallBackToTheByteScan) {
  std::string bad_mark = stream(page('a') + page('b'));
  bad_mark.replace(bad_mark.find("ZZ", 40), 2, "ZY");
  const Items many(101, {20, 0});
  struct Case {
    const char* name;
    std::string data;
    int expected_pages;  // end-of-page headers the byte scan counts
  };
  const Case cases[] = {
      {"bad ZZ mark", bad_mark, 2},
      {"start page without items", stream(page('a') + page('b', 600, {})), 2},
      {"start page with 101 items", stream(page('a') + page('b', 600, many)), 2},
      {"end page missing", stream(page('a') + record(2, PAGE_ITEMS)), 1},
      {"record past the end", stream(page('a') + page('b')).substr(0, 690), 0},
  };
  for (const Case& c : cases) {
    clear_log();
    const Findings f = run_analyzer(ZJSTREAM_ANALYZER, c.data, RECORD_PARSE);
    EXPECT_EQ(f.ja->pages, c.expected_pages) << c.name;
    EXPECT_TRUE(logged("Could not parse zjstream. Falling back to old method")) << c.name;
  }
}

TEST_F(ZjStreamTest, ByteScanReadsDocumentAndFirstPageItems) {
  const std::string pages = page('a', 600, {{4, 3}, {3, 1}, {7, 1}}) + page('a') + page('a');
  const Findings f = run_analyzer(ZJSTREAM_ANALYZER, stream(pages, {{2, 2}, {15, 2}}), BYTE_SCAN);
  EXPECT_EQ(f.ja->pages, 3);  // language code 67 never folds copies
  EXPECT_EQ(f.ja->copy_count, 3);
  EXPECT_EQ(f.ja->is_duplex, 1);
  EXPECT_EQ(f.ja->is_grayscale, 1);
  EXPECT_STREQ(f.ja->paper_size_name, "Letter");
  EXPECT_FALSE(logged("not parsed"));
}

TEST_F(ZjStreamTest, TruncatedStreamsStayInBounds) {
  const std::string data = stream(page('a', 40) + page('a', 40) + page('b', 40, {{3, 9}, {4, 2}}));
  run_every_prefix(ZJSTREAM_ANALYZER, data, RECORD_PARSE);
  run_every_prefix(ZJSTREAM_ANALYZER, data, BYTE_SCAN);
  const std::string hp =
      stream(hp_page(1, MARKS) + PAUSE + hp_page(4, BLANK, COLOUR_DOTS), {{2, 2}});
  run_every_prefix(ZJSTREAM_ANALYZER, hp, RECORD_PARSE);
}

TEST(DmPaper, NamesOfPaperCodes) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {9, "A4"}, {1, "Letter"}, {77, "A4"}, {54, ""}, {0, ""}, {89, "JIS-B6"}, {90, ""}, {-1, ""}};
  for (const auto& [code, name] : cases) EXPECT_STREQ(dmpaper_code_to_name(code), name) << code;
}

}  // namespace
