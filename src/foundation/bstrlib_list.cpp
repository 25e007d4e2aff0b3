// Byte strings: lists, split and join.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/bstrlib.h"
#include "foundation/bstrlib_internal.h"

using namespace bstr_detail;

namespace {

// Room of a fresh split result.
constexpr int SPLIT_FIRST_ROOM = 4;

bool list_valid(const bstrList* sl) {
  return sl != nullptr && sl->entry != nullptr && sl->qty >= 0 && sl->mlen > 0 &&
         sl->qty <= sl->mlen;
}

bool list_resize(bstrList* sl, std::int64_t room) {
  if (room > INT_MAX) return false;
  void* bigger = std::realloc(sl->entry, static_cast<std::size_t>(room) * sizeof(bstring));
  if (bigger == nullptr) return false;
  sl->entry = static_cast<bstring*>(bigger);
  sl->mlen = static_cast<int>(room);
  return true;
}

bstrList* list_with_room(int room) {
  auto* sl = new (std::nothrow) bstrList();
  if (sl == nullptr) return nullptr;
  sl->entry = static_cast<bstring*>(std::malloc(static_cast<std::size_t>(room) * sizeof(bstring)));
  if (sl->entry == nullptr) {
    delete sl;
    return nullptr;
  }
  sl->qty = 0;
  sl->mlen = room;
  return sl;
}

struct SplitTarget {
  const_bstring source;
  bstrList* list;
};

// The split's collecting step: appends one piece as a new string.
int collect_piece(void* parm, int ofs, int len) {
  auto* target = static_cast<SplitTarget*>(parm);
  bstrList* sl = target->list;
  if (sl->qty >= sl->mlen && !list_resize(sl, 2 * std::int64_t{sl->mlen})) return BSTR_ERR;
  bstring piece = blk2bstr(target->source->data + ofs, len);
  if (piece == nullptr) return BSTR_ERR;
  sl->entry[sl->qty++] = piece;
  return BSTR_OK;
}

// The split walk over any predicate that tells separators.
template <typename IsSeparator>
int split_walk(const_bstring str, int pos, IsSeparator is_separator,
               int (*cb)(void* parm, int ofs, int len), void* parm) {
  if (cb == nullptr || !readable(str) || pos < 0 || pos > str->slen) return BSTR_ERR;
  int p = pos;
  do {
    int i = p;
    while (i < str->slen && !is_separator(str->data[i])) ++i;
    int ret = cb(parm, p, i - p);
    if (ret < 0) return ret;
    p = i + 1;
  } while (p < str->slen);
  return BSTR_OK;
}

bstrList* split_into_list(const_bstring str, int (*walk)(const_bstring, void*, SplitTarget*),
                          void* how) {
  if (!readable(str)) return nullptr;
  bstrList* sl = list_with_room(SPLIT_FIRST_ROOM);
  if (sl == nullptr) return nullptr;
  SplitTarget target{str, sl};
  if (walk(str, how, &target) < 0) {
    bstrListDestroy(sl);
    return nullptr;
  }
  return sl;
}

}  // namespace

bstrList* bstrListCreate() { return list_with_room(1); }

int bstrListAlloc(bstrList* sl, int msz) {
  if (!list_valid(sl) || msz <= 0) return BSTR_ERR;
  if (sl->mlen >= msz) return BSTR_OK;
  return list_resize(sl, msz) ? BSTR_OK : BSTR_ERR;
}

int bstrListDestroy(bstrList* sl) {
  if (sl == nullptr || sl->qty < 0) return BSTR_ERR;
  for (int i = 0; sl->entry != nullptr && i < sl->qty; ++i) {
    if (sl->entry[i] != nullptr) bdestroy(sl->entry[i]);
  }
  sl->qty = -1;
  sl->mlen = -1;
  std::free(sl->entry);
  sl->entry = nullptr;
  delete sl;
  return BSTR_OK;
}

int bsplitcb(const_bstring str, unsigned char splitChar, int pos,
             int (*cb)(void* parm, int ofs, int len), void* parm) {
  return split_walk(str, pos, [splitChar](unsigned char c) { return c == splitChar; }, cb, parm);
}

bstrList* bsplit(const_bstring str, unsigned char splitChar) {
  auto walk = [](const_bstring s, void* how, SplitTarget* target) {
    return bsplitcb(s, *static_cast<unsigned char*>(how), 0, collect_piece, target);
  };
  return split_into_list(str, walk, &splitChar);
}

bstrList* bsplits(const_bstring str, const_bstring splitStr) {
  if (!readable(splitStr)) return nullptr;
  if (splitStr->slen == 1) return bsplit(str, splitStr->data[0]);
  charField cf{};
  if (splitStr->slen > 0 && buildCharField(&cf, splitStr) != BSTR_OK) return nullptr;
  // An empty set separates nothing: the whole string is the one piece.
  auto walk = [](const_bstring s, void* how, SplitTarget* target) {
    const charField& set = *static_cast<const charField*>(how);
    return split_walk(s, 0, [&set](unsigned char c) { return in_field(set, c); }, collect_piece,
                      target);
  };
  return split_into_list(str, walk, &cf);
}

bstring bjoin(const bstrList* bl, const_bstring sep) {
  if (bl == nullptr || bl->qty < 0 || (bl->qty > 0 && bl->entry == nullptr)) return nullptr;
  if (sep != nullptr && !readable(sep)) return nullptr;
  std::int64_t total = 1;
  for (int i = 0; i < bl->qty; ++i) {
    if (!readable(bl->entry[i])) return nullptr;
    total += bl->entry[i]->slen;
    if (total > INT_MAX) return nullptr;
  }
  if (sep != nullptr && bl->qty > 1) total += std::int64_t{sep->slen} * (bl->qty - 1);
  if (total > INT_MAX) return nullptr;
  auto* b = new (std::nothrow) tagbstring();
  if (b == nullptr) return nullptr;
  b->data = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(total)));
  if (b->data == nullptr) {
    delete b;
    return nullptr;
  }
  b->mlen = static_cast<int>(total);
  std::size_t at = 0;
  for (int i = 0; i < bl->qty; ++i) {
    if (i > 0 && sep != nullptr && sep->slen > 0) {
      std::memcpy(b->data + at, sep->data, static_cast<std::size_t>(sep->slen));
      at += static_cast<std::size_t>(sep->slen);
    }
    auto n = static_cast<std::size_t>(bl->entry[i]->slen);
    if (n > 0) std::memcpy(b->data + at, bl->entry[i]->data, n);
    at += n;
  }
  b->slen = static_cast<int>(at);
  b->data[at] = '\0';
  return b;
}
