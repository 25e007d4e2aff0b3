// Drives split, join, substring search and find-and-replace of the byte
// strings with fuzz input and checks their results against plain models
// and the string invariants (zero byte after the content, capacity above
// the length).
//
// Input: byte 0 is the split separator, byte 1 the start position, byte 2
// the pattern length (mod 8), byte 3 the replacement length (mod 8); then
// the pattern, the replacement and the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bstrlib.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

void require_sound(const_bstring b) {
  require(b != nullptr && b->data != nullptr && b->slen >= 0 && b->mlen > b->slen &&
          b->data[b->slen] == '\0');
}

using Bptr = BstringPtr;

Bptr make(const std::string& s) {
  return Bptr(blk2bstr(s.data(), static_cast<int>(s.size())));
}

std::string content(const_bstring b) {
  return std::string(reinterpret_cast<const char*>(b->data), static_cast<std::size_t>(b->slen));
}

void check_split_join(const std::string& text, unsigned char sep) {
  Bptr b = make(text);
  bstrList* list = bsplit(b.get(), sep);
  require(list != nullptr && list->qty >= 1 && list->qty <= list->mlen);
  for (int i = 0; i < list->qty; ++i) {
    require_sound(list->entry[i]);
    require(std::memchr(list->entry[i]->data, sep, static_cast<std::size_t>(list->entry[i]->slen)) ==
            nullptr);
  }
  tagbstring separator = bview(&sep, 1);
  Bptr joined(bjoin(list, &separator));
  require_sound(joined.get());
  // A separator at the very end adds no piece, so the join lacks it.
  std::string expected = text;
  if (!expected.empty() && static_cast<unsigned char>(expected.back()) == sep) expected.pop_back();
  require(content(joined.get()) == expected);
  require(bstrListDestroy(list) == BSTR_OK);
}

void check_search(const std::string& text, int pos, const std::string& pattern) {
  Bptr b = make(text);
  Bptr p = make(pattern);
  int found = binstr(b.get(), pos, p.get());
  int expected = -1;
  if (pos >= 0 && static_cast<std::size_t>(pos) <= text.size()) {
    std::size_t at = text.find(pattern, static_cast<std::size_t>(pos));
    if (at != std::string::npos) expected = static_cast<int>(at);
  }
  require(found == expected);
  int last = binstrr(b.get(), pos, p.get());
  int expected_last = -1;
  if (pos >= 0 && static_cast<std::size_t>(pos) <= text.size()) {
    std::size_t at = text.rfind(pattern, static_cast<std::size_t>(pos));
    if (at != std::string::npos) expected_last = static_cast<int>(at);
  }
  require(last == expected_last);
}

std::string model_replace(const std::string& text, const std::string& find,
                          const std::string& repl, std::size_t pos) {
  if (pos + find.size() > text.size()) return text;
  std::string out = text.substr(0, pos);
  std::size_t at = pos;
  for (;;) {
    std::size_t hit = text.find(find, at);
    if (hit == std::string::npos) break;
    out.append(text, at, hit - at);
    out += repl;
    at = hit + find.size();
  }
  out.append(text, at, std::string::npos);
  return out;
}

void check_replace(const std::string& text, int pos, const std::string& find,
                   const std::string& repl) {
  Bptr b = make(text);
  Bptr f = make(find);
  Bptr r = make(repl);
  int ret = bfindreplace(b.get(), f.get(), r.get(), pos);
  require_sound(b.get());
  if (find.empty()) {
    require(ret == BSTR_ERR && content(b.get()) == text);
    return;
  }
  require(ret == BSTR_OK);
  require(content(b.get()) == model_replace(text, find, repl, static_cast<std::size_t>(pos)));

  // The same with the pattern taken from the string's own storage.
  if (!find.empty() && find.size() <= text.size()) {
    Bptr self = make(text);
    tagbstring own = bview(self->data, static_cast<int>(find.size()));
    ret = bfindreplace(self.get(), &own, r.get(), pos);
    require(ret == BSTR_OK);
    require_sound(self.get());
    require(content(self.get()) ==
            model_replace(text, text.substr(0, find.size()), repl, static_cast<std::size_t>(pos)));
  }
}

void check_concat_and_compare(const std::string& text, const std::string& other) {
  Bptr b = make(text);
  require(bconcat(b.get(), b.get()) == BSTR_OK);
  require_sound(b.get());
  require(content(b.get()) == text + text);
  Bptr o = make(other);
  int forward = bstrcmp(b.get(), o.get());
  int backward = bstrcmp(o.get(), b.get());
  require((forward > 0) == (backward < 0) && (forward == 0) == (backward == 0));
  forward = bstricmp(b.get(), o.get());
  backward = bstricmp(o.get(), b.get());
  require((forward > 0) == (backward < 0) && (forward == 0) == (backward == 0));
  require(btrimws(b.get()) == BSTR_OK);
  require_sound(b.get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > (1u << 16)) return 0;
  // An exact-size copy so that a read one byte past the input is caught.
  std::vector<std::uint8_t> owned(data, data + size);
  auto* copy = static_cast<std::uint8_t*>(std::malloc(size));
  std::memcpy(copy, owned.data(), size);
  unsigned char sep = copy[0];
  int pos = copy[1];
  std::size_t find_len = copy[2] % 8;
  std::size_t repl_len = copy[3] % 8;
  const char* rest = reinterpret_cast<const char*>(copy + 4);
  std::size_t rest_len = size - 4;
  find_len = std::min(find_len, rest_len);
  repl_len = std::min(repl_len, rest_len - find_len);
  std::string find(rest, find_len);
  std::string repl(rest + find_len, repl_len);
  std::string text(rest + find_len + repl_len, rest_len - find_len - repl_len);
  std::free(copy);

  check_split_join(text, sep);
  check_search(text, pos, find);
  check_search(text, static_cast<int>(text.size()) - pos, find);
  check_replace(text, pos % (static_cast<int>(text.size()) + 2), find, repl);
  check_concat_and_compare(text, find + repl);
  return 0;
}
