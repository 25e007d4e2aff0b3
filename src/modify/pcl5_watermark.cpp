// The PCL5 watermark macro (see pcl5_watermark.h).
#include "modify/pcl5_watermark.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "foundation/ascii.h"
#include "foundation/log.h"
#include "foundation/watermark.h"

namespace {

constexpr char ESC = '\x1b';
constexpr int COPIES = 5;
constexpr int DX_OFFSET[COPIES] = {0, -1, -1, 1, 1};
constexpr int DY_OFFSET[COPIES] = {0, -1, 1, -1, 1};
constexpr double COPY_STEP_MM = 0.05;
// The lightest and the densest of the patterns.
constexpr int PATTERN_LIGHTEST = 0;
constexpr int PATTERN_DENSEST = 4;
constexpr int PATTERN_SIZE = 20;
// Header (format 20, pixel encoding 1, 8 x 8 pixels at 600 dpi), then rows.
constexpr unsigned char PATTERNS[5][PATTERN_SIZE] = {
    {0x14, 0, 1, 0, 0, 8, 0, 8, 2, 0x58, 2, 0x58, 0x08, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00},
    {0x14, 0, 1, 0, 0, 8, 0, 8, 2, 0x58, 2, 0x58, 0x8A, 0x00, 0x22, 0x00, 0x88, 0x00, 0x22, 0x00},
    {0x14, 0, 1, 0, 0, 8, 0, 8, 2, 0x58, 2, 0x58, 0xAA, 0x00, 0x2A, 0x00, 0xAA, 0x00, 0xA2, 0x00},
    {0x14, 0, 1, 0, 0, 8, 0, 8, 2, 0x58, 2, 0x58, 0xAA, 0x11, 0xAA, 0x45, 0xAA, 0x11, 0xAA, 0x55},
    {0x14, 0, 1, 0, 0, 8, 0, 8, 2, 0x58, 2, 0x58, 0xFF, 0x55, 0xFF, 0xDD, 0xFF, 0x55, 0xFF, 0xDD},
};

void put_esc(std::string* out, const char* format, ...) SW_PRINTF(2, 3);
void put_esc(std::string* out, const char* format, ...) {
  char text[64];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  out->push_back(ESC);
  out->append(text, static_cast<std::size_t>(n > 0 ? std::min<int>(n, sizeof text - 1) : 0));
}

int decipoints(double mm) {
  const double d = std::floor(mm / 25.4 * 720.0 + 0.5);
  return d < 0 ? 0 : static_cast<int>(std::min(d, 1e6));
}

int pattern_of_copy(int copy, int gray_level) {
  if (copy > 0) return gray_level == WATERMARK_GRAY_OUTLINE ? PATTERN_DENSEST : PATTERN_LIGHTEST;
  return gray_level >= 0 && gray_level <= 4 ? PATTERN_DENSEST - gray_level : 1;
}

void put_pattern(std::string* out, const Pcl5Watermark& w, int pattern) {
  const int id = w.pattern_base + pattern;
  put_esc(out, "*c%dG", id);
  put_esc(out, "*v1O");
  put_esc(out, "*c%dW", PATTERN_SIZE);
  out->append(reinterpret_cast<const char*>(PATTERNS[pattern]), PATTERN_SIZE);
  put_esc(out, "*c%dG", id);
  put_esc(out, "*v4T");
}

std::string body(const Pcl5Watermark& w, const std::string& text) {
  double xs[COPIES];
  double ys[COPIES];
  for (int i = 0; i < COPIES; ++i) {
    xs[i] = w.x_mm + (1 + DX_OFFSET[i]) * COPY_STEP_MM;
    ys[i] = w.y_mm + (1 + DY_OFFSET[i]) * COPY_STEP_MM;
  }
  const double min_x = *std::min_element(xs, xs + COPIES);
  const double min_y = *std::min_element(ys, ys + COPIES);
  for (int i = 0; i < COPIES; ++i) {
    if (min_x < 0) xs[i] -= min_x;
    if (min_y < 0) ys[i] -= min_y;
  }
  std::string out;
  put_esc(&out, "(s%.2fH", 120.0 / w.font_size);
  for (int copy = w.no_gray_level ? 0 : COPIES - 1; copy >= 0; --copy) {
    if (!w.no_gray_level) put_pattern(&out, w, pattern_of_copy(copy, w.gray_level));
    put_esc(&out, "&a%dh%dV", decipoints(xs[copy]), decipoints(ys[copy]));
    out += text;
  }
  return out;
}

}  // namespace

std::string pcl5_printable_text(std::string_view text) {
  std::string out;
  for (char c : text) {
    const std::uint8_t b = ascii_byte(c);
    if (b >= 0x20 && b != 0x7f) out.push_back(c);
  }
  return out;
}

std::string make_watermark_pcl5(const Pcl5Watermark& w) {
  std::string macro;
  put_esc(&macro, "&f%dy0X", w.macro_id);
  put_esc(&macro, "&f0S");
  macro += body(w, pcl5_printable_text(w.text));
  put_esc(&macro, "&f1S");
  put_esc(&macro, "&f1X");
  put_esc(&macro, "&f%dy%dX", w.macro_id, w.macro_is_temp ? 9 : 10);
  put_esc(&macro, "&f4X");
  return macro;
}
