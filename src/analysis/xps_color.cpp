// Colour pages of an XPS job: one linear pass over each page's start tags,
// then the page's images, each image part judged once per job.
#include "analysis/xps_color.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "analysis/jpeg_tv.h"
#include "analysis/png_tv.h"
#include "scan/position_timer.h"
#include "analysis/tiff_ifd.h"
#include "scan/xps_xml.h"
#include "foundation/ascii.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

// Colour pages are logged every this many pages while counting.
constexpr std::size_t COLOR_LOG_EVERY = 1000;

int hex_pair(std::string_view hex) { return ascii_hex_value(hex[0]) * 16 + ascii_hex_value(hex[1]); }

bool hex_color_is_color(std::string_view hex) {
  if (hex.size() != 6 && hex.size() != 8) return false;
  for (char c : hex) {
    if (!ascii_is_xdigit(c)) return false;
  }
  if (hex.size() == 8) {
    if (hex.substr(0, 2) == "00") return false;  // fully transparent: nothing is printed
    hex.remove_prefix(2);
  }
  return samples_differ(hex_pair(hex.substr(0, 2)), hex_pair(hex.substr(2, 2)),
                        hex_pair(hex.substr(4, 2)));
}

// "sc#" followed by three or four numbers (alpha first when four).
bool sc_color_is_color(std::string_view list) {
  double values[4] = {};
  int count = 0;
  while (count < 4) {
    while (!list.empty() && ascii_is_space(list.front())) list.remove_prefix(1);
    const auto [end, ec] = std::from_chars(list.data(), list.data() + list.size(), values[count]);
    if (ec != std::errc{}) return false;
    ++count;
    list.remove_prefix(static_cast<std::size_t>(end - list.data()));
    while (!list.empty() && ascii_is_space(list.front())) list.remove_prefix(1);
    if (list.empty()) break;
    if (list.front() != ',') return false;
    list.remove_prefix(1);
  }
  if (count < 3 || !list.empty()) return false;
  const double* rgb = count == 4 ? values + 1 : values;
  if (count == 4 && values[0] <= 0) return false;
  // scRGB: 0 to 1 per channel, compared in levels of 255
  const auto level = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return samples_differ(level(rgb[0]), level(rgb[1]), level(rgb[2]));
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_to_lower(c);
  return out;
}

// The extension of a part name's last component, lower-cased; empty when none.
std::string extension_of(std::string_view part) {
  const std::size_t slash = part.rfind('/');
  const std::size_t dot = part.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return lower(part.substr(dot));
}

// TIFF images are not decoded: their header says whether they can hold
// colour. Grey and bilevel images are not colour; anything else is taken as
// colour, and so is data whose header cannot be read.
int tiff_has_color(const std::string& data, const char* name) {
  const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  const std::optional<TiffHeader> header = tiff_read_header(bytes);
  const std::optional<TiffImage> image =
      header ? tiff_read_ifd(bytes, *header, header->first_ifd) : std::nullopt;
  if (!image) {
    LOG_DEBUG("is_page_color_image: '%s' has no readable TIFF header. assuming color", name);
    return 1;
  }
  LOG_DEBUG("is_page_color_image: '%s' TIFF photometric=%d,samples=%d", name, image->photometric,
            image->samples_per_pixel);
  return tiff_image_is_gray(*image) ? 0 : 1;
}

// The verdict on one image part: 1 colour (or not analysed), 0 grey,
// -1 missing or broken, IMAGE_UNJUDGED too large to decode.
int judge_image(XpsColorScan* scan, const std::string& image) {
  const std::string ext = extension_of(image);
  const bool jpeg = ext == ".jpg" || ext == ".jpeg";
  const bool png = ext == ".png";
  const bool tiff = ext == ".tif" || ext == ".tiff";
  if (ext.empty()) {
    LOG_DEBUG("is_page_color_image: image_path='%s' with no extension is currently not analyzed. "
              "assuming color", image.c_str());
    return 1;
  }
  if (!jpeg && !png && !tiff) {
    LOG_DEBUG("is_page_color_image: image_path='%s' extension '%s' is currently not analyzed. "
              "assuming color", image.c_str(), ext.c_str());
    return 1;
  }
  std::string data;
  if (!get_xps_value(scan->zip, *scan->list, image, false, &data)) {
    LOG_ERROR("is_page_color_image: '%s' does not exist", image.c_str());
    return -1;
  }
  scan->bytes_read += data.size();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  if (tiff) return tiff_has_color(data, image.c_str());
  const int verdict = jpeg ? jpeg_has_color(bytes, data.size(), image.c_str())
                           : png_has_color(bytes, data.size(), image.c_str());
  if (verdict == IMAGE_BROKEN) {
    LOG_ERROR("is_page_color_image: '%s' is not a valid %s image", image.c_str(), jpeg ? "JPEG" : "PNG");
  }
  return verdict;
}

int image_verdict(XpsColorScan* scan, const std::string& image) {
  const auto cached = scan->image_verdicts.find(image);
  if (cached != scan->image_verdicts.end()) return cached->second;
  const int verdict = judge_image(scan, image);
  scan->image_verdicts.emplace(image, verdict);
  return verdict;
}

// The colour attribute of a tag that can paint, if any.
bool tag_paints_color(const XmlTag& tag) {
  if (tag.name == "Path" || tag.name == "Glyphs") {
    for (const char* attribute : {"Fill", "Stroke"}) {
      const std::optional<std::string_view> value = xml_attribute(tag.attributes, attribute);
      if (value && xps_color_value_is_color(*value)) return true;
    }
    return false;
  }
  if (tag.name == "SolidColorBrush" || tag.name == "GradientStop") {
    const std::optional<std::string_view> value = xml_attribute(tag.attributes, "Color");
    return value && xps_color_value_is_color(*value);
  }
  return false;
}

}  // namespace

bool xps_color_value_is_color(std::string_view value) {
  while (!value.empty() && ascii_is_space(value.front())) value.remove_prefix(1);
  while (!value.empty() && ascii_is_space(value.back())) value.remove_suffix(1);
  if (value.starts_with("sc#")) return sc_color_is_color(value.substr(3));
  if (value.starts_with("#")) return hex_color_is_color(value.substr(1));
  return false;
}

std::string xps_image_source_part(std::string_view page, std::string_view source) {
  while (!source.empty() && ascii_is_space(source.front())) source.remove_prefix(1);
  while (!source.empty() && ascii_is_space(source.back())) source.remove_suffix(1);
  if (source.starts_with("{")) {
    // "{ColorConvertedBitmap <image> <profile>}": the image is the first name.
    constexpr std::string_view EXTENSION = "{ColorConvertedBitmap";
    if (!source.starts_with(EXTENSION) || !source.ends_with("}")) return {};
    source = source.substr(EXTENSION.size(), source.size() - EXTENSION.size() - 1);
    while (!source.empty() && ascii_is_space(source.front())) source.remove_prefix(1);
    std::size_t end = 0;
    while (end < source.size() && !ascii_is_space(source[end])) ++end;
    source = source.substr(0, end);
  }
  if (source.empty()) return {};
  std::optional<std::string> part = make_xps_path(page, source);
  return part ? std::move(*part) : std::string();
}

int xps_page_color(XpsColorScan* scan, const std::string& page) {
  std::string text;
  if (!get_xps_value(scan->zip, *scan->list, page, true, &text)) {
    LOG_ERROR("is_page_color_text_vector: get_xps_value(%s) failed", page.c_str());
    return 0;
  }
  scan->bytes_read += text.size();
  std::set<std::string> images;
  XmlTagScanner scanner(text);
  XmlTag tag;
  while (scanner.next(&tag)) {
    if (tag_paints_color(tag)) return 1;
    if (tag.name != "ImageBrush") continue;
    const std::optional<std::string_view> source = xml_attribute(tag.attributes, "ImageSource");
    if (!source) continue;
    std::string image = xps_image_source_part(page, *source);
    if (image.empty()) {
      LOG_DEBUG("is_page_color_image: ImageSource '%.*s' names no part. assuming color",
                static_cast<int>(source->size()), source->data());
      return 1;
    }
    images.insert(std::move(image));
  }
  // An image that cannot be judged leaves the page unjudged unless another
  // image shows colour.
  int page_verdict = 0;
  for (const std::string& image : images) {
    const int verdict = image_verdict(scan, image);
    if (verdict == IMAGE_UNJUDGED) {
      page_verdict = COLOR_PAGES_UNJUDGED;
    } else if (verdict != 0) {
      return verdict;
    }
  }
  return page_verdict;
}

int get_num_color_pages(XpsColorScan* scan, const std::vector<std::string>& pages,
                        int pages_per_sheet, PositionTimer* timer) {
  if (pages_per_sheet < 1) pages_per_sheet = 1;
  int color_sheets = 0;
  bool sheet_marked = false;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (timer != nullptr && timer->expired(scan->bytes_read)) {
      // The pages not looked at are not judged: the count so far would bill
      // them as gray.
      LOG_ERROR("Parse timeout exceeded. Language: XPS (timeout=%d sec)", global_ctx.parse_timeout);
      LOG_DEBUG("get_num_color_pages: colour of pages %zu to %zu not judged", i + 1, pages.size());
      return COLOR_PAGES_UNJUDGED;
    }
    if (i % static_cast<std::size_t>(pages_per_sheet) == 0) sheet_marked = false;
    if (sheet_marked) continue;  // the sheet is colour already
    const int color = xps_page_color(scan, pages[i]);
    if (color == COLOR_PAGES_UNJUDGED) {
      LOG_DEBUG(" get_num_color_pages: the colour of page %zu cannot be judged", i + 1);
      return COLOR_PAGES_UNJUDGED;
    }
    if (color < 0) {
      LOG_DEBUG(" get_num_color_pages: invalid XPS file");
      return -1;
    }
    if (color > 0 && !sheet_marked) {
      ++color_sheets;
      sheet_marked = true;
    }
    if (i % COLOR_LOG_EVERY == COLOR_LOG_EVERY - 1) {
      LOG_DEBUG(" get_num_color_pages: num_color_pages=%d for page=%zu", color_sheets, i);
    }
  }
  LOG_DEBUG("get_num_color_pages: num_color_pages=%d", color_sheets);
  return color_sheets;
}
