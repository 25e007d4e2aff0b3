// Growable byte buffer under every list type.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/containers.h"
#include "foundation/log.h"

namespace {

// True when `p` points into the buffer's storage; such bytes must be re-found
// after a reallocation moves the storage.
bool points_into(const ext_buf* buf, const void* p) {
  const auto begin = reinterpret_cast<std::uintptr_t>(buf->_data);
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return buf->_data != nullptr && at >= begin && at - begin <= buf->_capacity;
}

// Smallest doubling of the capacity that holds `needed` bytes. Starts from 1
// when the capacity is 0 (doubling 0 never grows) and stops at `needed` when
// a further doubling would overflow.
std::uint64_t grown_capacity(std::uint64_t capacity, std::uint64_t needed) {
  std::uint64_t grown = capacity == 0 ? 1 : capacity;
  while (grown < needed) {
    if (grown > UINT64_MAX / 2) return needed;
    grown *= 2;
  }
  return grown;
}

// Makes room for `extra` more bytes. Keeps the old storage when growing fails,
// so the buffer's content survives a failed append.
int ext_buf_reserve(ext_buf* buf, std::uint64_t extra) {
  if (extra <= buf->_capacity - buf->_size) return 1;
  if (extra > UINT64_MAX - 1 - buf->_size) {
    LOG_ERROR("ext_buf_append: reallocation failed");
    return 0;
  }
  const std::uint64_t capacity = grown_capacity(buf->_capacity, buf->_size + extra);
  const std::uint64_t bytes = capacity == UINT64_MAX ? capacity : capacity + 1;
  void* data = std::realloc(buf->_data, bytes);
  if (data == nullptr) {
    LOG_ERROR("ext_buf_append: reallocation failed");
    return 0;
  }
  buf->_data = static_cast<std::uint8_t*>(data);
  buf->_capacity = bytes - 1;
  return 1;
}

}  // namespace

ext_buf* ext_buf_create_ex(std::uint64_t capacity) {
  auto* buf = new (std::nothrow) ext_buf{};
  if (buf == nullptr) {
    LOG_ERROR("calloc failed");
    return nullptr;
  }
  buf->_data = capacity == UINT64_MAX ? nullptr : static_cast<std::uint8_t*>(std::malloc(capacity + 1));
  if (buf->_data == nullptr) {
    LOG_ERROR("malloc failed");
    delete buf;
    return nullptr;
  }
  buf->_data[0] = 0;
  buf->_capacity = capacity;
  return buf;
}

ext_buf* ext_buf_create() { return ext_buf_create_ex(EXT_BUF_DEFAULT_CAPACITY); }

int ext_buf_append(ext_buf* buf, const void* bytes, std::uint64_t count) {
  if (buf == nullptr || buf->_data == nullptr) {
    LOG_ERROR("ext_buf_append: invalid ext_buf");
    return 0;
  }
  if (count == 0) return 1;
  if (bytes == nullptr) {
    LOG_ERROR("ext_buf_append: bytes==NULL,count=%llu", static_cast<unsigned long long>(count));
    return 0;
  }
  const bool inside = points_into(buf, bytes);
  const std::uint64_t inside_at =
      inside ? static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(bytes) - buf->_data) : 0;
  if (!ext_buf_reserve(buf, count)) return 0;
  const void* source = inside ? buf->_data + inside_at : bytes;
  std::memmove(buf->_data + buf->_size, source, count);
  buf->_size += count;
  buf->_data[buf->_size] = 0;  // the spare byte: lets the content be read as text
  return 1;
}

int ext_buf_append_pointer(ext_buf* buf, const void* pointer) {
  return ext_buf_append(buf, &pointer, sizeof pointer);
}

int ext_buf_append_byte(ext_buf* buf, std::uint8_t byte) { return ext_buf_append(buf, &byte, 1); }

int ext_buf_concat(ext_buf* target, const ext_buf* source) {
  if (source == nullptr || source->_data == nullptr) {
    LOG_ERROR("ext_buf_concat: invalid source ext_buf");
    return 0;
  }
  return ext_buf_append(target, source->_data, source->_size);
}

int ext_buf_replace(ext_buf* buf, const void* bytes, std::uint64_t count) {
  if (buf == nullptr || (bytes == nullptr && count > 0) || count == UINT64_MAX) {
    LOG_ERROR("ext_buf_replace: invalid params");
    return 0;
  }
  auto* data = static_cast<std::uint8_t*>(std::malloc(count + 1));
  if (data == nullptr) {
    LOG_ERROR("malloc failed");
    return 0;
  }
  if (count > 0) std::memcpy(data, bytes, count);
  data[count] = 0;
  std::free(buf->_data);
  buf->_data = data;
  buf->_size = count;
  buf->_capacity = count;
  return 1;
}

void ext_buf_reset(ext_buf* buf) {
  if (buf == nullptr) return;
  buf->_size = 0;
  if (buf->_data != nullptr) buf->_data[0] = 0;
}

std::uint8_t* ext_buf_data(const ext_buf* buf) {
  if (buf == nullptr) {
    LOG_ERROR("ext_buf_data: ext_buf==NULL");
    return nullptr;
  }
  return buf->_data;
}

std::uint64_t ext_buf_size(const ext_buf* buf) {
  if (buf == nullptr) {
    LOG_ERROR("ext_buf_size: ext_buf==NULL");
    return 0;
  }
  return buf->_size;
}

char* ext_buf_as_cstr(const ext_buf* buf) {
  if (buf == nullptr || buf->_data == nullptr) {
    LOG_ERROR("ext_buf_as_cstr: ext_buf==NULL");
    return nullptr;
  }
  if (buf->_size == 0) {
    LOG_ERROR("ext_buf_as_cstr: _size");
    return nullptr;
  }
  auto* text = static_cast<char*>(std::malloc(buf->_size + 1));
  if (text == nullptr) {
    LOG_ERROR("malloc failed");
    return nullptr;
  }
  std::memcpy(text, buf->_data, buf->_size);
  text[buf->_size] = 0;
  return text;
}

void ext_buf_free(ext_buf* buf) {
  if (buf == nullptr) return;
  std::free(buf->_data);
  delete buf;
}
