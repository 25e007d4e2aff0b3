// The colour-page detector's record, its page accounting, the dispatch of
// the tests at a position and the colour mark itself.
#include "analysis/ps_color.h"

#include <array>
#include <charconv>
#include <cmath>
#include <new>

#include "analysis/ps_color_internal.h"
#include "analysis/ps_pairs.h"
#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/search.h"
#include "scan/byte_cursor.h"

namespace {

constexpr std::uint64_t NUMBER_RUN_MAX = 50;
constexpr std::uint64_t BOGUS_SHOW_WINDOW = 500;
constexpr std::uint64_t CANON_TJ_WINDOW = 200;
constexpr std::uint64_t INVISIBLE_WALK = 500;
// The three patterns of the invisible-text test look this far ahead.
constexpr std::uint64_t SHOW_WINDOW = 100;
constexpr std::string_view BOGUS_SHOW = std::string_view("(\x05)sh", 5);

// The groups of tests, in the order they run at a position.
enum ColourGroup : std::uint16_t {
  GROUP_EARLY_IMAGES = 1 << 0,
  GROUP_OPERATORS = 1 << 1,
  GROUP_PALETTES = 1 << 2,
  GROUP_ASSUMED = 1 << 3,
  GROUP_PATTERN = 1 << 4,
  GROUP_STREAM = 1 << 5,
  GROUP_PDF_IMAGES = 1 << 6,
  GROUP_NAMED = 1 << 7,
  GROUP_CSA = 1 << 8,
};

struct Trigger {
  std::string_view literal;  // the bytes a test of the groups begins with
  bool caseless;
  std::uint16_t groups;
};

// Every literal that begins some test (one byte: any byte may follow).
constexpr Trigger TRIGGER_LITERALS[] = {
    {"/imageprocarray", false, GROUP_EARLY_IMAGES},
    {" Jimg", false, GROUP_EARLY_IMAGES},
    {"doNimage", true, GROUP_EARLY_IMAGES | GROUP_ASSUMED},
    {"%%Creator", false, GROUP_OPERATORS},
    {"d/r/setrgbcolor", false, GROUP_OPERATORS},
    {"sc", true, GROUP_OPERATORS},
    {"setcolor", true, GROUP_OPERATORS},
    {"setcmykcolor", true, GROUP_OPERATORS},
    {"setrgbcolor", true, GROUP_OPERATORS},
    {"setrbgcolor", true, GROUP_OPERATORS},
    {"setcspmycsp", true, GROUP_PALETTES},
    {"setABCcs", true, GROUP_PALETTES},
    {"setAcs", true, GROUP_PALETTES},
    {"colr", false, GROUP_OPERATORS},
    {"colorimage", true, GROUP_OPERATORS},
    {"cmyk", false, GROUP_OPERATORS},
    {"create_r", false, GROUP_OPERATORS},
    {"\x8b", false, GROUP_OPERATORS},
    {"[/Device", true, GROUP_OPERATORS},
    {"rg", true, GROUP_OPERATORS},
    {"doclutimage", true, GROUP_PALETTES},
    {":", false, GROUP_PALETTES},
    {"img", true, GROUP_ASSUMED},
    {"beginjpeg", false, GROUP_ASSUMED},
    {"/j00", false, GROUP_ASSUMED},
    {"/Pattern", false, GROUP_PATTERN},
    {"stream", false, GROUP_STREAM},
    {"pdfIm", false, GROUP_PDF_IMAGES},
    {"image", false, GROUP_PDF_IMAGES},
    {"<<", false, GROUP_PDF_IMAGES},
    {"cs", true, GROUP_PDF_IMAGES},
    {">>", false, GROUP_PDF_IMAGES},
    {"gsave % Image Header", true, GROUP_PDF_IMAGES},
    {"currentdict", false, GROUP_PDF_IMAGES},
    {"jDP", false, GROUP_PDF_IMAGES},
    {"/DataSource", true, GROUP_PDF_IMAGES},
    {"1 array", true, GROUP_PDF_IMAGES},
    {"ImData_", true, GROUP_PDF_IMAGES},
    {"/Name", false, GROUP_NAMED},
    {"CSA", false, GROUP_CSA},
};

// The groups whose tests may begin with a pair of bytes: a row of 256
// entries (by second byte) for each first byte that begins some literal,
// small enough to stay in the cache.
class TriggerTable {
 public:
  TriggerTable() {
    row_of_.fill(-1);
    for (const Trigger& t : TRIGGER_LITERALS) {
      const auto a = static_cast<std::uint8_t>(t.literal[0]);
      if (t.literal.size() == 1) {
        for (int b = 0; b < 256; ++b) add(a, static_cast<std::uint8_t>(b), t.groups);
        continue;
      }
      const auto b = static_cast<std::uint8_t>(t.literal[1]);
      add(a, b, t.groups);
      if (!t.caseless) continue;
      add(flip(a), b, t.groups);
      add(a, flip(b), t.groups);
      add(flip(a), flip(b), t.groups);
    }
  }
  [[nodiscard]] std::uint16_t groups(std::uint8_t a, std::uint8_t b) const {
    const int row = row_of_[a];
    return row < 0 ? 0 : rows_[static_cast<std::size_t>(row)][b];
  }

 private:
  static std::uint8_t flip(std::uint8_t c) { return ascii_is_upper(c) ? ascii_to_lower(c) : ascii_to_upper(c); }
  void add(std::uint8_t a, std::uint8_t b, std::uint16_t g) {
    if (row_of_[a] < 0) {
      row_of_[a] = static_cast<std::int16_t>(rows_.size());
      rows_.emplace_back();
      rows_.back().fill(0);
    }
    rows_[static_cast<std::size_t>(row_of_[a])][b] |= g;
  }
  std::array<std::int16_t, 256> row_of_{};
  std::vector<std::array<std::uint16_t, 256>> rows_;
};

const TriggerTable& trigger_table() {
  static const TriggerTable table;
  return table;
}

bool is_number_char(std::uint8_t c) {
  return ascii_is_digit(c) || c == '.' || c == '-' || c == '[' || c == ']' || ascii_is_space(c);
}

void close_page(PSColor* color, const PsAt& at, int page_index) {
  if (color->has_color_on_page != 0) {
    ++color->color_pagecount;
    LOG_DEBUG("Page has color: offset=%llu,color_pagecount=%d",
              static_cast<unsigned long long>(at.offset()), color->color_pagecount);
  } else if (color->unjudged_on_page != 0) {
    ++color->unjudged_pagecount;
    LOG_DEBUG("Page colour not judged: offset=%llu,unjudged_pagecount=%d",
              static_cast<unsigned long long>(at.offset()), color->unjudged_pagecount);
  } else {
    LOG_DEBUG("Page has no color: offset=%llu,color_pagecount=%d",
              static_cast<unsigned long long>(at.offset()), color->color_pagecount);
  }
  color->has_color_on_page = 0;
  color->unjudged_on_page = 0;
  color->page_index = page_index;
}

// The GSPS creator comment and the "d/r/setrgbcolor" short name switch on
// two driver dialects for the rest of the job.
void note_dialects(const PsAt& at) {
  PSColor* color = at.color;
  const std::uint8_t c = *at.pos;
  if (c == '%' && at.looking_at("%%Creator") && at.match(PsRe::GSPS_CREATOR, 20)) {
    color->is_gsps = 1;
  } else if (c == 'd' && at.remaining() > 15 && at.looking_at("d/r/setrgbcolor")) {
    color->is_dr_setrgbcolor = 1;
  }
}

// Whether a mark at `p` only paints text that never shows.
bool mark_is_ignored(const PSColor* color, const PsAt& at, const std::uint8_t* p) {
  const std::uint64_t remaining = static_cast<std::uint64_t>(at.end - p);
  if (remaining > BOGUS_SHOW_WINDOW) {
    const auto window = scan_bytes(p, BOGUS_SHOW_WINDOW);
    if (const auto trailer = scan_find(window, 0, "%%PageTrailer")) {
      if (const auto bogus = scan_find(scan_bytes(p, *trailer), 0, BOGUS_SHOW)) {
        LOG_DEBUG("Ignoring color at offset=%llu due to bogus show at %llu, eop at %llu",
                  static_cast<unsigned long long>(p - at.start),
                  static_cast<unsigned long long>(p - at.start + *bogus),
                  static_cast<unsigned long long>(p - at.start + *trailer));
        return true;
      }
    }
  }
  if (color->is_canon_filtered != 0 && remaining > CANON_TJ_WINDOW) {
    if (const auto tj = scan_find(scan_bytes(p, CANON_TJ_WINDOW), 0, "Tj")) {
      PsMatch m;
      if (ps_match(PsRe::EMPTY_TJ, p, *tj + 2, &m)) {
        LOG_DEBUG("Ignoring color at %llu due to empty string in Tj at %llu",
                  static_cast<unsigned long long>(p - at.start),
                  static_cast<unsigned long long>(m.at(0) - at.start));
        return true;
      }
    }
  }
  return false;
}

constexpr std::uint64_t PROCEDURE_BACK = 200;
constexpr std::size_t PROCEDURE_NAME_MAX = 40;
constexpr std::size_t PROCEDURES_MAX = 256;

bool name_byte(std::uint8_t c) {
  return ascii_is_alnum(c) || c == '_' || c == '-' || c == '.' || c == '@';
}

// A colour operator at `pos` of the prolog: the name of the procedure
// "/name { ... }" whose body holds it, remembered.
void remember_colour_procedure(PSColor* color, const PsAt& at, const std::uint8_t* pos) {
  const std::uint8_t* lo = pos - std::min<std::uint64_t>(PROCEDURE_BACK, static_cast<std::uint64_t>(pos - at.start));
  const std::uint8_t* open = pos;
  while (open > lo && *open != '{' && *open != '}') --open;
  if (*open != '{') return;
  const std::uint8_t* q = open;
  while (q > lo && ascii_is_space(q[-1])) --q;
  const std::uint8_t* name_end = q;
  while (q > lo && name_byte(q[-1])) --q;
  if (q == name_end || q == lo || q[-1] != '/') return;
  const std::string name(reinterpret_cast<const char*>(q), static_cast<std::size_t>(name_end - q));
  if (name.size() > PROCEDURE_NAME_MAX || color->colour_procedures.size() >= PROCEDURES_MAX) return;
  for (const std::string& known : color->colour_procedures) {
    if (known == name) return;
  }
  LOG_DEBUG("Procedure '%s' sets a colour", name.c_str());
  color->colour_procedures.push_back(name);
}

// A call of a remembered colour procedure at the position (a whole word,
// not its name literal).
bool calls_colour_procedure(const PsAt& at) {
  if (at.color->colour_procedures.empty() || at.color->in_prolog != 0) return false;
  if (at.offset() > 0 && (name_byte(at.pos[-1]) || at.pos[-1] == '/')) return false;
  for (const std::string& name : at.color->colour_procedures) {
    if (!at.looking_at(name)) continue;
    if (name.size() < at.remaining() && name_byte(at.pos[name.size()])) continue;
    LOG_DEBUG("Found call of colour procedure '%s' at offset=%llu, has_color_on_page", name.c_str(),
              static_cast<unsigned long long>(at.offset()));
    return true;
  }
  return false;
}

}  // namespace

std::size_t PSColorProcedureCount(const PSColor* color) {
  return color != nullptr ? color->colour_procedures.size() : 0;
}

PSColor* PSColorNew(int is_canon_filtered) {
  auto* color = new (std::nothrow) PSColor{};
  if (color == nullptr) {
    LOG_ERROR("calloc failed");
    return nullptr;
  }
  color->is_canon_filtered = is_canon_filtered;
  color->buffer = PsColorBufferState{0, -1, 0, -1};
  // Compile the shared patterns now rather than at the first colour test.
  (void)ps_re(PsRe::GSPS_CREATOR);
  return color;
}

void PSColorFree(PSColor* color) { delete color; }

int PSColorGetColorPageCount(const PSColor* color) {
  return color != nullptr ? color->color_pagecount : 0;
}

int PSColorGetUnjudgedPageCount(const PSColor* color, const char** reason) {
  if (reason != nullptr) *reason = color != nullptr ? color->unjudged_reason : nullptr;
  return color != nullptr ? color->unjudged_pagecount : 0;
}

void SetPageUnjudgedFlag(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                         const char* reason) {
  if (color == nullptr || pos == nullptr || pos < start) return;
  // In the prolog images are defined, not drawn; inside an embedded PDF
  // object the page that uses it draws them, with its own tests.
  if (color->in_prolog != 0 || (color->buffer.nobj >= 0 && color->buffer.resource_tracked != 0)) return;
  LOG_DEBUG("Image at offset=%llu not judged: %s", static_cast<unsigned long long>(pos - start),
            reason != nullptr ? reason : "");
  if (color->unjudged_reason == nullptr) color->unjudged_reason = reason;
  color->unjudged_on_page = 1;
}

void PSColorPushBuffer(PSColor* color) {
  if (color == nullptr) return;
  color->saved_buffers.push_back(color->buffer);
  color->buffer = PsColorBufferState{0, -1, 0, -1};
}

void PSColorPopBuffer(PSColor* color) {
  if (color == nullptr || color->saved_buffers.empty()) return;
  color->buffer = color->saved_buffers.back();
  color->saved_buffers.pop_back();
}

void PSColorParseAtPos(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                       const std::uint8_t* end, int page_index) {
  if (color == nullptr || pos == nullptr || pos < start || pos > end) return;
  const PsAt at{color, start, end, pos};
  if (page_index != color->page_index) close_page(color, at, page_index);
  if (pos == end || !at.active()) return;
  std::uint16_t groups = trigger_table().groups(pos[0], pos + 1 < end ? pos[1] : 0);
  // Two drivers' colour operands begin with a digit.
  if (ascii_is_digit(*pos) && (color->is_dr_setrgbcolor != 0 || color->is_gsps != 0)) {
    groups |= GROUP_EARLY_IMAGES | GROUP_OPERATORS;
  }
  if (*pos == '[' && color->is_gsps != 0) groups |= GROUP_EARLY_IMAGES;
  if (calls_colour_procedure(at)) {
    at.mark();
    return;
  }
  if (groups == 0) return;
  if ((groups & GROUP_EARLY_IMAGES) != 0 && ps_image_test_early(at)) return;
  if ((groups & GROUP_OPERATORS) != 0) {
    note_dialects(at);
    if (at.active() && ps_color_test_operators(at)) return;
  }
  struct Step {
    std::uint16_t group;
    bool (*test)(const PsAt&);
  };
  static constexpr Step LATER[] = {
      {GROUP_PALETTES, ps_image_test_palettes}, {GROUP_ASSUMED, ps_image_test_assumed},
      {GROUP_PATTERN, ps_color_test_pattern},   {GROUP_STREAM, ps_color_test_pdf_stream},
      {GROUP_PDF_IMAGES, ps_image_test_pdf},    {GROUP_NAMED, ps_color_test_named_color},
      {GROUP_CSA, ps_color_test_csa}};
  for (const Step& step : LATER) {
    if ((groups & step.group) == 0) continue;
    if (!at.active() || step.test(at)) return;
  }
}

void PSColorTriggerLiterals(PsLiteralFilter* filter) {
  if (filter == nullptr) return;
  for (const Trigger& t : TRIGGER_LITERALS) filter->add(t.literal, t.caseless);
}

void SetPageColoredFlag(PSColor* color, const std::uint8_t* pos, const std::uint8_t* start,
                        const std::uint8_t* end) {
  if (color == nullptr || pos == nullptr || pos < start || pos > end) return;
  const PsAt at{color, start, end, pos};
  if (mark_is_ignored(color, at, pos)) return;
  if (color->buffer.nobj >= 0 && color->buffer.resource_tracked != 0) {
    // Inside an embedded PDF object the mark colours the object; a page
    // is coloured only where it uses the object.
    for (auto it = color->objects.rbegin(); it != color->objects.rend(); ++it) {
      if (it->number == color->buffer.nobj) {
        it->coloured = 1;
        return;
      }
    }
    LOG_ERROR("pdf_obj_put: no match for idx=%d", color->buffer.nobj);
    color->index_valid = false;
    return;
  }
  if (color->in_prolog != 0) {
    LOG_DEBUG("Ignoring color at offset=%llu in the prolog", static_cast<unsigned long long>(pos - start));
    remember_colour_procedure(color, at, pos);
    return;
  }
  color->has_color_on_page = 1;
}

void PSColorNewDocument(PSColor* color) {
  if (color == nullptr) return;
  color->objects.clear();
  color->sorted.clear();
  color->index_valid = false;
  color->csa.clear();
  color->is_csa_gray = 0;
  color->images.clear();
  color->colour_procedures.clear();
}

void PSColorSetProlog(PSColor* color, int in_prolog) {
  if (color != nullptr) color->in_prolog = in_prolog;
}

// ---- Shared helpers of the tests ----

bool PsAt::looking_at(std::string_view text) const {
  return scan_bytes_at(scan_bytes(pos, remaining()), 0, text);
}

bool PsAt::looking_at_caseless(std::string_view text) const {
  return scan_bytes_at_caseless(scan_bytes(pos, remaining()), 0, text);
}

void PsAt::skip_to(const std::uint8_t* p) const {
  if (p < start || p > end) return;
  const auto offset = static_cast<std::uint64_t>(p - start);
  if (offset > color->buffer.skip) color->buffer.skip = offset;
}

std::uint64_t number_run_before(const PsAt& at) {
  std::uint64_t n = 0;
  const std::uint64_t limit = std::min(NUMBER_RUN_MAX, at.offset());
  while (n < limit && is_number_char(at.pos[-1 - static_cast<std::int64_t>(n)])) ++n;
  return n;
}

bool sliding_match(const PsAt& at, PsRe id, std::uint64_t n, std::uint64_t reach, PsMatch* m) {
  const std::uint8_t* stop = at.pos + at.room(reach);
  for (const std::uint8_t* s = at.pos - std::min(n, at.offset()); s <= at.pos; ++s) {
    if (ps_match(id, s, static_cast<std::uint64_t>(stop - s), m)) return true;
  }
  return false;
}

bool groups_differ(const PsMatch& m) {
  // As numbers: "0.5" and "0.50" are the same gray.
  const double a = ps_number(m.text(1));
  const double b = ps_number(m.text(2));
  const double c = ps_number(m.text(3));
  return a != b || b != c;
}

double ps_number(std::string_view text) {
  double value = 0;
  const char* first = text.data();
  if (!text.empty() && text[0] == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, text.data() + text.size(), value);
  (void)ptr;
  return ec == std::errc{} ? value : 0.0;
}

bool cmyk_is_colour(const PsAt& at, double c, double m, double y, double k) {
  const std::uint8_t* before = at.back(400);
  if (const auto host = scan_find(scan_bytes(before, static_cast<std::uint64_t>(at.pos - before)),
                                  0, "AGMCORE_host_sep")) {
    const std::uint8_t* after_host = before + *host;
    if (scan_find_byte(scan_bytes(after_host, static_cast<std::uint64_t>(at.pos - after_host)), 0,
                       '{')) {
      LOG_DEV("In AGMCORE setup ");
      return false;
    }
  }
  if (scan_find(scan_bytes(at.pos, at.room(100)), 0, BOGUS_SHOW)) {
    LOG_DEBUG("Brother non-printing color characters");
    return false;
  }
  if (k >= 1) {
    LOG_DEV("CMYK: black is saturated (no color)");
    return false;
  }
  if (c >= 1 && m >= 1 && y >= 1) {
    LOG_DEV("CMYK: all colors are saturated (no color). offset=%llu",
            static_cast<unsigned long long>(at.offset()));
    return false;
  }
  constexpr double NEAR = 0.0001;
  if (std::abs(c - m) <= NEAR && std::abs(m - y) <= NEAR && std::abs(c - y) <= NEAR) {
    LOG_DEV("CMYK: nearly gray. offset=%llu", static_cast<unsigned long long>(at.offset()));
    return false;
  }
  return true;
}

bool is_invisible_text_color(const PsAt& at, const std::uint8_t* p) {
  bool empty_show = false;
  for (std::uint64_t i = 0; i < INVISIBLE_WALK && p + i < at.end; ++i) {
    const std::uint8_t* q = p + i;
    const std::uint64_t n = std::min<std::uint64_t>(SHOW_WINDOW, static_cast<std::uint64_t>(at.end - q));
    if (*q == '(' || *q == '<') {
      if (ps_match(PsRe::VISIBLE_SHOW, q, n, nullptr) || ps_match(PsRe::VISIBLE_XSHOW, q, n, nullptr)) {
        return false;
      }
      if (ps_match(PsRe::EMPTY_SHOW, q, n, nullptr)) empty_show = true;
    } else if (scan_bytes_at(scan_bytes(q, n), 0, "scol")) {
      return empty_show;
    }
  }
  return false;
}
