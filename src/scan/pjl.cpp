// The PJL header: a token table of the settings that matter, tested at each
// "@" of a bounded window at the start of the job, and the header step that
// applies what was read to a JobAttribs.
#include "scan/pjl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "scan/pjl_tokens.h"

namespace {

// Marker of Oki drivers inside the header: skipped, and the window is
// widened by all but one of its bytes.
constexpr char OKI_XFER_MARK[] = "OkiXferAdjustDCS";
constexpr std::uint64_t OKI_XFER_MARK_LENGTH = sizeof(OKI_XFER_MARK) - 1;

void copy_text(char (&field)[PJL_TEXT_SIZE], const char* text) {
  util_safe_strncpy(field, text, sizeof field);
}

// Length of the run of NUL bytes at `p`, not past `end`.
std::uint64_t nul_run(const std::uint8_t* buffer, std::uint64_t p, std::uint64_t end) {
  const std::uint64_t start = p;
  while (p < end && buffer[p] == 0) ++p;
  return p - start;
}

// Walks the window and tests the tokens at every "@". NUL padding widens the
// window byte for byte, so it does not count against the 10 KB; a run of it
// is stepped over at once (the window and the position move together).
void scan_header_window(const std::uint8_t* buffer, std::uint64_t length,
                        PjlHeaderTokens& tokens) {
  const std::uint64_t limit = length - PJL_MATCH_SPAN;
  std::uint64_t window = std::min(limit, PJL_HEADER_WINDOW);
  std::uint64_t p = 0;
  while (p < window && p < limit) {
    const std::uint8_t byte = buffer[p];
    if (byte == 0) {
      const std::uint64_t run = nul_run(buffer, p, limit);
      window += run;
      p += run;
      continue;
    }
    if (byte == 'O' && limit - p >= OKI_XFER_MARK_LENGTH &&
        std::memcmp(buffer + p, OKI_XFER_MARK, OKI_XFER_MARK_LENGTH) == 0) {
      p += OKI_XFER_MARK_LENGTH;
      window += OKI_XFER_MARK_LENGTH - 1;
      continue;
    }
    if (byte == '@') tokens.test(buffer + p, PJL_MATCH_SPAN, p);
    ++p;
  }
}

// ---- Taking the matches into the record (in this order; a later item
// overwrites an earlier one that writes the same field) ----

struct Taker {
  const PjlHeaderTokens& tokens;
  PjlHeaderInfo* header;
  int count = 0;

  bool hit(PjlToken t) const { return tokens.hit(t); }
  // The first group's value when the row matched and the value passes.
  template <typename Pass>
  void number(PjlToken t, std::int32_t* field, Pass pass) {
    if (!hit(t) || !pass(tokens.value(t, 0))) return;
    *field = tokens.value(t, 0);
    ++count;
  }
  void text(PjlToken t, char (&field)[PJL_TEXT_SIZE]) {
    const char* captured = tokens.text(t, 0);
    if (!hit(t) || captured == nullptr) return;
    copy_text(field, captured);
    ++count;
  }
  void flag(PjlToken t, std::int32_t* field) {
    if (!hit(t)) return;
    *field = 1;
    ++count;
  }
};

constexpr auto at_least_one = [](std::int32_t v) { return v >= 1; };
constexpr auto above_zero = [](std::int32_t v) { return v > 0; };

void take_counts_and_names(Taker& take) {
  PjlHeaderInfo* h = take.header;
  take.number(PjlToken::QTY, &h->qty, at_least_one);
  take.number(PjlToken::COPIES, &h->copies, above_zero);
  take.number(PjlToken::XCPT_COPIES, &h->copies, above_zero);
  take.text(PjlToken::PAPER, h->paper_name);
  take.text(PjlToken::JOB_NAME, h->job_name);
  take.text(PjlToken::CANON_DOCNAME, h->job_name);
  take.text(PjlToken::DRIVER_NAME, h->driver_name);
  take.text(PjlToken::PRINTER_MODEL, h->printer_model);
}

void take_colour(Taker& take) {
  PjlHeaderInfo* h = take.header;
  take.flag(PjlToken::RENDERMODE_GRAY, &h->grayscale);
  take.flag(PjlToken::DSSC_RENDERMODE_GRAY, &h->grayscale);
  take.flag(PjlToken::RENDERMODE_COLOR, &h->color);
  take.flag(PjlToken::DSSC_RENDERMODE_COLOR, &h->color);
  take.flag(PjlToken::RENDERMODEL_CMYK, &h->color);
  take.flag(PjlToken::COLORMODE_MONO, &h->grayscale);
  take.flag(PjlToken::PLANESINUSE_1, &h->grayscale);
  take.flag(PjlToken::GRAYSCALE_ON, &h->grayscale);
  take.flag(PjlToken::GRAYSCALE_OFF, &h->color);
  take.flag(PjlToken::OKI_MONO_SPEED, &h->grayscale);
  take.flag(PjlToken::KCOLORMODE_MONO, &h->grayscale);
  take.flag(PjlToken::COLORMODE_COLOR, &h->color);
  take.flag(PjlToken::XCPT_MONOCHROME, &h->grayscale);
}

void take_layout(Taker& take) {
  PjlHeaderInfo* h = take.header;
  take.flag(PjlToken::DUPLEX_ON, &h->duplex);
  take.flag(PjlToken::DUPLEX_OFF, &h->duplex_off);
  take.flag(PjlToken::DUPLEX_WORDS, &h->duplex);
  // PRINTONBACKSIDE=ON asks for two sides only where DUPLEX=OFF does not
  // say otherwise: HP's PDF printers get it in every job, one-sided ones
  // included.
  if (h->duplex_off == 0 || take.hit(PjlToken::DUPLEX_ON)) {
    take.flag(PjlToken::PRINT_ON_BACK_SIDE, &h->duplex);
  }
  take.flag(PjlToken::BINDING_SHORT_EDGE, &h->tumble);
  take.flag(PjlToken::PRINTAREA_INKED, &h->inked_print_area);
  take.number(PjlToken::PAPER_LENGTH, &h->paper_length, above_zero);
  take.number(PjlToken::PAPER_WIDTH, &h->paper_width, above_zero);
  take.number(PjlToken::OKI_X_MM, &h->x_dimension_mm, above_zero);
  take.number(PjlToken::OKI_Y_MM, &h->y_dimension_mm, above_zero);
  if (take.hit(PjlToken::OKI_MULTIPAGE) && take.tokens.value(PjlToken::OKI_MULTIPAGE, 0) > 0) {
    h->multipage = take.tokens.value(PjlToken::OKI_MULTIPAGE, 0);
    h->multipage_seen = 1;
    ++take.count;
  }
  if (take.hit(PjlToken::GL_VERSION)) {
    h->gl_version_major = take.tokens.value(PjlToken::GL_VERSION, 0);
    h->gl_version_minor = take.tokens.value(PjlToken::GL_VERSION, 1);
    ++take.count;
  }
}

bool is_empty(const char* text) { return text[0] == '\0'; }

}  // namespace

void pjl_init_header(PjlHeaderInfo* header) {
  if (header == nullptr) return;
  std::memset(header, 0, sizeof *header);
  header->copies = -1;
  header->qty = -1;
  header->paper_length = -1;
  header->paper_width = -1;
  header->y_dimension_mm = -1;
  header->x_dimension_mm = -1;
  header->multipage = -1;
}

int pjl_parse_header(const std::uint8_t* buffer, std::uint64_t length, PjlHeaderInfo* header) {
  LOG_DEV("entering pjl_parse_header");
  if (header == nullptr) {
    LOG_DEBUG("passed invalid header structure");
    return 0;
  }
  pjl_init_header(header);
  if (buffer == nullptr || length < PJL_HEADER_MIN_LENGTH) {
    LOG_DEBUG("File not large enougth to contain PJL header");
    return 0;
  }
  PjlHeaderTokens* tokens = pjl_header_tokens();
  if (tokens == nullptr) {
    LOG_ERROR("unable to init tokens");
    LOG_DEBUG("unable to load tokens");
    return 0;
  }
  scan_header_window(buffer, length, *tokens);
  Taker take{*tokens, header};
  take_counts_and_names(take);
  take_colour(take);
  take_layout(take);
  LOG_DEV("PJL matches: %d", take.count);
  return take.count > 0 ? 1 : 0;
}

void pjl_apply_header(const PjlHeaderInfo& header, JobAttribs* ja, double unit,
                      PjlPrinterTypeRule rule) {
  if (ja == nullptr) return;
  // The larger count wins; a smaller one never lowers the record.
  if (header.qty > ja->copy_count) ja_set_copy_count(ja, header.qty);
  if (header.copies > ja->copy_count) ja_set_copy_count(ja, header.copies);
  if (header.duplex) ja_set_is_duplex(ja, 1);
  if (header.tumble) ja_set_is_tumble(ja, 1);
  if (header.grayscale) ja_set_is_grayscale(ja, 1);
  if (header.paper_width > 0 && header.paper_length > 0) {
    ja_set_page_width_height_mm(ja, std::floor(header.paper_width * unit + 0.5),
                                std::floor(header.paper_length * unit + 0.5));
  }
  if (!is_empty(header.paper_name)) ja_set_paper_size_name(ja, header.paper_name);
  if (!is_empty(header.job_name) && is_empty(ja->document_name)) {
    ja_set_document_name(ja, header.job_name);
  }
  switch (rule) {
    case PjlPrinterTypeRule::DRIVER_NAME_WHEN_EMPTY:
      if (!is_empty(header.driver_name) && is_empty(ja->printer_type)) {
        ja_set_printer_type(ja, header.driver_name);
      }
      break;
    case PjlPrinterTypeRule::PRINTER_MODEL_ALWAYS:
      if (!is_empty(header.printer_model)) ja_set_printer_type(ja, header.printer_model);
      break;
  }
}

namespace {

int set_job_attributes(const std::uint8_t* buffer, std::uint64_t length, JobAttribs* ja,
                       double unit, PjlPrinterTypeRule rule) {
  PjlHeaderInfo header;
  if (pjl_parse_header(buffer, length, &header) != 1) return 0;
  pjl_apply_header(header, ja, unit, rule);
  return 1;
}

}  // namespace

int pjl_set_job_attributes(const std::uint8_t* buffer, std::uint64_t length, JobAttribs* ja,
                           double unit) {
  return set_job_attributes(buffer, length, ja, unit, PjlPrinterTypeRule::DRIVER_NAME_WHEN_EMPTY);
}

int pjl_set_job_attributes_inline(const std::uint8_t* buffer, std::uint64_t length,
                                  JobAttribs* ja, double unit) {
  return set_job_attributes(buffer, length, ja, unit, PjlPrinterTypeRule::PRINTER_MODEL_ALWAYS);
}
