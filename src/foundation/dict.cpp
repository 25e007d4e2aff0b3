// dict: short names to owned values, searched linearly in insertion order.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/containers.h"
#include "foundation/containers_internal.h"
#include "foundation/log.h"
#include "foundation/util.h"

namespace {

dict_item* items(const struct dict* d) { return containers_internal::elements<dict_item>(d); }

dict_item* find(const struct dict* d, const char* name) {
  for (int i = 0; i < d->_size; ++i) {
    if (std::strcmp(items(d)[i].name, name) == 0) return &items(d)[i];
  }
  return nullptr;
}

bool valid_name(const char* name) {
  return name != nullptr && name[0] != 0 && std::strlen(name) <= DICT_NAME_MAX;
}

// Stores the value under the name: in place when the name exists, else as a
// new entry. The old value is freed only once the new one is stored.
bool store(struct dict* d, const char* name, const void* value, std::uint64_t length) {
  char* copy = util_new_text(static_cast<const char*>(value), length);
  if (copy == nullptr) {
    LOG_ERROR("malloc failed");
    return false;
  }
  if (dict_item* item = find(d, name); item != nullptr) {
    std::free(item->value);
    item->value = copy;
    item->length = length;
    return true;
  }
  dict_item item{};
  std::memcpy(item.name, name, std::strlen(name) + 1);
  item.length = length;
  item.value = copy;
  if (d->_size == INT32_MAX || !ext_buf_append(d->_buf, &item, sizeof item)) {
    std::free(copy);
    return false;
  }
  d->_size++;
  return true;
}

}  // namespace

dict* dict_create() { return containers_internal::create_list<dict, dict_item>(); }

int dict_put(dict* d, const char* name, const void* value, std::uint64_t length) {
  bool ok =
      d != nullptr && d->_buf != nullptr && valid_name(name) && (value != nullptr || length == 0);
  if (!ok) {
    LOG_ERROR("dict_put: invalid params");
  } else {
    ok = store(d, name, value, length);
  }
  if (!TV_ASSERT(ok)) return 0;
  return 1;
}

const char* dict_get(const dict* d, const char* name, std::uint64_t* out_length) {
  if (out_length != nullptr) *out_length = 0;
  if (d == nullptr || d->_buf == nullptr || name == nullptr) {
    LOG_ERROR("dict_get: invalid params");
    return nullptr;
  }
  const dict_item* item = find(d, name);
  if (item == nullptr) {
    LOG_ERROR("dict_get: key not found: '%s'", name);
  }
  if (!TV_ASSERT(item != NULL)) return nullptr;
  if (out_length != nullptr) *out_length = item->length;
  return item->value;
}

int dict_has(const dict* d, const char* name) {
  if (d == nullptr || d->_buf == nullptr || name == nullptr) return 0;
  return find(d, name) != nullptr ? 1 : 0;
}

const char* dict_get_item(const struct dict* dict, int i, std::uint64_t* out_length,
                          const dict_item** out_item) {
  if (out_length != nullptr) *out_length = 0;
  if (out_item != nullptr) *out_item = nullptr;
  if (dict == nullptr || dict->_buf == nullptr) {
    LOG_ERROR("dict_get_item: dict==NULL");
    return nullptr;
  }
  if (!TV_ASSERT(0 <= i && i < dict->_size)) return nullptr;
  const dict_item* item = &items(dict)[i];
  if (out_length != nullptr) *out_length = item->length;
  if (out_item != nullptr) *out_item = item;
  return item->value;
}

int dict_size(const dict* d) { return d == nullptr ? 0 : d->_size; }

void dict_free(dict* d) {
  if (d == nullptr) return;
  if (d->_buf != nullptr) {
    for (int i = 0; i < d->_size; ++i) std::free(items(d)[i].value);
  }
  ext_buf_free(d->_buf);
  delete d;
}
