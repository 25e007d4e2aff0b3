// What the application server's decision asks to change in a job's print
// data: the watermark and the forced attributes (watermark_params). The
// server client decodes it from the decision (server/rpc_process_job.h); the
// spool-file modification and the job flow read it. It lives here, below
// both, so that the modification needs nothing of the server client.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the watermark text (terminator included).
inline constexpr std::size_t WATERMARK_TEXT_SIZE = 256;

// Watermark gray levels.
enum WatermarkGrayLevel : int {
  WATERMARK_GRAY_BLACK = 0,
  WATERMARK_GRAY_DARK = 1,
  WATERMARK_GRAY_MEDIUM = 2,
  WATERMARK_GRAY_LIGHT = 3,
  WATERMARK_GRAY_OUTLINE = 4,
};

// Watermark positions.
enum WatermarkPosition : int {
  WATERMARK_POSITION_BOTTOM = 0,
  WATERMARK_POSITION_TOP = 1,
  WATERMARK_POSITION_CUSTOM = 2,
};

// What the server asks to change in the print data.
struct watermark_params {
  char text[WATERMARK_TEXT_SIZE];  // empty: no watermark
  double font_size;                // points, at least 5 when given
  std::int32_t gray_level;         // WatermarkGrayLevel
  std::int32_t position;           // WatermarkPosition
  double x;                        // points
  double y;                        // points
  std::int32_t default_page_a4;    // PCL XL page without size: A4 when set, else Letter
  std::int32_t force_duplex;       // digit of the answer
  std::int32_t force_grayscale;    // digit of the answer
  std::int32_t copies;             // 0: not asked
  std::int32_t gzip;               // compression method: 1 to send gzip-compressed
};
