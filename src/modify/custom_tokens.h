// The custom token file: an administrator's own rewriting rules, numbered
// instances of key=value lines ("3.search_pattern=..."), loaded into one
// replace-token list (replacement_regex.h).
//
//   1.friendly_name=A
//   1.search_pattern=X
//   1.replace_pattern="Y \x1BE"
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/owned.h"

struct ReplaceTokenList;

inline constexpr std::size_t CUSTOM_LINE_MAX = 1022;
inline constexpr std::size_t CUSTOM_KEY_PART_MAX = 255;
inline constexpr std::size_t CUSTOM_INSTANCE_MAX = 31;
inline constexpr std::size_t CUSTOM_KEY_MAX = 63;
inline constexpr std::size_t CUSTOM_VALUE_MAX = 127;
// Different instances one file may hold.
inline constexpr std::size_t CUSTOM_INSTANCES_MAX = 99;

struct keyval {
  std::int32_t instance;
  std::string key;
  std::string value;
  int line;  // in the file, from 1: complaints name it
};

// The parsed entries, in file order.
struct keyval_list {
  std::vector<keyval> entries;
};

[[nodiscard]] keyval_list* create_keyval_list();
void free_keyval_list(keyval_list* list);
using KeyvalListPtr = Owned<keyval_list, free_keyval_list>;

// Removes leading and trailing blanks of a zero-terminated text in place.
void trim(char* text);

// Reads the entries of a custom token file's text into `list`. 0 when a
// line's instance part is not a number (the whole file is refused); lines
// without "=", or longer than the limits above, are logged with their line
// number and skipped.
[[nodiscard]] int parse_custom_tokens(const std::string& text, keyval_list* list);

// The rules of the file at `path` as the list "Custom tokens"; nullptr when
// the file is missing (logged at debug level: no rules is no error), cannot
// be read or is refused (logged as an ERROR). A rule whose patterns do not
// compile is logged with its line and left out; the others load.
[[nodiscard]] ReplaceTokenList* load_custom_tokens(const char* path);
