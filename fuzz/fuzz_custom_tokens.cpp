// The custom token file's parser over arbitrary text: every entry kept has
// an instance above 0, a key and a value within their limits and no zero
// byte in its value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "modify/custom_tokens.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  KeyvalListPtr list(create_keyval_list());
  if (list == nullptr || parse_custom_tokens(text, list.get()) != 1) return 0;
  for (const keyval& e : list->entries) {
    if (e.instance < 1 || e.key.size() > CUSTOM_KEY_MAX || e.value.size() > CUSTOM_VALUE_MAX ||
        e.value.find('\0') != std::string::npos) {
      std::abort();
    }
  }
  return 0;
}
