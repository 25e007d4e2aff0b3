// The PNG and JPEG colour tests: on the images of the corpus's image-page
// XPS packages (Ghostscript's PNG and JPEG devices; the colour pages of the
// "mixed" source are pages 2 and 4, of "grayimage" page 2, by inkcov), and on
// images that libpng and libjpeg write here for the cases no device writes
// (a coloured pixel placed last, an unused coloured palette entry, Adam7).
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <jpeglib.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_util.h"
#include "analysis/jpeg_tv.h"
#include "analysis/png_tv.h"
#include "analysis/xps_test_util.h"
#include "corpus/corpus.h"

namespace {

using analysis_test::AnalysisTest;
using analysis_test::ExactBuffer;

struct PngLayout {
  int width = 4;
  int height = 3;
  int color_type = PNG_COLOR_TYPE_RGB;
  int bit_depth = 8;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<png_color> palette;
};

void append_png(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

// A PNG written by libpng from rows of raw samples.
std::string make_png(const PngLayout& layout, const std::vector<std::string>& rows) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, append_png, nullptr);
  png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.color_type, layout.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout.palette.empty()) {
    png_set_PLTE(png, info, layout.palette.data(), static_cast<int>(layout.palette.size()));
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (const std::string& row : rows) {
      png_write_row(png, reinterpret_cast<png_const_bytep>(row.data()));
    }
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A JPEG written by libjpeg from rows of raw samples.
std::string make_jpeg(int width, int height, int components, J_COLOR_SPACE space, bool progressive,
                      const std::vector<std::string>& rows) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = components;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  for (const std::string& row : rows) {
    JSAMPROW line = reinterpret_cast<JSAMPROW>(const_cast<char*>(row.data()));
    jpeg_write_scanlines(&c, &line, 1);
  }
  jpeg_finish_compress(&c);
  std::string out(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&c);
  std::free(buffer);
  return out;
}

std::string repeat_pixel(std::string pixel, int count) {
  std::string row;
  for (int i = 0; i < count; ++i) row += pixel;
  return row;
}

int png_verdict(const std::string& bytes) {
  const ExactBuffer buffer(bytes);
  return png_has_color(buffer.data(), buffer.size(), "test.png");
}

int jpeg_verdict(const std::string& bytes) {
  const ExactBuffer buffer(bytes);
  return jpeg_has_color(buffer.data(), buffer.size(), "test.jpg");
}

// `image` with its frame header (SOF0 to SOF2) declaring `width` x `height`
// pixels: the data of a small image stands for the start of a huge one.
std::string jpeg_declaring(std::string image, unsigned width, unsigned height) {
  for (std::size_t i = 0; i + 9 < image.size(); ++i) {
    const auto marker = static_cast<unsigned char>(image[i + 1]);
    if (image[i] != '\xff' || marker < 0xc0 || marker > 0xc2) continue;
    // FF Cn, length (2), precision (1), height (2), width (2)
    image[i + 5] = static_cast<char>(height >> 8);
    image[i + 6] = static_cast<char>(height & 0xff);
    image[i + 7] = static_cast<char>(width >> 8);
    image[i + 8] = static_cast<char>(width & 0xff);
    return image;
  }
  return {};
}

// `image` with its header (IHDR, the first chunk) declaring `width` x
// `height` pixels, its check value made again.
std::string png_declaring(std::string image, std::uint32_t width, std::uint32_t height) {
  constexpr std::size_t FIELDS = 16;  // after the signature (8), length (4) and type (4)
  if (image.size() < FIELDS + 17) return {};
  for (int i = 0; i < 4; ++i) {
    image[FIELDS + i] = static_cast<char>(width >> (24 - 8 * i));
    image[FIELDS + 4 + i] = static_cast<char>(height >> (24 - 8 * i));
  }
  const auto* typed = reinterpret_cast<const Bytef*>(image.data() + 12);
  const uLong crc = crc32(0, typed, 17);  // type and the 13 bytes of fields
  for (int i = 0; i < 4; ++i) image[FIELDS + 13 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return image;
}

class ImageTvTest : public AnalysisTest {};

TEST_F(ImageTvTest, PngPixelsDecide) {
  const std::string gray3(3, '\x80');
  const std::vector<std::string> gray_rows(3, repeat_pixel(gray3, 4));
  std::vector<std::string> last_colored = gray_rows;
  last_colored[2].replace(9, 3, "\x10\x80\x80");  // the last pixel of the last row
  std::vector<std::string> near_gray = gray_rows;
  near_gray[1].replace(0, 3, "\x4c\x4d\x4c");  // a renderer's grey
  const std::string gray16 = repeat_pixel(std::string("\x80\x00\x80\x00\x80\x00", 6), 4);
  std::string colored16 = gray16;
  colored16.replace(18, 6, std::string("\x80\x00\x80\x00\xff\xff", 6));
  struct Case {
    const char* name;
    PngLayout layout;
    std::vector<std::string> rows;
    int want;
  };
  const Case cases[] = {
      {"rgb all gray", {}, gray_rows, 0},
      {"rgb colour in the last pixel", {}, last_colored, 1},
      {"rgb near gray", {}, near_gray, 0},
      {"rgb 16 bits, colour", {.bit_depth = 16}, {gray16, gray16, colored16}, 1},
      {"rgb 16 bits, gray", {.bit_depth = 16}, {gray16, gray16, gray16}, 0},
      {"rgba colour", {.color_type = PNG_COLOR_TYPE_RGB_ALPHA},
       {repeat_pixel(std::string("\xff\x00\x00\x01", 4), 4), repeat_pixel("\x80\x80\x80\xff", 4),
        repeat_pixel("\x80\x80\x80\xff", 4)}, 1},
      {"gray", {.color_type = PNG_COLOR_TYPE_GRAY}, std::vector<std::string>(3, "\x01\x02\x03\x04"), 0},
      {"adam7 rgba, colour in a late pass",
       {.width = 8, .height = 8, .color_type = PNG_COLOR_TYPE_RGB_ALPHA, .interlace = PNG_INTERLACE_ADAM7},
       [] {
         std::vector<std::string> rows(8, repeat_pixel("\x40\x40\x40\xff", 8));
         rows[7].replace(4 * 7, 4, "\x40\xa0\x40\xff");
         return rows;
       }(), 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(png_verdict(make_png(c.layout, c.rows)), c.want) << c.name;
  }
}

// A palette image is colour only where a pixel uses a coloured entry.
TEST_F(ImageTvTest, PngPaletteEntriesCountWhenUsed) {
  PngLayout layout{.color_type = PNG_COLOR_TYPE_PALETTE,
               .palette = {{0, 0, 0}, {200, 200, 200}, {255, 0, 0}}};
  const std::vector<std::string> gray_indexes(3, std::string("\x00\x01\x00\x01", 4));
  EXPECT_EQ(png_verdict(make_png(layout, gray_indexes)), 0);
  std::vector<std::string> red = gray_indexes;
  red[1][2] = '\x02';
  EXPECT_EQ(png_verdict(make_png(layout, red)), 1);
  layout.bit_depth = 2;  // four pixels a byte
  EXPECT_EQ(png_verdict(make_png(layout, std::vector<std::string>(3, std::string(1, '\x12')))), 1);
  EXPECT_EQ(png_verdict(make_png(layout, std::vector<std::string>(3, std::string(1, '\x11')))), 0);
}

TEST_F(ImageTvTest, JpegPixelsDecide) {
  const int w = 16;
  const int h = 16;
  const std::vector<std::string> gray_rgb(h, repeat_pixel("\x70\x70\x70", w));
  std::vector<std::string> colored = gray_rgb;
  for (int y = 8; y < h; ++y) colored[y] = repeat_pixel("\xe0\x20\x20", w);
  const std::vector<std::string> cmyk_gray(h, repeat_pixel(std::string("\x00\x00\x00\x80", 4), w));
  const std::vector<std::string> cmyk_colored(h, repeat_pixel(std::string("\x00\xff\xff\x00", 4), w));
  EXPECT_EQ(jpeg_verdict(make_jpeg(w, h, 3, JCS_RGB, false, gray_rgb)), 0);
  EXPECT_EQ(jpeg_verdict(make_jpeg(w, h, 3, JCS_RGB, false, colored)), 1);
  EXPECT_EQ(jpeg_verdict(make_jpeg(w, h, 3, JCS_RGB, true, colored)), 1);
  EXPECT_EQ(jpeg_verdict(make_jpeg(w, h, 4, JCS_CMYK, false, cmyk_gray)), 0);
  EXPECT_EQ(jpeg_verdict(make_jpeg(w, h, 4, JCS_CMYK, false, cmyk_colored)), 1);
  EXPECT_EQ(jpeg_verdict(make_jpeg(w, h, 1, JCS_GRAYSCALE, false,
                                   std::vector<std::string>(h, std::string(w, '\x30')))), 0);
  // Data that stops inside the scan: decoded as far as it goes (the rest is
  // filled in by the decoder), no colour.
  std::vector<std::string> ramp;
  for (int y = 0; y < 128; ++y) {
    std::string row;
    for (int x = 0; x < 128; ++x) row += std::string(3, static_cast<char>((x * 7 + y * 3) & 0xff));
    ramp.push_back(row);
  }
  const std::string whole = make_jpeg(128, 128, 3, JCS_RGB, false, ramp);
  EXPECT_EQ(jpeg_verdict(whole.substr(0, whole.size() * 3 / 4)), 0);
  EXPECT_TRUE(logged("Premature end of JPEG file"));
}

TEST_F(ImageTvTest, BrokenDataIsNoImage) {
  const std::string png = make_png(PngLayout{}, std::vector<std::string>(3, std::string(12, '\x10')));
  const std::string jpeg = make_jpeg(8, 8, 3, JCS_RGB, false, std::vector<std::string>(8, std::string(24, '\x10')));
  for (const std::string& bytes : {std::string(), std::string("not an image at all"), png.substr(0, 40)}) {
    EXPECT_EQ(png_verdict(bytes), -1);
  }
  for (const std::string& bytes : {std::string(), std::string("not an image at all"), jpeg.substr(0, 20)}) {
    EXPECT_EQ(jpeg_verdict(bytes), -1);
  }
  EXPECT_EQ(png_verdict(jpeg), -1);
  EXPECT_EQ(jpeg_verdict(png), -1);
}

// Images that declare far more pixels than their few bytes hold. An image
// of several scans keeps coefficients for the whole image, so above the
// memory budget it is not judged (the fuzz seed made libjpeg take 2 GB); a
// single-scan JPEG is decoded at a reduced scale and still judged; a PNG's
// header decides before any row is inflated. Grey images need no decoding.
TEST_F(ImageTvTest, ImagesDeclaringMoreThanIsDecoded) {
  const std::string seeds = std::string(SW_SOURCE_DIR) + "/fuzz/corpus/image_tv/";
  const std::vector<std::string> red_rgb(16, repeat_pixel("\xe0\x20\x20", 16));
  const std::vector<std::string> gray_rgb(16, repeat_pixel("\x70\x70\x70", 16));
  const std::vector<std::string> gray(16, std::string(16, '\x70'));
  const auto jpeg = [](int components, J_COLOR_SPACE space, bool progressive,
                       const std::vector<std::string>& rows) {
    return jpeg_declaring(make_jpeg(16, 16, components, space, progressive, rows), 12288, 56320);
  };
  const PngLayout palette{.color_type = PNG_COLOR_TYPE_PALETTE, .palette = {{0, 0, 0}, {255, 0, 0}}};
  const std::vector<std::string> red_indexes(3, std::string(4, '\x01'));
  const std::vector<std::string> gray_samples(3, std::string(4, '\x70'));
  struct Case {
    const char* name;
    std::string bytes;
    bool png;
    int want;
  };
  const Case cases[] = {
      {"fuzz seed: progressive, 12288 x 56320 x 3",
       xps_test::read_file(seeds + "jpeg-progressive-declaring-12288x56320"), false, IMAGE_UNJUDGED},
      {"progressive colour", jpeg(3, JCS_RGB, true, red_rgb), false, IMAGE_UNJUDGED},
      {"progressive grey component", jpeg(1, JCS_GRAYSCALE, true, gray), false, IMAGE_GRAY},
      {"baseline colour, reduced scale", jpeg(3, JCS_RGB, false, red_rgb), false, IMAGE_COLOR},
      {"baseline grey RGB, reduced scale", jpeg(3, JCS_RGB, false, gray_rgb), false, IMAGE_GRAY},
      {"fuzz seed: png rgb, 20000 x 20000",
       xps_test::read_file(seeds + "png-rgb-declaring-20000x20000"), true, IMAGE_UNJUDGED},
      {"png palette, 20000 x 20000",
       png_declaring(make_png(palette, red_indexes), 20000, 20000), true, IMAGE_UNJUDGED},
      {"png grey, 20000 x 20000",
       png_declaring(make_png({.color_type = PNG_COLOR_TYPE_GRAY}, gray_samples), 20000, 20000),
       true, IMAGE_GRAY},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.bytes.empty()) << c.name;
    EXPECT_EQ(c.png ? png_verdict(c.bytes) : jpeg_verdict(c.bytes), c.want) << c.name;
  }
}

// Real images: each page image of the image-page packages against its
// page's colour.
TEST_F(ImageTvTest, DeviceImagesOfTheCorpus) {
  struct Case {
    const char* file;
    const char* ext;
    std::vector<int> colour;  // per page
  };
  const Case cases[] = {
      {"xps-png16m-mixed-a4.xps", "png", {0, 1, 0, 1}},
      {"xps-png48-mixed-letter.xps", "png", {0, 1, 0, 1}},
      {"xps-png256-mixed-a4.xps", "png", {0, 1, 0, 1}},
      {"xps-pnggray-mixed-letter.xps", "png", {0, 0, 0, 0}},
      {"xps-pngalpha-grayimage-a4.xps", "png", {0, 1, 0, 0}},
      {"xps-jpeg-mixed-a4.xps", "jpg", {0, 1, 0, 1}},
      {"xps-jpeggray-text-a4.xps", "jpg", {0, 0}},
      {"xps-jpegcmyk-mixed-letter.xps", "jpg", {0, 1, 0, 1}},
      {"xps-jpeg-progressive-grayimage-letter.xps", "jpg", {0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    const std::string package = xps_test::read_file(corpus_dir() + "/" + c.file);
    ASSERT_FALSE(package.empty()) << c.file;
    for (std::size_t page = 0; page < c.colour.size(); ++page) {
      const std::string name = "/Documents/1/Resources/Images/" + std::to_string(page + 1) + "." + c.ext;
      const std::string image = xps_test::part_of(package, name);
      ASSERT_FALSE(image.empty()) << c.file << " " << name;
      const int verdict = std::string(c.ext) == "png" ? png_verdict(image) : jpeg_verdict(image);
      EXPECT_EQ(verdict, c.colour[page]) << c.file << " page " << page + 1;
    }
  }
}

}  // namespace
