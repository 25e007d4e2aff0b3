// string_list: owned texts kept as an array of pointers in one ext_buf.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/containers.h"
#include "foundation/containers_internal.h"
#include "foundation/log.h"
#include "foundation/util.h"

namespace {

char** entries(const string_list* list) { return containers_internal::elements<char*>(list); }

// Private copy of `length` bytes followed by two zero bytes: the first ends
// the (last) text, the second ends a run of zero-separated texts.
char* copy_text(const char* text, std::uint64_t length) {
  if (length > UINT64_MAX - 2) return nullptr;
  auto* copy = static_cast<char*>(std::malloc(length + 2));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, length);
  copy[length] = 0;
  copy[length + 1] = 0;
  return copy;
}

}  // namespace

string_list* string_list_create() { return containers_internal::create_list<string_list, char*>(); }

int string_list_append_ex(string_list* list, const char* text, std::uint64_t length) {
  if (text == nullptr) {
    LOG_ERROR("string_list_append_ex: called with s=NULL");
    return 0;
  }
  if (list == nullptr || list->_buf == nullptr || list->_size == INT32_MAX) {
    LOG_ERROR("string_list_append_ex: invalid string_list");
    return 0;
  }
  if (length == 0) length = std::strlen(text);
  char* copy = copy_text(text, length);
  if (copy == nullptr) {
    LOG_ERROR("malloc failed");
    return 0;
  }
  if (!ext_buf_append_pointer(list->_buf, copy)) {
    std::free(copy);
    return 0;
  }
  list->_size++;
  return 1;
}

int string_list_append(string_list* list, const char* text) {
  return string_list_append_ex(list, text, 0);
}

const char* string_list_get(const string_list* list, int index) {
  if (list == nullptr || list->_buf == nullptr) {
    LOG_ERROR("string_list_get: string_list==NULL");
    return nullptr;
  }
  if (index < 0 || index >= list->_size) {
    LOG_ERROR("string_list_get: index out of range index=%u,size=%u", static_cast<unsigned>(index),
              static_cast<unsigned>(list->_size));
    return nullptr;
  }
  return entries(list)[index];
}

int string_list_size(const string_list* list) { return list == nullptr ? -1 : list->_size; }

char* const* string_list_strings(const string_list* list) {
  if (list == nullptr || list->_buf == nullptr) return nullptr;
  return entries(list);
}

char* strings_join(const char* const* strings, int count, const char* separator) {
  if (strings == nullptr || count <= 0 || separator == nullptr) {
    LOG_ERROR("strings_join: invalid parameters");
    return nullptr;
  }
  return util_join(strings, count, separator);
}

char* string_list_join(const string_list* list, const char* separator) {
  if (list == nullptr || list->_buf == nullptr || list->_size <= 0) return nullptr;
  return strings_join(entries(list), list->_size, separator);
}

string_list* string_list_split(const char* text, const char* delimiters) {
  if (text == nullptr || delimiters == nullptr) {
    LOG_ERROR("string_list_split: invalid params");
    return nullptr;
  }
  string_list* list = nullptr;
  const char* at = text + std::strspn(text, delimiters);
  while (*at != 0) {
    const std::size_t length = std::strcspn(at, delimiters);
    if (list == nullptr && (list = string_list_create()) == nullptr) return nullptr;
    if (!string_list_append_ex(list, at, length)) {
      string_list_free(list);
      return nullptr;
    }
    at += length;
    at += std::strspn(at, delimiters);
  }
  return list;
}

int string_list_contains_case(const string_list* list, const char* text) {
  if (list == nullptr || list->_buf == nullptr || text == nullptr) return 0;
  for (int i = 0; i < list->_size; ++i) {
    if (util_case_equal_str(entries(list)[i], text) != 0) return 1;
  }
  return 0;
}

void string_list_sort(string_list* list, int (*compare)(const char* a, const char* b)) {
  if (list == nullptr || list->_buf == nullptr || compare == nullptr) return;
  char** first = entries(list);
  // A merge sort never leaves the range, even with a careless comparison.
  std::stable_sort(first, first + list->_size,
                   [compare](const char* a, const char* b) { return compare(a, b) < 0; });
}

void string_list_reset(string_list* list) {
  if (list == nullptr || list->_buf == nullptr) return;
  for (int i = 0; i < list->_size; ++i) std::free(entries(list)[i]);
  list->_size = 0;
  ext_buf_reset(list->_buf);
}

void string_list_free(string_list* list) {
  if (list == nullptr) return;
  string_list_reset(list);
  ext_buf_free(list->_buf);
  delete list;
}

void string_list_array_free(string_list** lists, int count) {
  if (lists == nullptr) return;
  for (int i = 0; i < count; ++i) string_list_free(lists[i]);
  std::free(lists);
}

void string_list_print(const char* heading, const string_list* list) {
  std::printf("-- %s --\n", heading == nullptr ? "" : heading);
  char* const* strings = string_list_strings(list);
  for (int i = 0; strings != nullptr && i < list->_size; ++i) {
    const char* text = strings[i];
    std::printf("%4lu: '%s'", static_cast<unsigned long>(i), text);
    // Every copy ends in two zero bytes, so a run of zero-separated texts
    // ends at the first empty text.
    const char* further = text + std::strlen(text) + 1;
    if (*further != 0) {
      std::printf(" (");
      for (; *further != 0; further += std::strlen(further) + 1) std::printf("'%s', ", further);
      std::printf(")");
    }
    std::printf("\n");
  }
}
