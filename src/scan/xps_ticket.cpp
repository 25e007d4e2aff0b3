// XPS print tickets: copies, duplex and tumble, pages per sheet, output
// colour and media size, read from the Print Schema features that carry
// them, with the places of the values that the rewriting changes.
#include <cinttypes>
#include <cmath>
#include <string>
#include <string_view>

#include "scan/xps_package.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/util.h"
#include "scan/scan_regex.h"

namespace {

// Characters of a value's text that are read as a number.
constexpr std::size_t VALUE_TEXT_MAX = 127;
constexpr double MICROMETRES_PER_MM = 1000.0;

// One element found in a ticket: where its content lies.
struct Element {
  bool found = false;
  std::uint64_t open = 0;           // offset of the opening tag
  std::uint64_t content_start = 0;  // one past the opening tag
  std::uint64_t content_end = 0;    // the closing tag (content_start when none)
  ScanMatch match;                  // the opening tag's match, groups as views
};

bool opens_element(std::string_view text, std::uint64_t at, std::string_view open_prefix) {
  const std::uint64_t after = at + open_prefix.size();
  return after < text.size() && (ascii_is_space(text[after]) || text[after] == '>');
}

bool is_empty_element(std::string_view text, std::uint64_t at) {
  const std::size_t close = text.find('>', at);
  return close != std::string_view::npos && close > 0 && text[close - 1] == '/';
}

// The end of an element whose content starts at `from`: its closing tag,
// counting elements of the same name nested inside it (a feature may hold
// features). None when the closing tag is missing.
std::optional<std::uint64_t> element_end(std::string_view text, std::uint64_t from,
                                         std::string_view tag) {
  // Built by appending: gcc 12 reports a false -Wrestrict on the concatenation.
  std::string open_prefix("<");
  open_prefix.append(tag);
  std::string close("</");
  close.append(tag);
  close.push_back('>');
  int depth = 1;
  std::uint64_t pos = from;
  for (;;) {
    const std::size_t next_close = text.find(close, pos);
    if (next_close == std::string_view::npos) return std::nullopt;
    std::size_t next_open = text.find(open_prefix, pos);
    while (next_open != std::string_view::npos && next_open < next_close &&
           (!opens_element(text, next_open, open_prefix) || is_empty_element(text, next_open))) {
      next_open = text.find(open_prefix, next_open + 1);
    }
    if (next_open != std::string_view::npos && next_open < next_close) {
      ++depth;
      pos = next_open + open_prefix.size();
      continue;
    }
    if (--depth == 0) return next_close;
    pos = next_close + close.size();
  }
}

// The first element in text[from, to) whose opening tag `open` matches, with
// its content up to its own closing tag (empty when the element is empty or
// has no closing tag).
Element find_element(std::string_view text, std::uint64_t from, std::uint64_t to,
                     const ScanRegex& open, std::string_view tag) {
  Element e;
  const std::string_view range = text.substr(from, to - from);
  e.match = open.match(range);
  if (!e.match.matched) return e;
  e.found = true;
  e.open = from + e.match.start;
  e.content_start = from + e.match.end;
  e.content_end = e.content_start;
  if (e.match.end >= 2 && range[e.match.end - 2] == '/') return e;
  const std::optional<std::uint64_t> end = element_end(range, e.match.end, tag);
  if (end) e.content_end = from + *end;
  return e;
}

struct Patterns {
  ScanRegex copies{R"re(<psf:ParameterInit\s+name\s*=\s*"psk:JobCopiesAllDocuments"\s*>)re", 0};
  ScanRegex integer{R"re(<psf:Value\s+xsi:type\s*=\s*"xsd?:integer"\s*>)re", 0};
  ScanRegex duplex{
      R"re(<psf:Feature\s+name\s*=\s*"psk:(?:JobDuplexAllDocumentsContiguously|DocumentDuplex)"\s*>)re",
      0};
  // Another attribute, or a blank before "/>", may follow the name.
  ScanRegex option{R"re(<psf:Option\s+name\s*=\s*"((?:\w+):(?:\w+))"[^>]*>)re", 0};
  ScanRegex n_up{
      R"re(<psf:Feature\s+name\s*=\s*"psk:(?:JobNUpAllDocumentsContiguously|DocumentNUp)"\s*>)re", 0};
  ScanRegex pages_per_sheet{R"re(<psf:ScoredProperty\s+name\s*=\s*"psk:PagesPerSheet"\s*>)re", 0};
  ScanRegex color{R"re(<psf:Feature\s+name\s*=\s*"psk:PageOutputColor"\s*>)re", 0};
  ScanRegex media{R"re(<psf:Feature\s+name\s*=\s*"psk:PageMediaSize"\s*>)re", 0};
  ScanRegex width{R"re(<psf:ScoredProperty\s+name\s*=\s*"psk:MediaSizeWidth"\s*>)re", 0};
  ScanRegex height{R"re(<psf:ScoredProperty\s+name\s*=\s*"psk:MediaSizeHeight"\s*>)re", 0};
};

const Patterns& patterns() {
  static const Patterns compiled;
  return compiled;
}

// What one ticket gives; -1 where it gives nothing.
struct Findings {
  int copies = -1;
  int duplex = -1;
  int tumble = -1;
  int grayscale = -1;
  int pages_per_sheet = -1;
  int width_mm = -1;
  int height_mm = -1;
  std::string media_name;
  bool complete = true;  // no feature lacked its value
};

void missing(Findings* f, const char* what) {
  LOG_DEBUG("  parse_print_ticket: No match for %s", what);
  f->complete = false;
}

// An integer value element inside text[from, to): its value, and where its
// text is.
std::optional<int> integer_value(std::string_view text, std::uint64_t from, std::uint64_t to,
                                 XpsTicketPlace* place) {
  const Element value = find_element(text, from, to, patterns().integer, "psf:Value");
  if (!value.found) return std::nullopt;
  std::string_view digits = text.substr(value.content_start, value.content_end - value.content_start);
  if (place != nullptr) *place = XpsTicketPlace{value.content_start, digits.size()};
  if (digits.size() > VALUE_TEXT_MAX) digits = digits.substr(0, VALUE_TEXT_MAX);
  while (!digits.empty() && ascii_is_space(digits.front())) digits.remove_prefix(1);
  return decimal_clamp<int>(decimal_read(digits).value);
}

// The option of a feature's content: its name (a view into the ticket).
std::optional<Element> feature_option(std::string_view text, const Element& feature) {
  Element option = find_element(text, feature.content_start, feature.content_end,
                                patterns().option, "psf:Option");
  if (!option.found) return std::nullopt;
  return option;
}

std::uint64_t group_offset(std::string_view text, std::string_view group) {
  return static_cast<std::uint64_t>(group.data() - text.data());
}

void read_copies(std::string_view text, Findings* f, XpsTicketPlaces* places) {
  const Element e = find_element(text, 0, text.size(), patterns().copies, "psf:ParameterInit");
  if (!e.found) return;
  XpsTicketPlace place;
  const std::optional<int> copies = integer_value(text, e.content_start, e.content_end, &place);
  if (!copies) return missing(f, "re_value_integer");
  f->copies = *copies;
  if (places != nullptr) places->copies = place;
  LOG_DEBUG("  parse_print_ticket: copies=%d", f->copies);
}

// The option name of the first feature that `feature` opens, with its
// place; none when the feature is absent (or lacks its option: noted).
std::optional<std::string_view> feature_option_name(std::string_view text, const ScanRegex& feature,
                                                    Findings* f, XpsTicketPlace* place) {
  const Element e = find_element(text, 0, text.size(), feature, "psf:Feature");
  if (!e.found) return std::nullopt;
  const std::optional<Element> option = feature_option(text, e);
  if (!option) {
    missing(f, "re_option_name");
    return std::nullopt;
  }
  const std::string_view name = option->match.group(1);
  if (place != nullptr) *place = XpsTicketPlace{group_offset(text, name), name.size()};
  return name;
}

bool starts_caseless(std::string_view name, std::string_view prefix) {
  return name.size() >= prefix.size() && util_case_equal_bytes(name.data(), prefix.data(), prefix.size());
}

void read_duplex(std::string_view text, Findings* f, XpsTicketPlaces* places) {
  const std::optional<std::string_view> name =
      feature_option_name(text, patterns().duplex, f, places != nullptr ? &places->duplex : nullptr);
  if (!name) return;
  f->duplex = starts_caseless(*name, "psk:TwoSided") ? 1 : 0;
  if (f->duplex == 1) f->tumble = starts_caseless(*name, "psk:TwoSidedShortEdge") ? 1 : 0;
  LOG_DEBUG("  parse_print_ticket: is_duplex=%d", f->duplex);
  LOG_DEBUG("  parse_print_ticket: plex='%.*s'", static_cast<int>(name->size()), name->data());
}

void read_pages_per_sheet(std::string_view text, Findings* f) {
  const Element e = find_element(text, 0, text.size(), patterns().n_up, "psf:Feature");
  if (!e.found) return;
  const Element property = find_element(text, e.content_start, e.content_end,
                                        patterns().pages_per_sheet, "psf:ScoredProperty");
  if (!property.found) return missing(f, "re_property_pages_per_sheet");
  const std::optional<int> n = integer_value(text, property.content_start, property.content_end,
                                             nullptr);
  if (!n) return missing(f, "re_value_integer");
  f->pages_per_sheet = *n;
  LOG_DEBUG("  parse_print_ticket: n_up=%d", f->pages_per_sheet);
}

void read_color(std::string_view text, Findings* f, XpsTicketPlaces* places) {
  const std::optional<std::string_view> name =
      feature_option_name(text, patterns().color, f, places != nullptr ? &places->color : nullptr);
  if (!name) return;
  LOG_DEBUG("  parse_print_ticket: color string='%.*s'", static_cast<int>(name->size()), name->data());
  f->grayscale = starts_caseless(*name, "psk:Color") ? 0 : 1;
  LOG_DEBUG("  parse_print_ticket: is_grayscale=%d", f->grayscale);
}

// One side of the media size in millimetres (from micrometres).
std::optional<int> media_side(std::string_view text, const Element& option, const ScanRegex& side,
                              Findings* f, const char* side_name) {
  const Element property = find_element(text, option.content_start, option.content_end, side,
                                        "psf:ScoredProperty");
  if (!property.found) {
    missing(f, side_name);
    return std::nullopt;
  }
  const std::optional<int> um = integer_value(text, property.content_start, property.content_end,
                                              nullptr);
  if (!um) {
    missing(f, "re_value_integer");
    return std::nullopt;
  }
  return static_cast<int>(std::floor(*um / MICROMETRES_PER_MM + 0.5));
}

void read_media(std::string_view text, Findings* f) {
  const Element e = find_element(text, 0, text.size(), patterns().media, "psf:Feature");
  if (!e.found) return;
  const std::optional<Element> option = feature_option(text, e);
  if (!option) return missing(f, "re_option_name");
  f->media_name = std::string(option->match.group(1));
  LOG_DEBUG("  parse_print_ticket: XPS Media name is '%s'", f->media_name.c_str());
  const std::optional<int> width = media_side(text, *option, patterns().width, f, "re_property_width");
  if (!width) return;
  LOG_DEBUG("  parse_print_ticket: page_width_mm=%d", *width);
  const std::optional<int> height =
      media_side(text, *option, patterns().height, f, "re_property_height");
  if (!height) return;
  LOG_DEBUG("  parse_print_ticket: page_height_mm=%d", *height);
  f->width_mm = *width;
  f->height_mm = *height;
}

void apply(const Findings& f, int scope, JobAttribs* ja) {
  if (scope > XPS_SCOPE_DOCUMENT) {
    if (f.duplex >= 0) ja_set_is_duplex(ja, f.duplex);
    if (f.tumble >= 0) ja_set_is_tumble(ja, f.tumble);
    if (f.grayscale >= 0) ja_set_is_grayscale(ja, f.grayscale);
    if (f.copies > 0) ja_set_copy_count(ja, f.copies);
  }
  if (f.width_mm > 0 && f.height_mm > 0) ja_set_page_width_height_mm(ja, f.width_mm, f.height_mm);
}

}  // namespace

int parse_print_ticket(std::string_view ticket, int scope, JobAttribs* ja, XpsTicketInfo* info,
                       XpsTicketPlaces* places) {
  if (places != nullptr) *places = XpsTicketPlaces{};
  Findings f;
  // A feature without its value is left out; the others still count.
  read_copies(ticket, &f, places);
  read_duplex(ticket, &f, places);
  read_pages_per_sheet(ticket, &f);
  read_color(ticket, &f, places);
  read_media(ticket, &f);
  if (ja != nullptr) apply(f, scope, ja);
  if (info != nullptr) {
    info->media_name = f.media_name;
    info->names_pages_per_sheet = f.pages_per_sheet > 0;
    info->pages_per_sheet = f.pages_per_sheet > 0 ? f.pages_per_sheet : 1;
  }
  return f.complete ? 1 : 0;
}

int xps_get_ja_for_print_ticket(std::string_view ticket, JobAttribs* ja, XpsTicketInfo* info) {
  return parse_print_ticket(ticket, XPS_SCOPE_JOB, ja, info, nullptr);
}

int extract_print_ticket(XpsZip* zip, const XpsFileList& list, std::string_view ticket_part,
                         int scope, JobAttribs* ja, int* pages_per_sheet) {
  const std::string name(ticket_part);
  std::string text;
  if (!get_xps_value(zip, list, name, true, &text)) {
    LOG_ERROR("extract_print_ticket: get_xps_value(%s) failed", name.c_str());
    return 0;
  }
  if (text.empty()) {
    LOG_DEBUG("extract_print_ticket: No print ticket in '%s'!", name.c_str());
    return 1;
  }
  XpsTicketInfo info;
  if (parse_print_ticket(text, scope, ja, &info, nullptr) == 0) {
    LOG_DEBUG("extract_print_ticket: '%s' lacks values of some features", name.c_str());
  }
  if (info.names_pages_per_sheet && pages_per_sheet != nullptr) *pages_per_sheet = info.pages_per_sheet;
  return 1;
}
