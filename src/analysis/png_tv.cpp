// The PNG colour test: libpng reads from a memory source; its errors land at
// the jump point of png_decide, whose locals are all trivial (a longjmp
// skips no destructor) and whose one allocation is freed on both roads.
#include "analysis/png_tv.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>

#include "foundation/log.h"

namespace {

struct PngSource {
  const std::uint8_t* data;
  std::uint64_t length;
  std::uint64_t position;
};

// libpng's read step: the next bytes of the memory source. A short read is
// reported at once; libpng does not go on with missing bytes.
void mem_read_file_func(png_structp png, png_bytep out, png_size_t count) {
  if (png == nullptr) {
    LOG_ERROR("mem_read_file_func: png_ptr = NULL");
    return;
  }
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  const std::uint64_t left = source->length - source->position;
  if (count > left) png_error(png, "read past the end of the image data");
  std::memcpy(out, source->data + source->position, count);
  source->position += count;
}

void error_func(png_structp png, png_const_charp message) {
  LOG_ERROR("PNG error: %s", message);
  png_longjmp(png, 1);
}

void warning_func(png_structp /*png*/, png_const_charp message) {
  LOG_DEBUG("PNG warning: %s", message);
}

bool rgb_differ(const png_byte* pixel, int sample_bytes) {
  if (sample_bytes == 1) return samples_differ(pixel[0], pixel[1], pixel[2]);
  // 16-bit samples, most significant byte first
  return samples_differ((pixel[0] << 8) | pixel[1], (pixel[2] << 8) | pixel[3],
                        (pixel[4] << 8) | pixel[5], 65535);
}

// Which palette entries are coloured; false when none is.
bool color_palette(png_structp png, png_infop info, std::array<bool, 256>* colored) {
  png_colorp palette = nullptr;
  int entries = 0;
  colored->fill(false);
  if (png_get_PLTE(png, info, &palette, &entries) != PNG_INFO_PLTE) return false;
  bool any = false;
  for (int i = 0; i < std::min(entries, 256); ++i) {
    const png_color& c = palette[i];
    if (samples_differ(c.red, c.green, c.blue)) {
      if (!any) {
        LOG_DEBUG("is_color_palette: Found color entry %u,%u,%u in entry %d of %d", c.red, c.green,
                  c.blue, i, entries);
      }
      (*colored)[static_cast<std::size_t>(i)] = true;
      any = true;
    }
  }
  return any;
}

// How the pixels of a row are judged.
struct RowRule {
  int pixel_bytes = 0;   // bytes of one pixel in the row
  int sample_bytes = 0;  // bytes of one sample (RGB); 0 for palette indexes
  const std::array<bool, 256>* palette = nullptr;
};

bool row_has_color(const png_byte* row, png_uint_32 width, const RowRule& rule) {
  for (png_uint_32 x = 0; x < width; ++x) {
    const png_byte* pixel = row + static_cast<std::size_t>(x) * rule.pixel_bytes;
    if (rule.palette != nullptr ? (*rule.palette)[*pixel] : rgb_differ(pixel, rule.sample_bytes)) {
      return true;
    }
  }
  return false;
}

// Reads every row of every pass; 1 at the first row with a coloured pixel.
int scan_rows(png_structp png, png_infop info, png_bytep row, int passes, const RowRule& rule) {
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, row, nullptr);
      if (row_has_color(row, width, rule)) {
        LOG_DEBUG("is_color_image: Found color on pass=%d,y=%u (number_passes=%d,height=%u)", pass,
                  y, passes, height);
        return 1;
      }
    }
  }
  return 0;
}

// The one allocation of a decision, freed by whichever road leaves it.
struct PngRow {
  png_bytep volatile bytes = nullptr;
};

// Which pixels decide, from the image header; false when the image is
// decided without decoding (*result holds the answer).
bool row_rule(png_structp png, png_infop info, const char* name, std::array<bool, 256>* colored,
              RowRule* rule, int* result) {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bit_depth = 0;
  int color_type = 0;
  int interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bit_depth, &color_type, &interlace, nullptr, nullptr);
  LOG_DEBUG("png_has_color: name='%s',width=%u,height=%u,bit_depth=%d,color_type=%d,"
            "interlace_type=%d", name, width, height, bit_depth, color_type, interlace);
  *result = IMAGE_GRAY;
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      LOG_DEBUG("png_has_color: grayscale image");
      return false;
    case PNG_COLOR_TYPE_PALETTE:
      if (!color_palette(png, info, colored)) return false;
      png_set_packing(png);  // one index a byte whatever the bit depth
      *rule = RowRule{1, 0, colored};
      break;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_RGB_ALPHA: {
      const int sample = bit_depth == 16 ? 2 : 1;
      *rule = RowRule{(color_type == PNG_COLOR_TYPE_RGB ? 3 : 4) * sample, sample, nullptr};
      break;
    }
    default:
      LOG_ERROR("png_has_color: unknown color_type=%d", color_type);
      return false;
  }
  const std::uint64_t samples =
      static_cast<std::uint64_t>(width) * height * png_get_channels(png, info);
  if (samples > IMAGE_TV_MAX_SAMPLES) {
    LOG_INFO("png_has_color: '%s' has %u x %u pixels of %d samples, more than are decoded: "
             "colour not judged", name, width, height, static_cast<int>(png_get_channels(png, info)));
    *result = IMAGE_UNJUDGED;
    return false;
  }
  return true;
}

// Five bytes each: the chunk's name and a zero.
constexpr png_byte PNG_IGNORED_CHUNKS[] = "iCCP\0tEXt\0zTXt\0iTXt\0eXIf\0sPLT\0hIST\0pCAL\0sCAL\0tIME";

// Everything that libpng may leave by its jump point.
int png_judge(png_structp png, png_infop info, PngSource* source, const char* name, PngRow* row) {
  png_set_read_fn(png, source, mem_read_file_func);
  png_set_sig_bytes(png, 0);
  png_read_info(png, info);
  std::array<bool, 256> colored{};
  RowRule rule;
  int result = 0;
  if (!row_rule(png, info, name, &colored, &rule, &result)) return result;
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_size_t row_bytes = png_get_rowbytes(png, info);
  if (row_bytes < static_cast<png_size_t>(png_get_image_width(png, info)) * rule.pixel_bytes) {
    png_error(png, "unexpected row size");
  }
  row->bytes = static_cast<png_bytep>(png_malloc(png, row_bytes));
  std::memset(row->bytes, 0, row_bytes);  // interlace passes leave the other pixels as they were
  result = scan_rows(png, info, row->bytes, passes, rule) != 0 ? IMAGE_COLOR : IMAGE_GRAY;
  png_free(png, row->bytes);
  row->bytes = nullptr;
  return result;
}

// The jump point: a libpng error anywhere in png_judge comes back here.
int png_decide(png_structp png, png_infop info, PngSource* source, const char* name) {
  PngRow row;
  if (setjmp(png_jmpbuf(png)) != 0) {
    if (row.bytes != nullptr) png_free(png, row.bytes);
    LOG_ERROR("png_has_color: returned from long jmp. '%s' appears not to be a valid PNG file", name);
    return IMAGE_BROKEN;
  }
  return png_judge(png, info, source, name, &row);
}

}  // namespace

int png_has_color(const std::uint8_t* data, std::uint64_t length, const char* name) {
  if (name == nullptr) name = "";
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, error_func, warning_func);
  if (png == nullptr) {
    LOG_ERROR("png_has_color: png_create_read_struct() failed");
    return IMAGE_BROKEN;
  }
  // A few kilobytes of PNG may declare a text or a colour profile of
  // gigabytes, and libpng allocates what a chunk declares before it reads
  // it. None of these chunks says anything of the pixels' colour: they are
  // passed over unread.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, PNG_IGNORED_CHUNKS,
                              static_cast<int>(sizeof PNG_IGNORED_CHUNKS / 5));
  // The chunks that are read (palette, transparency) are small; any other
  // that a hostile image makes libpng buffer stays within the budget.
  png_set_chunk_malloc_max(png, static_cast<png_alloc_size_t>(IMAGE_TV_MEMORY_BUDGET));
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    LOG_ERROR("png_has_color: png_create_info_struct() failed");
    png_destroy_read_struct(&png, nullptr, nullptr);
    return IMAGE_BROKEN;
  }
  PngSource source{data, data != nullptr ? length : 0, 0};
  const int result = png_decide(png, info, &source, name);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}
