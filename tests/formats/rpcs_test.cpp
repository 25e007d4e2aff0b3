// RPCS jobs, hand-made from the record layouts (no free driver writes RPCS),
// with the RPCR job header field by field.
#include <gtest/gtest.h>

#include <string>

#include "formats/rpcs.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

using sw_test::ExactBuffer;

template <std::size_t N>
std::string B(const char (&text)[N]) {
  return std::string(text, N - 1);
}
std::string be16(int v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }

// Start of page with its page count: 22 00 01, BE16 n, 00 01 00 01 85 FF, a byte.
std::string counted_start(int n) { return B("\x22\x00\x01") + be16(n) + B("\x00\x01\x00\x01\x85\xff\x00"); }
const std::string END = B("\x25\x00\x00\x00\x07\x23");
const std::string TAIL(20, '.');

JobAttribsPtr rpcs(const std::string& job) {
  JobAttribsPtr ja(analyzer_create_job_attribs());
  const ExactBuffer b(job + TAIL);
  EXPECT_EQ(rpcs_process_job(b.data(), b.size(), ja.get()), 0);
  return ja;
}

// The RPCR header: byte 0 80, copies BE16 at 8, paper code at 22, height
// dots BE16 at 34, width dots BE16 at 38.
std::string rpcr(int copies, int paper, int height, int width) {
  std::string h(50, '\0');
  h[0] = '\x80';
  h.replace(8, 2, be16(copies));
  h[22] = static_cast<char>(paper);
  h.replace(34, 2, be16(height));
  h.replace(38, 2, be16(width));
  return "@PJL ENTER LANGUAGE=RPCR\n" + h;
}

class RpcsTest : public sw_test::TempDirTest {};

TEST_F(RpcsTest, PagesFromStartRecords) {
  EXPECT_EQ(rpcs(counted_start(1) + END + counted_start(2) + END + counted_start(3) + END)->pages, 3);
  // The second record saying page 1 again repeats the first page header.
  EXPECT_EQ(rpcs(counted_start(1) + END + counted_start(1) + END + counted_start(2) + END)->pages, 2);
  // Without start records, the end records.
  EXPECT_EQ(rpcs(END + END)->pages, 2);
  EXPECT_EQ(rpcs(B("gxdxwxA") + B("gxdxwxBxA"))->pages, 2);
}

TEST_F(RpcsTest, RpcrHeaderGivesCopiesAndPaper) {
  // 2480 x 3508 dots: 149 x 210 mm by the first rule, valid; paper code 133
  // is A4 but the height's low byte (0xB4) does not allow the code.
  const auto size = rpcs(rpcr(3, 133, 3508, 2480) + counted_start(1) + END);
  EXPECT_EQ(size->copy_count, 3);
  EXPECT_EQ(size->page_width_mm, 149);
  EXPECT_EQ(size->page_height_mm, 210);
  // Height 0x0DAB: the code may be used.
  const auto named = rpcs(rpcr(1, 133, 0x0DAB, 2480) + counted_start(1) + END);
  EXPECT_STREQ(named->paper_size_name, "A4");
  // Copies out of range: the header is not used.
  EXPECT_EQ(rpcs(rpcr(2000, 133, 3508, 2480) + counted_start(1) + END)->copy_count, 1);
}

TEST_F(RpcsTest, TruncatedRecordsStayInTheData) {
  const std::string job = rpcr(2, 6, 3508, 2480) + counted_start(1) + END + B("gxdxwxBxA");
  for (std::size_t cut = 1; cut < job.size(); ++cut) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const ExactBuffer b(job.substr(0, cut));
    EXPECT_EQ(rpcs_process_job(b.data(), b.size(), ja.get()), 0);
  }
}

}  // namespace
