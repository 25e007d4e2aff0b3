// Units, positions, page sizes and gray values of the watermark planners.
#include "modify/watermark_common.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/watermark.h"

namespace {

constexpr double POINTS_PER_INCH = 72.0;
constexpr double MM_PER_INCH = 25.4;
constexpr double DOTS_PER_INCH = 600.0;
// Paper names come from the job; only this much of one is logged.
constexpr int PAPER_NAME_LOG_MAX = 128;

bool begins_with_nocase(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_to_lower(text[i]) != ascii_to_lower(prefix[i])) return false;
  }
  return true;
}

// The row a paper name names. The longest row name wins, so an exact name
// ("A4 Rotated", "PRC Envelope #10") is never taken for a shorter one that
// begins it ("A4", "PRC Envelope #1").
const pcl5_page_attrib* page_by_name(std::string_view name) {
  const pcl5_page_attrib* best = nullptr;
  std::size_t best_len = 0;
  for (const pcl5_page_attrib& row : pcl5_page_attribs()) {
    const std::string_view row_name(row.name);
    if (row_name.size() > best_len && begins_with_nocase(name, row_name)) {
      best = &row;
      best_len = row_name.size();
    }
  }
  return best;
}

// Code 1 is the first row's; a row without a code answers no code.
const pcl5_page_attrib* page_by_code(std::int32_t code) {
  const auto rows = pcl5_page_attribs();
  if (code == rows.front().pcl_code) return &rows.front();
  if (code == PCL_PAGE_CODE_NONE) return nullptr;
  for (const pcl5_page_attrib& row : rows.subspan(1)) {
    if (row.pcl_code == code) return &row;
  }
  return nullptr;
}

const pcl5_page_attrib* find_page(std::int32_t pcl_code, const char* paper_name) {
  if (paper_name != nullptr && paper_name[0] != '\0') {
    if (const pcl5_page_attrib* row = page_by_name(paper_name)) return row;
    LOG_INFO("Unknown PCL page name '%.*s'", PAPER_NAME_LOG_MAX, paper_name);
  } else {
    LOG_INFO("Neither PCL page name nor page dimensions specified");
  }
  const pcl5_page_attrib* row = page_by_code(pcl_code);
  if (row == nullptr) LOG_INFO("No default PCL page size");
  return row;
}

bool landscape(std::int32_t orientation) {
  return orientation != PAGE_ORIENTATION_UNKNOWN && (orientation & 1) != 0;
}

}  // namespace

double points_to_600dpi(double points) { return points / POINTS_PER_INCH * DOTS_PER_INCH; }

double mm_to_600dpi(double mm) { return mm / MM_PER_INCH * DOTS_PER_INCH; }

double xform_pos_x(double x, double width) { return x < 0.0 ? width + x : x; }

double xform_pos_y(double y, double height) { return y < 0.0 ? -y : height - y; }

void resolve_watermark_coords(const watermark_point* position, const watermark_point* boundary,
                              watermark_point* out) {
  if (!TV_ASSERT(boundary->y > 0.0)) {
    LOG_ERROR("resolve_watermark_coords: invalid boundary x=%.1f,y=%.1f", boundary->x,
              boundary->y);
  }
  out->x = position->x < 0.0 ? position->x + boundary->x : position->x;
  out->y = position->y < 0.0 ? -position->y : boundary->y - position->y;
}

double get_bottom_page_mm(std::int32_t pcl_code, const char* paper_name, std::int32_t orientation,
                          double known_mm) {
  if (known_mm > 0.0) return known_mm;
  const pcl5_page_attrib* row = find_page(pcl_code, paper_name);
  if (row == nullptr) return 0.0;
  return landscape(orientation) ? row->width_mm : row->height_mm;
}

double get_right_page_mm(std::int32_t pcl_code, const char* paper_name, std::int32_t orientation,
                         double known_mm) {
  if (known_mm > 0.0) return known_mm;
  const pcl5_page_attrib* row = find_page(pcl_code, paper_name);
  if (row == nullptr) return 0.0;
  return landscape(orientation) ? row->height_mm : row->width_mm;
}

double gray_level_to_number(std::int32_t gray_level) {
  switch (gray_level) {
    case WATERMARK_GRAY_BLACK: return 0.0;
    case WATERMARK_GRAY_DARK: return 0.3;
    case WATERMARK_GRAY_MEDIUM: return 0.6;
    case WATERMARK_GRAY_LIGHT: return 0.9;
    case WATERMARK_GRAY_OUTLINE: return 1.0;
    default: return 0.0;
  }
}
