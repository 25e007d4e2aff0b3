// RISO: anchored patterns tried at each "?<" in a 30-byte window, and the
// page-end commands.
#include "formats/riso.h"

#include <cmath>
#include <string>
#include <string_view>

#include "formats/format_colour.h"
#include "formats/format_walk.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "scan/scan_regex.h"

namespace {

constexpr std::uint64_t COMMAND_ROOM = 30;
constexpr std::uint64_t NAME_SPAN = 100;
constexpr int FUNCTION_PAPER_TYPE = 1;
constexpr int FUNCTION_DUPLEX = 3;
constexpr int FUNCTION_OUTPUT_MODE = 6;

constexpr WalkCodeName PAPERS[] = {
    {0, "A3"},       {1, "A4"},         {2, "A5"},      {4, "B4"},     {5, "B5"},
    {6, "B6"},       {7, "Foolscap"},   {8, "A4"},      {9, "Legal"},  {10, "Letter"},
    {11, "Statement"}, {12, "A3WIDE"},  {13, "A6"},     {14, "B4"},    {14, "A4"},
};

struct Patterns {
  ScanRegex copies{"\\?<(\\d+)>c", PCRE_ANCHORED};
  ScanRegex size_mm{"\\?<\\d+;\\d+;\\d+;\\d+;(\\d+);(\\d+);\\d+>S", PCRE_ANCHORED};
  ScanRegex size_tenth{"\\?<(\\d+);(\\d+)>m", PCRE_ANCHORED};
  ScanRegex aggregate{"\\?<\\s*(\\d+)\\s*;\\s*(\\d+)\\s*;\\s*(\\d+)\\s*;\\s*(\\d+)\\s*>j",
                      PCRE_ANCHORED};
  ScanRegex settings{"\\?<\\s*(\\d+)\\s*;\\s*(\\d+)\\s*;\\s*(\\d+)\\s*>O", PCRE_ANCHORED};
  ScanRegex name{"\\?<\\s*(\\d+)\\s*;\\s*(\\d+)\\s*>R", PCRE_ANCHORED};
  ScanRegex duplex{"\\?<6;(\\d)>W", PCRE_ANCHORED};
};

struct RisoWalk {
  ByteSpan d;
  JobAttribs* ja = nullptr;
  int page_ends = 0;
  int mono_marks = 0;
  int color_marks = 0;
  bool save_only = false;
};

unsigned long long at(std::uint64_t p) { return static_cast<unsigned long long>(p); }

int group_int(const ScanMatch& m, int n) {
  return decimal_clamp<int>(decimal_read(m.group(n)).value);
}

void setting(RisoWalk* w, const ScanMatch& m, std::uint64_t p) {
  const int function = group_int(m, 1);
  const int printer_value = group_int(m, 3);
  const std::string text(m.group(0));
  LOG_DEBUG("riso_process_job: re_settings. match='%s',offset=%llu,function_code=%d,ui_val=%d,"
            "printer_val=%d", text.c_str(), at(p), function, group_int(m, 2), printer_value);
  if (function == FUNCTION_DUPLEX) {
    set_duplex_tumble("riso_process_job: re_settings:FUNCTION_DUPLEX", printer_value, w->ja);
  } else if (function == FUNCTION_OUTPUT_MODE) {
    if (printer_value != 0 && printer_value != 2) w->save_only = true;
    LOG_DEBUG("riso_process_job: FUNCTION_OUTPUT_MODE: no_print=%d", w->save_only);
  } else if (function == FUNCTION_PAPER_TYPE) {
    const char* name = walk_code_name(PAPERS, printer_value);
    if (name == nullptr) {
      LOG_DEBUG("Unable to find RISO paper name for: %d", printer_value);
      name = "";
    }
    LOG_DEBUG("FUNCTION_PAPER_TYPE: paper_type=%d,paper_size_name=%s", printer_value, name);
    ja_set_paper_size_name(w->ja, name);
  }
}

// ?<1;n>R: the document name is the n bytes behind the command, when a "?"
// follows them within the command's 100 bytes.
void document_name(RisoWalk* w, const ScanMatch& m, std::uint64_t p) {
  if (group_int(m, 1) != 1) return;
  const std::uint64_t n = static_cast<std::uint64_t>(std::max(group_int(m, 2), 0));
  const std::uint64_t from = p + m.end;
  if (m.end + n + 1 > NAME_SPAN || from + n >= w->d.size() || w->d[from + n] != '?') return;
  const std::string name(scan_text(w->d.subspan(from, n)));
  ja_set_document_name(w->ja, name.c_str());
}

// The commands that start at "?<" (the window holds at least 31 bytes).
void command(RisoWalk* w, const Patterns& re, std::uint64_t p) {
  const std::string_view window = scan_text(w->d.subspan(p, COMMAND_ROOM));
  if (const ScanMatch m = re.copies.match(window); m.matched) {
    LOG_DEBUG("found copy count at: %llu", at(p));
    LOG_DEBUG("copy count is %d", group_int(m, 1));
    ja_set_copy_count(w->ja, group_int(m, 1));
  } else if (const ScanMatch s = re.size_mm.match(window); s.matched) {
    LOG_DEBUG("paper size [%dx%d]", group_int(s, 1), group_int(s, 2));
    ja_set_page_width_height_mm(w->ja, group_int(s, 1), group_int(s, 2));
  } else if (const ScanMatch t = re.size_tenth.match(window); t.matched) {
    const int width = static_cast<int>(std::floor(group_int(t, 2) / 10.0 + 0.5));
    const int height = static_cast<int>(std::floor(group_int(t, 1) / 10.0 + 0.5));
    LOG_DEBUG("paper size [%dx%d]", width, height);
    ja_set_page_width_height_mm(w->ja, width, height);
  } else if (const ScanMatch a = re.aggregate.match(window); a.matched) {
    const std::string text(a.group(0));
    LOG_DEBUG("riso_process_job: aggregate. match='%s',paper_size_code=%d,color_code=%d,"
              "duplex_code=%d,set_count=%d", text.c_str(), group_int(a, 1), group_int(a, 2),
              group_int(a, 3), group_int(a, 4));
  } else if (const ScanMatch o = re.settings.match(window); o.matched) {
    setting(w, o, p);
  } else if (const ScanMatch r = re.name.match(window); r.matched) {
    document_name(w, r, p);
  } else if (const ScanMatch x = re.duplex.match(window); x.matched) {
    const std::string text(x.group(0));
    LOG_DEBUG("riso_process_job: re_duplex: offset=%llu,match='%s'", at(p), text.c_str());
    set_duplex_tumble("riso_process_job: re_duplex", group_int(x, 1), w->ja);
  } else if (window.substr(1).starts_with("<16;1>W")) {
    LOG_DEBUG("riso_process_job: found grayscale at: %llu", at(p));
    ja_set_is_grayscale(w->ja, 1);
  } else if (window.substr(1).starts_with("<1>r")) {
    LOG_DEBUG("riso_process_job: found grayscale r at: %llu", at(p));
    ++w->mono_marks;
  } else if (window.substr(1).starts_with("<0>r")) {
    LOG_DEBUG("riso_process_job: found color r at: %llu", at(p));
    ++w->color_marks;
  }
}

void page_end(RisoWalk* w, std::uint64_t p) {
  if (walk_has_room(w->d.size(), p, 3) && scan_bytes_at(w->d, p, "?P?")) {
    ++w->page_ends;
    LOG_DEBUG("found end page marker at: %llu", at(p));
  } else if (walk_has_room(w->d.size(), p, 6) && scan_bytes_at(w->d, p, "?<0>P?")) {
    ++w->page_ends;
    LOG_DEBUG("found end page marker 2 at: %llu", at(p));
  }
}

void report(const RisoWalk& w, int color_detection, JobAttribs* ja) {
  ja_set_pages(ja, w.page_ends);
  const int padded = ja->is_duplex ? w.page_ends + (w.page_ends % 2) : w.page_ends;
  LOG_DEBUG("riso_process_job: riso ?<>r counts: mono_pages=%d,color_pages=%d,pages=%d,"
            "duplex_padded_pages=%d", w.mono_marks, w.color_marks, w.page_ends, padded);
  if (w.mono_marks + w.color_marks == padded) {
    if (color_detection) ja_set_color_pages(ja, w.color_marks);
    ja_set_is_grayscale(ja, w.color_marks == 0);
  }
  if (w.save_only) {
    LOG_DEBUG("riso_process_job: Save only, no print");
    ja_set_pages(ja, 0);
    ja_set_color_pages(ja, 0);
  }
}

}  // namespace

void set_duplex_tumble(const char* prefix, int duplex_type, JobAttribs* ja) {
  ja_set_is_duplex(ja, duplex_type != 0);
  ja_set_is_tumble(ja, duplex_type == 2);
  LOG_DEBUG("%s: duplex_type=%d,is_duplex=%d,is_tumble=%d", prefix, duplex_type, ja->is_duplex,
            ja->is_tumble);
}

int riso_process_job(const std::uint8_t* data, std::uint64_t length, int color_detection,
                     JobAttribs* ja) {
  LOG_DEV("entering riso_process_job");
  RisoWalk w;
  w.d = scan_bytes(data, data != nullptr ? length : 0);
  w.ja = ja;
  const Patterns re;
  WalkTimer timer("Riso GDI");
  (void)format_walk(w.d, &timer, WalkStarts{'?'}, [&](std::uint64_t p) -> std::uint64_t {
    if (walk_has_room(w.d.size(), p, COMMAND_ROOM) && w.d[p + 1] == '<') command(&w, re, p);
    page_end(&w, p);
    return p + 1;
  });
  report(w, color_detection, ja);
  return 0;
}

namespace {
// Where the page marks do not account for every page, a job in gray mode is
// still judged gray.
int riso_adapter(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  const int result = riso_process_job(data, length, color, ja);
  format_judge_gray_mode(ja);
  return result;
}
}  // namespace

const AnalyzerEntry RISO_ANALYZER{"riso_process_job", riso_adapter};
