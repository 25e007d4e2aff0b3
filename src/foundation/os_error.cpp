#include "foundation/os_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/util.h"

int os_get_last_error() { return errno; }

char* os_get_system_error_message(int error, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return buffer;
  char scratch[OS_ERROR_TEXT_SIZE];
  // The GNU strerror_r may return a static text instead of filling scratch.
  const char* text = strerror_r(error, scratch, sizeof scratch);
  return util_safe_strncpy(buffer, text, size);
}

char* os_format_system_error_message(char* out, std::size_t size, const char* message,
                                     int error) {
  if (out == nullptr || size == 0) return out;
  char text[OS_ERROR_TEXT_SIZE];
  os_get_system_error_message(error, text, sizeof text);
  const char* shown = message != nullptr ? message : "";
  if (text[0] == '\0') {
    std::snprintf(out, size, "%s - Error: %d", shown, error);
  } else {
    std::snprintf(out, size, "%s - %s (Error: %d)", shown, text, error);
  }
  return out;
}
