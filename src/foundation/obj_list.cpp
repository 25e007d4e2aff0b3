// obj_list: owned blobs in one ext_buf, also used as a stack.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/containers.h"
#include "foundation/containers_internal.h"
#include "foundation/log.h"

namespace {

obj_list_item* items(const obj_list* list) {
  return containers_internal::elements<obj_list_item>(list);
}

bool valid(const obj_list* list) { return list != nullptr && list->_buf != nullptr; }

// Zero-terminated private copy of `length` bytes; nullptr on failure.
std::uint8_t* copy_blob(const void* bytes, std::uint64_t length) {
  if (length == UINT64_MAX || (bytes == nullptr && length > 0)) return nullptr;
  auto* copy = static_cast<std::uint8_t*>(std::malloc(length + 1));
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, bytes, length);
  copy[length] = 0;
  return copy;
}

// Drops the elements from `count` on (their blobs already freed or moved);
// the stack depth never points past the end.
void truncate(obj_list* list, int count) {
  list->_size = count;
  list->_buf->_size = static_cast<std::uint64_t>(count) * sizeof(obj_list_item);
  list->_stack_depth = std::min(list->_stack_depth, count);
}

// Frees the blobs from `count` on and shrinks the list to `count`.
void shrink(obj_list* list, int count) {
  for (int i = count; i < list->_size; ++i) std::free(items(list)[i].data);
  truncate(list, count);
}

}  // namespace

obj_list* obj_list_create() { return containers_internal::create_list<obj_list, obj_list_item>(); }

int obj_list_append(obj_list* list, const void* bytes, std::uint64_t length) {
  if (!valid(list) || list->_size == INT32_MAX) {
    LOG_ERROR("obj_list_append: invalid obj_list");
    return 0;
  }
  obj_list_item item{length, copy_blob(bytes, length)};
  if (item.data == nullptr) {
    LOG_ERROR("obj_list_append: could not copy %llu bytes",
              static_cast<unsigned long long>(length));
    return 0;
  }
  if (!ext_buf_append(list->_buf, &item, sizeof item)) {
    std::free(item.data);
    return 0;
  }
  list->_size++;
  return 1;
}

int obj_list_put(obj_list* list, int index, const void* bytes, std::uint64_t length) {
  bool ok = false;
  if (!valid(list)) {
    LOG_ERROR("obj_list_put: obj_list==NULL");
  } else if (index < 0 || index >= list->_size) {
    LOG_ERROR("obj_list_put: index out of range index=%u,size=%u", static_cast<unsigned>(index),
              static_cast<unsigned>(list->_size));
  } else if (std::uint8_t* copy = copy_blob(bytes, length); copy == nullptr) {
    LOG_ERROR("obj_list_put: could not copy %llu bytes", static_cast<unsigned long long>(length));
  } else {
    std::free(items(list)[index].data);
    items(list)[index] = obj_list_item{length, copy};
    ok = true;
  }
  if (!TV_ASSERT(ok)) return 0;
  return 1;
}

const std::uint8_t* obj_list_get(const obj_list* list, int index, std::uint64_t* out_length) {
  const std::uint8_t* data = nullptr;
  std::uint64_t length = 0;
  if (!valid(list)) {
    LOG_ERROR("obj_list_get: obj_list==NULL");
  } else if (index < 0 || index >= list->_size) {
    LOG_ERROR("obj_list_get: index out of range index=%u,size=%u", static_cast<unsigned>(index),
              static_cast<unsigned>(list->_size));
  } else {
    data = items(list)[index].data;
    length = items(list)[index].length;
  }
  if (out_length != nullptr) *out_length = length;
  TV_ASSERT(data != NULL);
  return data;
}

int obj_list_del(obj_list* list, int index) {
  if (!valid(list)) {
    LOG_ERROR("obj_list_del: obj_list==NULL");
    return 0;
  }
  if (index < 0 || index >= list->_size) {
    LOG_ERROR("obj_list_del: index out of range index=%u,size=%u", static_cast<unsigned>(index),
              static_cast<unsigned>(list->_size));
    return 0;
  }
  obj_list_item* at = items(list) + index;
  std::free(at->data);
  std::memmove(at, at + 1, static_cast<std::size_t>(list->_size - index - 1) * sizeof *at);
  // The element below the depth that went away lowers the stack too.
  if (index < list->_stack_depth) list->_stack_depth--;
  truncate(list, list->_size - 1);
  return 1;
}

int obj_list_resize(obj_list* list, int count) {
  if (!valid(list)) {
    LOG_ERROR("obj_list_resize: obj_list==NULL");
    return 0;
  }
  if (count > list->_size || count < 0) {
    LOG_ERROR("obj_list_resize: attempt to grow _size=%d,size=%d", list->_size, count);
    return 0;
  }
  shrink(list, count);
  return 1;
}

int obj_list_reset(obj_list* list) { return obj_list_resize(list, 0); }

int obj_list_size(const obj_list* list) {
  if (!valid(list)) {
    LOG_ERROR("obj_list_size: obj_list==NULL");
    return -1;
  }
  return list->_size;
}

obj_list* obj_list_slice(const obj_list* list, int start, int end) {
  if (!valid(list)) {
    LOG_ERROR("obj_list_slice: obj_list==NULL");
    return nullptr;
  }
  const std::int64_t from = start < 0 ? std::int64_t{start} + list->_size : start;
  const std::int64_t to = end <= 0 ? std::int64_t{end} + list->_size : end;
  if (from < 0 || to > list->_size || from > to) {
    LOG_ERROR("obj_list_slice: range out of bounds start=%d,end=%d,size=%d", start, end,
              list->_size);
    return nullptr;
  }
  obj_list* slice = obj_list_create();
  for (std::int64_t i = from; slice != nullptr && i < to; ++i) {
    const obj_list_item& item = items(list)[i];
    if (!obj_list_append(slice, item.data, item.length)) {
      obj_list_free(slice);
      slice = nullptr;
    }
  }
  return slice;
}

void obj_list_sort(obj_list* list, obj_list_compare compare) {
  if (!valid(list) || compare == nullptr) return;
  obj_list_item* first = items(list);
  // A merge sort never leaves the range, even with a careless comparison.
  std::stable_sort(
      first, first + list->_size,
      [compare](const obj_list_item& a, const obj_list_item& b) { return compare(&a, &b) < 0; });
}

const std::uint8_t* obj_decode(const void* element, std::uint64_t* out_length) {
  if (element == nullptr) {
    if (out_length != nullptr) *out_length = 0;
    return nullptr;
  }
  const auto* item = static_cast<const obj_list_item*>(element);
  if (out_length != nullptr) *out_length = item->length;
  return item->data;
}

int obj_list_push(obj_list* list, const void* bytes, std::uint64_t length) {
  if (!valid(list)) {
    LOG_ERROR("obj_list_push: obj_list==NULL");
    return 0;
  }
  const int ok = list->_stack_depth < list->_size
                     ? obj_list_put(list, list->_stack_depth, bytes, length)
                     : obj_list_append(list, bytes, length);
  if (ok) list->_stack_depth++;
  return ok;
}

const std::uint8_t* obj_list_top(const obj_list* list, std::uint64_t* out_length) {
  if (out_length != nullptr) *out_length = 0;
  if (!valid(list)) {
    LOG_ERROR("obj_list_top: obj_list==NULL");
    return nullptr;
  }
  if (list->_stack_depth <= 0) {
    LOG_ERROR("obj_list_pop: obj_list->_stack_depth=%d", list->_stack_depth);
    return nullptr;
  }
  return obj_list_get(list, list->_stack_depth - 1, out_length);
}

const std::uint8_t* obj_list_pop(obj_list* list, std::uint64_t* out_length) {
  const std::uint8_t* top = obj_list_top(list, out_length);
  if (top != nullptr) list->_stack_depth--;
  return top;
}

int obj_list_depth(const obj_list* list) { return list == nullptr ? 0 : list->_stack_depth; }

void obj_list_free(obj_list* list) {
  if (list == nullptr) return;
  if (list->_buf != nullptr) shrink(list, 0);
  ext_buf_free(list->_buf);
  delete list;
}
