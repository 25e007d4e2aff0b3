// Header parsing: the header end must not depend on where the reply is cut
// into pieces, header values never hold a line break, and a parsed status
// line never leaks past its line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "server/http.h"

namespace {

const char* const NAMES[] = {"Content-Length", "Content-Type", "A", "X-Content-Length"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const char* name = NAMES[data[0] % 4];
  const std::size_t split = data[1] % (size - 1);
  data += 2;
  size -= 2;
  // Exact-size heap copies: the bytes, and the same terminated as text.
  auto* bytes = static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
  char* text = static_cast<char*>(std::malloc(size + 1));
  if (bytes == nullptr || text == nullptr) std::abort();
  if (size > 0) std::memcpy(bytes, data, size);
  if (size > 0) std::memcpy(text, data, size);
  text[size] = '\0';

  if (char* value = get_header(text, name)) {
    if (std::strpbrk(value, "\r\n") != nullptr) std::abort();
    std::free(value);
  }

  const std::span<const std::uint8_t> all(bytes, size);
  HttpHeaderScan whole{};
  const std::int64_t expected = http_find_header_end(all, 0, &whole);
  HttpHeaderScan pieces{};
  const std::size_t cut = split <= size ? split : size;
  std::int64_t end = http_find_header_end(all.first(cut), 0, &pieces);
  if (end < 0) end = http_find_header_end(all, cut, &pieces);
  if (end != expected) std::abort();

  if (expected > 0) {
    HttpResponse* response = nullptr;
    if (http_parse_header(all.first(static_cast<std::size_t>(expected)), &response) == 0) {
      if (std::strpbrk(response->reason_phrase, "\r\n") != nullptr) std::abort();
      if (response->content_length < -1) std::abort();
      if (response->header_length != static_cast<std::size_t>(expected)) std::abort();
      http_free_response(response);
    }
  }
  std::free(text);
  std::free(bytes);
  return 0;
}
