// The PostScript planner (see planner_postscript.h): the inserted block and
// where it goes. The BeginFeature rules are in planner_postscript_rules.cpp.
#include "modify/planner_postscript.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/planner_postscript_internal.h"
#include "modify/planner_postscript_tables.h"
#include "modify/replacement_list.h"
#include "modify/watermark_common.h"
#include "scan/byte_cursor.h"

namespace {

// How far into the job the makers' markers and the start are looked for.
constexpr std::uint64_t MARKER_WINDOW = 32000;
constexpr std::uint64_t START_WINDOW = 102400;
// Of each line, this much is examined for the start.
constexpr std::uint64_t LINE_EXAMINED = 1024;
constexpr std::string_view HP4100_HEADER = "%%TargetDevice: (HP LaserJet 4100 ) (3010.107)";

std::string make_ps_param(const char* name, const std::string& value) {
  return std::string("\t\t/") + name + " " + value + " def\n";
}

std::string fixed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The text as a PostScript string: a backslash before (, ) and \.
std::string ps_string(std::string_view text) {
  std::string out = "(";
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + ")";
}

std::string watermark_params_block(const watermark_params* r, bool showpage_hook, int max_pages,
                                   bool oki_fonts) {
  std::string s = "\t\t%% User-specified parameters\n";
  s += make_ps_param("watermark_text",
                     ps_string(std::string_view(r->text, strnlen(r->text, sizeof r->text))));
  s += make_ps_param("font_size", fixed("%.03f", r->font_size));
  s += make_ps_param("gray_level", fixed("%.03f", gray_level_to_number(r->gray_level)));
  s += make_ps_param("do_outline", "true");
  s += make_ps_param("location", std::to_string(r->position));
  s += make_ps_param("location_x", fixed("%.03f", r->x));
  s += make_ps_param("location_y", fixed("%.03f", r->y));
  s += make_ps_param("do_showpage_hook", showpage_hook ? "true" : "false");
  s += make_ps_param("do_oki_fonts", oki_fonts ? "true" : "false");
  s += make_ps_param("max_watermark_pages", std::to_string(max_pages));
  return s + "\t\t%% End user-specified parameters\n";
}

ByteSpan head_of(ByteSpan data, std::uint64_t window) {
  return data.first(static_cast<std::size_t>(data.size() < window ? data.size() : window));
}

bool line_contains(std::string_view upper, std::string_view text) {
  return upper.find(text) != std::string_view::npos;
}

std::string upper_line(ByteSpan data, std::uint64_t start, std::uint64_t end) {
  std::string line;
  for (std::uint64_t i = start; i < end && i - start < LINE_EXAMINED; ++i) {
    const std::uint8_t b = data[i];
    line.push_back(static_cast<char>(ascii_is_lower(b) ? b - 0x20 : b));
  }
  return line;
}

bool wants_showpage_hook(const JobAttribs* job, ByteSpan head, bool oki_fonts) {
  if (std::strstr(job->printer_type, "ApeosPort") != nullptr) return true;
  if (const auto hp = scan_find(head, 0, HP4100_HEADER)) {
    LOG_DEBUG("Found HP LaserJet 4100 driver PostScript header");
    if (const auto loc = scan_find(head, *hp, "*HPwmLocation")) {
      LOG_DEBUG("Found *HPwmLocation");
      if (scan_find(head, *loc, "/EndPage")) {
        LOG_DEBUG("Found /EndPage");
        return true;
      }
    }
  }
  if (oki_fonts) return true;
  if (const auto at = scan_find(head, 0, "/EndPage")) {
    LOG_DEBUG("Found /EndPage at %" PRIu64, *at);
    return true;
  }
  return false;
}

// The block for the job; empty when nothing is asked.
std::string block_for_job(const watermark_params* request, const JobAttribs* job, ByteSpan data) {
  int max_pages = -1;
  if (job->is_duplex && job->pages >= 0 && job->pages % 2 == 1) {
    max_pages = job->pages;
    LOG_DEBUG("Limiting number of watermark pages to %d", max_pages);
  }
  const ByteSpan head = head_of(data, MARKER_WINDOW);
  const auto oki = scan_find(head, 0, "OK@setpagedevice_sadj");
  if (oki) LOG_DEBUG("Found OKI driver PostScript header at %" PRIu64, *oki);
  const bool hook = wants_showpage_hook(job, head, oki.has_value());
  return make_ps(request, hook, max_pages, oki.has_value());
}

std::int64_t insertion_point(ByteSpan data) {
  const ByteSpan head = head_of(data, START_WINDOW);
  std::int64_t at = find_start_of_ps(head.data(), head.size());
  if (at < 0) {
    LOG_DEBUG("Using alternate method of finding start of PostScript");
    const auto ps = scan_find(head, 0, "%!PS-");
    if (!ps) {
      LOG_DEBUG("Could not find start of PostScript");
      return -1;
    }
    at = static_cast<std::int64_t>(*ps);
  }
  LOG_DEBUG("Found start of PostScript at %" PRId64, at);
  if (scan_find(head, 0, "/EndPage")) {
    LOG_INFO(
        "Print job appears to contain watermarking code. This may prevent watermarking from "
        "working.");
  }
  return at;
}

}  // namespace

std::string make_ps(const watermark_params* request, bool showpage_hook, int max_watermark_pages,
                    bool oki_fonts) {
  const bool watermark = request->text[0] != '\0';
  if (!watermark && !request->force_duplex && !request->force_grayscale && request->copies == 0) {
    LOG_INFO("No PostScript payload insertion");
    return {};
  }
  std::string ps = PS_PREAMBLE_HEADER;
  if (watermark) {
    ps += WATERMARK_PS_PREAMBLE;
    ps += watermark_params_block(request, showpage_hook, max_watermark_pages, oki_fonts);
    ps += WATERMARK_PS_POSTAMBLE;
  }
  if (request->force_duplex) ps += DUPLEX_PS_PREAMBLE;
  if (request->force_grayscale) ps += GRAYSCALE_PS_PREAMBLE;
  if (request->copies != 0) {
    ps += COPIES_PS_PREAMBLE;
    ps += "/torvelle_copies " + std::to_string(request->copies) + " def";
    ps += COPIES_PS_POSTAMBLE;
  }
  return ps;
}

std::int64_t find_start_of_ps(const std::uint8_t* data, std::uint64_t length) {
  const ByteSpan bytes = scan_bytes(data, length);
  bool seen_pjl = false;
  std::uint64_t p = 0;
  while (p < length) {
    std::uint64_t eol = p;
    while (eol < length && data[eol] != '\r' && data[eol] != '\n') ++eol;
    if (eol >= length) break;  // the line does not end within the data
    std::uint64_t next = eol;
    while (next < length && (data[next] == '\r' || data[next] == '\n')) ++next;
    const std::string line = upper_line(bytes, p, eol);
    seen_pjl = seen_pjl || line_contains(line, "@PJL");
    if (line_contains(line, "%!PS") ||
        (seen_pjl && line_contains(line, "ENTER") && line_contains(line, "LANGUAGE") &&
         line_contains(line, "POSTSCRIPT"))) {
      const bool ctrl_a_m = scan_bytes_at(bytes, next, "\x01M");
      return static_cast<std::int64_t>(next + (ctrl_a_m ? 2 : 0));
    }
    p = next;
  }
  LOG_DEBUG("Assertion failed: offset < buffer_len");
  return -1;
}

const char* get_grayscale_ps_premable() { return GRAYSCALE_PS_PREAMBLE; }

int plan_replacements_postscript(const watermark_params* request, const JobAttribs* job,
                                 const std::uint8_t* data, std::uint64_t length,
                                 ReplacementList* list) {
  if (request == nullptr || job == nullptr || data == nullptr || list == nullptr) {
    LOG_ERROR("plan_replacements_postscript: bad param(s)");
    return 0;
  }
  msf_state state{};
  get_msf_state(list, &state);
  watermark_params r = *request;
  if (state.copies) r.copies = 0;  // the inline copies are the job's copies already
  const ByteSpan bytes = scan_bytes(data, length);
  const bool c2270 = ps_is_apeosport_iv_c2270(job);
  if (!c2270) {
    const std::string block = block_for_job(&r, job, bytes);
    if (!block.empty()) {
      const std::int64_t at = insertion_point(bytes);
      if (at < 0 || replacement_list_append2(list, at, 0, block.data(), block.size()) != 1) {
        LOG_ERROR("Could not find PostScript payload insertion point");
        return 0;
      }
      if (r.text[0] != '\0') state.watermark = 1;
      if (r.force_duplex) state.duplex = 1;
      if (r.force_grayscale) state.grayscale = 1;
      if (r.copies > 0) state.copies = 1;
    }
  }
  PsRulesDone done;
  if (!ps_plan_beginfeature(&r, job, bytes, c2270, list, &done)) return 0;
  if (c2270) {
    if (r.force_duplex && done.duplex) state.duplex = 1;
    if (r.force_grayscale && done.grayscale) state.grayscale = 1;
    if (r.copies > 0 && done.copies) state.copies = 1;
  }
  set_msf_state(list, &state);
  return 1;
}
