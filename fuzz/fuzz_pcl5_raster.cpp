// The PCL5 colour detector's raster decoders over arbitrary row data. The
// input's first bytes choose the palette (none, indexed, direct, KCMY
// planes), the compression method and the raster width; the rest is cut
// into raster rows of the lengths its bytes give. Each job is analysed with
// colour detection: every decoder stays inside its row and its seed row.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/pcl5.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {

using namespace std::string_view_literals;

// Each with its length: the palettes hold zero bytes.
constexpr std::string_view PALETTES[] = {
    ""sv,                                  // the default monochrome palette
    "\x1b*v6W\x00\x01\x08\x08\x08\x08"sv,  // indexed by pixel, 8 bits
    "\x1b*v6W\x00\x01\x02\x08\x08\x08"sv,  // indexed by pixel, 2 bits
    "\x1b*v6W\x00\x03\x08\x08\x08\x08"sv,  // direct by pixel
    "\x1b*r-4U"sv,                         // Simple Colour KCMY planes
    "\x1b*v6W\x00\x00\x03\x08\x08\x08"sv,  // indexed by plane
};
const int METHODS[] = {0, 1, 2, 3, 5, 9};
const char* const WIDTHS[] = {"", "\x1b*r1S", "\x1b*r40S", "\x1b*r5000S", "\x1b*r262144S"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t palette = data[0] % 6;
  std::string job = "\x1b" "E";
  job.append(PALETTES[palette]);
  job += WIDTHS[data[2] % 5];
  job += "\x1b*r1A\x1b*b" + std::to_string(METHODS[data[1] % 6]) + "M";
  // Rows: a length byte, then that many bytes; planes are V until the
  // length byte's top bit says the row ends.
  std::size_t i = 3;
  while (i < size) {
    const std::uint8_t head = data[i++];
    const std::size_t n = std::min<std::size_t>(head & 0x7f, size - i);
    job += "\x1b*b" + std::to_string(n) + ((head & 0x80) != 0 ? "W" : "V");
    job.append(reinterpret_cast<const char*>(data + i), n);
    i += n;
  }
  job += "\x1b*rC\f";
  const std::vector<std::uint8_t> input(job.begin(), job.end());
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (pcl5_process_job(input.data(), input.size(), 1, ja.get()) != 0) std::abort();
  if (ja->pages != 1) std::abort();
  return 0;
}
