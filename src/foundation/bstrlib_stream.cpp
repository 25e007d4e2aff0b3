// Byte strings: reading from a caller's source, directly or through a
// buffered stream.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/bstrlib.h"
#include "foundation/bstrlib_internal.h"

using namespace bstr_detail;

struct bStream {
  bstring buff;      // bytes read ahead and not yet handed out
  void* parm;        // the caller's source
  bNread readFnPtr;  // the caller's read function
  int isEOF;         // the source has reported its end
  int maxBuffSz;     // bytes asked of the source per read
};

namespace {

// Largest chunk breada asks for at once.
constexpr std::int64_t READ_CHUNK_MAX = 1 << 20;
// Smallest chunk breada asks for.
constexpr std::int64_t READ_CHUNK_MIN = 1024;
// Chunk bssplitscb reads the stream in.
constexpr int SPLIT_READ_CHUNK = 256;

// Calls the caller's read function for up to n bytes; a count above what
// was asked (a faulty source) is taken as n.
std::int64_t read_some(bNread read, void* parm, unsigned char* into, std::int64_t n) {
  std::size_t got = read(into, 1, static_cast<std::size_t>(n), parm);
  return static_cast<std::int64_t>(std::min(got, static_cast<std::size_t>(n)));
}

bool stream_valid(const bStream* s) {
  return s != nullptr && s->readFnPtr != nullptr && writable(s->buff);
}

charField single_byte_field(char terminator) {
  charField cf{};
  auto c = static_cast<unsigned char>(terminator);
  cf.content[c >> 3] = static_cast<std::uint8_t>(1u << (c & 7));
  return cf;
}

// Index of the first byte of [from, to) in the set, or `to`.
std::int64_t first_in_set(const unsigned char* p, std::int64_t from, std::int64_t to,
                          const charField& cf) {
  while (from < to && !in_field(cf, p[from])) ++from;
  return from;
}

// Appends to r the bytes up to and including the first byte in the set.
int read_line(bstring r, bStream* s, const charField& cf) {
  if (!stream_valid(s) || !writable(r)) return BSTR_ERR;
  std::int64_t start_len = r->slen;
  bstring buf = s->buff;
  std::int64_t buffered = buf->slen;
  std::int64_t stop = first_in_set(buf->data, 0, buffered, cf);
  bool found = stop < buffered;
  std::int64_t take = found ? stop + 1 : buffered;
  if (bcatblk(r, buf->data, static_cast<int>(take)) != BSTR_OK) return BSTR_ERR;
  if (bdelete(buf, 0, static_cast<int>(take)) != BSTR_OK) return BSTR_ERR;
  if (found) return BSTR_OK;
  // Read straight into r; what follows the terminator goes back to the buffer.
  while (!s->isEOF) {
    std::int64_t at = r->slen;
    if (balloc_wide(r, at + s->maxBuffSz + 1) != BSTR_OK) return BSTR_ERR;
    std::int64_t got = read_some(s->readFnPtr, s->parm, r->data + at, s->maxBuffSz);
    if (got <= 0) {
      s->isEOF = 1;
      r->data[at] = '\0';
      break;
    }
    std::int64_t end = first_in_set(r->data, at, at + got, cf);
    if (end < at + got) {
      if (bassignblk(buf, r->data + end + 1, static_cast<int>(at + got - end - 1)) != BSTR_OK) {
        r->data[at] = '\0';
        return BSTR_ERR;
      }
      r->slen = static_cast<int>(end + 1);
      r->data[r->slen] = '\0';
      return BSTR_OK;
    }
    r->slen = static_cast<int>(at + got);
    r->data[r->slen] = '\0';
  }
  return r->slen == start_len ? BSTR_ERR : BSTR_OK;
}

int empty(bstring r) {
  if (!writable(r)) return BSTR_ERR;
  r->slen = 0;
  r->data[0] = '\0';
  return BSTR_OK;
}

}  // namespace

int bgetsa(bstring b, bNgetc getcPtr, void* parm, char terminator) {
  if (!writable(b) || getcPtr == nullptr) return BSTR_ERR;
  int start_len = b->slen;
  auto end = static_cast<unsigned char>(terminator);
  int c;
  while ((c = getcPtr(parm)) >= 0) {
    auto byte = static_cast<unsigned char>(c);
    if (bconchar(b, static_cast<char>(byte)) != BSTR_OK) return BSTR_ERR;
    if (byte == end) break;
  }
  return b->slen == start_len ? BSTR_ERR : BSTR_OK;
}

bstring bgets(bNgetc getcPtr, void* parm, char terminator) {
  bstring b = bfromcstr("");
  if (b != nullptr && bgetsa(b, getcPtr, parm, terminator) != BSTR_OK) {
    bdestroy(b);
    return nullptr;
  }
  return b;
}

int breada(bstring b, bNread readPtr, void* parm) {
  if (!writable(b) || readPtr == nullptr) return BSTR_ERR;
  for (;;) {
    std::int64_t at = b->slen;
    std::int64_t chunk = std::clamp<std::int64_t>(at, READ_CHUNK_MIN, READ_CHUNK_MAX);
    chunk = std::min(chunk, MAX_LENGTH - at);
    if (chunk <= 0 || balloc_wide(b, at + chunk + 1) != BSTR_OK) return BSTR_ERR;
    std::int64_t got = read_some(readPtr, parm, b->data + at, chunk);
    b->slen = static_cast<int>(at + got);
    b->data[b->slen] = '\0';
    if (got == 0) return BSTR_OK;
  }
}

bstring bread(bNread readPtr, void* parm) {
  bstring b = bfromcstr("");
  if (b != nullptr && breada(b, readPtr, parm) != BSTR_OK) {
    bdestroy(b);
    return nullptr;
  }
  return b;
}

bStream* bsopen(bNread readPtr, void* parm) {
  if (readPtr == nullptr) return nullptr;
  auto* s = new (std::nothrow) bStream();
  if (s == nullptr) return nullptr;
  s->buff = bfromcstr("");
  if (s->buff == nullptr) {
    delete s;
    return nullptr;
  }
  s->parm = parm;
  s->readFnPtr = readPtr;
  s->isEOF = 0;
  s->maxBuffSz = BSTR_STREAM_BUFFER;
  return s;
}

void* bsclose(bStream* s) {
  if (s == nullptr) return nullptr;
  void* parm = s->parm;
  if (s->buff != nullptr) bdestroy(s->buff);
  s->buff = nullptr;
  s->readFnPtr = nullptr;
  delete s;
  return parm;
}

int bsbufflength(bStream* s, int sz) {
  if (s == nullptr || sz < 0) return BSTR_ERR;
  int old = s->maxBuffSz;
  if (sz > 0) s->maxBuffSz = sz;
  return old;
}

int bsreadlna(bstring b, bStream* s, char terminator) {
  return read_line(b, s, single_byte_field(terminator));
}

int bsreadln(bstring b, bStream* s, char terminator) {
  if (!stream_valid(s) || empty(b) != BSTR_OK) return BSTR_ERR;
  return bsreadlna(b, s, terminator);
}

int bsreadlnsa(bstring r, bStream* s, const_bstring term) {
  charField cf;
  if (buildCharField(&cf, term) != BSTR_OK) return BSTR_ERR;
  return read_line(r, s, cf);
}

int bsreadlns(bstring r, bStream* s, const_bstring term) {
  if (!stream_valid(s) || empty(r) != BSTR_OK) return BSTR_ERR;
  return bsreadlnsa(r, s, term);
}

int bsreada(bstring b, bStream* s, int n) {
  if (!stream_valid(s) || !writable(b) || n <= 0) return BSTR_ERR;
  if (b->slen + std::int64_t{n} > MAX_LENGTH) return BSTR_ERR;
  std::int64_t start_len = b->slen;
  std::int64_t want = n;
  std::int64_t take = std::min<std::int64_t>(want, s->buff->slen);
  if (take > 0) {
    if (bcatblk(b, s->buff->data, static_cast<int>(take)) != BSTR_OK) return BSTR_ERR;
    if (bdelete(s->buff, 0, static_cast<int>(take)) != BSTR_OK) return BSTR_ERR;
    want -= take;
  }
  while (want > 0 && !s->isEOF) {
    std::int64_t at = b->slen;
    std::int64_t chunk = std::min<std::int64_t>(want, s->maxBuffSz);
    if (balloc_wide(b, at + chunk + 1) != BSTR_OK) return BSTR_ERR;
    std::int64_t got = read_some(s->readFnPtr, s->parm, b->data + at, chunk);
    if (got <= 0) s->isEOF = 1;
    b->slen = static_cast<int>(at + std::max<std::int64_t>(got, 0));
    b->data[b->slen] = '\0';
    want -= std::max<std::int64_t>(got, 0);
  }
  return b->slen == start_len ? BSTR_ERR : BSTR_OK;
}

int bsread(bstring b, bStream* s, int n) {
  if (!stream_valid(s) || empty(b) != BSTR_OK) return BSTR_ERR;
  return bsreada(b, s, n);
}

int bsunread(bStream* s, const_bstring b) {
  if (!stream_valid(s)) return BSTR_ERR;
  return binsert(s->buff, 0, b, '?');
}

int bspeek(bstring r, const bStream* s) {
  if (!stream_valid(s)) return BSTR_ERR;
  return bassign(r, s->buff);
}

int bseof(const bStream* s) {
  if (!stream_valid(s)) return BSTR_ERR;
  return (s->isEOF && s->buff->slen == 0) ? 1 : 0;
}

namespace {

// The whole rest of the stream as one piece.
int split_none(bStream* s, int (*cb)(void*, int, const_bstring), void* parm, bstring piece) {
  while (bsreada(piece, s, SPLIT_READ_CHUNK) == BSTR_OK) {
  }
  if (!s->isEOF) return BSTR_ERR;
  return std::min(cb(parm, 0, piece), 0);
}

}  // namespace

int bssplitscb(bStream* s, const_bstring splitStr,
               int (*cb)(void* parm, int ofs, const_bstring entry), void* parm) {
  if (cb == nullptr || !stream_valid(s) || !readable(splitStr)) return BSTR_ERR;
  bstring piece = bfromcstr("");
  if (piece == nullptr) return BSTR_ERR;
  int ret = BSTR_OK;
  if (splitStr->slen == 0) {
    ret = split_none(s, cb, parm, piece);
  } else {
    charField cf;
    ret = buildCharField(&cf, splitStr);
    std::int64_t offset = 0;
    for (bool first = true; ret >= 0; first = false) {
      empty(piece);
      if (read_line(piece, s, cf) != BSTR_OK) {
        // Nothing left: an empty stream is one empty piece, and a separator
        // at the very end adds none.
        if (!s->isEOF) ret = BSTR_ERR;
        else if (first) ret = std::min(cb(parm, 0, piece), 0);
        break;
      }
      bool separated = in_field(cf, piece->data[piece->slen - 1]);
      std::int64_t piece_len = piece->slen - (separated ? 1 : 0);
      if (offset > INT_MAX) {
        ret = BSTR_ERR;
        break;
      }
      piece->slen = static_cast<int>(piece_len);
      piece->data[piece_len] = '\0';
      ret = std::min(cb(parm, static_cast<int>(offset), piece), 0);
      offset += piece_len + 1;
      if (!separated) break;
    }
  }
  bdestroy(piece);
  return ret;
}
