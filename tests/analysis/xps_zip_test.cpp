// The zip package in memory: opening, the part list with interleaved pieces
// joined, names, UTF-16 text, reading with its limits, and writing a new
// package with parts replaced.
#include "scan/xps_zip.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/xps_test_util.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using xps_test::bytes_of;
using xps_test::Entry;
using xps_test::make_zip;

class XpsZipTest : public AnalysisTest {};

TEST_F(XpsZipTest, OnlyZipDataOpens) {
  for (const std::string& bytes : {std::string(""), std::string("P"), std::string("PK"),
                                  std::string("%PDF-1.4 not a zip at all, long enough")}) {
    const ExactBuffer buffer(bytes);
    XpsZipPtr zip(unzip_open(buffer.data(), buffer.size()));
    EXPECT_FALSE(zip) << bytes;
  }
  const std::string package = make_zip({{"a.txt", "hello"}});
  const ExactBuffer buffer(package);
  EXPECT_TRUE(XpsZipPtr(unzip_open(buffer.data(), buffer.size())));
}

// Pieces stored in any order, interleaved with other entries, join into one
// part in piece order; a whole part beside them keeps its own name.
TEST_F(XpsZipTest, PiecesJoinInPieceOrder) {
  const std::string package = make_zip({
      {"Documents/1/Pages/1.fpage/[1].piece", "BB"},
      {"Documents/1/Pages/2.fpage", "page two"},
      {"Documents/1/Pages/1.fpage/[2].last.piece", "CC"},
      {"Documents/1/Pages/1.fpage/[0].piece", "AA"},
      {"[Content_Types].xml", "<Types/>"},
  });
  const ExactBuffer buffer(package);
  XpsZipPtr zip(unzip_open(buffer.data(), buffer.size()));
  ASSERT_TRUE(zip);
  const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  ASSERT_TRUE(list);
  std::vector<std::string> names;
  for (const XpsPart& part : list->parts) names.push_back(part.name);
  EXPECT_EQ(names, (std::vector<std::string>{"/Documents/1/Pages/1.fpage",
                                             "/Documents/1/Pages/2.fpage", "/[Content_Types].xml"}));
  const XpsPart& first = list->parts[0];
  EXPECT_EQ(first.entries, (std::vector<std::string>{"Documents/1/Pages/1.fpage/[0].piece",
                                                     "Documents/1/Pages/1.fpage/[1].piece",
                                                     "Documents/1/Pages/1.fpage/[2].last.piece"}));
  std::string data;
  ASSERT_TRUE(get_xps_value(zip.get(), *list, "/Documents/1/Pages/1.fpage", false, &data));
  EXPECT_EQ(data, "AABBCC");
  EXPECT_EQ(unzip_get_index(*list, "/Documents/1/Pages/2.fpage"), 1);
  EXPECT_EQ(unzip_get_index(*list, "/Documents/1/Pages/3.fpage"), -1);
  EXPECT_FALSE(get_xps_value(zip.get(), *list, "/missing", false, &data));
}

TEST_F(XpsZipTest, PieceNames) {
  struct Case {
    const char* entry;
    const char* logical;
    std::int64_t piece;
  };
  const Case cases[] = {
      {.entry = "a/b.fpage/[0].piece", .logical = "a/b.fpage", .piece = 0},
      {.entry = "a/b.fpage/[12].last.piece", .logical = "a/b.fpage", .piece = 12},
      {.entry = "a/b.fpage/[].last.piece", .logical = "a/b.fpage", .piece = 0},  // empty run: 0
      {.entry = "a/b.fpage/[].piece", .logical = "a/b.fpage/[].piece", .piece = -1},  // 8 characters
      {.entry = "a/b.fpage/[0]piece", .logical = "a/b.fpage/[0]piece", .piece = -1},
      {.entry = "a/b.fpage/[0123456789012345].piece", .logical = "a/b.fpage/[0123456789012345].piece",
       .piece = -1},  // 26 characters: no piece
      {.entry = "a/b.fpage/[x].piece", .logical = "a/b.fpage/[x].piece", .piece = -1},
      {.entry = "[0].piece", .logical = "[0].piece", .piece = -1},
  };
  for (const Case& c : cases) {
    const XpsPieceName name = xps_piece_name(c.entry);
    EXPECT_EQ(name.logical, c.logical) << c.entry;
    EXPECT_EQ(name.piece, c.piece) << c.entry;
  }
}

TEST_F(XpsZipTest, NamesResolveAgainstTheirPart) {
  struct Case {
    const char* containing;
    const char* name;
    const char* resolved;  // nullptr: refused
  };
  const Case cases[] = {
      {"/Documents/1/Pages/1.fpage", "../Resources/font.odttf", "/Documents/1/Resources/font.odttf"},
      {"/Documents/1/_rels/FixedDocument.fdoc.rels", "Pages/1.fpage", "/Documents/1/Pages/1.fpage"},
      {"/_rels/.rels", "FixedDocumentSequence.fdseq", "/FixedDocumentSequence.fdseq"},
      {"/Documents/1/Pages/1.fpage", "/Resources/a.png", "/Resources/a.png"},
      {"/Documents/1/Pages/1.fpage", "./a.png", "/Documents/1/Pages/a.png"},
      {"/FixedDocumentSequence.fdseq", "Documents/1/FixedDocument.fdoc",
       "/Documents/1/FixedDocument.fdoc"},
      {"/Documents/_images/1.fpage", "a.png", "/Documents/_images/a.png"},
      {"/a.fpage", "../../x.png", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> path = make_xps_path(c.containing, c.name);
    if (c.resolved == nullptr) {
      EXPECT_FALSE(path) << c.name;
    } else {
      EXPECT_EQ(path.value_or("(refused)"), c.resolved) << c.name;
    }
  }
  EXPECT_EQ(get_rel_path("/Documents/1/FixedDocument.fdoc").value_or(""),
            "/Documents/1/_rels/FixedDocument.fdoc.rels");
  EXPECT_FALSE(get_rel_path("nameless"));
}

TEST_F(XpsZipTest, Utf16TextBecomesUtf8) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {std::string("\xFF\xFE" "a\0b\0", 6), "ab"},
      {std::string("\xFF\xFE\xE9\x00", 4), "\xC3\xA9"},
      {std::string("\xFE\xFF\x00" "a", 4), "a"},                      // big-endian mark
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), "\xF0\x9F\x98\x80"},  // a surrogate pair joined
      {std::string("\xFF\xFE\x3D\xD8", 4), "\xEF\xBF\xBD"},              // a lone surrogate
      {std::string("\xFF\xFE" "a", 3), std::string("\xFF\xFE" "a", 3)},  // odd length: as it is
      {"plain", "plain"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_TRUE(xps_text_to_utf8(c.in, &out));
    EXPECT_EQ(out, c.out);
  }
  std::string out;
  EXPECT_FALSE(xps_text_to_utf8(std::string("\xFF\xFE\xFF\xFF", 4), &out));
}

// A part is read whole or not at all: a damaged piece fails the part, and an
// entry that inflates beyond the limit (whatever its header says) fails.
TEST_F(XpsZipTest, DamagedOrOversizedPartsFail) {
  std::string package = make_zip({{"p.fpage/[0].piece", std::string(4000, 'a'), true},
                                  {"p.fpage/[1].last.piece", std::string(4000, 'b'), true}});
  const std::size_t second = package.find("bbbb");
  ASSERT_NE(second, std::string::npos);
  package[second + 10] = 'X';  // the CRC of the second piece no longer holds
  const ExactBuffer damaged(package);
  XpsZipPtr zip(unzip_open(damaged.data(), damaged.size()));
  ASSERT_TRUE(zip);
  std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  ASSERT_TRUE(list);
  std::string data = "left over";
  EXPECT_FALSE(get_xps_value(zip.get(), *list, "/p.fpage", false, &data));
  EXPECT_TRUE(data.empty());
  EXPECT_TRUE(logged("get_data_from_full_string: unzip_extract_file(p.fpage/[1].last.piece) failed"));

  // An entry whose directory claims more than the part limit is not read
  // (the zip library inflates no more than the claimed size, so the claim
  // bounds what inflating can cost).
  std::string bomb = make_zip({{"bomb.fpage", std::string(1000, '\0')}});
  const std::size_t central = bomb.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  bomb.replace(central + 24, 4, "\xff\xff\xff\x7f");  // uncompressed size: 2 GiB
  const ExactBuffer bomb_bytes(bomb);
  zip.reset(unzip_open(bomb_bytes.data(), bomb_bytes.size()));
  list = unzip_get_filenames(zip.get());
  ASSERT_TRUE(list);
  EXPECT_FALSE(get_xps_value(zip.get(), *list, "/bomb.fpage", false, &data));
  EXPECT_TRUE(logged("more than"));
}

TEST_F(XpsZipTest, OverlongNamesAreLeftOut) {
  const std::string long_name = std::string(XPS_ZIP_NAME_MAX + 1, 'n') + ".fpage";
  const std::string package = make_zip({{long_name, "x"}, {"ok.fpage", "y"}});
  const ExactBuffer buffer(package);
  XpsZipPtr zip(unzip_open(buffer.data(), buffer.size()));
  const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  ASSERT_TRUE(list);
  ASSERT_EQ(list->parts.size(), 1u);
  EXPECT_EQ(list->parts[0].name, "/ok.fpage");
}

// A new package: every part in name order, a replaced part written whole
// (even when it was stored in pieces), the others unchanged.
TEST_F(XpsZipTest, SavedPackageHoldsTheReplacedParts) {
  const std::string package = make_zip({{"z/ticket.xml/[1].last.piece", "old-2"},
                                        {"image.png", std::string(3000, '\x89')},
                                        {"z/ticket.xml/[0].piece", "old-1"},
                                        {"a.fpage", "page", true}});
  const ExactBuffer buffer(package);
  XpsZipPtr zip(unzip_open(buffer.data(), buffer.size()));
  const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
  ASSERT_TRUE(list);
  const XpsReplacedParts replaced{{"/z/ticket.xml", "new ticket"}};
  const sw_test::TempDir dir;
  const std::string out_path = dir.path() + "/out.xps";
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(save_to_zip(zip.get(), *list, replaced, out), 1);
  std::fclose(out);

  const std::string written = xps_test::read_file(out_path);
  const ExactBuffer copy(written);
  XpsZipPtr again(unzip_open(copy.data(), copy.size()));
  ASSERT_TRUE(again);
  const std::optional<XpsFileList> parts = unzip_get_filenames(again.get());
  ASSERT_TRUE(parts);
  std::vector<std::string> entries;
  for (const XpsPart& part : parts->parts) entries.insert(entries.end(), part.entries.begin(), part.entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"a.fpage", "image.png", "z/ticket.xml"}));
  EXPECT_EQ(xps_test::part_of(written, "/z/ticket.xml"), "new ticket");
  EXPECT_EQ(xps_test::part_of(written, "/image.png"), std::string(3000, '\x89'));
  EXPECT_EQ(xps_test::part_of(written, "/a.fpage"), "page");
}

}  // namespace
