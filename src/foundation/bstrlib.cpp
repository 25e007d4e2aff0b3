// Byte strings: creation, growth, assignment, appending and formatting.
#include "foundation/bstrlib.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/bstrlib_internal.h"

using namespace bstr_detail;

namespace {

// Smallest first guess of bformat's output size.
constexpr std::int64_t FORMAT_START_SIZE = 16;
// The largest output size bformat tries: it allocates that size plus 2.
constexpr std::int64_t FORMAT_MAX_SIZE = MAX_NEED - 2;

// The length of a zero-terminated text that is to be appended to or
// assigned into b. A text inside b's own storage must start within the
// content, where the zero byte after the content bounds it; the bytes past
// that zero byte are not initialised. -1 when it is not usable.
std::int64_t text_length(const_bstring b, const char* s) {
  if (inside_storage(b, s)) {
    auto offset = reinterpret_cast<std::uintptr_t>(s) - reinterpret_cast<std::uintptr_t>(b->data);
    if (offset > static_cast<std::uintptr_t>(b->slen)) return -1;
  }
  std::size_t n = std::strlen(s);
  return n > static_cast<std::size_t>(MAX_LENGTH) ? -1 : static_cast<std::int64_t>(n);
}

// Replaces a's content with len bytes at p, which may lie in a's storage.
int assign_bytes(bstring a, const unsigned char* p, std::int64_t len) {
  if (len == 0) {
    a->slen = 0;
    a->data[0] = '\0';
    return BSTR_OK;
  }
  if (len >= a->mlen && inside_storage(a, p)) {
    // Growth may move or free the storage the source lies in.
    bstring copy = new_string(p, len, 0);
    if (copy == nullptr) return BSTR_ERR;
    int ret = assign_bytes(a, copy->data, len);
    bdestroy(copy);
    return ret;
  }
  if (balloc_wide(a, len) != BSTR_OK) return BSTR_ERR;
  std::memmove(a->data, p, static_cast<std::size_t>(len));
  a->slen = static_cast<int>(len);
  a->data[len] = '\0';
  return BSTR_OK;
}

}  // namespace

namespace bstr_detail {

int snap_capacity(std::int64_t n) {
  if (n < 8) return 8;
  if (n >= (std::int64_t{1} << 30)) return INT_MAX;
  std::int64_t c = 16;
  while (c <= n) c *= 2;
  return static_cast<int>(c);
}

int balloc_wide(bstring b, std::int64_t n) {
  if (n <= 0 || n > MAX_NEED) return BSTR_ERR;
  return balloc(b, static_cast<int>(n));
}

bstring new_string(const void* blk, std::int64_t len, std::int64_t min_capacity) {
  if (len < 0 || len + 1 > MAX_NEED || (len > 0 && blk == nullptr)) return nullptr;
  std::int64_t capacity = std::max<std::int64_t>(snap_capacity(len + 1), min_capacity);
  auto* b = new (std::nothrow) tagbstring();
  if (b == nullptr) return nullptr;
  b->data = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(capacity)));
  if (b->data == nullptr) {
    delete b;
    return nullptr;
  }
  b->mlen = static_cast<int>(capacity);
  b->slen = static_cast<int>(len);
  if (len > 0) std::memcpy(b->data, blk, static_cast<std::size_t>(len));
  b->data[len] = '\0';
  return b;
}

}  // namespace bstr_detail

int balloc(bstring b, int len) {
  if (!writable(b) || len <= 0) return BSTR_ERR;
  if (len < b->mlen) return BSTR_OK;
  if (len > MAX_NEED) return BSTR_ERR;
  int capacity = snap_capacity(len);
  unsigned char* grown = nullptr;
  // A nearly full string is likely to be extended in place by realloc; for
  // the others a fresh block saves copying the unused tail.
  bool nearly_full = 7 * std::int64_t{b->mlen} < 8 * std::int64_t{b->slen};
  if (!nearly_full) {
    grown = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(capacity)));
    if (grown != nullptr) {
      if (b->slen > 0) std::memcpy(grown, b->data, static_cast<std::size_t>(b->slen));
      std::free(b->data);
    }
  }
  if (grown == nullptr) {
    grown = static_cast<unsigned char*>(std::realloc(b->data, static_cast<std::size_t>(capacity)));
    if (grown == nullptr) return BSTR_ERR;
  }
  b->data = grown;
  b->mlen = capacity;
  b->data[b->slen] = '\0';
  return BSTR_OK;
}

bstring bfromcstr(const char* str) {
  if (str == nullptr) return nullptr;
  return new_string(str, static_cast<std::int64_t>(std::strlen(str)), 0);
}

bstring bfromcstralloc(int mlen, const char* str) {
  if (str == nullptr) return nullptr;
  return new_string(str, static_cast<std::int64_t>(std::strlen(str)), mlen);
}

bstring blk2bstr(const void* blk, int len) {
  if (blk == nullptr || len < 0) return nullptr;
  return new_string(blk, len, 0);
}

bstring bstrcpy(const_bstring b) {
  if (!readable(b)) return nullptr;
  bstring copy = new_string(b->data, b->slen, 0);
  if (copy != nullptr || b->slen + std::int64_t{1} > MAX_NEED) return copy;
  // The power-of-two block may be too much to get; the exact size may not.
  copy = new (std::nothrow) tagbstring();
  if (copy == nullptr) return nullptr;
  copy->data = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(b->slen) + 1));
  if (copy->data == nullptr) {
    delete copy;
    return nullptr;
  }
  copy->mlen = b->slen + 1;
  copy->slen = b->slen;
  if (b->slen > 0) std::memcpy(copy->data, b->data, static_cast<std::size_t>(b->slen));
  copy->data[b->slen] = '\0';
  return copy;
}

bstring bmidstr(const_bstring b, int left, int len) {
  if (!readable(b)) return nullptr;
  const auto [from, count] = clip_range(b->slen, left, len);
  if (count <= 0) return new_string(nullptr, 0, 0);
  return new_string(b->data + from, count, 0);
}

int bdestroy(bstring b) {
  if (!writable(b)) return BSTR_ERR;
  std::free(b->data);
  // Leave a record that every operation rejects, should a stale pointer
  // reach one before the memory is reused.
  b->slen = -1;
  b->mlen = -1;
  b->data = nullptr;
  delete b;
  return BSTR_OK;
}

char* bstr2cstr(const_bstring b, char z) {
  if (!readable(b)) return nullptr;
  auto n = static_cast<std::size_t>(b->slen);
  auto* text = static_cast<char*>(std::malloc(n + 1));
  if (text == nullptr) return nullptr;
  for (std::size_t i = 0; i < n; ++i) {
    text[i] = b->data[i] == '\0' ? z : static_cast<char>(b->data[i]);
  }
  text[n] = '\0';
  return text;
}

int bcstrfree(char* s) {
  if (s == nullptr) return BSTR_ERR;
  std::free(s);
  return BSTR_OK;
}

int bassign(bstring a, const_bstring b) {
  if (!writable(a) || !readable(b)) return BSTR_ERR;
  return assign_bytes(a, b->data, b->slen);
}

int bassignmidstr(bstring a, const_bstring b, int left, int len) {
  if (!writable(a) || !readable(b)) return BSTR_ERR;
  const auto [from, count] = clip_range(b->slen, left, len);
  if (count <= 0) return assign_bytes(a, nullptr, 0);
  return assign_bytes(a, b->data + from, count);
}

int bassigncstr(bstring a, const char* str) {
  if (!writable(a) || str == nullptr) return BSTR_ERR;
  std::int64_t n = text_length(a, str);
  if (n < 0) return BSTR_ERR;
  return assign_bytes(a, reinterpret_cast<const unsigned char*>(str), n);
}

int bassignblk(bstring a, const void* blk, int len) {
  if (!writable(a) || blk == nullptr || len < 0) return BSTR_ERR;
  return assign_bytes(a, static_cast<const unsigned char*>(blk), len);
}

int bconcat(bstring b0, const_bstring b1) {
  if (!writable(b0) || !readable(b1)) return BSTR_ERR;
  std::int64_t old_len = b0->slen;
  std::int64_t add = b1->slen;
  std::int64_t new_len = old_len + add;
  if (new_len > MAX_LENGTH) return BSTR_ERR;
  const unsigned char* source = b1->data;
  bstring copy = nullptr;
  if (b0->mlen <= new_len + 1) {
    if (inside_storage(b0, b1->data)) {
      // Growth may move or free the storage the source lies in.
      copy = new_string(b1->data, add, 0);
      if (copy == nullptr) return BSTR_ERR;
      source = copy->data;
    }
    if (balloc_wide(b0, new_len + 1) != BSTR_OK) {
      bdestroy(copy);
      return BSTR_ERR;
    }
  }
  if (add > 0) std::memmove(b0->data + old_len, source, static_cast<std::size_t>(add));
  b0->slen = static_cast<int>(new_len);
  b0->data[new_len] = '\0';
  if (copy != nullptr) bdestroy(copy);
  return BSTR_OK;
}

int bconchar(bstring b0, char c) {
  if (!writable(b0)) return BSTR_ERR;
  std::int64_t old_len = b0->slen;
  if (balloc_wide(b0, old_len + 2) != BSTR_OK) return BSTR_ERR;
  b0->data[old_len] = static_cast<unsigned char>(c);
  b0->data[old_len + 1] = '\0';
  b0->slen++;
  return BSTR_OK;
}

int bcatcstr(bstring b, const char* s) {
  if (!writable(b) || s == nullptr) return BSTR_ERR;
  if (inside_storage(b, s)) {
    std::int64_t n = text_length(b, s);
    if (n < 0) return BSTR_ERR;
    tagbstring view = bview(s, static_cast<int>(n));
    return bconcat(b, &view);
  }
  // Copy straight into the free room, keeping one byte for the zero.
  int old_len = b->slen;
  int room = b->mlen - b->slen - 1;
  unsigned char* out = b->data + old_len;
  int i = 0;
  for (; i < room; ++i) {
    out[i] = static_cast<unsigned char>(s[i]);
    if (s[i] == '\0') {
      b->slen = old_len + i;
      return BSTR_OK;
    }
  }
  out[i] = '\0';
  b->slen = old_len + i;
  // The rest goes through bconcat, which grows the string once.
  std::size_t rest = std::strlen(s + i);
  if (rest == 0) return BSTR_OK;
  tagbstring view{};
  if (rest <= static_cast<std::size_t>(MAX_LENGTH)) view = bview(s + i, static_cast<int>(rest));
  if (view.data == nullptr || bconcat(b, &view) != BSTR_OK) {
    b->slen = old_len;
    b->data[old_len] = '\0';
    return BSTR_ERR;
  }
  return BSTR_OK;
}

int bcatblk(bstring b, const void* s, int len) {
  if (!writable(b) || s == nullptr || len < 0) return BSTR_ERR;
  tagbstring view = bview(s, len);
  return bconcat(b, &view);
}

bstring bvformat(const char* fmt, va_list args) {
  if (fmt == nullptr) return nullptr;
  std::int64_t size = std::clamp<std::int64_t>(
      2 * static_cast<std::int64_t>(std::min<std::size_t>(std::strlen(fmt), INT_MAX)),
      FORMAT_START_SIZE, FORMAT_MAX_SIZE);
  bstring out = new_string(nullptr, 0, size + 2);
  if (out == nullptr) return nullptr;
  for (;;) {
    va_list attempt;
    va_copy(attempt, args);
    int printed = std::vsnprintf(reinterpret_cast<char*>(out->data),
                                 static_cast<std::size_t>(size) + 1, fmt, attempt);
    va_end(attempt);
    if (printed < 0) break;  // output error or more than INT_MAX bytes
    out->data[size] = '\0';
    out->slen = static_cast<int>(std::strlen(reinterpret_cast<char*>(out->data)));
    if (out->slen < size) return out;
    size = printed > size ? printed : 2 * size;
    if (size > FORMAT_MAX_SIZE || balloc_wide(out, size + 2) != BSTR_OK) break;
  }
  bdestroy(out);
  return nullptr;
}

bstring bformat(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  bstring out = bvformat(fmt, args);
  va_end(args);
  return out;
}

int bformata(bstring b, const char* fmt, ...) {
  if (!writable(b) || fmt == nullptr) return BSTR_ERR;
  va_list args;
  va_start(args, fmt);
  bstring text = bvformat(fmt, args);
  va_end(args);
  if (text == nullptr) return BSTR_ERR;
  int ret = bconcat(b, text);
  bdestroy(text);
  return ret;
}
