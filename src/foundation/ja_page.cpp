// Page size and paper name of the job record: the area rule that keeps the
// largest page seen, inch-named sizes, and doubling for two pages a sheet.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/ja_papers.h"
#include "foundation/log.h"
#include "foundation/util.h"

namespace {

// Sizes come from print data: anything beyond a kilometre is clamped so that
// the conversion to int and the area stay defined.
constexpr double PAGE_MM_LIMIT = 1000000.0;
// "INCH_<w>X<h>": more digits than this are not an inch size.
constexpr std::size_t INCH_MAX_DIGITS = 6;
constexpr double MM_PER_INCH = 25.4;
// A suffix some drivers append to paper names.
constexpr const char* LONG_EDGE_SUFFIX = "LONGEDGE";
// The log names of the job model's own calls: the setters' unit (written
// shortened as "tv.c") and the paper doubling.
constexpr const char* SETTER_SOURCE = "torvelle.cpp";
constexpr const char* DOUBLING_SOURCE = "ja.cpp";

// The area of the recorded paper name, else of the recorded size when both
// sides are positive. 0 when there is none.
int recorded_area(const JobAttribs* ja, std::int64_t* area) {
  if (paper_area(ja->paper_size_name, area)) return 1;
  if (ja->page_width_mm > 0 && ja->page_height_mm > 0) {
    *area = std::int64_t{ja->page_width_mm} * ja->page_height_mm;
    return 1;
  }
  return 0;
}

void clean_paper_size_name(const char* name, char* cleaned, std::size_t size) {
  util_safe_strncpy(cleaned, name, size);
  std::size_t length = std::strlen(cleaned);
  std::size_t suffix = std::strlen(LONG_EDGE_SUFFIX);
  if (length > 9 && std::strcmp(cleaned + length - suffix, LONG_EDGE_SUFFIX) == 0) {
    cleaned[length - suffix] = '\0';
    log_debug_printf_func(SETTER_SOURCE, __LINE__, "clean_paper_size_name: '%s'=>'%s'", name,
                          cleaned);
  }
}

// Reads a bounded run of decimal digits at *p; advances past it.
bool read_inch_number(const char*& p, const char* end, long* value) {
  const DecimalRead read =
      decimal_read(std::string_view(p, static_cast<std::size_t>(end - p)), DecimalSign::NONE);
  if (read.length == 0 || read.length > INCH_MAX_DIGITS) return false;
  *value = static_cast<long>(read.value);
  p += read.length;
  return true;
}

// "INCH_<w>X<h>" at the start of the name (case as written), in millimetres.
bool parse_inch_size(const char* name, int* width_mm, int* height_mm) {
  std::size_t length = std::strlen(name);
  if (length <= 7 || std::strncmp(name, "INCH_", 5) != 0) return false;
  const char* p = name + 5;
  const char* end = name + length;
  long width_in = 0;
  long height_in = 0;
  if (!read_inch_number(p, end, &width_in)) return false;
  if (p == end || *p != 'X') return false;
  ++p;
  if (!read_inch_number(p, end, &height_in)) return false;
  *width_mm = static_cast<int>(std::floor(static_cast<double>(width_in) * MM_PER_INCH + 0.5));
  *height_mm = static_cast<int>(std::floor(static_cast<double>(height_in) * MM_PER_INCH + 0.5));
  return true;
}

}  // namespace

int ja_round_mm(double mm) {
  if (std::isnan(mm)) return 0;
  if (mm > PAGE_MM_LIMIT) mm = PAGE_MM_LIMIT;
  if (mm < -PAGE_MM_LIMIT) mm = -PAGE_MM_LIMIT;
  return static_cast<int>(std::floor(mm + 0.5));
}

void ja_set_page_width_height_mm_func(const char* file, int line, JobAttribs* ja, double width_mm,
                                      double height_mm) {
  if (!TV_ASSERT(ja != nullptr)) return;
  if (!std::isfinite(width_mm) || !std::isfinite(height_mm)) {
    log_debug_printf_func(file, line,
                          "ja_set_page_width_height_mm_func: not a size, not replacing: %gx%g",
                          width_mm, height_mm);
    return;
  }
  int width = ja_round_mm(width_mm);
  int height = ja_round_mm(height_mm);
  log_debug_printf_func(file, line, "ja_set_page_width_height_mm_func: wxh=%dx%d,was=%dx%d", width,
                        height, ja->page_width_mm, ja->page_height_mm);
  if (width > 0 && height > 0) {
    std::int64_t old_area = 0;
    std::int64_t new_area = std::int64_t{width} * height;
    if (recorded_area(ja, &old_area) && new_area < old_area) {
      log_debug_printf_func(file, line,
                            "ja_set_page_width_height_mm_func: old page size larger, not replacing");
      return;
    }
  }
  ja->page_width_mm = width;
  ja->page_height_mm = height;
}

void ja_set_paper_size_name_func(const char* file, int line, JobAttribs* ja, const char* name) {
  if (!TV_ASSERT(ja != nullptr)) return;
  if (name == nullptr) name = "";
  char cleaned[JA_TEXT_SIZE];
  clean_paper_size_name(name, cleaned, sizeof cleaned);
  constexpr const char* ENTRY = "ja_set_paper_size_name: name='%s'('%s'),was='%s',is_custom=%d";

  int width = 0;
  int height = 0;
  if (parse_inch_size(cleaned, &width, &height) && width >= 1 && height >= 1) {
    log_debug_printf_func(file, line, ENTRY, name, cleaned, ja->paper_size_name, 1);
    ja_set_page_width_height_mm_func(SETTER_SOURCE, __LINE__, ja, width, height);
    return;
  }
  if (util_case_equal_str(name, "CUSTOM")) {
    log_debug_printf_func(file, line, ENTRY, name, cleaned, ja->paper_size_name, 1);
    return;
  }
  log_debug_printf_func(file, line, ENTRY, name, cleaned, ja->paper_size_name, 0);
  std::int64_t old_area = 0;
  std::int64_t new_area = 0;
  if (recorded_area(ja, &old_area) && paper_area(cleaned, &new_area) && new_area < old_area) {
    log_debug_printf_func(file, line, "ja_set_paper_size_name: old page size larger, not replacing");
    return;
  }
  util_safe_strncpy(ja->paper_size_name, cleaned, sizeof ja->paper_size_name);
}

void double_paper_size(JobAttribs* ja) {
  if (!TV_ASSERT(ja != nullptr)) return;
  char old_name[JA_TEXT_SIZE];
  util_safe_strncpy(old_name, ja->paper_size_name, sizeof old_name);
  int old_width = ja->page_width_mm;
  int old_height = ja->page_height_mm;

  if (old_width > 0 && old_height > 0 && old_width != old_height) {
    // The short side doubled becomes the long side; the orientation stays.
    // Doubled in floating point: the fields may hold anything a file gave
    // them, and the setter clamps.
    double width = 0;
    double height = 0;
    if (old_width < old_height) {
      width = old_height;
      height = 2.0 * old_width;
    } else {
      width = 2.0 * old_height;
      height = old_width;
    }
    ja_set_page_width_height_mm_func(SETTER_SOURCE, __LINE__, ja, width, height);
  }

  // The name changes after the size: the size is weighed against the old
  // paper, and a doubled A5 (210 x 296) would lose against the A4 name.
  char* name = ja->paper_size_name;
  if ((name[0] == 'A' || name[0] == 'a') && name[1] >= '1' && name[1] <= '9' && name[2] == '\0') {
    --name[1];
  } else if (util_case_equal_str(name, "INVOICE")) {
    ja_set_paper_size_name_func(DOUBLING_SOURCE, __LINE__, ja, "LETTER");
  } else if (util_case_equal_str(name, "LETTER")) {
    ja_set_paper_size_name_func(DOUBLING_SOURCE, __LINE__, ja, "LEDGER");
  }
  LOG_DEV("double_paper_size: '%s'=>'%s' %dx%d=>%dx%d", old_name, ja->paper_size_name, old_width,
          old_height, ja->page_width_mm, ja->page_height_mm);
}
