// XPIF job tickets: the ticket is located in the first bytes of the job,
// then its body is read with a few patterns that may match anywhere in it.
#include "scan/xpif.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "scan/byte_cursor.h"
#include "scan/scan_regex.h"

namespace {

// A value's leading number (blanks skipped), saturated; 0 when none.
std::int32_t leading_int(std::string_view text) {
  while (!text.empty() && ascii_is_space(text.front())) text.remove_prefix(1);
  return decimal_clamp<std::int32_t>(decimal_read(text, DecimalSign::OPTIONAL).value);
}

// Hundredths of a millimetre to millimetres, rounded half up.
std::int32_t hundredths_to_mm(std::int32_t value) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(value) + 50) / 100);
}

std::string printable(std::string_view text) { return std::string(text); }

// The body of the ticket: behind its opening element, up to "</xpif>".
// Empty (and false) when there is no complete ticket.
bool locate_body(std::string_view job, std::string_view* body) {
  const std::string_view head = job.substr(0, XPIF_HEAD_WINDOW);
  static constexpr char DTD[] = R"re(<!DOCTYPE\s+xpif\s+SYSTEM\s+"+([^"]*)"\s*>)re";
  const ScanMatch dtd = ScanRegex(DTD, 0).match(head);
  if (!dtd.matched) return false;
  LOG_DEBUG("get_xpif_header_location: DTD offset=%llu content='%s'",
            static_cast<unsigned long long>(dtd.start), printable(dtd.group(1)).c_str());
  if (dtd.end >= head.size()) {
    LOG_DEBUG("get_xpif_header_location: No room for XPIF ticket");
    return false;
  }
  const ScanMatch open = ScanRegex(R"re(<xpif\s+([^>]*)>)re", 0).match(head.substr(dtd.end));
  if (!open.matched) {
    LOG_DEBUG("get_xpif_header_location: DTD but no open XPIF");
    return false;
  }
  const std::uint64_t body_start = dtd.end + open.end;
  LOG_DEBUG("get_xpif_header_location: XPIF open offset=%llu content='%s'",
            static_cast<unsigned long long>(dtd.end + open.start),
            printable(open.group(1)).c_str());
  const std::string_view window = job.substr(0, XPIF_BODY_WINDOW);
  if (body_start >= window.size()) {
    LOG_DEBUG("get_xpif_header_location: No room for XPIF body");
    return false;
  }
  const std::size_t close = window.find("</xpif>", body_start);
  if (close == std::string_view::npos) {
    LOG_DEBUG("get_xpif_header_location: No </xpif>");
    return false;
  }
  *body = window.substr(body_start, close - body_start);
  return true;
}

struct BodyPatterns {
  ScanRegex copies{R"re(<copies[^>]*>([^<]*)</copies>)re", PCRE_DOTALL};
  ScanRegex sides{R"re(<sides[^>]*>([^<]*)</sides>)re", PCRE_DOTALL};
  ScanRegex x_dim{R"re(x-dimension[^>]*>\s*(\d+)\s*</x-dimension>)re", PCRE_DOTALL};
  ScanRegex y_dim{R"re(y-dimension[^>]*>\s*(\d+)\s*</y-dimension>)re", PCRE_DOTALL};
  ScanRegex overrides{R"re(<page-overrides\s+syntax\s*=\s*"1setOf"\s*>(.*?)</page-overrides>)re",
                      PCRE_DOTALL};
  ScanRegex effects{R"re(<color-effects-type[^>]*>([^<]*)</color-effects-type>)re", PCRE_DOTALL};
  ScanRegex documents{
      R"re(<input-documents\s+syntax\s*=\s*"1setOf"\s*>\s*<value\s+syntax\s*=\s*"rangeOfInteger"\s*>)re"
      R"re(\s*<lower-bound\s+syntax\s*=\s*"integer"\s*>\s*(\d+)\s*</lower-bound>)re"
      R"re(\s*<upper-bound\s+syntax\s*=\s*"integer"\s*>\s*(\d+)\s*</upper-bound>)re"
      R"re(\s*</value>\s*</input-documents>)re",
      PCRE_DOTALL};

  [[nodiscard]] bool ok() const {
    return copies.ok() && sides.ok() && x_dim.ok() && y_dim.ok() && overrides.ok() &&
           effects.ok() && documents.ok();
  }
};

// Colour set per page (page overrides with a colour effect for a range of
// documents) leaves grayscale alone; otherwise the first colour effect of
// the body decides.
void read_grayscale(const BodyPatterns& re, std::string_view body, PjlHeaderInfo* h) {
  const ScanMatch overrides = re.overrides.match(body);
  if (overrides.matched) {
    const std::string_view content = overrides.group(1);
    const ScanMatch range = re.documents.match(content);
    if (re.effects.match(content).matched && range.matched) {
      const std::int32_t lower = leading_int(range.group(1));
      const std::int32_t upper = leading_int(range.group(2));
      if (lower >= 1 && upper >= 1) {
        LOG_DEBUG("parse_xpif_contents: mono_docs=%d,mono_pages%d", lower, upper);
        return;
      }
    }
  }
  const ScanMatch effect = re.effects.match(body);
  const std::string_view value = effect.group(1);
  if (effect.matched && (value.find("mono") != std::string_view::npos ||
                         value.find("gray") != std::string_view::npos)) {
    LOG_DEBUG("parse_xpif_contents: Matched '%s' at offset=%llu", printable(value).c_str(),
              static_cast<unsigned long long>(effect.start));
    h->grayscale = 1;
  }
}

void read_dimension(const ScanRegex& re, std::string_view body, std::int32_t* mm) {
  const ScanMatch m = re.match(body);
  if (!m.matched) return;
  *mm = hundredths_to_mm(leading_int(m.group(1)));
  LOG_DEBUG("parse_xpif_contents: Matched '%s' at offset=%llu, x_dim=%d",
            printable(m.group(1)).c_str(), static_cast<unsigned long long>(m.start), *mm);
}

int parse_xpif_contents(std::string_view body, PjlHeaderInfo* h) {
  const BodyPatterns re;
  if (!re.ok()) return 0;
  read_grayscale(re, body, h);
  if (const ScanMatch copies = re.copies.match(body); copies.matched) {
    const std::int32_t n = leading_int(copies.group(1));
    if (n > 0) h->qty = n;
  }
  if (const ScanMatch sides = re.sides.match(body);
      sides.matched && sides.group(1).find("two") != std::string_view::npos) {
    h->duplex = 1;
  }
  read_dimension(re.x_dim, body, &h->x_dimension_mm);
  read_dimension(re.y_dim, body, &h->y_dimension_mm);
  return 1;
}

}  // namespace

int xpif_parse_header(const std::uint8_t* buffer, std::uint64_t length, PjlHeaderInfo* header) {
  LOG_DEV("entering xpif_parse_header");
  if (header == nullptr) {
    LOG_DEBUG("passed invalid header structure");
    return 0;
  }
  pjl_init_header(header);
  if (buffer == nullptr) return 0;
  const std::string_view job = scan_text(scan_bytes(buffer, length));
  if (job.substr(0, XPIF_HEAD_WINDOW).find("xpif") == std::string_view::npos) return 0;
  std::string_view body;
  if (!locate_body(job, &body)) return 0;
  return parse_xpif_contents(body, header);
}
