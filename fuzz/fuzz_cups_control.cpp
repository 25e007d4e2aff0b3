// The CUPS control-file scan over arbitrary bytes, and the options-string
// readers over the same bytes as text.
#include <cstdint>
#include <cstring>
#include <memory>

#include "foundation/ja.h"
#include "job/cups_intake.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exact-size copy so that a one-byte over-read is caught.
  std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size]);
  if (size > 0) std::memcpy(bytes.get(), data, size);
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (!ja) return 0;
  ja->pages = 7;
  ja->color_pages = 9;
  (void)common_extract_cups_control_data(ja.get(), bytes.get(), size);

  std::unique_ptr<char[]> text(new char[size + 1]);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  char value[64];
  (void)common_extract_param_string(value, sizeof value, text.get(), "HostName", 1);
  (void)common_extract_valid_hostname(value, sizeof value, text.get());
  (void)common_extract_cups_options_info(ja.get(), text.get(), 1);
  return 0;
}
