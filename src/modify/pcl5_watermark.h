// The PCL5 watermark: a macro that prints the text five times (four copies
// a twentieth of a millimetre around the centre one, each filled with a
// user-defined gray pattern), defined once and run as an automatic overlay
// on every page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A macro longer than this is not inserted.
inline constexpr std::size_t PCL5_MACRO_MAX = 8192;

struct Pcl5Watermark {
  std::string_view text;  // control bytes are left out
  double font_size = 24;  // points
  int gray_level = 0;     // WatermarkGrayLevel
  double x_mm = 0;        // from the top-left corner
  double y_mm = 0;
  int macro_id = 22;
  bool macro_is_temp = false;
  int pattern_base = 0;        // the five patterns use ids base to base + 4
  bool no_gray_level = false;  // one copy, no patterns
};

// The text without its control bytes (they would be read as commands).
[[nodiscard]] std::string pcl5_printable_text(std::string_view text);
// The whole macro: definition, body, and the overlay that runs it.
[[nodiscard]] std::string make_watermark_pcl5(const Pcl5Watermark& w);
