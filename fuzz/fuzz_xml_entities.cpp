// Decodes arbitrary text to a separate target and in place; both results must
// agree and never grow past the source.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exact-size heap copies, terminated, so a one-byte over-read is caught.
  char* source = static_cast<char*>(std::malloc(size + 1));
  if (source == nullptr) return 0;
  std::memcpy(source, data, size);
  source[size] = '\0';
  const std::size_t length = std::strlen(source);

  char* target = static_cast<char*>(std::malloc(length + 1));
  char* in_place = static_cast<char*>(std::malloc(length + 1));
  if (target != nullptr && in_place != nullptr) {
    std::memcpy(in_place, source, length + 1);
    const std::size_t decoded = util_xml_decode_entities_utf8(target, source);
    const std::size_t decoded_in_place = util_xml_decode_entities_utf8(in_place, nullptr);
    if (decoded > length || decoded != std::strlen(target) || decoded != decoded_in_place ||
        std::memcmp(target, in_place, decoded + 1) != 0) {
      std::abort();
    }
  }
  std::free(in_place);
  std::free(target);
  std::free(source);
  return 0;
}
