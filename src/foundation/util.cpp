// Bounded texts, comparisons and name operations.
#include "foundation/util.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/ascii.h"
#include "foundation/log.h"

namespace {

constexpr std::size_t FORMAT_START_SIZE = 1024;
// vsnprintf fails for reasons other than room (a bad wide character, a
// result above INT_MAX); doubling then never helps, so it stops here.
constexpr std::size_t FORMAT_MAX_DOUBLED_SIZE = std::size_t{64} << 20;

// ASCII case only (ascii_to_lower): these compare protocol names and keys,
// never locale text.
bool case_equal_n(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (ascii_to_lower(a[i]) != ascii_to_lower(b[i])) return false;
  }
  return true;
}

}  // namespace

int util_is_string_empty(const char* text) { return text == nullptr || text[0] == '\0'; }

char* util_safe_strncpy(char* target, const char* source, std::size_t size) {
  if (target == nullptr || size == 0) return target;
  const std::size_t length = source != nullptr ? strnlen(source, size - 1) : 0;
  if (length > 0) std::memcpy(target, source, length);
  target[length] = '\0';
  return target;
}

char* util_safe_strncat(char* target, const char* source, std::size_t size) {
  if (target == nullptr || size == 0) return target;
  const std::size_t used = strnlen(target, size);
  if (used >= size) {
    target[size - 1] = '\0';
    return target;
  }
  if (source == nullptr) return target;
  const std::size_t room = size - 1 - used;
  const std::size_t length = strnlen(source, room);
  std::memcpy(target + used, source, length);
  target[used + length] = '\0';
  return target;
}

int util_safe_vsnprintf(char** out, const char* format, va_list args) {
  if (out == nullptr) return 0;
  *out = nullptr;
  if (format == nullptr) return 0;
  std::size_t size = FORMAT_START_SIZE;
  char* buffer = static_cast<char*>(std::malloc(size));
  while (buffer != nullptr) {
    // Each attempt consumes its own copy: a va_list walked once is spent.
    va_list attempt;
    va_copy(attempt, args);
    const int result = std::vsnprintf(buffer, size, format, attempt);
    va_end(attempt);
    if (result >= 0 && static_cast<std::size_t>(result) < size) {
      *out = buffer;
      return 1;
    }
    if (result < 0 && size >= FORMAT_MAX_DOUBLED_SIZE) break;
    size = result >= 0 ? static_cast<std::size_t>(result) + 1 : size * 2;
    char* grown = static_cast<char*>(std::realloc(buffer, size));
    if (grown == nullptr) break;
    buffer = grown;
  }
  std::free(buffer);
  return 0;
}

int util_equal_str(const char* a, const char* b) {
  if (a == b) return 1;
  return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

int util_case_equal_str(const char* a, const char* b) {
  if (a == b) return 1;
  if (a == nullptr || b == nullptr) return 0;
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (ascii_to_lower(*a) != ascii_to_lower(*b)) return 0;
  }
  return *a == *b;
}

int util_strncase_equals(const char* a, const char* b, std::size_t n) {
  if (a == b) return 1;
  if (a == nullptr || b == nullptr) return 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (ascii_to_lower(a[i]) != ascii_to_lower(b[i])) return 0;
    if (a[i] == '\0') return 1;
  }
  return 1;
}

int util_equal_bytes(const void* a, const void* b, std::size_t n) {
  if (n == 0) return 1;
  if (a == nullptr || b == nullptr) return 0;
  return std::memcmp(a, b, n) == 0;
}

int util_equal_bytes_str(const void* buffer, const char* text) {
  if (buffer == nullptr || text == nullptr) {
    LOG_ERROR("util_equal_bytes_str should never be called with NULL arguments");
    return 0;
  }
  return std::memcmp(buffer, text, std::strlen(text)) == 0;
}

int util_case_equal_bytes_str(const void* buffer, const char* text) {
  if (buffer == nullptr || text == nullptr) {
    LOG_ERROR("util_equal_bytes_str should never be called with NULL arguments");
    return 0;
  }
  return case_equal_n(static_cast<const char*>(buffer), text, std::strlen(text));
}

int util_case_equal_bytes(const void* a, const void* b, std::size_t n) {
  if (n == 0) return 1;
  if (a == nullptr || b == nullptr) return 0;
  return case_equal_n(static_cast<const char*>(a), static_cast<const char*>(b), n);
}

void util_free(void* memory) { std::free(memory); }

char* util_new_text(const char* text, std::size_t length) {
  if (length == SIZE_MAX) return nullptr;
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

char* strlwr(char* text) {
  if (text == nullptr) return text;
  for (char* p = text; *p != '\0'; ++p) *p = ascii_to_lower(*p);
  return text;
}

char* strupr(char* text) {
  if (text == nullptr) return text;
  for (char* p = text; *p != '\0'; ++p) *p = ascii_to_upper(*p);
  return text;
}

char* util_strlower(char* target, const char* source, std::size_t n) {
  if (target == nullptr || source == nullptr) return target;
  for (std::size_t i = 0; i < n; ++i) {
    target[i] = ascii_to_lower(source[i]);
    if (source[i] == '\0') break;
  }
  return target;
}

char* util_chomp(char* text) {
  if (text == nullptr) return text;
  const std::size_t length = std::strlen(text);
  if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
  return text;
}

const char* util_basename(const char* path) {
  if (path == nullptr) return path;
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

char* util_dirname(char* target, const char* path, std::size_t size) {
  if (target == nullptr || size == 0) return target;
  const char* slash = path != nullptr ? std::strrchr(path, '/') : nullptr;
  if (slash == nullptr) return util_safe_strncpy(target, ".", size);
  const auto length = static_cast<std::size_t>(slash - path);
  const std::size_t copied = length < size - 1 ? length : size - 1;
  std::memcpy(target, path, copied);
  target[copied] = '\0';
  return target;
}

int util_sanitize_fname(char* name) {
  if (name == nullptr) return 0;
  for (char* p = name; *p != '\0'; ++p) {
    if (std::strchr("\"*/:<>?\\|", *p) != nullptr) *p = '_';
  }
  return 0;
}

char* util_join_argv(const char* const* argv, std::size_t size) {
  if (argv == nullptr) return nullptr;
  std::string line;
  for (const char* const* arg = argv; *arg != nullptr; ++arg) {
    if (arg != argv) line += ' ';
    if ((*arg)[0] == '-') {
      line += *arg;
    } else {
      line += '"';
      line += *arg;
      line += '"';
    }
  }
  if (line.size() + 1 > size) {
    LOG_ERROR("join: argv too long for cmdline_size");
    return nullptr;
  }
  char* result = static_cast<char*>(std::calloc(size, 1));
  if (result == nullptr) {
    LOG_ERROR("calloc failed");
    return nullptr;
  }
  std::memcpy(result, line.c_str(), line.size() + 1);
  return result;
}

int util_find_max(const int* values, int count) {
  if (values == nullptr || count <= 0) return -1;
  int largest = values[0];
  for (int i = 1; i < count; ++i) {
    if (values[i] > largest) largest = values[i];
  }
  return largest;
}
