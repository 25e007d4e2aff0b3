// Images: the BeginImage that sets an image's geometry, and the colour test
// of each ReadImage block (palettes, uncompressed, run-length and
// delta-row pixel rows; JPEG is taken as colour).
//
// Rows are tested one by one without their pad bytes: PCL XL pads each row
// to PadBytesMultiple (4 unless the ReadImage says otherwise), and a
// three-byte pixel test run across the pads would read a gray image's
// pixels out of step and find colour in them.
#include <algorithm>

#include "analysis/pcl6_decode.h"
#include "analysis/pcl6color_internal.h"
#include "foundation/log.h"

namespace {

constexpr std::uint64_t DEFAULT_PAD_BYTES = 4;
constexpr std::uint64_t MAX_PAD_BYTES = 4;
// CommentData of an XL2HB driver: its third uint16 marks a colour image.
constexpr std::uint64_t XL2HB_MARK_INDEX = 2;

int depth_bits(std::int64_t depth) {
  switch (depth) {
    case 0: return 1;
    case 1: return 4;
    case 2: return 8;
    default: return 0;
  }
}

std::int64_t attr_int(ByteSpan job, const PxlAttr* attrs, int n, std::uint8_t id,
                      std::int64_t fallback) {
  const PxlAttr* a = pxl_find_attr(attrs, n, id);
  return a != nullptr ? pxl_value_int(job, a->value).value_or(fallback) : fallback;
}

// One component of `bits` bits at component index i of packed bytes.
int component(ByteSpan bytes, std::uint64_t i, int bits) {
  if (bits == 8) return bytes[i];
  const std::uint64_t bit = i * static_cast<std::uint64_t>(bits);
  const int shift = 8 - bits - static_cast<int>(bit % 8);
  const int value = (bytes[bit / 8] >> shift) & ((1 << bits) - 1);
  // Scaled to 0..255 so the gray tolerance means the same at every depth.
  return value * 255 / ((1 << bits) - 1);
}

// The ReadImage block being tested.
struct Block {
  std::uint64_t rows = 0;        // BlockHeight
  int compression = PXL_NO_COMPRESSION;
  std::uint64_t pad = DEFAULT_PAD_BYTES;
  bool xl2hb_color = false;      // the block's own XL2HB colour mark
  ByteSpan data;                 // the embedded data
};

bool read_block(ByteSpan job, std::uint64_t pos, Block* b) {
  if (job[pos - 2] != PXL_ATTR_ID || pos + 1 >= job.size()) return false;
  const std::uint8_t tag = job[pos + 1];
  if (tag != PXL_DATA_LENGTH && tag != PXL_DATA_LENGTH_BYTE) return false;
  const auto end = pxl_embedded_data_end(job, pos);
  if (!end) {
    LOG_ERROR("File appears to be truncated image_data=%llu,end=%llu",
              static_cast<unsigned long long>(pos + 1), static_cast<unsigned long long>(job.size()));
    return false;
  }
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, pos, PCL6_IMAGE_WINDOW, attrs, PXL_MAX_ATTRS);
  const std::int64_t rows = attr_int(job, attrs, n, PXL_ATTR_BLOCK_HEIGHT, -1);
  if (rows < 0 || pxl_find_attr(attrs, n, PXL_ATTR_START_LINE) == nullptr) return false;
  b->rows = static_cast<std::uint64_t>(rows);
  b->compression = static_cast<int>(attr_int(job, attrs, n, PXL_ATTR_COMPRESS_MODE, 0));
  const std::int64_t pad = attr_int(job, attrs, n, PXL_ATTR_PAD_BYTES_MULTIPLE, 4);
  b->pad = pad >= 1 && pad <= static_cast<std::int64_t>(MAX_PAD_BYTES)
               ? static_cast<std::uint64_t>(pad) : DEFAULT_PAD_BYTES;
  b->xl2hb_color = attr_int(job, attrs, n, PXL_ATTR_COMMENT_DATA, 0) != 0;
  const std::uint64_t header = tag == PXL_DATA_LENGTH ? 5 : 2;
  b->data = job.subspan(pos + 1 + header, *end - (pos + 1 + header));
  return true;
}

struct RowTest {
  std::uint64_t width;
  int bits;
  std::uint64_t row = 0;
  bool color = false;
};

bool row_visitor(ByteSpan row, void* context) {
  auto* t = static_cast<RowTest*>(context);
  t->color = pcl6color_rgb_has_color(row, t->width, t->bits);
  if (t->color) LOG_DEV("Color found in compressed image in row %d", static_cast<int>(t->row));
  ++t->row;
  return t->color;
}

bool uncompressed_has_color(const Pcl6Image& img, const Block& b, std::uint64_t row_bytes) {
  const std::uint64_t stride = (row_bytes + b.pad - 1) / b.pad * b.pad;
  const std::uint64_t rows = std::min(b.rows, b.data.size() / stride);
  for (std::uint64_t r = 0; r < rows; ++r) {
    if (pcl6color_rgb_has_color(b.data.subspan(r * stride, row_bytes), img.width,
                                img.depth_bits)) {
      return true;
    }
  }
  return false;
}

// `undecided` is set when the data cannot be read to judge its colour.
bool direct_has_color(PCL6Color* d, const Pcl6Image& img, const Block& b, std::uint64_t pos,
                      bool* undecided) {
  const std::uint64_t row_bytes = (img.width * 3 * img.depth_bits + 7) / 8;
  RowTest test{img.width, img.depth_bits};
  switch (b.compression) {
    case PXL_NO_COMPRESSION:
      if (!uncompressed_has_color(img, b, row_bytes)) return false;
      LOG_DEBUG("Found color in BitmapImage with no compression at %u", static_cast<unsigned>(pos));
      return true;
    case PXL_RLE: {
      const std::uint64_t stride = (row_bytes + b.pad - 1) / b.pad * b.pad;
      // The pads are decoded with each row and left out of the test.
      test.width = img.width;
      (void)pxl_decode_rle_rows(b.data, stride, b.rows, d->row, row_visitor, &test);
      LOG_DEBUG(test.color ? "Found color BitmapImage with rle compression"
                           : "No color found in rle compressed image");
      return test.color;
    }
    case PXL_JPEG:
      LOG_DEBUG("Found color in BitmapImage with JPEG compression at %u", static_cast<unsigned>(pos));
      d->guessed_jpeg_color = true;
      return true;
    case PXL_DELTA_ROW:
      (void)pxl_decode_delta_rows(b.data, row_bytes, b.rows, d->row, row_visitor, &test);
      LOG_DEBUG(test.color ? "Found color BitmapImage with delta row compression"
                           : "No color found in image");
      return test.color;
    default:
      LOG_ERROR("Unknown image compression type");
      *undecided = true;
      return false;
  }
}

bool indexed_has_color(const Pcl6Image& img, ByteSpan job, std::uint64_t pos, bool* undecided) {
  const Pcl6ColorSpace& cs = img.space;
  if (cs.palette_size == 0) {
    LOG_DEBUG("PCL6 image index mapping with no palette!");
    *undecided = true;
    return false;
  }
  const int bits = depth_bits(cs.palette_depth < 0 ? 2 : cs.palette_depth);
  if (bits == 0) {
    LOG_DEBUG("Unable to parse ColorSpace palette data");
    *undecided = true;
    return false;
  }
  const ByteSpan palette = job.subspan(cs.palette_data, cs.palette_size);
  const std::uint64_t entries = palette.size() * 8 / (3 * static_cast<std::uint64_t>(bits));
  if (!pcl6color_rgb_has_color(palette, entries, bits)) {
    LOG_DEBUG("Found gray only palette");
    return false;
  }
  LOG_DEBUG("Found color in BitmapImage palette at %u", static_cast<unsigned>(pos));
  return true;
}

}  // namespace

bool pcl6color_rgb_has_color(ByteSpan bytes, std::uint64_t count, int bits) {
  if (bits != 1 && bits != 4 && bits != 8) return false;
  const std::uint64_t available = bytes.size() * 8 / (3 * static_cast<std::uint64_t>(bits));
  count = std::min(count, available);
  for (std::uint64_t p = 0; p < count; ++p) {
    const std::uint64_t c = p * 3;
    if (pcl6_rgb_is_color(component(bytes, c, bits), component(bytes, c + 1, bits),
                          component(bytes, c + 2, bits))) {
      return true;
    }
  }
  return false;
}

void pcl6color_begin_image(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  if (job[pos - 2] != PXL_ATTR_ID) return;
  PxlAttr attrs[PXL_MAX_ATTRS];
  const int n = pxl_read_attrs_before(job, pos, PCL6_IMAGE_WINDOW, attrs, PXL_MAX_ATTRS);
  const std::int64_t width = attr_int(job, attrs, n, PXL_ATTR_SOURCE_WIDTH, -1);
  const std::int64_t height = attr_int(job, attrs, n, PXL_ATTR_SOURCE_HEIGHT, -1);
  const int bits = depth_bits(attr_int(job, attrs, n, PXL_ATTR_COLOR_DEPTH, -1));
  const std::int64_t mapping = attr_int(job, attrs, n, PXL_ATTR_COLOR_MAPPING, -1);
  if (width <= 0 || height < 0 || bits == 0 || mapping < 0) return;
  Pcl6Image img;
  img.valid = true;
  img.space = d->space;
  img.width = static_cast<std::uint64_t>(width);
  img.height = static_cast<std::uint64_t>(height);
  img.depth_bits = bits;
  img.mapping = static_cast<int>(mapping);
  const PxlAttr* comment = pxl_find_attr(attrs, n, PXL_ATTR_COMMENT_DATA);
  if (comment != nullptr && comment->value.tag == PXL_TAG_UINT16_ARRAY) {
    LOG_DEV("BeginImage CommentData %d u16", static_cast<int>(comment->value.count));
    const auto third = pxl_value_number(job, comment->value, XL2HB_MARK_INDEX);
    if (third) {
      LOG_DEV("Third u16 = %d", static_cast<int>(*third));
      img.xl2hb_marked = *third != 0;
    }
  }
  d->image = img;
  LOG_DEV("Successfully parse bitmap image");
  LOG_DEV(" width %d", static_cast<int>(img.width));
  LOG_DEV(" height %d", static_cast<int>(img.height));
  LOG_DEV(" depth %d", img.depth_bits);
  LOG_DEV(" mapping %d", img.mapping);
  LOG_DEV(" color space %d", img.space.color_space);
  LOG_DEV(" pal depth %d", img.space.palette_depth);
}

bool pcl6color_read_image_has_color(PCL6Color* d, ByteSpan job, std::uint64_t pos) {
  Block block;
  if (!d->image.valid || !read_block(job, pos, &block)) return false;
  const Pcl6Image& img = d->image;
  LOG_DEV("Found image at %u: Colorspace=%d", static_cast<unsigned>(pos), img.space.color_space);
  bool color = false;
  bool undecided = false;
  if (img.space.color_space != PXL_COLOR_SPACE_GRAY) {
    LOG_DEBUG("Found image at %u", static_cast<unsigned>(pos));
    color = img.mapping == PXL_MAPPING_INDEXED ? indexed_has_color(img, job, pos, &undecided)
                                               : direct_has_color(d, img, block, pos, &undecided);
  }
  // The driver's colour mark decides a marked image; an unmarked one that
  // could not be read leaves its page undecided.
  if (!color && undecided && !img.xl2hb_marked) pcl6color_found_undecided(d);
  if (!color && img.xl2hb_marked) {
    LOG_DEBUG("Found XL2BH color marker in BeginImage. offset=%u,read_image_xl2hb_color=%d",
              static_cast<unsigned>(pos), block.xl2hb_color ? 1 : 0);
    color = block.xl2hb_color;
  }
  if (!color) LOG_DEV("Gray image detected");
  return color;
}
