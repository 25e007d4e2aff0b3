// What the colour tests of the PostScript detector share (not for other
// callers): the position record every test gets, bounded windows around the
// position, and the number helpers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "analysis/ps_color.h"
#include "analysis/ps_regex.h"

// One examined position of the buffer [start, end).
struct PsAt {
  PSColor* color;
  const std::uint8_t* start;
  const std::uint8_t* end;
  const std::uint8_t* pos;

  [[nodiscard]] std::uint64_t offset() const { return static_cast<std::uint64_t>(pos - start); }
  [[nodiscard]] std::uint64_t remaining() const { return static_cast<std::uint64_t>(end - pos); }
  // Bytes from the position, at most n.
  [[nodiscard]] std::uint64_t room(std::uint64_t n) const { return std::min(n, remaining()); }
  // The position n bytes back, clamped to the buffer start.
  [[nodiscard]] const std::uint8_t* back(std::uint64_t n) const {
    return pos - std::min(n, offset());
  }
  [[nodiscard]] bool looking_at(std::string_view text) const;
  [[nodiscard]] bool looking_at_caseless(std::string_view text) const;
  // The page may still be examined at this position.
  [[nodiscard]] bool active() const {
    return color->has_color_on_page == 0 && offset() >= color->buffer.skip;
  }
  // Runs an anchored or searched pattern on the n bytes from the position.
  bool match(PsRe id, std::uint64_t n, PsMatch* m = nullptr) const {
    return ps_match(id, pos, room(n), m);
  }
  // No test runs before `p` any more.
  void skip_to(const std::uint8_t* p) const;
  void skip_past(const PsMatch& m) const { skip_to(m.after()); }
  // A colour mark at `p`.
  void mark(const std::uint8_t* p) const { SetPageColoredFlag(color, p, start, end); }
  void mark() const { mark(pos); }
  // An image here whose samples cannot be decoded (`reason`: static text).
  void unjudged(const char* reason) const { SetPageUnjudgedFlag(color, pos, start, reason); }
};

// Bytes of the run of number characters (digits, ".", "-", "[", "]" and
// white space) that ends just before `pos`, looking back at most 50 bytes.
[[nodiscard]] std::uint64_t number_run_before(const PsAt& at);

// Tries the anchored pattern at each start from n bytes before the position
// onwards (up to the position), on the bytes up to `reach` past the
// position; the first match wins.
bool sliding_match(const PsAt& at, PsRe id, std::uint64_t n, std::uint64_t reach, PsMatch* m);

// The three numbers of groups 1 to 3 are not all equal.
[[nodiscard]] bool groups_differ(const PsMatch& m);
// A number of the print data (locale-free); 0 when none can be read.
[[nodiscard]] double ps_number(std::string_view text);

// The CMYK rule: colour unless the operator sits in AGM set-up code, a
// Brother non-printing show follows, black is saturated, all three colours
// are saturated or they are (nearly) equal.
[[nodiscard]] bool cmyk_is_colour(const PsAt& at, double c, double m, double y, double k);
// The invisible-text test from `p`: before the next "scol" only empty shows.
[[nodiscard]] bool is_invisible_text_color(const PsAt& at, const std::uint8_t* p);

// The tests of ps_color_ops.cpp, ps_color_pdf.cpp and ps_image_*.cpp. Each
// returns true when it ends the work at this position.
bool ps_color_test_operators(const PsAt& at);
bool ps_color_test_named_color(const PsAt& at);
bool ps_color_test_csa(const PsAt& at);
bool ps_color_test_pattern(const PsAt& at);
bool ps_color_test_pdf_stream(const PsAt& at);
// Image triggers, split as the detector runs them: before the colour
// operators, among them (colorimage), and after them.
bool ps_image_test_early(const PsAt& at);
bool ps_image_test_colorimage(const PsAt& at);
bool ps_image_test_palettes(const PsAt& at);
bool ps_image_test_assumed(const PsAt& at);
bool ps_image_test_pdf(const PsAt& at);
bool ps_pdftops_image(const PsAt& at);
bool ps_pdftops_inline_image(const PsAt& at);
// The palette image whose colour space pdftops set with the
// "setcolorspace" that ends just before `before` (white space between): 1
// colour when an entry of its hexadecimal DeviceRGB / DeviceCMYK palette is
// coloured, 0 when none is (or the base is DeviceGray), -1 for an /Indexed
// space not read here, PS_NOT_INDEXED when the space is not /Indexed or no
// "setcolorspace" ends there.
inline constexpr int PS_NOT_INDEXED = -3;
[[nodiscard]] int ps_pdftops_palette(const std::uint8_t* start, const std::uint8_t* before);
