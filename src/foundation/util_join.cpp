// Joining texts with a separator.
#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/util.h"

char* util_join(const char* const* texts, int count, const char* separator) {
  if (count < 0 || (texts == nullptr && count > 0)) return nullptr;
  const std::size_t separator_length = separator == nullptr ? 0 : std::strlen(separator);
  std::size_t total = 1;
  for (int i = 0; i < count; ++i) {
    total += (texts[i] == nullptr ? 0 : std::strlen(texts[i])) + (i > 0 ? separator_length : 0);
  }
  auto* joined = static_cast<char*>(std::malloc(total));
  if (joined == nullptr) {
    LOG_ERROR("malloc failed");
    return nullptr;
  }
  char* at = joined;
  for (int i = 0; i < count; ++i) {
    if (i > 0 && separator_length > 0) {
      at = static_cast<char*>(std::memcpy(at, separator, separator_length)) + separator_length;
    }
    if (texts[i] == nullptr) continue;
    const std::size_t length = std::strlen(texts[i]);
    at = static_cast<char*>(std::memcpy(at, texts[i], length)) + length;
  }
  *at = 0;
  return joined;
}
