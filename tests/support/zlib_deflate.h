// zlib's compress2 on a string, for tests that hand-make Flate streams
// (level 0 writes stored blocks, whose bytes stay readable as they are).
#pragma once

#include <zlib.h>

#include <string>
#include <string_view>

namespace sw_test {

// The zlib stream of `text` at `level`; empty when zlib fails.
inline std::string zlib_deflate(std::string_view text, int level) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(text.data()), text.size(), level) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

}  // namespace sw_test
