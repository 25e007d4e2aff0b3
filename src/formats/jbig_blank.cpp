#include "formats/jbig_blank.h"

#include <algorithm>

#include "foundation/log.h"

namespace {

constexpr std::uint8_t JBIG_ESCAPE = 0xFF;
constexpr std::uint8_t JBIG_SDNORM = 0x02;
constexpr std::uint8_t JBIG_SDRST = 0x03;

}  // namespace

bool jbig_stripes_are_blank(ByteSpan stripes) {
  auto p = stripes.begin();
  const auto end = stripes.end();
  for (;;) {
    p = std::find_if(p, end, [](std::uint8_t b) { return b != 0; });
    if (p == end) return true;
    // The only non-zero bytes allowed are end-of-stripe markers.
    if (*p != JBIG_ESCAPE || end - p < 2) return false;
    if (p[1] != JBIG_SDNORM && p[1] != JBIG_SDRST) return false;
    p += 2;
  }
}

bool jbig_bih_has_typical_prediction(ByteSpan bih) {
  return bih.size() >= JBIG_BIH_SIZE && (bih[JBIG_BIH_OPTIONS] & JBIG_OPTION_TPBON) != 0;
}

int pages_without_blank_back_side(int pages, bool two_sided, int blank_pages) {
  if (!two_sided || pages <= 0 || pages % 2 != 0 || blank_pages <= 0) return pages;
  LOG_DEBUG("a page without marks is the blank back side of a duplex job: %d pages", pages - 1);
  return pages - 1;
}
