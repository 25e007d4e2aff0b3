// Whole-file readers and the version line of the programs.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/util.h"

int util_read_file_contents(const char* path, char* buffer, std::size_t size) {
  if (util_is_string_empty(path) || buffer == nullptr || size == 0) return -1;
  const FilePtr file(os_fopen(path, "rb"));
  if (!file) return -1;
  const std::size_t got = std::fread(buffer, 1, size - 1, file.get());
  buffer[got] = '\0';
  return 0;
}

char* util_get_file_as_string(const char* path, std::size_t maximum) {
  struct stat info {};
  if (util_is_string_empty(path) || stat(path, &info) != 0) {
    LOG_ERROR("util_get_file_as_string: Cannot open path='%s'", path != nullptr ? path : "");
    return nullptr;
  }
  const auto file_size = static_cast<std::size_t>(info.st_size);
  const std::size_t wanted = file_size < maximum ? file_size : maximum;
  TextPtr buffer(static_cast<char*>(std::malloc(wanted + 1)));
  if (!buffer) {
    LOG_ERROR("util_get_file_as_string: malloc failed");
    return nullptr;
  }
  const FilePtr file(os_fopen(path, "rb"));
  if (!file) {
    LOG_ERROR("util_get_file_as_string: fopen(%s) failed", path);
    return nullptr;
  }
  const std::size_t got = std::fread(buffer.get(), 1, wanted, file.get());
  if (got != wanted) {
    LOG_ERROR("util_get_file_as_string: fread(%s,%lu) failed", path,
              static_cast<unsigned long>(wanted));
    return nullptr;
  }
  buffer.get()[wanted] = '\0';
  return buffer.release();
}

void util_print_version(int argc, const char* const* argv, const char* program) {
  if (argc != 2 || argv == nullptr || argv[1] == nullptr) return;
  if (std::strcmp(argv[1], "--version") != 0) return;
  std::printf("%s for: %s version %s\n", program != nullptr ? program : "", UTIL_PRODUCT_NAME,
              UTIL_PRODUCT_VERSION);
  std::fflush(stdout);
  std::exit(0);
}
