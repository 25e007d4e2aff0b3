// The walk of a Canon UFR job: LIPS commands, CPCA records, the models'
// page-end bytes and the PCL5 image headers some drivers embed, each tried
// only at the byte it begins with.
#include <array>
#include <cinttypes>
#include <string>
#include <string_view>

#include "formats/canonufr_internal.h"
#include "formats/format_skip.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"

using namespace std::string_view_literals;

namespace {

constexpr std::string_view MF5700_END = "\xcd\xca\x10\x02\x00\x1a\x00\x01\x00\x02\x00"sv;
constexpr std::string_view IPF5100_END = "\x1b\x45\xcd\xca\x10\x02"sv;
constexpr std::string_view IR5075_END = "\x03\xe7\x85\x13\x80\x1b\x68\xde"sv;
// Counted at its first byte during the walk rather than by a second pass
// over the data: it cannot overlap itself, so the count is the same.
constexpr std::string_view LBP8730_END =
    "\x03\xe7\x85\x12\x70\x1a\x76\xde\x80\x01\xc8\x00\xca\xa1\x78\x78\xcb\x01\xcd\xca\x10\x02"
    "\x00\x1a\x00\x01"sv;
// Begins with a zero byte, which raster data is full of: it is looked for
// at its second byte.
constexpr std::string_view LBP9250_END = "\x00\xcb\x01\x63\xe0\x00\xe8\xa5\x00"sv;
constexpr std::string_view PCL5_GRAY_TAIL = "\x00\x00\x00\x08\x00\x00\x00"sv;
constexpr std::string_view LIPS_ALTERNATE_PAPER = "\x7d\xca\xb1\x00\x07"sv;

// The bytes the tests begin at.
constexpr FormatByteSet STARTS("[DL;\xcd\x1b\x03\xcb@\x7d"sv);
// Each test needs its start byte and the byte after it (a digit after the
// bracket of the paper commands), so the walk moves on to the next place
// where such a pair stands, not to every start byte in the raster data.
constexpr FormatPairSet PAIRS{{'[', 1, 'e'},    {'[', 1, '0', '9'}, {0xcd, 1, 0xca},
                              {'@', 1, 'P'},    {0x7d, 1, 0xca},    {'D', 1, 'U'},
                              {'L', 1, 'I'},    {';', 1, 'I'},      {0x1b, 1, 0x45},
                              {0x1b, 1, 0x2a},  {0x03, 1, 0xe7},    {0xcb, 1, 0x01}};

bool room(const CanonUfrScan& s, std::uint64_t p, std::uint64_t n) { return s.d.size() - p > n; }
bool at(const CanonUfrScan& s, std::uint64_t p, std::string_view text) {
  return scan_bytes_at(s.d, p, text);
}
int byte(const CanonUfrScan& s, std::uint64_t p) { return s.d[p]; }
bool zero_or_ff(int b) { return b == 0x00 || b == 0xff; }

std::int32_t number(std::string_view digits) {
  return decimal_clamp<std::int32_t>(decimal_read(digits, DecimalSign::NONE).value);
}

ScanMatch window(const CanonUfrScan& s, const ScanRegex& re, std::uint64_t p, std::uint64_t n) {
  return scan_match_window(re, s.d.data(), s.d.size(), p, n);
}

bool digit_at(const CanonUfrScan& s, std::uint64_t p) {
  return p < s.d.size() && s.d[p] >= '0' && s.d[p] <= '9';
}

// The patterns are tried only where their literal beginning stands, so that
// the engine runs at a handful of positions, not at every bracket or letter.
void lips_bracket(CanonUfrScan* s, std::uint64_t p) {
  if (room(*s, p, 10) && at(*s, p, "[eop") && window(*s, s->re->eop, p, 10).matched) {
    ++s->eop;
    LOG_DEBUG("found eop at: %" PRIu64, p);
  }
  if (!room(*s, p, 29) || !digit_at(*s, p + 1)) return;
  if (const ScanMatch m = window(*s, s->re->paper, p, 30); m.matched) {
    s->paper_number = number(m.group(1));
    LOG_DEV("Found paper size %d at offset=%" PRIu64, s->paper_number, p);
  }
  if (const ScanMatch m = window(*s, s->re->lips_paper, p, 30); m.matched) {
    s->lips_paper = number(m.group(1));
    LOG_DEBUG("Found paper size (LIPS) '%s' id=%d at offset=%" PRIu64,
              std::string(m.group(1)).c_str(), s->lips_paper, p);
  }
}

void settings(CanonUfrScan* s, std::uint64_t p) {
  const int b = byte(*s, p);
  if (b == 'D' && room(*s, p, 29) && at(*s, p, "DUPLEX-LAYOUT") &&
      window(*s, s->re->duplex, p, 30).matched) {
    LOG_DEV("Found duplex at %" PRIu64, p);
    ja_set_is_duplex(s->ja, 1);
  } else if (b == 'L' && room(*s, p, 29) && at(*s, p, "LIPS") &&
             window(*s, s->re->paper_save, p, 30).matched) {
    LOG_DEV("Found duplex2 at %" PRIu64, p);
    ja_set_is_duplex(s->ja, 1);
  } else if (b == ';' && room(*s, p, 79) && at(*s, p, ";ImgColor")) {
    if (const ScanMatch m = window(*s, s->re->img_color, p, 80); m.matched) {
      s->img_color_copies = number(m.group(1));
      LOG_DEV("Found copycount %d at %" PRIu64, s->img_color_copies, p);
    }
  }
}

// CPCA records: CD CA 10, then the opcode's low byte at 5 and the fixed
// bytes of the record kinds read here.
void cpca_record(CanonUfrScan* s, std::uint64_t p) {
  if (!room(*s, p, 25) || !at(*s, p, "\xcd\xca\x10"sv)) return;
  const int opcode = byte(*s, p + 5);
  if (s->paper_number < 0 && room(*s, p, 40) && opcode == 0x18 && byte(*s, p + 7) == 0x01 &&
      at(*s, p + 10, "\xff\xff"sv) && byte(*s, p + 26) == 0xfe && byte(*s, p + 34) == 0xfe) {
    s->paper_number = byte(*s, p + 36);
    LOG_DEV("Found paper size %d at %" PRIu64, s->paper_number, p);
  }
  const bool settings_tail = zero_or_ff(byte(*s, p + 10)) && zero_or_ff(byte(*s, p + 11));
  if (opcode == 0x12 && byte(*s, p + 9) == 0x06 && settings_tail && at(*s, p + 20, "\x01\x13"sv)) {
    s->impression_1 = decimal_clamp<std::int32_t>(scan_be32_at(s->d, p + 22).value_or(0));
    LOG_DEBUG("Found (impression 1) %d pages at pos: %" PRIu64, s->impression_1, p);
  }
  if (opcode == 0x12 && settings_tail && at(*s, p + 20, "\x07\xd4"sv)) {
    s->impression_2 = scan_be16_at(s->d, p + 22).value_or(0);
    LOG_DEBUG("Found (impression 2) %d pages at pos: %" PRIu64, s->impression_2, p);
  }
  if (opcode == 0x6b && byte(*s, p + 7) == 0x01 && at(*s, p + 10, "\xff\xff"sv)) {
    ++s->inline_copies;
    LOG_DEBUG("Found inline copy %d pages at pos: %" PRIu64, s->inline_copies, p);
  }
  if (at(*s, p, MF5700_END)) {
    ++s->mf5700;
    LOG_DEBUG("Found MF5700 page end at %" PRIu64, p);
  }
}

void model_page_ends(CanonUfrScan* s, std::uint64_t p) {
  const int b = byte(*s, p);
  if (b == 0x1b && room(*s, p, 10) && at(*s, p, IPF5100_END)) {
    ++s->ipf5100;
    LOG_DEBUG("Found IPF5100 page end at %" PRIu64, p);
  } else if (b == 0x03 && room(*s, p, 10) && at(*s, p, IR5075_END)) {
    ++s->ir5075;
    LOG_DEBUG("Found iR5075 page end at %" PRIu64, p);
  } else if (b == 0x03 && at(*s, p, LBP8730_END)) {
    ++s->lbp8730;
  } else if (b == 0xcb && p >= 1 && room(*s, p - 1, 10) && at(*s, p - 1, LBP9250_END)) {
    ++s->lbp9250;
    LOG_DEBUG("Found pattern_lbp_9250 page end at %" PRIu64, p - 1);
  }
}

// ESC * v ... W: the PCL5 configure-image-data header of an embedded page.
void pcl5_image_header(CanonUfrScan* s, std::uint64_t p) {
  if (!room(*s, p, 20) || !at(*s, p, "\x1b\x2a\x76"sv)) return;
  if (!s->pcl5_gray_header && at(*s, p + 3, "\x31\x30\x57\x02"sv) &&
      at(*s, p + 9, PCL5_GRAY_TAIL)) {
    s->pcl5_gray_header = true;
    LOG_DEBUG("Found PCL5 grayscale image header in UFR at position: %" PRIu64, p);
  } else if (at(*s, p + 3, "\x36\x57\x02"sv) && at(*s, p + 8, "\x08\x08\x08"sv)) {
    s->pcl5_color_header = true;
    LOG_DEBUG("Found PCL5 color image header in UFR at position: %" PRIu64, p);
  }
}

}  // namespace

std::uint64_t canonufr_step(CanonUfrScan* s, std::uint64_t p) {
  if (!STARTS.contains(s->d[p])) return PAIRS.next(s->d.data(), s->d.size(), p);
  switch (byte(*s, p)) {
    case '[':
      lips_bracket(s, p);
      break;
    case 0xcd:
      cpca_record(s, p);
      break;
    case '@':
      if (room(*s, p, 5) && at(*s, p, "@PJL ")) {
        if (!s->pjl_seen) LOG_DEBUG("Found PJL header at %" PRIu64, p);
        s->pjl_seen = true;
      }
      break;
    case 0x7d:
      if (room(*s, p, 6) && at(*s, p, LIPS_ALTERNATE_PAPER)) {
        s->lips_alternate_paper = byte(*s, p + 5);
        LOG_DEBUG("Found Found paper size (LIPS alternate)=%d at position: %" PRIu64,
                  s->lips_alternate_paper, p);
      }
      break;
    default:
      settings(s, p);
      model_page_ends(s, p);
      if (byte(*s, p) == 0x1b) pcl5_image_header(s, p);
      break;
  }
  // Straight on to the next byte a test can begin at.
  return PAIRS.next(s->d.data(), s->d.size(), p + 1);
}
