// Byte strings: find and replace.
#include <cstdlib>
#include <cstring>

#include "foundation/bstrlib.h"
#include "foundation/bstrlib_internal.h"

using namespace bstr_detail;

namespace {

// First room of the occurrence list of a growing replacement.
constexpr std::size_t FIRST_POSITION_ROOM = 8;

// Same length: overwrite each occurrence.
int replace_equal(bstring b, const_bstring find, const_bstring repl, int pos) {
  auto n = static_cast<std::size_t>(repl->slen);
  while ((pos = binstr(b, pos, find)) >= 0) {
    std::memcpy(b->data + pos, repl->data, n);
    pos += find->slen;
  }
  return BSTR_OK;
}

// Shorter replacement: compact the text in one pass from left to right. The
// text from the resume position on is never written before it is searched.
int replace_shrinking(bstring b, const_bstring find, const_bstring repl, int pos) {
  std::int64_t removed = 0;
  std::int64_t delta = find->slen - repl->slen;
  int found;
  while ((found = binstr(b, pos, find)) >= 0) {
    if (removed > 0 && found > pos) {
      std::memmove(b->data + pos - removed, b->data + pos, static_cast<std::size_t>(found - pos));
    }
    if (repl->slen > 0) {
      std::memcpy(b->data + found - removed, repl->data, static_cast<std::size_t>(repl->slen));
    }
    removed += delta;
    pos = found + find->slen;
  }
  if (removed > 0) {
    std::memmove(b->data + pos - removed, b->data + pos, static_cast<std::size_t>(b->slen - pos));
    b->slen = static_cast<int>(b->slen - removed);
    b->data[b->slen] = '\0';
  }
  return BSTR_OK;
}

// Start positions of the occurrences, found before the text changes.
struct Positions {
  int* at = nullptr;
  std::size_t count = 0;
  std::size_t room = 0;

  Positions() = default;
  Positions(const Positions&) = delete;
  Positions& operator=(const Positions&) = delete;
  ~Positions() { std::free(at); }

  bool add(int p) {
    if (count == room) {
      std::size_t grown = room == 0 ? FIRST_POSITION_ROOM : room * 2;
      void* bigger = std::realloc(at, grown * sizeof(int));
      if (bigger == nullptr) return false;
      at = static_cast<int*>(bigger);
      room = grown;
    }
    at[count++] = p;
    return true;
  }
};

// Longer replacement: collect the occurrences, grow once to the final
// length, then move the pieces from the right end towards the left.
int replace_growing(bstring b, const_bstring find, const_bstring repl, int pos) {
  Positions found;
  while ((pos = binstr(b, pos, find)) >= 0) {
    if (!found.add(pos)) return BSTR_ERR;
    pos += find->slen;
  }
  if (found.count == 0) return BSTR_OK;
  std::int64_t delta = repl->slen - find->slen;
  std::int64_t new_len = b->slen + static_cast<std::int64_t>(found.count) * delta;
  if (new_len > MAX_LENGTH || balloc_wide(b, new_len + 1) != BSTR_OK) return BSTR_ERR;
  std::int64_t source_end = b->slen;
  std::int64_t target_end = new_len;
  for (std::size_t i = found.count; i-- > 0;) {
    std::int64_t tail = found.at[i] + std::int64_t{find->slen};
    std::int64_t tail_len = source_end - tail;
    target_end -= tail_len;
    std::memmove(b->data + target_end, b->data + tail, static_cast<std::size_t>(tail_len));
    target_end -= repl->slen;
    std::memcpy(b->data + target_end, repl->data, static_cast<std::size_t>(repl->slen));
    source_end = found.at[i];
  }
  b->slen = static_cast<int>(new_len);
  b->data[new_len] = '\0';
  return BSTR_OK;
}

// A pattern or replacement inside the string's storage would change under
// the edit: use a private copy of it then.
const_bstring stable(const_bstring b, const_bstring s, bstring* copy) {
  if (!inside_storage(b, s->data)) return s;
  *copy = bstrcpy(s);
  return *copy;
}

}  // namespace

int bfindreplace(bstring b, const_bstring find, const_bstring repl, int pos) {
  if (!writable(b) || !readable(find) || !readable(repl) || pos < 0 || find->slen <= 0) {
    return BSTR_ERR;
  }
  if (pos > b->slen - find->slen) return BSTR_OK;
  bstring find_copy = nullptr;
  bstring repl_copy = nullptr;
  const_bstring f = stable(b, find, &find_copy);
  const_bstring r = stable(b, repl, &repl_copy);
  int ret = BSTR_ERR;
  if (f != nullptr && r != nullptr) {
    if (f->slen == r->slen) {
      ret = replace_equal(b, f, r, pos);
    } else if (f->slen > r->slen) {
      ret = replace_shrinking(b, f, r, pos);
    } else {
      ret = replace_growing(b, f, r, pos);
    }
  }
  if (find_copy != nullptr) bdestroy(find_copy);
  if (repl_copy != nullptr) bdestroy(repl_copy);
  return ret;
}
