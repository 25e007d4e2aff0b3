// Inline copies on real driver output repeated whole, the parameter and
// size rules, and the hostile cases that once read past the buffer.
#include "scan/inline_copies.h"

#include <gtest/gtest.h>

#include <string>

#include "scan/pjl.h"
#include "scan_test_util.h"

namespace {

using scan_test::Bytes;
using scan_test::bytes;
using scan_test::concat;
using scan_test::repeat;

int has_copies(const Bytes& data, int copies, int pages, int mode) {
  return has_num_inline_copies(data.data(), data.size(), copies, pages, mode);
}

int find_copies(const Bytes& data, int pages, std::uint64_t* size,
                const char* printer_type = "") {
  auto ja = scan_test::new_job();
  ja->pages = pages;
  ja_set_printer_type(ja.get(), printer_type);
  return find_inline_copies(data.data(), data.size(), ja.get(), size);
}

// PCL5 from Ghostscript begins and ends with a universal exit; PCL XL from
// Ghostscript too, and is tested by content as the PCL XL analyzer does.
TEST(InlineCopiesTest, RealJobsRepeatedWhole) {
  struct Case {
    const char* file;
    int mode;
  };
  const Case cases[] = {
      {"gs-ljet4pjl-mixed-a4.pcl", INLINE_COPIES_BY_EXIT},
      {"gs-pxlcolor-mixed-a4.pxl", INLINE_COPIES_BY_CONTENT},
      {"gs-pxlmono-text-a4.pxl", INLINE_COPIES_BY_CONTENT},
      {"cf-hpcups-clj3600-text-a4.pcl", INLINE_COPIES_BY_CONTENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const CorpusRow row = scan_test::corpus_row(c.file);
    const Bytes one = scan_test::corpus_bytes(c.file);
    const Bytes three = repeat(one, 3);
    EXPECT_EQ(has_copies(three, 3, 3 * row.pages, c.mode), 1);
    EXPECT_EQ(has_copies(three, 2, 2 * row.pages, c.mode), 0) << "two copies are not three";
    EXPECT_EQ(has_copies(one, 3, 3 * row.pages, c.mode), 0);
    // One changed byte in the middle of the middle copy.
    Bytes changed = three;
    changed[one.size() + one.size() / 2] ^= 0x55;
    EXPECT_EQ(has_copies(changed, 3, 3 * row.pages, c.mode), 0);

    std::uint64_t size = 0;
    EXPECT_EQ(find_copies(three, 3 * row.pages, &size), 3);
    EXPECT_EQ(size, one.size());
    EXPECT_EQ(find_copies(one, row.pages, &size), -1);
    EXPECT_EQ(size, one.size()) << "no copies: the whole buffer";
  }
}

// The corpus's jobs repeated whole by the generator: the copies it asked for.
TEST(InlineCopiesTest, CorpusJobsRepeatedWhole) {
  const auto rows = scan_test::corpus_rows_with("concatenated");
  ASSERT_GE(rows.size(), 3u);
  for (const CorpusRow& row : rows) {
    SCOPED_TRACE(row.file);
    const Bytes data = bytes(sw_test::read_file(row.path));
    const int mode = row.lang == 5 ? INLINE_COPIES_BY_EXIT : INLINE_COPIES_BY_CONTENT;
    EXPECT_EQ(has_copies(data, row.copies, row.copies * row.pages, mode), 1);
    std::uint64_t size = 0;
    EXPECT_EQ(find_copies(data, row.copies * row.pages, &size), row.copies);
    EXPECT_EQ(size * static_cast<std::uint64_t>(row.copies), data.size());
  }
}

// hpcups writes the copies cupsfilter asks for as pages of one PCL XL job
// (one PJL header, one session): that is not a job repeated whole.
TEST(InlineCopiesTest, CopiesWrittenAsPagesOfOneJob) {
  const CorpusRow row = scan_test::corpus_row("cf-hpcups-clj3600-copies3-text-a4.pxl");
  const Bytes data = bytes(sw_test::read_file(row.path));
  std::uint64_t size = 0;
  EXPECT_EQ(find_copies(data, row.copies * row.pages, &size), -1) << "not whole jobs";
}

TEST(InlineCopiesTest, ParametersAreCheckedBeforeTheData) {
  const Bytes data = repeat(scan_test::corpus_bytes("gs-ljet4pjl-mixed-a4.pcl"), 2);
  struct Case {
    int copies;
    int pages;
  };
  for (const Case c : {Case{2, 3}, Case{1, 4}, Case{2, 0}, Case{0, 2}, Case{-2, 4}}) {
    SCOPED_TRACE(testing::Message() << c.copies << " copies of " << c.pages << " pages");
    EXPECT_EQ(has_copies(data, c.copies, c.pages, INLINE_COPIES_BY_EXIT), 0);
  }
  EXPECT_EQ(has_num_inline_copies(nullptr, 0, 2, 4, INLINE_COPIES_BY_EXIT), 0);
}

// Hand-made: copies shorter than 1000 bytes are never inline copies.
TEST(InlineCopiesTest, ShortCopiesNeverCount) {
  const Bytes job = bytes(std::string(PJL_UEL) + "@PJL ENTER LANGUAGE=PCL\n" +
                          std::string(900, 'p') + PJL_UEL);
  for (int mode : {INLINE_COPIES_BY_EXIT, INLINE_COPIES_BY_CONTENT}) {
    EXPECT_EQ(has_copies(repeat(job, 4), 4, 4, mode), 0);
  }
}

TEST(InlineCopiesTest, ContentModeLetsTheLastThirtyBytesDiffer) {
  const Bytes one = scan_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  Bytes other = one;
  for (std::size_t i = other.size() - 30; i < other.size(); ++i) other[i] ^= 0xFF;
  EXPECT_EQ(has_copies(concat({one, other}), 2, 4, INLINE_COPIES_BY_CONTENT), 1);
  other[other.size() - 31] ^= 0xFF;
  EXPECT_EQ(has_copies(concat({one, other}), 2, 4, INLINE_COPIES_BY_CONTENT), 0);
}

// Faults once found: the region behind a late ENTER LANGUAGE ran backwards,
// and a copy that starts inside the buffer but ends outside it was compared
// past the end (exact-size buffers: AddressSanitizer would see it).
TEST(InlineCopiesTest, HostileLayoutsStayInBounds) {
  const Bytes one = scan_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const Bytes late_enter =
      concat({repeat(one, 2), bytes("@PJL ENTER LANGUAGE=PCLXL\n" + std::string(20, 'z'))});
  EXPECT_EQ(has_copies(late_enter, 2, 4, INLINE_COPIES_BY_CONTENT), 0);

  const Bytes half(one.begin(), one.begin() + static_cast<std::ptrdiff_t>(one.size() / 2));
  const Bytes short_last = concat({one, one, half});
  EXPECT_EQ(has_copies(short_last, 3, 6, INLINE_COPIES_BY_CONTENT), 0);
  EXPECT_EQ(has_copies(short_last, 3, 6, INLINE_COPIES_BY_EXIT), 0);
  std::uint64_t size = 0;
  EXPECT_EQ(find_copies(short_last, 6, &size), -1);
}

// The copies must make up the whole buffer: the spool modification keeps
// the first copy-size bytes and writes them again, so a prefix or a tail
// outside the copies would be cut into or lost.
TEST(InlineCopiesTest, FoundCopiesMakeUpTheWholeBuffer) {
  const Bytes one = scan_test::corpus_bytes("gs-ljet4pjl-mixed-a4.pcl");
  const Bytes prefix = concat({bytes("@PJL COMMENT spooler\n"), repeat(one, 2)});
  const Bytes tail = concat({repeat(one, 2), bytes(std::string(PJL_UEL) + "@PJL EOJ\n")});
  std::uint64_t size = 0;
  EXPECT_EQ(find_copies(prefix, 8, &size), -1);
  EXPECT_EQ(find_copies(tail, 8, &size), -1);
  EXPECT_EQ(find_copies(repeat(one, 2), 8, &size, "HP Universal Printing"), 2);
  EXPECT_EQ(find_copies(tail, 8, &size, "HP Universal Printing"), -1);
}

TEST(InlineCopiesTest, RepeatedHeadOfKnownDrivers) {
  // The head test needs no page count: a job for "HP Universal Printing"
  // repeated three times is found with pages unknown.
  const Bytes one = scan_test::corpus_bytes("gs-pxlcolor-mixed-a4.pxl");
  std::uint64_t size = 0;
  EXPECT_EQ(find_copies(repeat(one, 3), 0, &size, "HP Universal Printing"), 3);
  EXPECT_EQ(size, one.size());
  EXPECT_EQ(find_copies(repeat(one, 3), 0, &size, "HP LaserJet"), -1);
}

TEST(InlineCopiesTest, CacheAnswersTheSameQuestionOnce) {
  Bytes data = repeat(scan_test::corpus_bytes("gs-pxlmono-text-a4.pxl"), 2);
  InlineCopiesCachePtr cache(inline_copies_cache_create());
  ASSERT_NE(cache, nullptr);
  const auto ask = [&](int pages, int mode) {
    return has_num_inline_copies_cache(data.data(), data.size(), 2, pages, mode, cache.get());
  };
  EXPECT_EQ(ask(4, INLINE_COPIES_BY_CONTENT), 1);
  data[data.size() / 2 + 5000] ^= 1;  // the cache does not look again...
  EXPECT_EQ(ask(4, INLINE_COPIES_BY_CONTENT), 1);
  EXPECT_EQ(ask(6, INLINE_COPIES_BY_CONTENT), 0) << "...for a new question it does";
  EXPECT_EQ(has_num_inline_copies_cache(data.data(), data.size(), 2, 4, 0, nullptr), 0);
}

TEST(InlineCopiesTest, SizeLimitOfTheRewrittenJob) {
  constexpr std::uint64_t MIB = 1 << 20;
  EXPECT_EQ(check_inline_copies_size(1000, 10 * MIB), 1);
  EXPECT_EQ(check_inline_copies_size(1100, 10 * MIB), 0);
  EXPECT_EQ(check_inline_copies_size(2, UINT64_MAX), 0);
  EXPECT_EQ(check_inline_copies_size(0, 10), 0);
}

}  // namespace
