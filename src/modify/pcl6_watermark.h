// The PCL XL bytes of the watermark: a stream that draws the text (defined
// once per session, after BeginSession) and the operators that execute it
// (before each EndPage), and the data-item builders they are made of. All
// multi-byte values are little-endian: the planner only writes into streams
// whose header line binds them so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Name of the stream the watermark is drawn by.
inline constexpr std::string_view PXL_WATERMARK_STREAM = "Torvelle_Stream";

// Data-item builders (bytes appended to `out`).
void pxl_put_ubyte(std::string* out, int value);   // C0 and a byte (0-255)
void pxl_put_uint16(std::string* out, int value);  // C1 and a 16-bit value
void pxl_put_uint32(std::string* out,
                    std::uint32_t value);                    // C2 and a 32-bit value
void pxl_put_sint16(std::string* out, int value);            // C3 and a 16-bit value
void pxl_put_real32(std::string* out, float value);          // C5 and a 4-byte float
void pxl_put_real32_xy(std::string* out, float x, float y);  // D5 and two floats
void pxl_put_sint16_xy(std::string* out, int x,
                       int y);                  // D3 and two 16-bit values
void pxl_put_attr(std::string* out, int attr);  // F8 and the attribute
void pxl_put_ubyte_array(std::string* out, std::string_view bytes);
void pxl_put_uint16_array(std::string* out, int value, std::size_t count);

// What the watermark stream draws, in the units the stream sets (600 dots
// per inch).
struct PxlWatermarkText {
  std::string_view text;    // at most 255 bytes are drawn
  double font_dots = 0;     // character size
  double gray = 0;          // text gray value, 0 black to 1 white
  double outline_gray = 0;  // gray of the outline around the text
  int x_dots = 0;
  int y_dots = 0;
  std::string_view descriptor;  // stream header of the job, empty: the standard one
  int version = 0;
  int revision = 0;
};

// The stream definition inserted after BeginSession: OpenDataSource,
// BeginStream, ReadStream with the stream's bytes as embedded data,
// EndStream, CloseDataSource.
[[nodiscard]] std::string make_watermark_def(const PxlWatermarkText& w);
// The execution inserted before each EndPage: PushGS, SetPageDefaultCTM,
// SetClipToPage, ExecStream, PopGS.
[[nodiscard]] std::string make_watermark_exec();
