// Counted, growable byte strings. A string holds arbitrary bytes (zero bytes
// included), always keeps one zero byte after its content and grows its
// storage by powers of two.
//
// Result conventions: integer results are 0 (BSTR_OK) for success and -1
// (BSTR_ERR) for failure (missing or invalid argument, read-only string, no
// memory, a size that does not fit in 32 bits); operations that make a new
// string give nullptr on failure; comparisons give BSTR_CMP_ERR (-32768) for
// an invalid argument. No operation logs, throws or aborts, and a failed
// operation leaves its target unchanged.
//
// A writable string has slen >= 0, mlen > slen, data present and
// data[slen] == 0. A record whose mlen is not positive or is smaller than its
// slen is a read-only view: every operation that would write to it fails.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/owned.h"

struct tagbstring {
  int mlen;             // bytes allocated for data
  int slen;             // content bytes
  unsigned char* data;  // content, followed by one zero byte
};
using bstring = tagbstring*;
using const_bstring = const tagbstring*;

// A split result: qty entries, each owned by the list; mlen is the room.
struct bstrList {
  int qty;
  int mlen;
  bstring* entry;
};

inline constexpr int BSTR_OK = 0;
inline constexpr int BSTR_ERR = -1;
inline constexpr int BSTR_CMP_ERR = -32768;
// Default read-buffer size of a stream.
inline constexpr int BSTR_STREAM_BUFFER = 1024;

#define BSTR_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

// ---- accessors (safe on nullptr and invalid strings) ----

// Content length, 0 for a missing or invalid string.
inline int blength(const_bstring b) { return (b == nullptr || b->slen < 0) ? 0 : b->slen; }
// Content as text, nullptr for a missing string.
inline char* bdata(bstring b) { return b == nullptr ? nullptr : reinterpret_cast<char*>(b->data); }
inline const char* bdata(const_bstring b) {
  return b == nullptr ? nullptr : reinterpret_cast<const char*>(b->data);
}
// Content as text, `e` for a missing string.
inline const char* bdatae(const_bstring b, const char* e) {
  return (b == nullptr || b->data == nullptr) ? e : reinterpret_cast<const char*>(b->data);
}
// Byte at position p, 0 when p is outside the content.
inline char bchar(const_bstring b, int p) {
  return (b == nullptr || b->data == nullptr || p < 0 || p >= b->slen)
             ? '\0'
             : static_cast<char>(b->data[p]);
}
// A read-only view of `len` bytes (no allocation; never pass it to bdestroy).
inline tagbstring bview(const void* blk, int len) {
  return tagbstring{-1, len, static_cast<unsigned char*>(const_cast<void*>(blk))};
}

// ---- creation and destruction ----

// New string holding a copy of the zero-terminated text; nullptr for none.
[[nodiscard]] bstring bfromcstr(const char* str);
// As bfromcstr, with a capacity of at least `mlen`.
[[nodiscard]] bstring bfromcstralloc(int mlen, const char* str);
// New string holding a copy of `len` bytes (zero bytes allowed).
[[nodiscard]] bstring blk2bstr(const void* blk, int len);
// New copy of b.
[[nodiscard]] bstring bstrcpy(const_bstring b);
// New string of at most `len` bytes of b from `left` on, clipped to the
// content; a negative `left` reduces `len` by its amount and starts at 0.
[[nodiscard]] bstring bmidstr(const_bstring b, int left, int len);
// New string with the printf-formatted text (cut at its first zero byte).
[[nodiscard]] bstring bformat(const char* fmt, ...) BSTR_PRINTF(1, 2);
[[nodiscard]] bstring bvformat(const char* fmt, va_list args) BSTR_PRINTF(1, 0);
// Frees data and record; -1 for a missing, invalid or read-only string.
int bdestroy(bstring b);
using BstringPtr = Owned<tagbstring, bdestroy>;
// Newly allocated zero-terminated copy of b with every zero byte of the
// content replaced by z; free it with bcstrfree.
[[nodiscard]] char* bstr2cstr(const_bstring b, char z);
// Frees a bstr2cstr buffer; -1 for none.
int bcstrfree(char* s);

// ---- capacity ----

// Makes room for `len` bytes: nothing happens when len < mlen, else mlen
// becomes the least power of two above len (at least 8).
[[nodiscard]] int balloc(bstring b, int len);

// ---- assignment and appending ----

// a's content becomes a copy of b's.
[[nodiscard]] int bassign(bstring a, const_bstring b);
// a's content becomes the substring of b chosen as in bmidstr.
[[nodiscard]] int bassignmidstr(bstring a, const_bstring b, int left, int len);
// a's content becomes the zero-terminated text / the block.
[[nodiscard]] int bassigncstr(bstring a, const char* str);
[[nodiscard]] int bassignblk(bstring a, const void* blk, int len);
// Appends b1 to b0; b1 may be b0 or lie inside b0's storage.
[[nodiscard]] int bconcat(bstring b0, const_bstring b1);
// Appends one byte.
[[nodiscard]] int bconchar(bstring b0, char c);
// Appends a zero-terminated text.
[[nodiscard]] int bcatcstr(bstring b, const char* s);
// Appends `len` bytes.
[[nodiscard]] int bcatblk(bstring b, const void* s, int len);
// Appends the printf-formatted text.
[[nodiscard]] int bformata(bstring b, const char* fmt, ...) BSTR_PRINTF(2, 3);

// ---- editing ----

// Inserts b2 at pos; when pos is past the end the gap is filled with `fill`.
[[nodiscard]] int binsert(bstring b1, int pos, const_bstring b2, unsigned char fill);
// Inserts `len` copies of `fill` at pos (filling from the end when pos is
// past it).
[[nodiscard]] int binsertch(bstring b, int pos, int len, unsigned char fill);
// Replaces `len` bytes at pos with b2 (filling with `fill` past the end).
[[nodiscard]] int breplace(bstring b1, int pos, int len, const_bstring b2, unsigned char fill);
// Overwrites b0 from pos with b1 (nullptr: nothing), filling a gap past the
// end with `fill`; the string grows as needed.
[[nodiscard]] int bsetstr(bstring b0, int pos, const_bstring b1, unsigned char fill);
// Removes up to `len` bytes at pos; a negative pos reduces len and starts at
// 0; pos at or past the end changes nothing; a negative len is invalid.
[[nodiscard]] int bdelete(bstring b, int pos, int len);
// Cuts the content to at most n bytes.
[[nodiscard]] int btrunc(bstring b, int n);
// Repeats the content until it is `len` bytes long (or cuts it to len).
[[nodiscard]] int bpattern(bstring b, int len);
// Replaces every occurrence of `find` from `pos` on with `repl`; replaced
// text is never searched again.
[[nodiscard]] int bfindreplace(bstring b, const_bstring find, const_bstring repl, int pos);

// ---- case and white space (ASCII only, bytes >= 128 stay) ----

// Lower-/upper-cases the content in place.
[[nodiscard]] int btolower(bstring b);
[[nodiscard]] int btoupper(bstring b);
// Remove blank, tab, LF, VT, FF and CR at both ends / the left / the right.
[[nodiscard]] int btrimws(bstring b);
[[nodiscard]] int bltrimws(bstring b);
[[nodiscard]] int brtrimws(bstring b);

// ---- comparison ----

// First difference of the bytes taken as signed values; a zero byte held by
// both at the same place ends with 0; a proper prefix is smaller (-1 / 1).
[[nodiscard]] int bstrcmp(const_bstring b0, const_bstring b1);
// The same over at most n bytes; n < 0 is invalid.
[[nodiscard]] int bstrncmp(const_bstring b0, const_bstring b1, int n);
// As bstrcmp with ASCII letters folded to lower case.
[[nodiscard]] int bstricmp(const_bstring b0, const_bstring b1);
[[nodiscard]] int bstrnicmp(const_bstring b0, const_bstring b1, int n);
// 1 when equal, 0 when not, -1 for an invalid argument.
[[nodiscard]] int biseq(const_bstring b0, const_bstring b1);
[[nodiscard]] int biseqcstr(const_bstring b, const char* s);
[[nodiscard]] int biseqcaseless(const_bstring b0, const_bstring b1);

// ---- searching (positions, -1 when not found or invalid) ----

// First occurrence of b2 at or after pos; an empty b2 is found at pos.
[[nodiscard]] int binstr(const_bstring b1, int pos, const_bstring b2);
// Last occurrence of b2 starting at or before pos.
[[nodiscard]] int binstrr(const_bstring b1, int pos, const_bstring b2);
// First / last occurrence of byte c at or after / at or before pos.
[[nodiscard]] int bstrchrp(const_bstring b, int c, int pos);
[[nodiscard]] int bstrrchrp(const_bstring b, int c, int pos);
[[nodiscard]] int bstrchr(const_bstring b, int c);
[[nodiscard]] int bstrrchr(const_bstring b, int c);
// First / last byte at or after / at or before pos that is in (binchr) or
// not in (bninchr) the set of bytes of b1.
[[nodiscard]] int binchr(const_bstring b0, int pos, const_bstring b1);
[[nodiscard]] int binchrr(const_bstring b0, int pos, const_bstring b1);
[[nodiscard]] int bninchr(const_bstring b0, int pos, const_bstring b1);
[[nodiscard]] int bninchrr(const_bstring b0, int pos, const_bstring b1);

// A set of bytes as a 256-bit field.
struct charField {
  std::uint8_t content[256 / 8];
};
// Fills cf with the bytes of b; -1 for an invalid or empty b.
[[nodiscard]] int buildCharField(charField* cf, const_bstring b);

// ---- lists, split and join ----

// New empty list; nullptr when out of memory.
[[nodiscard]] bstrList* bstrListCreate();
// Makes room for at least msz entries.
[[nodiscard]] int bstrListAlloc(bstrList* sl, int msz);
// Destroys every entry, sets qty to -1 and frees the list; -1 for none.
int bstrListDestroy(bstrList* sl);
using BstrListPtr = Owned<bstrList, bstrListDestroy>;
// Calls cb(parm, offset, length) for each piece of str between separator
// bytes, starting at pos. Leading and inner empty pieces are kept, a
// separator at the very end adds no empty piece, an empty range gives one
// empty piece. A negative cb result stops the walk and is returned.
[[nodiscard]] int bsplitcb(const_bstring str, unsigned char splitChar, int pos,
                           int (*cb)(void* parm, int ofs, int len), void* parm);
// New list of the pieces of str between splitChar bytes (rules of bsplitcb).
[[nodiscard]] bstrList* bsplit(const_bstring str, unsigned char splitChar);
// The same with any byte of splitStr as separator; an empty splitStr gives
// the whole string as one piece.
[[nodiscard]] bstrList* bsplits(const_bstring str, const_bstring splitStr);
// New string of all entries with sep (nullptr: none) between them.
[[nodiscard]] bstring bjoin(const bstrList* bl, const_bstring sep);

// ---- reading from a caller's source ----

// Next byte (0..255) or a negative value at the end.
using bNgetc = int (*)(void* parm);
// fread-like: reads up to elsize * nelem bytes into buff, returns the count of
// elements read (0 at the end).
using bNread = std::size_t (*)(void* buff, std::size_t elsize, std::size_t nelem, void* parm);

// Appends bytes up to and including `terminator` (or to the end); -1 when
// nothing was read.
[[nodiscard]] int bgetsa(bstring b, bNgetc getcPtr, void* parm, char terminator);
// New string of the next line (with its terminator); nullptr when nothing
// was read.
[[nodiscard]] bstring bgets(bNgetc getcPtr, void* parm, char terminator);
// Appends everything the source gives.
[[nodiscard]] int breada(bstring b, bNread readPtr, void* parm);
// New string of everything the source gives.
[[nodiscard]] bstring bread(bNread readPtr, void* parm);

// ---- buffered streams over a caller's read function ----

struct bStream;

// New stream reading through readPtr with parm; nullptr for a missing
// function or when out of memory.
[[nodiscard]] bStream* bsopen(bNread readPtr, void* parm);
// Frees the stream and returns its parm; nullptr for none.
void* bsclose(bStream* s);
using BStreamPtr = Owned<bStream, bsclose>;
// Sets the read-buffer size when sz > 0; returns the previous size, -1 for
// an invalid argument.
int bsbufflength(bStream* s, int sz);
// Reads / appends up to and including the terminator; -1 when nothing was read.
[[nodiscard]] int bsreadln(bstring b, bStream* s, char terminator);
[[nodiscard]] int bsreadlna(bstring b, bStream* s, char terminator);
// The same with any byte of `term` as terminator.
[[nodiscard]] int bsreadlns(bstring r, bStream* s, const_bstring term);
[[nodiscard]] int bsreadlnsa(bstring r, bStream* s, const_bstring term);
// Reads / appends up to n bytes; -1 when nothing was read.
[[nodiscard]] int bsread(bstring b, bStream* s, int n);
[[nodiscard]] int bsreada(bstring b, bStream* s, int n);
// Pushes b back in front of the unread bytes.
[[nodiscard]] int bsunread(bStream* s, const_bstring b);
// r becomes a copy of the buffered, unread bytes.
[[nodiscard]] int bspeek(bstring r, const bStream* s);
// 1 when the source is exhausted and nothing is buffered, else 0; -1 invalid.
[[nodiscard]] int bseof(const bStream* s);
// Reads the whole stream and calls cb(parm, offset, piece) for each piece
// between bytes of splitStr (split rules of bsplitcb; an empty splitStr gives
// the whole stream as one piece). A negative cb result stops and is returned.
[[nodiscard]] int bssplitscb(bStream* s, const_bstring splitStr,
                             int (*cb)(void* parm, int ofs, const_bstring entry), void* parm);

