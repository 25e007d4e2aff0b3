// The colour-operator tests of the PostScript detector: the colour-setting
// operators of the drivers it knows, each with the numbers in front of it.
// Components written as the same text are gray; the CMYK operators follow
// their own rule (saturated black, nearly equal colours).
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <span>

#include "analysis/ps_color_internal.h"
#include "foundation/ascii.h"
#include "foundation/log.h"

namespace {

using ull = unsigned long long;

constexpr std::uint64_t WINDOW = 50;
constexpr double CMY_STEP = 1.0 / 510.0;
constexpr std::uint64_t INVISIBLE_MIN_FOLLOWING = 500;

// One of the operator names stands at the position as a whole word (the
// cheap check before a sliding pattern that ends in the same names).
bool operator_at(const PsAt& at, std::initializer_list<std::string_view> names, bool caseless) {
  for (std::string_view name : names) {
    if (!(caseless ? at.looking_at_caseless(name) : at.looking_at(name))) continue;
    if (at.remaining() == name.size()) return true;
    const std::uint8_t next = at.pos[name.size()];
    if (!ascii_is_alnum(next) && next != '_') return true;
  }
  return false;
}

bool after_white(const PsAt& at) { return at.offset() > 0 && ascii_is_space(at.pos[-1]); }

// "d/r/setrgbcolor" drivers write "r g b r".
void test_dr_color(const PsAt& at) {
  if (at.color->is_dr_setrgbcolor == 0 || !ascii_is_digit(*at.pos) || at.remaining() <= WINDOW)
    return;
  PsMatch m;
  if (!at.match(PsRe::DR_COLOR, WINDOW, &m)) return;
  if (groups_differ(m)) {
    LOG_DEBUG("Found color in SCOL at %llu, has_color_on_page", static_cast<ull>(at.offset()));
    at.mark();
  }
  at.skip_past(m);
}

void test_scol(const PsAt& at) {
  if (!(at.looking_at_caseless("scol") || at.looking_at_caseless("setcolor")) || !after_white(at) ||
      at.remaining() <= WINDOW || at.offset() <= WINDOW)
    return;
  const std::uint64_t n = number_run_before(at);
  if (n <= 7) return;
  PsMatch m;
  const std::uint8_t* from = at.pos - n;
  if (!ps_match(PsRe::SCOL, from, std::min<std::uint64_t>(n + 8, at.end - from), &m) ||
      !groups_differ(m))
    return;
  if (static_cast<std::uint64_t>(at.end - m.after()) > INVISIBLE_MIN_FOLLOWING &&
      is_invisible_text_color(at, m.after())) {
    LOG_DEBUG("Ignoring whitespace at offset=%llu", static_cast<ull>(at.offset()));
    return;
  }
  LOG_DEBUG("Found color in SCOL at offset=%llu, has_color_on_page", static_cast<ull>(at.offset()));
  at.mark();
}

// Sliding tests of three numbers before an operator: colour when the three
// texts differ.
bool sliding_three(const PsAt& at, PsRe id, std::uint64_t min_run, std::uint64_t reach,
                   PsMatch* m) {
  if (at.offset() <= WINDOW) return false;
  const std::uint64_t n = number_run_before(at);
  return n > min_run && sliding_match(at, id, n, reach, m);
}

void test_colr(const PsAt& at) {
  if (!operator_at(at, {"colr"}, false) || at.remaining() <= WINDOW) return;
  PsMatch m;
  if (sliding_three(at, PsRe::COLR, 5, WINDOW, &m) && groups_differ(m)) {
    LOG_DEBUG("Found color in colr at offset=%llu, has_color_on_page", static_cast<ull>(at.offset()));
    at.mark();
  }
}

void test_binary_scol(const PsAt& at) {
  if (*at.pos != 0x8B || at.remaining() <= WINDOW) return;
  PsMatch m;
  if (!at.match(PsRe::BINARY_SCOL, WINDOW, &m)) return;
  const std::uint8_t* v = at.pos;
  const bool colour = std::memcmp(v + 1, v + 6, 4) != 0 || std::memcmp(v + 6, v + 11, 4) != 0;
  if (colour && !(at.remaining() > 475 && is_invisible_text_color(at, at.pos + 25))) {
    LOG_DEBUG("Found color in SCOL at %llu, has_color_on_page", static_cast<ull>(at.offset()));
    at.mark();
    at.skip_to(at.pos + 6);
    return;
  }
  if (colour) LOG_DEBUG("Ignoring whitespace at offset=%llu", static_cast<ull>(at.offset()));
  at.skip_to(at.pos + 25);
}

void test_scl(const PsAt& at) {
  if (!operator_at(at, {"scl", "setcolor", "sc"}, true) || at.remaining() <= WINDOW) return;
  PsMatch m;
  if (sliding_three(at, PsRe::SCL, 5, WINDOW, &m) && groups_differ(m)) {
    LOG_DEBUG("Found color in scl at %llu, has_color_on_page", static_cast<ull>(at.offset()));
    at.mark();
  }
}

void test_device_rgb(const PsAt& at) {
  if (!at.looking_at_caseless("[/DeviceRGB") || at.remaining() <= WINDOW) return;
  PsMatch m;
  if (!at.match(PsRe::DEVICE_RGB_SC, WINDOW, &m)) return;
  if (groups_differ(m)) {
    LOG_DEBUG("Found color in Adobe text found at: offset=%llu, has_color_on_page",
              static_cast<ull>(at.offset()));
    at.mark();
  }
  at.skip_past(m);
}

void test_cmyk(const PsAt& at) {
  if (!operator_at(at, {"cmyk", "setcmykcolor"}, false)) return;
  PsMatch m;
  if (!sliding_three(at, PsRe::CMYK, 5, WINDOW, &m)) return;
  const double c = ps_number(m.text(1));
  const double mg = ps_number(m.text(2));
  const double y = ps_number(m.text(3));
  const double k = ps_number(m.text(4));
  LOG_DEV("Found CMYK(%f, %f, %f, %f) at offset=%llu, checking for color...", c, mg, y, k,
          static_cast<ull>(at.offset()));
  if (cmyk_is_colour(at, c, mg, y, k)) {
    LOG_DEBUG("Found color CMYK: is color. offset=%llu has_color_on_page",
              static_cast<ull>(at.offset()));
    at.mark();
  }
}

void test_device_cmyk(const PsAt& at) {
  if (!at.looking_at_caseless("[/DeviceCMYK") || at.remaining() <= WINDOW) return;
  PsMatch m;
  if (!at.match(PsRe::DEVICE_CMYK_SC, WINDOW, &m)) return;
  const double c = ps_number(m.text(1));
  const double mg = ps_number(m.text(2));
  const double y = ps_number(m.text(3));
  const bool some = c > CMY_STEP || mg > CMY_STEP || y > CMY_STEP;
  const bool apart = std::abs(c - mg) > CMY_STEP || std::abs(mg - y) > CMY_STEP ||
                     std::abs(c - y) > CMY_STEP;
  if (some && apart) {
    LOG_DEBUG("Found color in sc cmyk at:offset=%llu, cmy=%.03f,%.03f,%.03f, has_color_on_page",
              static_cast<ull>(at.offset()), c, mg, y);
    at.mark();
  }
  at.skip_past(m);
}

void test_rgb_vector(const PsAt& at) {
  if (!operator_at(at, {"SC", "setrbgcolor", "rgb", "setrgbcolor"}, true)) return;
  PsMatch m;
  if (!sliding_three(at, PsRe::RGB_VECTOR, 5, WINDOW, &m)) return;
  if (groups_differ(m)) {
    LOG_DEBUG("Found color vector found at: offset=%llu (%f %f %f) '%.*s' has_color_on_page",
              static_cast<ull>(at.offset()), ps_number(m.text(1)), ps_number(m.text(2)),
              ps_number(m.text(3)), static_cast<int>(m.length()),
              reinterpret_cast<const char*>(m.at(0)));
    at.mark();
  }
  at.skip_past(m);
}

void test_bracket_sc(const PsAt& at) {
  if (!at.looking_at_caseless("sc") || at.offset() <= 40) return;
  const std::uint8_t before = at.pos[-1];
  if (before != ']' && before != ' ') return;
  const std::uint8_t* open = nullptr;
  for (const std::uint8_t* q = at.pos - 1; q >= at.pos - 40; --q) {
    if (*q == '[') {
      open = q;
      break;
    }
  }
  if (open == nullptr) return;
  PsMatch m;
  const std::uint64_t reach = static_cast<std::uint64_t>(at.pos - open) + at.room(4);
  if (!ps_match(PsRe::BRACKET_SC, open, reach, &m) || !groups_differ(m)) return;
  LOG_DEBUG("Found color vector at: offset=%llu (%f %f %f) has_color_on_page",
            static_cast<ull>(at.offset()), ps_number(m.text(1)), ps_number(m.text(2)),
            ps_number(m.text(3)));
  at.mark();
  at.skip_to(at.pos + 1);
}

void test_rg(const PsAt& at) {
  if (!operator_at(at, {"rg"}, false) || at.offset() <= WINDOW || at.remaining() <= 6) return;
  const std::uint64_t n = number_run_before(at);
  PsMatch m;
  if (n <= 5 || !sliding_match(at, PsRe::RG, n, 6, &m) || !groups_differ(m)) return;
  LOG_DEBUG("Found 'rg' color vector '%.*s' at: offset=%llu (r=%f g=%f b=%f) has_color_on_page",
            static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)),
            static_cast<ull>(at.offset()), ps_number(m.text(1)), ps_number(m.text(2)),
            ps_number(m.text(3)));
  at.mark();
}

void test_create_rgb(const PsAt& at) {
  if (!at.looking_at("create_r") || !after_white(at) || at.offset() <= WINDOW ||
      at.remaining() <= 40)
    return;
  const std::uint64_t n = number_run_before(at);
  if (n <= 6) return;
  const std::uint8_t* from = at.pos - (n - 1);
  PsMatch m;
  if (!ps_match(PsRe::CREATE_RGB_COLOR, from, std::min<std::uint64_t>(n + 39, at.end - from), &m))
    return;
  const double r = ps_number(m.text(1));
  const double g = ps_number(m.text(2));
  const double b = ps_number(m.text(3));
  if (r != g || g != b) {
    LOG_DEBUG("Found re_create_rgb_color '%.*s' at: offset=%llu (r=%f g=%f b=%f) has_color_on_page",
              static_cast<int>(m.length()), reinterpret_cast<const char*>(m.at(0)),
              static_cast<ull>(at.offset()), r, g, b);
    at.mark();
  }
  at.skip_past(m);
}

// Each test is guarded by its own bytes; the order is the detector's. Most
// operators follow their operands: their tests need a number, a blank or a
// bracket right before the position, and are passed over without one (two
// letters such as "sc" stand inside many words of a prolog).
struct OperatorTest {
  void (*test)(const PsAt&);
  bool after_operands;
};

bool run_operator_tests(const PsAt& at, std::span<const OperatorTest> tests) {
  const bool operands = number_run_before(at) != 0;
  for (const OperatorTest& t : tests) {
    if (!at.active()) return false;
    if (operands || !t.after_operands) t.test(at);
  }
  return true;
}

}  // namespace

bool ps_color_test_operators(const PsAt& at) {
  static constexpr OperatorTest FIRST[] = {
      {test_dr_color, false}, {test_scol, true}, {test_colr, true}, {test_binary_scol, false}, {test_scl, true}};
  static constexpr OperatorTest SECOND[] = {{test_device_rgb, false}, {test_cmyk, true},      {test_device_cmyk, false},
                                            {test_rgb_vector, true},  {test_bracket_sc, true}, {test_rg, true},
                                            {test_create_rgb, true}};
  if (!run_operator_tests(at, FIRST)) return false;
  if (at.active() && ps_image_test_colorimage(at)) return true;
  (void)run_operator_tests(at, SECOND);
  return false;
}

