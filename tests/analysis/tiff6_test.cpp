// TIFF image directories and the TIFF6 analyzer on hand-made TIFF headers
// (annotated below), for the layouts that Ghostscript's tiffg4 output in the
// corpus does not show: other resolutions and units, big-endian order,
// broken and looping directory chains.
#include "analysis/tiff6.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/tiff_ifd.h"
#include "foundation/ja.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;
using JaPtr = JobAttribsPtr;

const std::string UEL = "\x1b%-12345X";

// A hand-made TIFF: the header ("II*\0" or "MM\0*", first directory at 8),
// one directory per image (width and length SHORT, resolution RATIONAL
// pointing behind the directory, resolution unit SHORT), each directory's
// next link to the following one (or to `last_link`).
struct TiffLayout {
  bool little = true;
  std::uint16_t width = 3307;
  std::uint16_t height = 4677;
  std::uint32_t resolution = 400;  // numerator over 1
  std::uint16_t unit = 2;          // inch
  int images = 1;
  std::uint32_t last_link = 0;
};

class TiffWriter {
 public:
  explicit TiffWriter(bool little) : little_(little) {}
  void u16(std::uint16_t v) {
    const unsigned low = v & 0xffu;
    const unsigned high = v >> 8u;
    little_ ? bytes({low, high}) : bytes({high, low});
  }
  void u32(std::uint32_t v) {
    little_ ? (u16(v & 0xffff), u16(v >> 16)) : (u16(v >> 16), u16(v & 0xffff));
  }
  void entry(std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
    u16(tag);
    u16(type);
    u32(1);
    if (type == 3) {
      u16(static_cast<std::uint16_t>(value));
      u16(0);
    } else {
      u32(value);
    }
  }
  std::string out;

 private:
  void bytes(std::initializer_list<unsigned> list) {
    for (unsigned b : list) out.push_back(static_cast<char>(b));
  }
  bool little_;
};

std::string make_tiff(const TiffLayout& s) {
  TiffWriter w(s.little);
  w.out = s.little ? std::string("II*\0", 4) : std::string("MM\0*", 4);
  w.u32(8);
  constexpr std::uint32_t ENTRIES = 5;
  constexpr std::uint32_t IMAGE_SIZE = 2 + ENTRIES * 12 + 4 + 16;  // directory, then two rationals
  for (int i = 0; i < s.images; ++i) {
    const std::uint32_t at = 8 + i * IMAGE_SIZE;
    const std::uint32_t rationals = at + 2 + ENTRIES * 12 + 4;
    w.u16(ENTRIES);
    w.entry(256, 3, s.width);
    w.entry(257, 3, s.height);
    w.entry(282, 5, rationals);
    w.entry(283, 5, rationals + 8);
    w.entry(296, 3, s.unit);
    w.u32(i + 1 < s.images ? at + IMAGE_SIZE : s.last_link);
    w.u32(s.resolution);
    w.u32(1);
    w.u32(s.resolution);
    w.u32(1);
  }
  return w.out + std::string(1024, '\0');  // image data stands in here
}

// A PJL job with each TIFF behind its own enter-language line.
std::string tiff_job(const std::vector<std::string>& tiffs, const std::string& head = "") {
  std::string job = UEL + "@PJL JOB\r\n" + head;
  for (std::size_t i = 0; i < tiffs.size(); ++i) {
    if (i > 0) job += UEL;
    job += "@PJL ENTER LANGUAGE=TIFF6\n" + tiffs[i];
  }
  return job + UEL + "@PJL EOJ\r\n" + UEL;
}

class Tiff6Test : public AnalysisTest {
 protected:
  int analyse(const std::string& job, JobAttribs* ja) {
    const ExactBuffer buffer(job);
    return tiff6_process_job(buffer.data(), buffer.size(), ja);
  }
};

TEST_F(Tiff6Test, PageSizeFromPixelsAndResolution) {
  struct Case {
    const char* name;
    TiffLayout layout;
    int width, height;
  };
  const Case cases[] = {
      {"400 dpi", {}, 210, 297},
      {"600 dpi", {.width = 4961, .height = 7016, .resolution = 600}, 210, 297},
      {"300 dpi big-endian", {.little = false, .width = 2550, .height = 3300, .resolution = 300}, 216, 279},
      {"per centimetre", {.width = 1654, .height = 2339, .resolution = 79, .unit = 3}, 209, 296},
      {"no unit: 600 dpi assumed", {.width = 4961, .height = 7016, .resolution = 72, .unit = 1}, 210, 297},
  };
  for (const Case& c : cases) {
    JaPtr ja(analyzer_create_job_attribs());
    ASSERT_EQ(analyse(tiff_job({make_tiff(c.layout)}), ja.get()), 0) << c.name;
    EXPECT_EQ(ja->pages, 1) << c.name;
    EXPECT_EQ(ja->page_width_mm, c.width) << c.name;
    EXPECT_EQ(ja->page_height_mm, c.height) << c.name;
  }
}

// Pages are the images, wherever the job puts its exits; exits count only
// when no image can be read.
TEST_F(Tiff6Test, PagesAreImages) {
  JaPtr ja(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(tiff_job({make_tiff({}), make_tiff({})}), ja.get()), 0);
  EXPECT_EQ(ja->pages, 2);  // three exits after the start: two pages and the EOJ section

  ja.reset(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(tiff_job({make_tiff({.images = 3})}), ja.get()), 0);
  EXPECT_EQ(ja->pages, 3);

  ja.reset(analyzer_create_job_attribs());  // a chain that links back to its first image
  ASSERT_EQ(analyse(tiff_job({make_tiff({.images = 2, .last_link = 8})}), ja.get()), 0);
  EXPECT_EQ(ja->pages, 2);

  ja.reset(analyzer_create_job_attribs());  // a directory cut short: no image, the exits count
  const std::string cut = make_tiff({}).substr(0, 30);
  ASSERT_EQ(analyse(tiff_job({cut, cut}), ja.get()), 0);
  EXPECT_EQ(ja->pages, 3);
  EXPECT_EQ(ja->page_width_mm, -1);
}

TEST_F(Tiff6Test, CopiesFromDefaultLinesAndTheHeader) {
  JaPtr ja(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(tiff_job({make_tiff({})}, "@PJL DEFAULT COPIES=4\r\n@PJL DEFAULT COPIES=2\r\n"), ja.get()), 0);
  EXPECT_EQ(ja->copy_count, 2);  // the last line stands
  ja.reset(analyzer_create_job_attribs());
  ASSERT_EQ(analyse(tiff_job({make_tiff({})}, "@PJL SET QTY=3\r\n@PJL SET PAPERWIDTH=5953\r\n"
                                              "@PJL SET PAPERLENGTH=8419\r\n"), ja.get()), 0);
  EXPECT_EQ(ja->copy_count, 3);
}

TEST_F(Tiff6Test, NoPageIsAFailure) {
  JaPtr ja(analyzer_create_job_attribs());
  EXPECT_EQ(analyse(std::string(400, 'x'), ja.get()), -1);
  EXPECT_EQ(ja->pages, 0);
}

TEST_F(Tiff6Test, DirectoriesStayInsideTheData) {
  const std::string tiff = make_tiff({.images = 2});
  const ByteSpan all(reinterpret_cast<const std::uint8_t*>(tiff.data()), tiff.size());
  EXPECT_EQ(tiff_count_images(all), 2);
  for (std::size_t cut = 0; cut < tiff.size(); ++cut) {
    const ExactBuffer buffer(tiff.substr(0, cut));
    (void)tiff_count_images(ByteSpan(buffer.data(), buffer.size()));
  }
  const std::optional<TiffHeader> header = tiff_read_header(all);
  ASSERT_TRUE(header);
  EXPECT_FALSE(tiff_read_ifd(all, *header, 0xFFFFFFF0u));
}

}  // namespace
