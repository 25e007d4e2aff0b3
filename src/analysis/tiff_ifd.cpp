// TIFF headers and image directories, read with bounds checks only (no
// image data is touched).
#include "analysis/tiff_ifd.h"

#include <unordered_set>

namespace {

constexpr std::uint16_t TAG_IMAGE_WIDTH = 256;
constexpr std::uint16_t TAG_IMAGE_LENGTH = 257;
constexpr std::uint16_t TAG_PHOTOMETRIC = 262;
constexpr std::uint16_t TAG_SAMPLES_PER_PIXEL = 277;
constexpr std::uint16_t TAG_X_RESOLUTION = 282;
constexpr std::uint16_t TAG_Y_RESOLUTION = 283;
constexpr std::uint16_t TAG_RESOLUTION_UNIT = 296;

constexpr std::uint16_t TYPE_SHORT = 3;
constexpr std::uint16_t TYPE_LONG = 4;
constexpr std::uint16_t TYPE_RATIONAL = 5;

constexpr std::uint64_t IFD_ENTRY_SIZE = 12;
constexpr double MM_PER_INCH = 25.4;
constexpr double MM_PER_CENTIMETRE = 10.0;

class TiffReader {
 public:
  TiffReader(ByteSpan tiff, bool little) : tiff_(tiff), little_(little) {}

  [[nodiscard]] std::optional<std::uint16_t> u16(std::uint64_t offset) const {
    return little_ ? scan_le16_at(tiff_, offset) : scan_be16_at(tiff_, offset);
  }
  [[nodiscard]] std::optional<std::uint32_t> u32(std::uint64_t offset) const {
    return little_ ? scan_le32_at(tiff_, offset) : scan_be32_at(tiff_, offset);
  }
  // A SHORT or LONG value held in the entry itself.
  [[nodiscard]] std::optional<std::uint32_t> integer(std::uint64_t entry, std::uint16_t type) const {
    if (type == TYPE_SHORT) {
      const auto v = u16(entry + 8);
      return v ? std::optional<std::uint32_t>(*v) : std::nullopt;
    }
    if (type == TYPE_LONG) return u32(entry + 8);
    return std::nullopt;
  }
  // A RATIONAL value, stored where the entry points.
  [[nodiscard]] double rational(std::uint64_t entry, std::uint16_t type) const {
    if (type != TYPE_RATIONAL) return 0;
    const auto at = u32(entry + 8);
    if (!at) return 0;
    const auto numerator = u32(*at);
    const auto denominator = u32(std::uint64_t{*at} + 4);
    if (!numerator || !denominator || *denominator == 0) return 0;
    return static_cast<double>(*numerator) / *denominator;
  }

 private:
  ByteSpan tiff_;
  bool little_;
};

void read_entry(const TiffReader& reader, std::uint64_t entry, TiffImage* image) {
  const auto tag = reader.u16(entry);
  const auto type = reader.u16(entry + 2);
  if (!tag || !type) return;
  const std::optional<std::uint32_t> value = reader.integer(entry, *type);
  switch (*tag) {
    case TAG_IMAGE_WIDTH:
      if (value) image->width = *value;
      break;
    case TAG_IMAGE_LENGTH:
      if (value) image->height = *value;
      break;
    case TAG_PHOTOMETRIC:
      if (value) image->photometric = static_cast<int>(*value & 0xFFFF);
      break;
    case TAG_SAMPLES_PER_PIXEL:
      if (value) image->samples_per_pixel = static_cast<int>(*value & 0xFFFF);
      break;
    case TAG_X_RESOLUTION:
      image->x_resolution = reader.rational(entry, *type);
      break;
    case TAG_Y_RESOLUTION:
      image->y_resolution = reader.rational(entry, *type);
      break;
    case TAG_RESOLUTION_UNIT:
      if (value) image->resolution_unit = static_cast<int>(*value & 0xFFFF);
      break;
    default:
      break;
  }
}

}  // namespace

std::optional<TiffHeader> tiff_read_header(ByteSpan tiff) {
  TiffHeader header;
  if (scan_bytes_at(tiff, 0, std::string_view("II*\0", 4))) {
    header.little_endian = true;
  } else if (scan_bytes_at(tiff, 0, std::string_view("MM\0*", 4))) {
    header.little_endian = false;
  } else {
    return std::nullopt;
  }
  const auto first = TiffReader(tiff, header.little_endian).u32(4);
  if (!first) return std::nullopt;
  header.first_ifd = *first;
  return header;
}

std::optional<TiffImage> tiff_read_ifd(ByteSpan tiff, const TiffHeader& header,
                                       std::uint32_t offset) {
  const TiffReader reader(tiff, header.little_endian);
  const auto count = reader.u16(offset);
  if (!count || *count > TIFF_MAX_IFD_ENTRIES) return std::nullopt;
  const std::uint64_t entries = std::uint64_t{offset} + 2;
  const std::uint64_t next_at = entries + *count * IFD_ENTRY_SIZE;
  const auto next = reader.u32(next_at);
  if (!next) return std::nullopt;  // the directory does not lie whole in the data
  TiffImage image;
  for (std::uint64_t i = 0; i < *count; ++i) read_entry(reader, entries + i * IFD_ENTRY_SIZE, &image);
  image.next_ifd = *next;
  return image;
}

namespace {

// Calls `visit` on each image of the directory chain; stops at a broken or
// looping link and at TIFF_MAX_IMAGES.
template <class Visit>
void walk_images(ByteSpan tiff, Visit visit) {
  const std::optional<TiffHeader> header = tiff_read_header(tiff);
  if (!header) return;
  std::unordered_set<std::uint32_t> seen;
  int images = 0;
  std::uint32_t offset = header->first_ifd;
  while (offset != 0 && images < TIFF_MAX_IMAGES && seen.insert(offset).second) {
    const std::optional<TiffImage> image = tiff_read_ifd(tiff, *header, offset);
    if (!image) break;
    ++images;
    visit(*image);
    offset = image->next_ifd;
  }
}

}  // namespace

int tiff_count_images(ByteSpan tiff) {
  int images = 0;
  walk_images(tiff, [&images](const TiffImage&) { ++images; });
  return images;
}

int tiff_count_gray_images(ByteSpan tiff) {
  int gray = 0;
  walk_images(tiff, [&gray](const TiffImage& image) {
    if (tiff_image_is_gray(image)) ++gray;
  });
  return gray;
}

bool tiff_image_is_gray(const TiffImage& image) {
  const bool gray_model = image.photometric == TIFF_PHOTOMETRIC_WHITE_IS_ZERO ||
                          image.photometric == TIFF_PHOTOMETRIC_BLACK_IS_ZERO ||
                          image.photometric == TIFF_PHOTOMETRIC_MASK;
  return gray_model && image.samples_per_pixel <= 2;
}

std::optional<double> tiff_length_mm(std::uint32_t pixels, double resolution, int unit) {
  if (!(resolution > 0)) return std::nullopt;
  if (unit == TIFF_UNIT_INCH) return pixels / resolution * MM_PER_INCH;
  if (unit == TIFF_UNIT_CENTIMETRE) return pixels / resolution * MM_PER_CENTIMETRE;
  return std::nullopt;
}
