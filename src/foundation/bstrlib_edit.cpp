// Byte strings: editing in place, case folding and trimming.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/bstrlib.h"
#include "foundation/bstrlib_internal.h"

using namespace bstr_detail;

namespace {

// A source string that may lie in the target's storage, which the edit may
// move or overwrite: such a source is read from a private copy.
class SafeSource {
 public:
  SafeSource(const_bstring target, const_bstring source) : source_(source) {
    if (source != nullptr && source->slen > 0 && inside_storage(target, source->data)) {
      copy_ = bstrcpy(source);
      failed_ = copy_ == nullptr;
    }
  }
  SafeSource(const SafeSource&) = delete;
  SafeSource& operator=(const SafeSource&) = delete;
  ~SafeSource() {
    if (copy_ != nullptr) bdestroy(copy_);
  }
  bool failed() const { return failed_; }
  const unsigned char* data() const { return copy_ != nullptr ? copy_->data : source_->data; }

 private:
  const_bstring source_;
  bstring copy_ = nullptr;
  bool failed_ = false;
};

void terminate_at(bstring b, std::int64_t len) {
  b->slen = static_cast<int>(len);
  b->data[len] = '\0';
}

}  // namespace

int bsetstr(bstring b0, int pos, const_bstring b1, unsigned char fill) {
  if (pos < 0 || !writable(b0)) return BSTR_ERR;
  if (b1 != nullptr && !readable(b1)) return BSTR_ERR;
  std::int64_t add = b1 != nullptr ? b1->slen : 0;
  std::int64_t end = std::int64_t{pos} + add;
  if (end > MAX_LENGTH) return BSTR_ERR;
  SafeSource source(b0, b1);
  if (source.failed() || balloc_wide(b0, end + 1) != BSTR_OK) return BSTR_ERR;
  std::int64_t new_len = b0->slen;
  if (pos > new_len) {
    std::memset(b0->data + new_len, fill, static_cast<std::size_t>(pos - new_len));
    new_len = pos;
  }
  if (add > 0) std::memmove(b0->data + pos, source.data(), static_cast<std::size_t>(add));
  terminate_at(b0, std::max(new_len, end));
  return BSTR_OK;
}

int binsert(bstring b1, int pos, const_bstring b2, unsigned char fill) {
  if (pos < 0 || !writable(b1) || !readable(b2)) return BSTR_ERR;
  std::int64_t add = b2->slen;
  std::int64_t old_len = b1->slen;
  std::int64_t new_len = std::max(old_len, std::int64_t{pos}) + add;
  if (new_len > MAX_LENGTH) return BSTR_ERR;
  SafeSource source(b1, b2);
  if (source.failed() || balloc_wide(b1, new_len + 1) != BSTR_OK) return BSTR_ERR;
  if (pos > old_len) {
    std::memset(b1->data + old_len, fill, static_cast<std::size_t>(pos - old_len));
  } else {
    std::memmove(b1->data + pos + add, b1->data + pos, static_cast<std::size_t>(old_len - pos));
  }
  if (add > 0) std::memmove(b1->data + pos, source.data(), static_cast<std::size_t>(add));
  terminate_at(b1, new_len);
  return BSTR_OK;
}

int binsertch(bstring b, int pos, int len, unsigned char fill) {
  if (pos < 0 || len < 0 || !writable(b)) return BSTR_ERR;
  std::int64_t old_len = b->slen;
  std::int64_t new_len = std::max(old_len, std::int64_t{pos}) + len;
  if (new_len > MAX_LENGTH || balloc_wide(b, new_len + 1) != BSTR_OK) return BSTR_ERR;
  std::int64_t fill_from = pos;
  if (pos > old_len) {
    fill_from = old_len;
  } else {
    std::memmove(b->data + pos + len, b->data + pos, static_cast<std::size_t>(old_len - pos));
  }
  std::memset(b->data + fill_from, fill, static_cast<std::size_t>(new_len - old_len));
  terminate_at(b, new_len);
  return BSTR_OK;
}

int breplace(bstring b1, int pos, int len, const_bstring b2, unsigned char fill) {
  if (pos < 0 || len < 0 || !writable(b1) || !readable(b2)) return BSTR_ERR;
  std::int64_t cut_end = std::int64_t{pos} + len;
  std::int64_t add = b2->slen;
  if (cut_end >= b1->slen) {
    // The replaced range reaches the end: write b2 there and drop the rest.
    if (bsetstr(b1, pos, b2, fill) != BSTR_OK) return BSTR_ERR;
    if (pos + add < b1->slen) terminate_at(b1, pos + add);
    return BSTR_OK;
  }
  std::int64_t new_len = b1->slen + add - len;
  if (new_len > MAX_LENGTH) return BSTR_ERR;
  SafeSource source(b1, b2);
  if (source.failed()) return BSTR_ERR;
  if (add > len && balloc_wide(b1, new_len) != BSTR_OK) return BSTR_ERR;
  std::memmove(b1->data + pos + add, b1->data + cut_end,
               static_cast<std::size_t>(b1->slen - cut_end));
  if (add > 0) std::memmove(b1->data + pos, source.data(), static_cast<std::size_t>(add));
  terminate_at(b1, new_len);
  return BSTR_OK;
}

int bdelete(bstring b, int pos, int len) {
  if (len < 0 || !writable(b)) return BSTR_ERR;
  const auto [from, count] = clip_range(b->slen, pos, len);
  if (count <= 0) return BSTR_OK;
  std::memmove(b->data + from, b->data + from + count,
               static_cast<std::size_t>(b->slen - from - count));
  terminate_at(b, b->slen - count);
  return BSTR_OK;
}

int btrunc(bstring b, int n) {
  if (n < 0 || !writable(b)) return BSTR_ERR;
  if (b->slen > n) terminate_at(b, n);
  return BSTR_OK;
}

int bpattern(bstring b, int len) {
  if (len < 0 || !writable(b) || b->slen <= 0) return BSTR_ERR;
  if (balloc_wide(b, std::int64_t{len} + 1) != BSTR_OK) return BSTR_ERR;
  int period = b->slen;
  for (int i = period; i < len; ++i) b->data[i] = b->data[i - period];
  terminate_at(b, len);
  return BSTR_OK;
}

int btolower(bstring b) {
  if (!writable(b)) return BSTR_ERR;
  for (int i = 0; i < b->slen; ++i) b->data[i] = ascii_to_lower(b->data[i]);
  return BSTR_OK;
}

int btoupper(bstring b) {
  if (!writable(b)) return BSTR_ERR;
  for (int i = 0; i < b->slen; ++i) b->data[i] = ascii_to_upper(b->data[i]);
  return BSTR_OK;
}

namespace {

// Keeps only the bytes [from, to) of b.
int keep_range(bstring b, std::int64_t from, std::int64_t to) {
  if (from > 0 && to > from) {
    std::memmove(b->data, b->data + from, static_cast<std::size_t>(to - from));
  }
  terminate_at(b, std::max<std::int64_t>(0, to - from));
  return BSTR_OK;
}

std::int64_t trimmed_end(const_bstring b) {
  std::int64_t end = b->slen;
  while (end > 0 && ascii_is_space(b->data[end - 1])) --end;
  return end;
}

std::int64_t trimmed_start(const_bstring b, std::int64_t end) {
  std::int64_t start = 0;
  while (start < end && ascii_is_space(b->data[start])) ++start;
  return start;
}

}  // namespace

int btrimws(bstring b) {
  if (!writable(b)) return BSTR_ERR;
  std::int64_t end = trimmed_end(b);
  return keep_range(b, trimmed_start(b, end), end);
}

int bltrimws(bstring b) {
  if (!writable(b)) return BSTR_ERR;
  return keep_range(b, trimmed_start(b, b->slen), b->slen);
}

int brtrimws(bstring b) {
  if (!writable(b)) return BSTR_ERR;
  return keep_range(b, 0, trimmed_end(b));
}
