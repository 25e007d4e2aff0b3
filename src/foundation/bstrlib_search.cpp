// Byte strings: comparison and searching (find-and-replace is in
// bstrlib_replace.cpp).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/bstrlib.h"
#include "foundation/bstrlib_internal.h"

using namespace bstr_detail;

namespace {

using Fold = unsigned char (*)(unsigned char);

unsigned char same(unsigned char c) { return c; }

// The comparison walk shared by the four comparisons: first difference of
// the (folded) bytes taken as signed values over the first `limit` bytes; a
// zero byte that both hold ends the walk with 0. `limit` is at most the
// shorter length. Returns true with the result when the walk decided.
bool compare_bytes(const_bstring b0, const_bstring b1, int limit, Fold fold, int* result) {
  for (int i = 0; i < limit; ++i) {
    int v = static_cast<signed char>(fold(b0->data[i])) -
            static_cast<signed char>(fold(b1->data[i]));
    if (v != 0 || b0->data[i] == '\0') {
      *result = v;
      return true;
    }
  }
  return false;
}

int compare(const_bstring b0, const_bstring b1, Fold fold) {
  if (!readable(b0) || !readable(b1)) return BSTR_CMP_ERR;
  if (b0->slen == b1->slen && (b0->data == b1->data || b0->slen == 0)) return 0;
  int n = std::min(b0->slen, b1->slen);
  int result = 0;
  if (compare_bytes(b0, b1, n, fold, &result)) return result;
  if (b0->slen > n) return 1;
  if (b1->slen > n) return -1;
  return 0;
}

int compare_n(const_bstring b0, const_bstring b1, int n, Fold fold) {
  if (!readable(b0) || !readable(b1) || n < 0) return BSTR_CMP_ERR;
  int m = std::min({n, b0->slen, b1->slen});
  int result = 0;
  if (b0->data != b1->data && compare_bytes(b0, b1, m, fold, &result)) return result;
  if (n == m || b0->slen == b1->slen) return 0;
  return b0->slen > m ? 1 : -1;
}

}  // namespace

int bstrcmp(const_bstring b0, const_bstring b1) { return compare(b0, b1, same); }
int bstricmp(const_bstring b0, const_bstring b1) {
  return compare(b0, b1, ascii_to_lower<unsigned char>);
}
int bstrncmp(const_bstring b0, const_bstring b1, int n) { return compare_n(b0, b1, n, same); }
int bstrnicmp(const_bstring b0, const_bstring b1, int n) {
  return compare_n(b0, b1, n, ascii_to_lower<unsigned char>);
}

int biseq(const_bstring b0, const_bstring b1) {
  if (!readable(b0) || !readable(b1)) return BSTR_ERR;
  if (b0->slen != b1->slen) return 0;
  if (b0->data == b1->data || b0->slen == 0) return 1;
  return std::memcmp(b0->data, b1->data, static_cast<std::size_t>(b0->slen)) == 0 ? 1 : 0;
}

int biseqcstr(const_bstring b, const char* s) {
  if (!readable(b) || s == nullptr) return BSTR_ERR;
  for (int i = 0; i < b->slen; ++i) {
    if (s[i] == '\0' || b->data[i] != static_cast<unsigned char>(s[i])) return 0;
  }
  return s[b->slen] == '\0' ? 1 : 0;
}

int biseqcaseless(const_bstring b0, const_bstring b1) {
  if (!readable(b0) || !readable(b1)) return BSTR_ERR;
  if (b0->slen != b1->slen) return 0;
  for (int i = 0; i < b0->slen; ++i) {
    if (ascii_to_lower(b0->data[i]) != ascii_to_lower(b1->data[i])) return 0;
  }
  return 1;
}

int binstr(const_bstring b1, int pos, const_bstring b2) {
  if (!readable(b1) || !readable(b2)) return BSTR_ERR;
  if (pos == b1->slen) return b2->slen == 0 ? pos : BSTR_ERR;
  if (pos < 0 || pos > b1->slen) return BSTR_ERR;
  if (b2->slen == 0) return pos;
  if (b2->slen > b1->slen - pos) return BSTR_ERR;
  const unsigned char* text = b1->data;
  const unsigned char* pattern = b2->data;
  auto plen = static_cast<std::size_t>(b2->slen);
  int last = b1->slen - b2->slen;  // last start that leaves room for the pattern
  int i = pos;
  while (i <= last) {
    const void* hit = std::memchr(text + i, pattern[0], static_cast<std::size_t>(last - i + 1));
    if (hit == nullptr) return BSTR_ERR;
    i = static_cast<int>(static_cast<const unsigned char*>(hit) - text);
    if (std::memcmp(text + i, pattern, plen) == 0) return i;
    ++i;
  }
  return BSTR_ERR;
}

int binstrr(const_bstring b1, int pos, const_bstring b2) {
  if (!readable(b1) || !readable(b2)) return BSTR_ERR;
  if (pos < 0 || pos > b1->slen) return BSTR_ERR;
  if (b2->slen == 0) return pos;
  if (b2->slen > b1->slen) return BSTR_ERR;
  auto plen = static_cast<std::size_t>(b2->slen);
  for (int i = std::min(pos, b1->slen - b2->slen); i >= 0; --i) {
    if (std::memcmp(b1->data + i, b2->data, plen) == 0) return i;
  }
  return BSTR_ERR;
}

int bstrchrp(const_bstring b, int c, int pos) {
  if (!readable(b) || pos < 0 || pos >= b->slen) return BSTR_ERR;
  const void* hit = std::memchr(b->data + pos, static_cast<unsigned char>(c),
                                static_cast<std::size_t>(b->slen - pos));
  return hit == nullptr ? BSTR_ERR
                        : static_cast<int>(static_cast<const unsigned char*>(hit) - b->data);
}

int bstrrchrp(const_bstring b, int c, int pos) {
  if (!readable(b) || pos < 0 || pos >= b->slen) return BSTR_ERR;
  auto byte = static_cast<unsigned char>(c);
  for (int i = pos; i >= 0; --i) {
    if (b->data[i] == byte) return i;
  }
  return BSTR_ERR;
}

int bstrchr(const_bstring b, int c) { return bstrchrp(b, c, 0); }
int bstrrchr(const_bstring b, int c) { return bstrrchrp(b, c, blength(b) - 1); }

int buildCharField(charField* cf, const_bstring b) {
  if (cf == nullptr || !readable(b) || b->slen <= 0) return BSTR_ERR;
  std::memset(cf->content, 0, sizeof cf->content);
  for (int i = 0; i < b->slen; ++i) {
    unsigned char c = b->data[i];
    cf->content[c >> 3] = static_cast<std::uint8_t>(cf->content[c >> 3] | (1u << (c & 7)));
  }
  return BSTR_OK;
}

namespace {

int find_in_set(const_bstring b0, int pos, const_bstring set, bool member) {
  charField cf;
  if (!readable(b0) || pos < 0 || pos >= b0->slen) return BSTR_ERR;
  if (buildCharField(&cf, set) != BSTR_OK) return BSTR_ERR;
  for (int i = pos; i < b0->slen; ++i) {
    if (in_field(cf, b0->data[i]) == member) return i;
  }
  return BSTR_ERR;
}

int find_in_set_reverse(const_bstring b0, int pos, const_bstring set, bool member) {
  charField cf;
  if (!readable(b0) || pos < 0 || pos > b0->slen) return BSTR_ERR;
  if (pos == b0->slen) --pos;
  if (pos < 0 || buildCharField(&cf, set) != BSTR_OK) return BSTR_ERR;
  for (int i = pos; i >= 0; --i) {
    if (in_field(cf, b0->data[i]) == member) return i;
  }
  return BSTR_ERR;
}

}  // namespace

int binchr(const_bstring b0, int pos, const_bstring b1) { return find_in_set(b0, pos, b1, true); }
int bninchr(const_bstring b0, int pos, const_bstring b1) {
  return find_in_set(b0, pos, b1, false);
}
int binchrr(const_bstring b0, int pos, const_bstring b1) {
  return find_in_set_reverse(b0, pos, b1, true);
}
int bninchrr(const_bstring b0, int pos, const_bstring b1) {
  return find_in_set_reverse(b0, pos, b1, false);
}
