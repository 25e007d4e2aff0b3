// The strict PCL XL reader that judges every PCL XL rewrite
// (tests/support/pxl_strict.h): it reads the PCL XL of every driver in the
// corpus with the pages the source documents have, and stops, saying why,
// at each fault a rewrite can make in a real job.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "modify_test_support.h"
#include "support/pxl_strict_assert.h"

namespace {

using modify_test::ModifyTest;
using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr std::string_view UEL = "\x1B%-12345X";

TEST_F(ModifyTest, StrictPclXlReaderReadsEveryDriversJob) {
  for (const CorpusRow& row : corpus_rows_for_lang(4)) {
    if (row.file.rfind("cpca-", 0) == 0) continue;  // PCL XL inside Canon packets
    SCOPED_TRACE(row.file);
    const std::string input = sw_test::corpus_bytes(row.file);
    ASSERT_TRUE(sw_test::is_strict_pcl_xl(input));
    const sw_test::PxlStrictRead read = sw_test::pxl_strict_read(input);
    const int jobs = row.file.rfind("cat2-", 0) == 0 ? 2 : 1;
    EXPECT_EQ(static_cast<int>(read.streams.size()), jobs);
    // The source's pages; a chain that writes the copies as pages has them
    // all.
    const bool copies_as_pages = row.note.find("copies as pages") != std::string::npos;
    EXPECT_EQ(read.pages(), jobs * row.pages * (copies_as_pages ? row.copies : 1));
    for (const sw_test::PxlStrictStream& s : read.streams) EXPECT_TRUE(s.entered);
  }
}

// Real jobs with one fault each, as a faulty rewrite would leave them.
TEST_F(ModifyTest, StrictPclXlReaderStopsAtEachFault) {
  const std::string job = sw_test::corpus_bytes("gs-pxlmono-text-a4.pxl");
  const std::string photo = sw_test::corpus_bytes("gs-pxlcolor-photo-a4-rle.pxl");
  const std::size_t session = job.find("\xF8\x8F\x41"sv) + 3;  // after BeginSession
  const std::size_t stream = job.find(") HP-PCL XL");
  const std::size_t end = job.rfind(UEL);
  // PageCopies 1, EndPage: the end of the first page.
  const std::size_t end_page = job.find("\xC1\x01\x00\xF8\x31\x44"sv) + 5;
  ASSERT_LT(session, end_page);
  const std::string exec = "\x61\x74\x69\xC8\xC0\x0F"s + "Torvelle_Stream" + "\xF8\x8B\x5E\x60"s;
  struct Case {
    const char* name;
    std::string bytes;
    const char* error;
  } cases[] = {
      // A zero-byte constant cut short: ubyte 200, then a second value.
      {"value without attribute",
       job.substr(0, session) + "\xC0\xC8\xC0\x0F"s + "Torvelle_Stream\xF8\x8B\x5B" +
           job.substr(session),
       "a value without its attribute"},
      {"attribute without value", job.substr(0, session) + "\xF8\x88\x48" + job.substr(session),
       "an attribute without a value"},
      {"second stream without universal exit",
       job.substr(0, end) + job.substr(stream, end - stream) + std::string(UEL),
       "byte 29 is no PCL XL item"},
      {"unknown operator", job.substr(0, end_page) + "\x45" + job.substr(end_page),
       "byte 45 is no PCL XL item"},
      {"page closed twice", job.substr(0, end_page + 1) + "\x44" + job.substr(end_page + 1),
       "EndPage outside a page"},
      {"session left open", job.substr(0, end - 1) + std::string(UEL),
       "stream ends inside a session"},
      {"stream not defined", job.substr(0, end_page) + exec + job.substr(end_page),
       "ExecStream of a stream not defined"},
      {"image data cut short", photo.substr(0, photo.size() / 2), "runs past the end"},
      {"another language", job.substr(0, job.find("PCLXL")) + "PCL\n" + job.substr(stream),
       "ENTER LANGUAGE other than PCLXL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const sw_test::PxlStrictRead read = sw_test::pxl_strict_read(c.bytes);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
  }
}

}  // namespace
