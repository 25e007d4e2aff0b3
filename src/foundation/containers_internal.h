// What the container records built on an ext_buf of elements have in common
// (not for other modules).
#pragma once

#include <new>

#include "foundation/containers.h"
#include "foundation/log.h"

namespace containers_internal {

// Elements kept before the buffer first grows.
inline constexpr int INITIAL_ELEMENTS = 16;

// New, zeroed record of type T with an empty buffer sized for a few
// elements; nullptr (logged) when an allocation fails.
template <typename T, typename Element>
T* create_list() {
  auto* list = new (std::nothrow) T{};
  if (list == nullptr) {
    LOG_ERROR("calloc failed");
    return nullptr;
  }
  list->_buf = ext_buf_create_ex(INITIAL_ELEMENTS * sizeof(Element));
  if (list->_buf == nullptr) {
    delete list;
    return nullptr;
  }
  return list;
}

// The buffer of `list` seen as its array of elements.
template <typename Element, typename T>
Element* elements(const T* list) {
  return reinterpret_cast<Element*>(list->_buf->_data);
}

}  // namespace containers_internal
