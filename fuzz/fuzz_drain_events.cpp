// Scans arbitrary drainEvents replies; every event handed out must be a
// non-empty type of word characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "server/events_manager.h"

namespace {

void check_event(const char* type, const char* value) {
  if (type == nullptr || value == nullptr || type[0] == '\0') std::abort();
  for (const char* p = type; *p != '\0'; ++p) {
    const char c = *p;
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') || c == '_';
    if (!word) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  char* reply = static_cast<char*>(std::malloc(size + 1));
  if (reply == nullptr) return 0;
  std::memcpy(reply, data, size);
  reply[size] = '\0';
  (void)events_scan_reply(reply, check_event);
  std::free(reply);
  return 0;
}
