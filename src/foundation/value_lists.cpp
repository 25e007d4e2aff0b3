// int_list, offset_list and name_data_list.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/containers.h"
#include "foundation/containers_internal.h"
#include "foundation/log.h"

using containers_internal::create_list;
using containers_internal::elements;

namespace {

// Appends `value` to an int_list or offset_list; `caller` and `type` name the
// function and the record in the entry logged for a missing list.
template <typename T, typename Element>
int append_value(T* list, Element value, const char* caller, const char* type) {
  if (list == nullptr) {
    LOG_ERROR("%s: %s=NULL", caller, type);
    return 0;
  }
  if (!ext_buf_append(list->_buf, &value, sizeof value)) return 0;
  list->_size++;
  return 1;
}

// The element at `index`, or nullptr for a missing list or an index out of
// range; the caller logs which, under its own name.
template <typename Element, typename T>
Element* element_at(const T* list, std::uint64_t index) {
  if (list == nullptr || index >= list->_size) return nullptr;
  return &elements<Element>(list)[index];
}

// The counts as the range entries show them.
unsigned shown(std::uint64_t value) { return static_cast<unsigned>(value); }

}  // namespace

// ---------------------------------------------------------------------------

int_list* int_list_create() { return create_list<int_list, std::int32_t>(); }

int int_list_append(int_list* list, std::int32_t value) {
  return append_value(list, value, "int_list_append", "int_list");
}

std::int32_t int_list_get(const int_list* list, std::uint64_t index) {
  const std::int32_t* at = element_at<std::int32_t>(list, index);
  if (at != nullptr) return *at;
  if (list == nullptr) {
    LOG_ERROR("int_list_get: int_list=NULL");
  } else {
    LOG_ERROR("int_list_get: index out of range index=%u,size=%u", shown(index),
              shown(list->_size));
  }
  return -1;
}

int int_list_put(int_list* list, std::uint64_t index, std::int32_t value) {
  std::int32_t* at = element_at<std::int32_t>(list, index);
  if (at != nullptr) {
    *at = value;
    return 1;
  }
  if (list == nullptr) {
    LOG_ERROR("int_list_put: int_list=NULL");
  } else {
    LOG_ERROR("int_list_put: index out of range index=%u,size=%u", shown(index),
              shown(list->_size));
  }
  return 0;
}

std::int64_t int_list_size(const int_list* list) {
  return list == nullptr ? -1 : static_cast<std::int64_t>(list->_size);
}

void int_list_debug_print(const char* heading, const int_list* list) {
  constexpr std::uint64_t PER_LINE = 20;
  LOG_DEBUG("--- %s ---", heading == nullptr ? "" : heading);
  const std::uint64_t size = list == nullptr ? 0 : list->_size;
  char line[PER_LINE * 16 + 1];
  std::size_t used = 0;
  for (std::uint64_t i = 0; i < size; ++i) {
    const int written =
        std::snprintf(line + used, sizeof line - used, "%3d,", elements<std::int32_t>(list)[i]);
    if (written > 0) used += static_cast<std::size_t>(written);
    if ((i + 1) % PER_LINE == 0 || i + 1 == size) {
      LOG_DEBUG("  %s", line);
      used = 0;
    }
  }
  LOG_DEBUG("--- size=%d ---", static_cast<int>(size));
}

void int_list_free(int_list* list) {
  if (list == nullptr) return;
  ext_buf_free(list->_buf);
  delete list;
}

// ---------------------------------------------------------------------------

offset_list* offset_list_create() { return create_list<offset_list, std::uint64_t>(); }

int offset_list_append(offset_list* list, std::uint64_t value) {
  return append_value(list, value, "offset_list_append", "offset_list");
}

std::uint64_t offset_list_get(const offset_list* list, std::uint64_t index) {
  const std::uint64_t* at = element_at<std::uint64_t>(list, index);
  if (at != nullptr) return *at;
  if (list == nullptr) {
    LOG_ERROR("offset_list_get: offset_list=NULL");
  } else {
    LOG_ERROR("offset_list_get: index out of range index=%u,size=%u", shown(index),
              shown(list->_size));
  }
  return OFFSET_LIST_INVALID;
}

std::uint64_t offset_list_size(const offset_list* list) {
  return list == nullptr ? 0 : list->_size;
}

void offset_list_debug_print(const char* heading, const offset_list* list) {
  const char* title = heading == nullptr ? "" : heading;
  const std::uint64_t size = list == nullptr ? 0 : list->_size;
  LOG_DEBUG("offset_list_debug_print: %s: %d items ------------- -----------------", title,
            static_cast<int>(size));
  // Offsets are written whole: spool files pass 4 GiB.
  for (std::uint64_t i = 0; i < size; ++i) {
    LOG_DEBUG("%s, %2d: %llu", title, static_cast<int>(i),
              static_cast<unsigned long long>(elements<std::uint64_t>(list)[i]));
  }
}

void offset_list_free(offset_list* list) {
  if (list == nullptr) return;
  ext_buf_free(list->_buf);
  delete list;
}

// ---------------------------------------------------------------------------

name_data_list* name_data_list_create() { return create_list<name_data_list, name_data_item>(); }

int name_data_list_append(name_data_list* list, const char* name, const ext_buf* data) {
  if (list == nullptr || name == nullptr || data == nullptr ||
      (data->_data == nullptr && data->_size > 0) || data->_size == UINT64_MAX) {
    LOG_ERROR("name_data_list_append: invalid params");
    return 0;
  }
  name_data_item item{data->_size, static_cast<std::uint8_t*>(std::malloc(data->_size + 1)),
                      strdup(name)};
  if (item.data == nullptr || item.name == nullptr) {
    LOG_ERROR("malloc failed");
  } else {
    if (item.length > 0) std::memcpy(item.data, data->_data, item.length);
    item.data[item.length] = 0;
    if (ext_buf_append(list->_buf, &item, sizeof item)) {
      list->_size++;
      return 1;
    }
  }
  std::free(item.data);
  std::free(item.name);
  return 0;
}

ext_buf* name_data_list_get(const name_data_list* list, const char* name) {
  if (list == nullptr || name == nullptr) return nullptr;
  for (std::uint64_t i = 0; i < list->_size; ++i) {
    const name_data_item& item = elements<name_data_item>(list)[i];
    if (std::strcmp(item.name, name) != 0) continue;
    ext_buf* copy = ext_buf_create_ex(item.length);
    if (copy != nullptr && !ext_buf_append(copy, item.data, item.length)) {
      ext_buf_free(copy);
      return nullptr;
    }
    return copy;
  }
  return nullptr;
}

void name_data_list_free(name_data_list* list) {
  if (list == nullptr) return;
  if (list->_buf != nullptr) {
    for (std::uint64_t i = 0; i < list->_size; ++i) {
      std::free(elements<name_data_item>(list)[i].data);
      std::free(elements<name_data_item>(list)[i].name);
    }
  }
  ext_buf_free(list->_buf);
  delete list;
}
