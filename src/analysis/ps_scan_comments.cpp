// The comment checks of the PostScript scan: DSC page comments and the page
// comments of particular applications, document boundaries, embedded PDF
// resources and a few comments that carry settings.
#include <algorithm>

#include "analysis/ps_color.h"
#include "analysis/ps_scan.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/search.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t SHORT_LAST_PAGE_SPAN = 150;
constexpr std::size_t PAGE_LABEL_SIZE = 19;
constexpr std::int32_t BROKEN_SEQUENCE = 999999;

int group_int(const PsMatch& m, int g) { return decimal_clamp<int>(decimal_read(m.text(g)).value); }

bool target_device(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() < 151 || !h.is("%%Ta") || !h.match(PsRe::TARGET_DEVICE, 150, &m)) return false;
  const std::string name(m.text(1));
  LOG_DEV("TargetDevice: '%s'", name.c_str());
  ja_set_printer_type(s->ja, name.c_str());
  s->target_device_found = true;
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

void creator(PsScan* s, const PsHere& h) {
  if (h.r() <= 30) return;
  const char* found = h.is("%%Creator: Adobe InDesign")      ? "Found InDesign"
                      : h.is("%%Creator: (Photoshop)")        ? "Found Photoshop"
                      : h.is("%%Creator: Adobe Illustrator") ? "Found Illustrator"
                                                             : nullptr;
  if (found == nullptr) return;
  LOG_DEBUG("%s", found);
  s->adobe_application = true;
}

bool skipped_comments(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() >= 251 && h.is("%ADO") && h.match(PsRe::ADO_COMMENTS, 250, &m)) {
    LOG_DEV("skipping ADO comment of length: %llu", static_cast<ull>(m.length()));
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.r() > 50 && h.is("%%Vi") && h.match(PsRe::VIEWING_ORIENTATION, 50, &m)) {
    const int b = group_int(m, 2);
    const int c = group_int(m, 3);
    if (b != 0 || c != 0) {
      LOG_DEV("%%%%ViewingOrientation rotation: %d %d %d %d", group_int(m, 1), b, c, group_int(m, 4));
      s->extra_rotation = true;
    }
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.is("%%EndPageSetup")) {
    LOG_DEBUG("Found %%%%EndPageSetup at %llu, moving latest_page", static_cast<ull>(h.p));
    for (PsEmptyPageWindow& window : s->windows) ps_empty_pages_setup_end(&window, h.p);
    *step = ps_skip_to(*s, h.p + 15);
    return true;
  }
  return false;
}

bool imposed_page(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() <= 44 || !h.is("%%Pa") || !h.match(PsRe::IMPOSED_PAGE, 45, &m)) return false;
  const int n = group_int(m, 2);
  if (n > s->page_num_imposed) {
    s->page_num_imposed = n;
    LOG_DEBUG("Found imposed page match '%.*s', page_num_imposed=%d at: %llu", static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)), n, static_cast<ull>(h.p));
    s->page_seen = true;
  }
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

bool features(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() <= 300 || !h.is("%%B")) return false;
  if (h.match(PsRe::FX_SIG_SIZE, 300, &m)) {
    LOG_DEBUG("Matched '%.*s' at offset %llu", static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)), static_cast<ull>(h.p));
    ps_signature_size(s, m.at(1), m.text(1).size());
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.match(PsRe::PAGE_SIZE_FEATURE, 50, &m)) {
    const std::string name(m.text(1));
    LOG_DEBUG("Found re_beginfeature_page_size at %llu: '%s'", static_cast<ull>(h.p), name.c_str());
    // "Default" is the PPD's default choice, not a paper (groff writes it
    // before the setpagedevice that gives the size).
    if (name != "Default") ja_set_paper_size_name(s->ja, name.c_str());
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  return false;
}

bool application_pages(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() >= 30 && h.is("%%P") && h.match(PsRe::INDESIGN_PAGE, 25, &m)) {
    const int n = group_int(m, 1);
    if (n > s->last_indesign_page || (n == 1 && s->last_indesign_page != 1)) {
      ++s->page_count_indesign_strict;
      LOG_DEBUG("Found indesign strict page match at: %llu", static_cast<ull>(h.p));
      process_empty_pages(s->start, h.p, s->page_count_indesign_strict, &s->windows[0]);
      s->last_indesign_page = n;
      s->page_seen = true;
    } else {
      LOG_DEBUG("Found non-sequental page");
      s->last_indesign_page = BROKEN_SEQUENCE;
      s->page_count_indesign_strict = 0;
    }
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.r() >= 55 && h.is("%%QR") && h.match(PsRe::QXP_PAGE, 55, &m)) {
    ++s->page_count_qxp_strict;
    LOG_DEBUG("Found QXP page offset=%llu,page_count_qxp_strict=%d,match='%.*s'", static_cast<ull>(h.p),
              s->page_count_qxp_strict, static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)));
    process_empty_pages(s->start, h.p, s->page_count_qxp_strict, &s->windows[0]);
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  return false;
}

bool trailer(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() < 30 || !h.is("%%Tr") || !h.match(PsRe::TRAILER_PAGES, 30, &m)) return false;
  const int pages = group_int(m, 1);
  LOG_DEV("Found PostScript %%%%Trailer pages=%d comment at %llu", pages, static_cast<ull>(h.p));
  if (pages == s->page_count_dsc && s->n_filler == 0 && s->last_page_marker >= 0 &&
      h.p < static_cast<std::uint64_t>(s->last_page_marker) + SHORT_LAST_PAGE_SPAN) {
    // Only a last page that puts nothing on paper is short; one that draws
    // is a page, however few its bytes.
    const std::uint8_t* page = s->start + s->last_page_marker;
    if (!ps_page_paints(page, h.p - static_cast<std::uint64_t>(s->last_page_marker))) {
      s->short_last_page = true;
    }
  }
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

bool dsc_page(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() > 17 && h.match(PsRe::FILLER_PAGE, 18, &m)) {
    const int digit = group_int(m, 1);
    LOG_DEV("Found filler page at %llu,n_filler=%d", static_cast<ull>(h.p), s->n_filler);
    if (s->page_count_dsc < digit) {
      LOG_DEBUG("Increasing page_count_dsc=%d => n_filler=%d", s->page_count_dsc, digit);
      s->page_count_dsc = digit;
      s->page_count_dsc_strict = digit;
    }
    ++s->n_filler;
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (h.r() <= 25 || !h.match(PsRe::DSC_PAGE, 26, &m)) return false;
  const std::string_view label = m.text(1);
  if (label != s->last_page_label) {
    ++s->page_count_dsc;
    LOG_DEBUG("Found standard page marker at %llu (0x%llx) - count %d, '%.*s'", static_cast<ull>(h.p),
              static_cast<ull>(h.p), s->page_count_dsc, static_cast<int>(label.size()), label.data());
    s->last_page_label.assign(label.substr(0, PAGE_LABEL_SIZE));
    s->last_page_marker = static_cast<std::int64_t>(h.p);
  }
  PsMatch ordinal;
  if (h.match(PsRe::DSC_PAGE_ORDINAL, 26, &ordinal)) {
    const int n = group_int(ordinal, 2);
    if (s->page_count_dsc_strict < 0) {
      s->page_count_dsc_strict_offset = n > 0 ? n - 1 : 0;
      if (n != 1) LOG_DEBUG("page_count_dsc_strict_offset=%d", s->page_count_dsc_strict_offset);
    }
    s->page_count_dsc_strict = n;
    LOG_DEBUG("page_count_dsc_strict=%d,match='%.*s' at %llu", n, static_cast<int>(ordinal.length()),
              reinterpret_cast<const char*>(ordinal.at(0)), static_cast<ull>(h.p));
  }
  s->page_seen = true;
  *step = ps_skip_match(*s, h.p, m);
  return true;
}

bool page_trailer(PsScan* s, const PsHere& h, PsStep* step) {
  if (s->page_count_dsc_strict <= 0 || h.r() <= 13 || !h.is("%%PageTrailer")) return false;
  process_empty_pages(s->start, h.p, ps_dsc_strict_pages(*s), &s->windows[1]);
  *step = ps_skip_to(*s, h.p + 14);
  return true;
}

// A document that follows another in the same job: its page ordinals start
// again, so the pages counted so far are kept aside and added at the end.
void new_document(PsScan* s, std::uint64_t p) {
  LOG_DEBUG("New document started at: %llu", static_cast<ull>(p));
  s->last_page_label.clear();
  s->last_indesign_page = -1;
  s->last_strict_page = -1;
  if (s->page_count_dsc_strict >= 1) {
    s->page_count_dsc_strict_done = ps_dsc_strict_pages(*s);
    s->page_count_dsc_strict = -1;
    s->page_count_dsc_strict_offset = 0;
  }
  PSColorNewDocument(s->color);
}

bool pdf_resource(PsScan* s, const PsHere& h, PsStep* step) {
  PsMatch m;
  if (h.r() < 101 || !h.is("%%Be") || !h.match(PsRe::BEGIN_PDF_RESOURCE, 100, &m)) return false;
  const std::string_view kind = m.text(2);
  const auto* k = reinterpret_cast<const std::uint8_t*>(kind.data());
  const bool font = (kind.size() == 4 && scan_bytes_at_caseless(scan_bytes(k, 4), 0, "Font")) ||
                    (kind.size() == 8 && scan_bytes_at_caseless(scan_bytes(k, 8), 0, "CharProc"));
  const std::uint64_t body = h.p + m.length();
  const auto close = scan_find(scan_bytes(s->start, s->length()), body, "%%EndResource");
  if (!close) {
    // An unclosed resource is not opened: its colour would otherwise be
    // taken for the resource's until the end of the job.
    LOG_ERROR("BeginResource with no EndResource at %llu", static_cast<ull>(h.p));
    *step = ps_skip_match(*s, h.p, m);
    return true;
  }
  if (s->color != nullptr) {
    (void)PSColorBeginResource(s->color, s->start + body, s->start, group_int(m, 3), font ? 0 : 1);
    (void)PSColorEndResource(s->color, s->start, s->end, s->start + *close);
  }
  *step = ps_skip_to(*s, *close + 14);
  return true;
}

// "%!PS-Adobe-3.0 Resource-ProcSet" (and the other resource kinds) heads a
// resource file placed in the job, not a document of its own.
bool resource_header(const PsHere& h) {
  const ByteSpan line = scan_bytes(h.at(), h.room(40));
  const auto end = scan_find_byte(line, 0, '\n');
  return scan_find(line.first(end ? *end : line.size()), 0, " Resource-").has_value();
}

bool documents(PsScan* s, const PsHere& h, PsStep* step) {
  if (h.r() < 26) return false;
  if (h.is("%!PS-Adobe") && !h.is("%!PS-AdobeFont") && !h.match(PsRe::EPSF_HEADER, 25) &&
      !resource_header(h)) {
    if (s->embedded_depth == 0) new_document(s, h.p);
    *step = ps_skip_to(*s, h.p + 11);
    return true;
  }
  return pdf_resource(s, h, step);
}

// %%BeginDocument to %%EndDocument hold a document placed on a page (an EPS
// figure, say): its own page comments are not pages of the job.
bool embedded_documents(PsScan* s, const PsHere& h, PsStep* step) {
  if (h.is("%%BeginDocument")) {
    ++s->embedded_depth;
    return false;
  }
  if (h.is("%%EndDocument")) {
    if (s->embedded_depth > 0) --s->embedded_depth;
    return false;
  }
  if (s->embedded_depth > 0 && (h.is("%%Page") || h.is("%%Trailer") || h.is("%%QRKPageEnd"))) {
    *step = ps_skip_to(*s, h.p + 6);
    return true;
  }
  return false;
}

}  // namespace

std::int32_t ps_dsc_strict_pages(const PsScan& s) {
  std::int64_t current = 0;
  if (s.page_count_dsc_strict >= 1) {
    current = static_cast<std::int64_t>(s.page_count_dsc_strict) - s.page_count_dsc_strict_offset;
  }
  return decimal_clamp<std::int32_t>(s.page_count_dsc_strict_done + std::max<std::int64_t>(current, 0));
}

bool ps_comment_checks(PsScan* s, std::uint64_t p, PsStep* step) {
  const PsHere h{s, p};
  // The prolog ends at its comment, or at the first page at the latest.
  if (h.is("%%EndProlog") || (s->embedded_depth == 0 && h.is("%%Page:"))) PSColorSetProlog(s->color, 0);
  if (embedded_documents(s, h, step)) return true;
  if (target_device(s, h, step)) return true;
  creator(s, h);
  if (skipped_comments(s, h, step)) return true;
  if (imposed_page(s, h, step)) return true;
  if (features(s, h, step)) return true;
  if (application_pages(s, h, step)) return true;
  if (trailer(s, h, step)) return true;
  if (h.r() > 2 && h.at()[2] == 'P' && dsc_page(s, h, step)) return true;
  if (page_trailer(s, h, step)) return true;
  return documents(s, h, step);
}
