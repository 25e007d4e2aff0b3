// Configuration and environment-version lines: split and applied to a
// context, in both value modes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "foundation/config.h"
#include "foundation/config_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exact-size copy so that a one-byte over-read is caught.
  std::unique_ptr<char[]> bytes(new char[size]);
  if (size > 0) std::memcpy(bytes.get(), data, size);
  const std::string_view line(bytes.get(), size);
  (void)config_split_line(line, false);
  (void)config_split_line(line, true);
  int number = 0;
  (void)config_parse_int(line, &number);

  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  static SessionContext ctx;
  config_init_session_defaults(&ctx);
  config_parse_line(text.get(), 1, &ctx);
  return 0;
}
