// The PCL XL planner (see planner_pcl6.h). The pages come from the item walk
// (pcl6_items.h), so every BeginPage and EndPage is an operator of the job
// and never a byte of embedded image data.
#include "modify/planner_pcl6.h"

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/pcl6_items.h"
#include "modify/pcl6_watermark.h"
#include "modify/replacement_list.h"
#include "modify/watermark_common.h"

namespace {

constexpr std::string_view DUPLEX_BYTES = "\xC0\x01\xF8\x35";
constexpr std::string_view DUPLEX_BYTES_LEXMARK = std::string_view("\xC0\x00\xF8\x35", 4);
constexpr std::string_view DUPLEX_BYTES_XL2HB = "\xC0\x81\xF8\x35";
constexpr std::string_view CURRENT_SIDE_BYTES = std::string_view("\xC0\x00\xF8\x36", 4);
constexpr std::string_view GRAYSCALE_BYTES = "\xC0\x01\xF8\x03";
// PageCopies 1 (a uint16, the attribute's own type).
constexpr std::string_view ONE_PAGE_COPY_BYTES = std::string_view("\xC1\x01\x00\xF8\x31", 5);
constexpr std::string_view FX_COLORSPACE_COMMENT =
    "\xC8\xC0\x07"
    "FXPC=0";
constexpr std::string_view COMMENT_OPERATOR = "\xF8\x81\x47";
constexpr std::string_view BLANK_BACK_COMMENT = "skip backface of duplex";
// How far the makers' markers are looked for.
constexpr std::uint64_t LEXMARK_WINDOW = 4000;
constexpr std::uint64_t FX_COMMENT_WINDOW = 10240;
constexpr std::uint64_t BLANK_BACK_WINDOW = 43;
// Default PCL page-size codes when the job names no paper.
constexpr std::int32_t PCL_CODE_A4 = 26;
constexpr std::int32_t PCL_CODE_LETTER = 2;
// The watermark's distance from the page edges, millimetres.
constexpr double EDGE_MM = 5.0;
constexpr double BOTTOM_MARGIN_MM = 6.0;

bool append(ReplacementList* list, std::uint64_t offset, std::uint64_t len,
            std::string_view bytes) {
  return replacement_list_append2(list, static_cast<std::int64_t>(offset), len, bytes.data(),
                                  bytes.size()) == 1;
}

int count_of(ByteSpan data, std::string_view text) {
  int n = 0;
  for (auto at = scan_find(data, 0, text); at; at = scan_find(data, *at + 1, text)) ++n;
  return n;
}

std::string_view choose_duplex_bytes(ByteSpan data, const ReplacementList* list) {
  const ByteSpan head = data.first(data.size() < LEXMARK_WINDOW ? data.size() : LEXMARK_WINDOW);
  if (scan_find(head, 0, "@PJL LJOBINFO") && count_of(head, "@PJL SET L") > 2) {
    LOG_DEBUG("plan_replacements_duplex: Inverted long edge/short edge code for Lexmark");
    return DUPLEX_BYTES_LEXMARK;
  }
  if (std::strcmp(list->language_name, "XL2HB") == 0) {
    LOG_DEBUG("plan_replacements_duplex: Special vertical binding flage for Brother XL2HB: 0x81");
    return DUPLEX_BYTES_XL2HB;
  }
  return DUPLEX_BYTES;
}

bool plan_duplex(ByteSpan data, const PxlScan& scan, bool side_reset, ReplacementList* list) {
  const std::string_view duplex = choose_duplex_bytes(data, list);
  for (std::size_t i = 0; i < scan.pages.size(); ++i) {
    const PxlOperator& begin = scan.pages[i].begin;
    bool ok = true;
    if (const PxlAttribute* simplex = begin.find(PXL_ATTR_SIMPLEX_PAGE_MODE)) {
      LOG_DEV("plan_replacements_duplex: Replacing simplex bytes with duplex bytes at [%" PRIu64
              ",%" PRIu64 "]",
              simplex->start, simplex->end);
      ok = append(list, simplex->start, simplex->end - simplex->start, duplex);
    } else if (begin.find(PXL_ATTR_DUPLEX_PAGE_MODE) == nullptr) {
      LOG_DEV(
          "plan_replacements_duplex: No DuplexPageMode found. Inserting duplex bytes before "
          "BeginPage at %" PRIu64,
          begin.offset);
      ok = append(list, begin.offset, 0, duplex);
    }
    if (ok && side_reset && i == 0 && begin.find(PXL_ATTR_DUPLEX_PAGE_SIDE) == nullptr) {
      LOG_DEV(
          "plan_replacements_duplex: No DuplexPageSide found on first page. Inserting page size "
          "bytes before BeginPage at %" PRIu64,
          begin.offset);
      ok = append(list, begin.offset, 0, CURRENT_SIDE_BYTES);
    }
    if (!ok) {
      LOG_ERROR("plan_replacements_pcl6: Could not insert duplex in PCL6");
      return false;
    }
  }
  return true;
}

bool plan_fx_comments(ByteSpan data, ReplacementList* list) {
  const ByteSpan head =
      data.first(data.size() < FX_COMMENT_WINDOW ? data.size() : FX_COMMENT_WINDOW);
  for (auto at = scan_find(head, 0, FX_COLORSPACE_COMMENT); at;
       at = scan_find(head, *at + 1, FX_COLORSPACE_COMMENT)) {
    const std::uint64_t seventh = *at + 3 + 6;
    if (!scan_bytes_at(data, seventh + 1, COMMENT_OPERATOR)) {
      LOG_DEBUG("Found FXPC=0 that was not in PCL6 comment");
      continue;
    }
    if (data[seventh] > '1' && !append(list, seventh, 1, "1")) return false;
  }
  return true;
}

// Rewrites BeginPage ColorSpace attributes; reports nothing as done, since
// a page's own SetColorSpace still decides its colour.
bool plan_grayscale(ByteSpan data, const PxlScan& scan, ReplacementList* list) {
  int rewritten = 0;
  for (const PxlPage& page : scan.pages) {
    const PxlAttribute* cs = page.begin.find(PXL_ATTR_COLOR_SPACE);
    if (cs == nullptr) continue;
    const std::uint64_t len = cs->end - cs->start;
    if (scan_bytes_at(data, cs->start, GRAYSCALE_BYTES) && len == GRAYSCALE_BYTES.size()) continue;
    LOG_DEV("plan_replacements_grayscale: Replacing color bytes with grayscale bytes at [%" PRIu64
            ",%" PRIu64 "]",
            cs->start, cs->end);
    if (!append(list, cs->start, len, GRAYSCALE_BYTES)) {
      LOG_ERROR("plan_replacements_pcl6: Could not force grayscale in PCL6");
      return false;
    }
    ++rewritten;
  }
  if (!plan_fx_comments(data, list)) {
    LOG_ERROR("plan_replacements_pcl6: Could not force grayscale in PCL6");
    return false;
  }
  LOG_INFO(
      "plan_replacements_pcl6: grayscale not carried out: PCL XL pages set their colour space "
      "after BeginPage (%d of %zu BeginPage colour spaces rewritten)",
      rewritten, scan.pages.size());
  return true;
}

// Copies of a PCL XL job are forced in its PJL header (QTY); a page that
// also asks for PageCopies k would then print k times per copy. Those pages
// are set to one copy each.
bool plan_single_page_copies(ByteSpan data, const PxlScan& scan, ReplacementList* list) {
  for (const PxlPage& page : scan.pages) {
    const PxlAttribute* copies = page.end.find(PXL_ATTR_PAGE_COPIES);
    if (copies == nullptr) continue;
    const std::uint64_t len = copies->end - copies->start;
    if (scan_bytes_at(data, copies->start, ONE_PAGE_COPY_BYTES) &&
        len == ONE_PAGE_COPY_BYTES.size()) {
      continue;
    }
    LOG_DEV("plan_replacements_pcl6: PageCopies at [%" PRIu64 ",%" PRIu64 "] set to 1",
            copies->start, copies->end);
    if (!append(list, copies->start, len, ONE_PAGE_COPY_BYTES)) {
      LOG_ERROR("plan_replacements_pcl6: Could not set PageCopies to 1");
      return false;
    }
  }
  return true;
}

std::int32_t first_page_orientation(ByteSpan data, const PxlScan& scan) {
  const PxlAttribute* o = scan.pages.front().begin.find(PXL_ATTR_ORIENTATION);
  if (o == nullptr || data[o->start] != 0xc0) return PAGE_ORIENTATION_UNKNOWN;
  const int value = data[o->value_start];
  if (value == 1 || value == 3) LOG_DEBUG("landscape orientation");
  return value <= 3 ? value : PAGE_ORIENTATION_UNKNOWN;
}

// Where the watermark's baseline starts, in 600-dpi dots from the top left.
watermark_point watermark_position(const watermark_params* request, const JobAttribs* job,
                                   std::int32_t orientation) {
  const std::int32_t code = request->default_page_a4 ? PCL_CODE_A4 : PCL_CODE_LETTER;
  const char* paper = job->paper_size_name[0] != '\0' ? job->paper_size_name : nullptr;
  const double width = get_right_page_mm(code, paper, orientation, job->page_width_mm);
  const double height =
      get_bottom_page_mm(code, paper, orientation, job->page_height_mm) - BOTTOM_MARGIN_MM;
  watermark_point pos{EDGE_MM, -height};
  if (request->position == WATERMARK_POSITION_TOP) pos.y = height;
  if (request->position == WATERMARK_POSITION_CUSTOM) {
    pos = {request->x * 25.4 / 72.0, request->y * 25.4 / 72.0};
  }
  const watermark_point boundary{width, height};
  watermark_point out{};
  resolve_watermark_coords(&pos, &boundary, &out);
  if (request->position == WATERMARK_POSITION_TOP ||
      (request->position == WATERMARK_POSITION_CUSTOM && pos.y < 0)) {
    out.y += request->font_size * 25.4 / 72.0 * 0.95 + 0.5 + 5.0;
  }
  LOG_DEBUG("text position=[%.1f,%.1f] mm", out.x, out.y);
  return {mm_to_600dpi(out.x), mm_to_600dpi(out.y)};
}

bool is_blank_back(ByteSpan data, const PxlOperator& end) {
  const std::uint64_t from = end.offset + 1;
  const std::uint64_t stop = data.size() - from < BLANK_BACK_WINDOW + BLANK_BACK_COMMENT.size()
                                 ? data.size()
                                 : from + BLANK_BACK_WINDOW + BLANK_BACK_COMMENT.size();
  return scan_find(data.first(static_cast<std::size_t>(stop)), from, BLANK_BACK_COMMENT)
      .has_value();
}

bool plan_watermark(const watermark_params* request, const JobAttribs* job, ByteSpan data,
                    const PxlScan& scan, ReplacementList* list) {
  if (!scan.little_endian || scan.mixed_binding) {
    LOG_ERROR(
        "plan_replacements_pcl6: watermark not added: the job's PCL XL is not bound little-endian");
    return false;
  }
  int with_end = 0;
  for (const PxlPage& page : scan.pages) with_end += page.end.op == PXL_OP_END_PAGE ? 1 : 0;
  if (with_end != static_cast<int>(scan.pages.size())) {
    LOG_ERROR(
        "Could not find insertion points for all BeginPage's and EOF: num_beginpage=%zu,"
        "num_exec=%d",
        scan.pages.size(), with_end);
    return false;
  }
  const watermark_point dots = watermark_position(request, job, first_page_orientation(data, scan));
  PxlWatermarkText w;
  w.text = std::string_view(request->text, strnlen(request->text, sizeof request->text));
  w.font_dots = points_to_600dpi(request->font_size);
  w.gray = gray_level_to_number(request->gray_level);
  w.outline_gray = w.gray > 0.99 ? 0.0 : 1.0;
  w.x_dots = static_cast<int>(std::lround(dots.x));
  w.y_dots = static_cast<int>(std::lround(dots.y));
  w.descriptor = scan.header.descriptor;
  w.version = scan.header.version;
  w.revision = scan.header.revision;
  LOG_DEBUG("text_gray_level=%.1f, outline_gray_level=%.1f", w.gray, w.outline_gray);
  const std::string def = make_watermark_def(w);
  const std::string exec = make_watermark_exec();
  for (const PxlOperator& session : scan.sessions) {
    if (!append(list, session.offset + 1, 0, def)) return false;
  }
  for (std::size_t i = 0; i < scan.pages.size(); ++i) {
    if (is_blank_back(data, scan.pages[i].end)) {
      LOG_DEBUG("remove_blank_pages: Empty page: i=%zu", i);
      continue;
    }
    if (!append(list, scan.pages[i].end.attrs_start, 0, exec)) {
      LOG_ERROR("plan_replacements_pcl6: add_pcl6_replacements failed");
      return false;
    }
  }
  return true;
}

}  // namespace

int plan_replacements_pcl6(const watermark_params* request, const JobAttribs* job,
                           const std::uint8_t* data, std::uint64_t length, ReplacementList* list) {
  if (request == nullptr || job == nullptr || data == nullptr || list == nullptr) {
    LOG_ERROR("plan_replacements_pcl6: bad param(s)");
    return 0;
  }
  LOG_DEV("discover_pcl6_features %" PRIu64 " bytes", length);
  const ByteSpan bytes = scan_bytes(data, length);
  PxlScan scan;
  if (!pxl_scan_items(bytes, &scan)) {
    LOG_ERROR("plan_replacements_pcl6: not PCL XL that can be read to its end (offset %" PRIu64 ")",
              scan.stop_offset);
    return 0;
  }
  if (scan.sessions.empty()) {
    LOG_ERROR("No BeginSession. This appears to not be a PCL6 file");
    return 0;
  }
  if (scan.pages.empty()) {
    LOG_ERROR("Could not find any BeginPage's");
    return 0;
  }
  LOG_DEV("plan_replacements_pcl6: num_beginsession=%zu,num_beginpage=%zu", scan.sessions.size(),
          scan.pages.size());
  msf_state state{};
  get_msf_state(list, &state);
  if (request->force_duplex) {
    const bool side_reset = std::strstr(job->printer_type, "SHARP") != nullptr;
    if (!plan_duplex(bytes, scan, side_reset, list)) return 0;
    state.duplex = 1;
  }
  if (request->force_grayscale && !plan_grayscale(bytes, scan, list)) return 0;
  if (request->copies > 0 && state.copies != 0 && !plan_single_page_copies(bytes, scan, list)) {
    return 0;
  }
  if (request->text[0] != '\0') {
    if (!plan_watermark(request, job, bytes, scan, list)) return 0;
    state.watermark = 1;
  }
  set_msf_state(list, &state);
  return 1;
}
