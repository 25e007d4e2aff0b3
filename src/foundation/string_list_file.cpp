// string_list from text files, and its printout.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/ascii.h"
#include "foundation/containers.h"
#include "foundation/log.h"
#include "foundation/os_file.h"

namespace {

// Longest line kept by string_list_from_file (bytes).
constexpr std::size_t STRING_LIST_LINE_MAX = 511;

// Cuts at the last '#', skips leading and trailing white space and keeps at
// most STRING_LIST_LINE_MAX bytes. Returns the start; `line` is modified.
char* clean_line(char* line) {
  if (char* hash = std::strrchr(line, '#'); hash != nullptr) *hash = 0;
  while (ascii_is_space(*line)) ++line;
  std::size_t length = std::strlen(line);
  if (length > STRING_LIST_LINE_MAX) length = STRING_LIST_LINE_MAX;
  while (length > 0 && ascii_is_space(line[length - 1])) --length;
  line[length] = 0;
  return line;
}

// Reads the lines of `stream` into `list`. A line longer than the limit is
// read whole and its tail dropped, so it never turns into further entries.
int read_lines(FILE* stream, string_list* list) {
  char* line = nullptr;
  std::size_t capacity = 0;
  int ok = 1;
  while (ok && getline(&line, &capacity, stream) >= 0) {
    const char* text = clean_line(line);
    if (*text != 0) ok = string_list_append(list, text);
  }
  std::free(line);
  return ok;
}

}  // namespace

string_list* string_list_from_file(const char* path) {
  const FilePtr stream(path == nullptr ? nullptr : os_fopen(path, "r"));
  if (!stream) {
    const int error = errno;
    LOG_ERROR("string_list_from_file: Could not open %s %d:%s", path == nullptr ? "" : path, error,
              std::strerror(error));
    return nullptr;
  }
  StringListPtr list(string_list_create());
  if (list && !read_lines(stream.get(), list.get())) return nullptr;
  return list.release();
}

namespace {

// Distributes the first `columns` tokens of every line over `lists`.
int split_into_columns(const string_list* lines, const char* delimiters, string_list** lists,
                       int columns) {
  for (int i = 0; i < string_list_size(lines); ++i) {
    const StringListPtr tokens(string_list_split(string_list_get(lines, i), delimiters));
    int ok = tokens && string_list_size(tokens.get()) >= columns;
    for (int k = 0; ok && k < columns; ++k) {
      ok = string_list_append(lists[k], string_list_get(tokens.get(), k));
    }
    if (!ok) return 0;
  }
  return 1;
}

}  // namespace

string_list** string_list_from_file_zip(const char* path, const char* delimiters, int columns) {
  if (delimiters == nullptr || columns <= 0) {
    LOG_ERROR("string_list_from_file_zip: invalid params");
    return nullptr;
  }
  const StringListPtr lines(string_list_from_file(path));
  if (!lines) return nullptr;
  auto** lists = static_cast<string_list**>(
      std::calloc(static_cast<std::size_t>(columns), sizeof(string_list*)));
  int ok = lists != nullptr;
  for (int k = 0; ok && k < columns; ++k) ok = (lists[k] = string_list_create()) != nullptr;
  if (ok) ok = split_into_columns(lines.get(), delimiters, lists, columns);
  if (!ok) {
    string_list_array_free(lists, lists == nullptr ? 0 : columns);
    return nullptr;
  }
  return lists;
}
