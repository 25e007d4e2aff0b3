// Replace-token rules over arbitrary bytes: the first line of the input is
// the replace pattern of one rule (placeholders, "%" and all), the rest the
// data. A run either fails or leaves a valid list whose every edit lies
// within the data, and never reads outside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/regex.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {

struct FuzzRule {
  const char* name;
  const char* pattern;
  const char* replace;
  int options;
  std::uint64_t match_size;
  int repeat;
  int required;
};

const FuzzRule RULES[] = {
    {"DUPLEX", "@PJL\\s+SET DUPLEX(\\s*=\\s*)OFF(\\s*[\\n\\r]+)", "@PJL SET DUPLEX\\1ON\\2", 0,
     128, 0, 1},
    {"BINDING", "@PJL\\s+SET BINDING(\\s*=\\s*)LONGEDGE(\\s*[\\n\\r]+)",
     "@PJL SET BINDING\\1LONGEDGE\\2", 0, 128, 0, 1},
    {"QTY", "@PJL\\s+SET QTY(\\s*=\\s*)\\d+", "@PJL SET QTY\\1%d", 0, 128, 1, 0},
    {"GROUPS", "(a)(b)?(c)?(d)?(e)?", "<\\1\\2\\3\\4>", PCRE_CASELESS, REPLACE_TOKEN_WHOLE, 1, 0},
    {"ZERO", "\\x00+", "\\0", 0, 16, 1, 0},
    {"CLASS", "[%\\\\](.{0,8})", "\\1", PCRE_DOTALL, 64, 1, 0},
    {"COSTLY", "(x|xx)+[^x]", "", 0, REPLACE_TOKEN_WHOLE, 1, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* newline = static_cast<const std::uint8_t*>(std::memchr(data, '\n', size));
  const std::size_t head = newline == nullptr ? 0 : static_cast<std::size_t>(newline - data) + 1;
  const std::string replace(reinterpret_cast<const char*>(data), head == 0 ? 0 : head - 1);
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data + head, size - head);
  const std::uint64_t length = input.size();
  if (length == 0) return 0;

  ReplaceTokenListPtr list(replace_token_list_create("fuzz", 0, REPLACE_TOKEN_WHOLE,
                                                     static_cast<std::int64_t>(length / 2),
                                                     size % 3 == 0 ? 2 : 0));
  const char* captures[] = {"=", "\n", nullptr};
  for (const FuzzRule& r : RULES) {
    if (!replacement_regex_append(list.get(), r.name, r.pattern, r.match_size, r.options, 0,
                                  REPLACE_TOKEN_WHOLE, r.replace, captures, r.required, r.repeat,
                                  nullptr)) {
      std::abort();
    }
  }
  if (replace.size() <= REPLACE_TOKEN_PATTERN_MAX &&
      !replacement_regex_append(list.get(), "INPUT", "@(\\w*)=?(\\w*)", 64, 0, 0,
                                REPLACE_TOKEN_WHOLE, replace.c_str(), captures, 1, 1, nullptr)) {
    std::abort();
  }
  (void)replacement_regex_associate(list.get(), "DUPLEX", "BINDING");
  ReplacementListPtr edits(replace_token_list_to_replacement_list(
      list.get(), input.data(), length, static_cast<int>(size % 5), "fuzz printer"));
  if (edits == nullptr) return 0;
  replacement_list_sort(edits.get());
  if (replacement_list_is_valid(input.data(), length, edits.get()) != 1) std::abort();
  return 0;
}
