// Parameters of "doNimage" images, by the image-procedure set the job
// defined (its /imageprocarray).
#include "analysis/ps_donimage.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/ps_color_internal.h"
#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"

namespace {

constexpr std::uint64_t PARAMS_BACK = 92;
constexpr std::uint64_t PARAMS_WINDOW = 100;
constexpr std::uint64_t BINARY_WALK = 195;
constexpr std::uint8_t BINARY_INT32 = 0x85;
constexpr std::uint8_t BINARY_BOOL = 0x8D;
constexpr int BINARY_MIN_TOKENS = 6;

int group_int(const PsMatch& m, int g) {
  int value = 0;
  return decimal_parse_whole(m.text(g), &value) ? value : 0;
}

void set_markers(PSImageParams* p, bool ascii85) {
  std::strncpy(p->start_marker, "doNimage", PS_IMAGE_MARKER_SIZE - 1);
  std::strncpy(p->end_marker, ascii85 ? "~>" : "endimage", PS_IMAGE_MARKER_SIZE - 1);
}

bool bits_usable(int bits) { return bits == 8 || bits == 24 || bits == 32; }

// The parameters before the operator, rebuilt as text from binary tokens
// (32-bit integers after 0x85, low byte first; booleans after 0x8D); empty
// when fewer than six tokens were found.
std::string rebuild_binary_tokens(const PsAt& at) {
  const std::uint8_t* lo = at.start + 5;
  const std::uint8_t* p = at.pos - 1;
  while (p > lo && ascii_is_space(*p)) --p;
  if (p > lo && *p == 'X') --p;
  // Pieces of text found walking backwards, joined in reading order below.
  std::vector<std::string> pieces;
  int tokens = 0;
  for (std::uint64_t walked = 0; p >= lo && walked < BINARY_WALK;) {
    const std::uint8_t c = *p;
    if (ascii_is_space(c) || std::strchr("()[]{}", c) != nullptr) {
      pieces.emplace_back(1, static_cast<char>(c));
      --p;
      ++walked;
    } else if (p[-4] == BINARY_INT32) {
      const std::uint32_t v = static_cast<std::uint32_t>(p[-3]) | static_cast<std::uint32_t>(p[-2]) << 8 |
                              static_cast<std::uint32_t>(p[-1]) << 16 | static_cast<std::uint32_t>(c) << 24;
      char number[16];
      std::snprintf(number, sizeof number, " %d ", static_cast<int>(static_cast<std::int32_t>(v)));
      pieces.emplace_back(number);
      ++tokens;
      p -= 5;
      walked += 5;
    } else if (p[-1] == BINARY_BOOL) {
      pieces.emplace_back(c != 0 ? " T " : " F ");
      ++tokens;
      p -= 2;
      walked += 2;
    } else {
      break;
    }
  }
  if (tokens < BINARY_MIN_TOKENS) return {};
  std::string text;
  for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) text += *it;
  LOG_DEBUG(" Using binary tokens for re_doNimage_1: offset=%llu,bintokbuf='%s'",
            static_cast<unsigned long long>(at.offset()), text.c_str());
  text.append("X doNimage");
  return text;
}

void test_image_mask(const PsAt& at, int bits, std::string_view mask) {
  PsMatch m;
  const auto* text = reinterpret_cast<const std::uint8_t*>(mask.data());
  if (bits == 24 && ps_match(PsRe::THREE_NUMBERS, text, mask.size(), &m) && groups_differ(m)) {
    LOG_DEV(" colorful RGB imagemask at offset=%llu, has_color_on_page",
            static_cast<unsigned long long>(at.offset()));
    at.mark();
  } else if (bits == 32 && ps_match(PsRe::FOUR_NUMBERS, text, mask.size(), &m)) {
    const double c = ps_number(m.text(1));
    const double mg = ps_number(m.text(2));
    const double y = ps_number(m.text(3));
    if (ps_number(m.text(4)) <= 1 && (c > 0 || mg > 0 || y > 0) && !(c == mg && mg == y)) {
      LOG_DEV(" colorful CMYK imagemask at offset=%llu, has_color_on_page",
              static_cast<unsigned long long>(at.offset()));
      at.mark();
    }
  }
}

bool params_type1(const PsAt& at, PSImageParams* params) {
  const std::string rebuilt = rebuild_binary_tokens(at);
  PsMatch m;
  bool matched = false;
  if (!rebuilt.empty()) {
    matched = ps_match(PsRe::DONIMAGE_1, reinterpret_cast<const std::uint8_t*>(rebuilt.data()),
                       rebuilt.size(), &m);
  } else {
    const std::uint8_t* from = at.back(PARAMS_BACK);
    matched = ps_match(PsRe::DONIMAGE_1, from, std::min<std::uint64_t>(PARAMS_WINDOW, at.end - from), &m);
  }
  if (!matched) return false;
  const int bits = group_int(m, 1);
  const int proc = group_int(m, 2);
  const std::string_view mask = m.text(3);
  LOG_DEV(" Matched re_doNimage_1: offset=%llu,bpc=%d,imageproc=%d,mask_color=[%.*s]",
          static_cast<unsigned long long>(at.offset()), bits, proc, static_cast<int>(mask.size()),
          mask.data());
  if (!mask.empty() && (mask[0] == 'T' || mask[0] == 't')) {
    LOG_DEV(" imagemask");
    test_image_mask(at, bits, mask);
    return false;
  }
  if (!bits_usable(bits)) LOG_DEV(" get_doNimage1_params: Cannot decode bpc=%d", bits);
  if (proc > 5) LOG_DEV(" get_doNimage1_params: Cannot decode imageproc=%d", proc);
  if (!bits_usable(bits) || proc > 5 || bits == 8 || proc != 3) return false;
  params->num_components = bits / 8;
  params->is_rle = 1;
  params->is_ascii85 = 1;
  set_markers(params, true);
  return true;
}

bool params_type2(const PsAt& at, PSImageParams* params) {
  const std::uint8_t* from = at.back(PARAMS_BACK);
  PsMatch m;
  if (!ps_match(PsRe::DONIMAGE_2, from, std::min<std::uint64_t>(PARAMS_WINDOW, at.end - from), &m))
    return false;
  const int bits = group_int(m, 1);
  const int proc = group_int(m, 4);
  const std::string smooth(m.text(2));
  const std::string polarity(m.text(3));
  LOG_DEV(" Matched re_doNimage_2: offset=%llu,bpc=%d,smooth='%s',polarity='%s',imageproc=%d",
          static_cast<unsigned long long>(at.offset()), bits, smooth.c_str(), polarity.c_str(), proc);
  if (is_ps_bool(smooth.c_str()) == 0 || is_ps_bool(polarity.c_str()) == 0) return false;
  if (!bits_usable(bits)) {
    LOG_DEV(" get_doNimage1_params: Cannot decode bpc=%d", bits);
    return false;
  }
  if (proc > 5 || proc < 3) {
    if (proc > 5) LOG_DEV(" get_doNimage2_params: Cannot decode imageproc=%d", proc);
    return false;
  }
  params->num_components = bits / 8;
  params->is_ascii85 = 1;
  params->is_rle = proc == 3 ? 1 : 0;
  params->is_jpeg = proc == 4 ? 1 : 0;
  params->is_raw = proc == 5 ? 1 : 0;
  set_markers(params, true);
  return true;
}

bool params_named(const PsAt& at, PSImageParams* params) {
  const std::uint8_t* from = at.back(PARAMS_BACK);
  PsMatch m;
  if (!ps_match(PsRe::DONIMAGE_3, from, std::min<std::uint64_t>(PARAMS_WINDOW, at.end - from), &m))
    return false;
  const int bits = group_int(m, 1);
  const std::string_view name = m.text(4);
  LOG_DEV(" Matched re_doNimage_3:offset=%llu,bpc=%d,procname='%.*s'",
          static_cast<unsigned long long>(at.offset()), bits, static_cast<int>(name.size()), name.data());
  if (!bits_usable(bits)) {
    LOG_DEV(" get_doNimage3_params: Cannot decode bpc=%d", bits);
    return false;
  }
  params->num_components = bits / 8;
  bool ascii85 = false;
  if (name == "/setup1asciiproc") {
    params->is_asciihex = 1;
  } else if (name == "/setup1binaryproc") {
    params->is_raw = 1;
  } else if (name == "/setup2asciiproc" || name == "/setup2binaryproc") {
    params->is_rle = 1;
    ascii85 = name == "/setup2asciiproc";
  } else if (name == "/setup3asciiproc" || name == "/setup3binaryproc") {
    params->is_lzw = 1;
    ascii85 = name == "/setup3asciiproc";
  } else {
    return false;
  }
  params->is_ascii85 = ascii85 ? 1 : 0;
  set_markers(params, ascii85);
  return true;
}

}  // namespace

bool donimage_params(const PsAt& at, PSImageParams* params) {
  LOG_DEBUG("doNimage type %d at offset %llu", at.color->donimage_procs,
            static_cast<unsigned long long>(at.offset()));
  if (at.color->donimage_procs == 1 && params_type1(at, params)) return true;
  if (at.color->donimage_procs == 2 && params_type2(at, params)) return true;
  return params_named(at, params);
}
