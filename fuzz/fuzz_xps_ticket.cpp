// XPS print tickets over arbitrary text (UTF-16 converted when marked): the
// element search stays inside the text and the value places point into it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/xps.h"
#include "scan/xps_zip.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {
void check_place(const XpsTicketPlace& place, std::size_t size) {
  if (place.offset > size || place.length > size - place.offset) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text;
  if (!xps_text_to_utf8(std::string_view(reinterpret_cast<const char*>(data), size), &text)) return 0;
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  XpsTicketInfo info;
  XpsTicketPlaces places;
  const int result = parse_print_ticket(text, XPS_SCOPE_JOB, ja.get(), &info, &places);
  if (result != 0 && result != 1) std::abort();
  if (info.pages_per_sheet < 1) std::abort();
  check_place(places.copies, text.size());
  check_place(places.duplex, text.size());
  check_place(places.color, text.size());
  return 0;
}
