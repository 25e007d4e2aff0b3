// The HBPL local header on hand-made headers (no free driver writes one):
// 2184 bytes, the fields at their layout's offsets, then PCL XL bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/hbpl_local.h"
#include "foundation/ja.h"
#include "support/test_support.h"

namespace {

struct Fields {
  std::size_t paper_at, copies_at, duplex_at;
};
constexpr Fields LAYOUT_1 = {16, 32, 1100};  // code 66
constexpr Fields LAYOUT_0 = {12, 24, 1092};  // code 59

std::string header(const Fields& at, int paper, int copies, int duplex, std::size_t size = 2300) {
  std::string h(size, '\0');
  h.replace(0, 5, "EDAJC");
  h[at.paper_at] = static_cast<char>(paper);
  h[at.copies_at] = static_cast<char>(copies & 0xff);  // little-endian
  h[at.copies_at + 1] = static_cast<char>(copies >> 8);
  h[at.duplex_at] = static_cast<char>(duplex);
  return h;
}

class HbplLocal : public sw_test::TempDirTest {};

TEST_F(HbplLocal, ReadsTheFieldsOfBothLayouts) {
  struct Case {
    const char* name;
    std::string bytes;
    int layout;
    int result;
    std::string paper;
    int copies, duplex;
  };
  const std::vector<Case> cases = {
      {"layout 1", header(LAYOUT_1, 9, 3, 2), 1, 0, "A4", 3, 1},
      {"layout 0", header(LAYOUT_0, 1, 258, 3), 0, 0, "LETTER", 258, 1},
      {"duplex byte 1 is simplex", header(LAYOUT_1, 14, 1, 1), 1, 0, "FOLIO", 1, 0},
      {"copies 0 leave the copies", header(LAYOUT_0, 13, 0, 0), 0, 0, "B5", 1, 0},
      {"an unnamed paper code", header(LAYOUT_1, 3, 2, 0), 1, 0, "", 2, 0},
      {"a code past the table", header(LAYOUT_1, 200, 2, 0), 1, 0, "", 2, 0},
      {"exactly the header", header(LAYOUT_1, 9, 3, 2, 2184), 1, -1, "", 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobAttribsPtr ja(analyzer_create_job_attribs());
    const sw_test::ExactBuffer b(c.bytes);
    EXPECT_EQ(hbpl_local_process_job(b.data(), b.size(), c.layout, ja.get()), c.result);
    EXPECT_EQ(std::string(ja->paper_size_name), c.paper);
    EXPECT_EQ(ja->copy_count, c.copies);
    EXPECT_EQ(ja->is_duplex, c.duplex);
  }
  EXPECT_TRUE(logged("hbpl_local_process_job: Did not match paper size")) << log_text();
}

}  // namespace
