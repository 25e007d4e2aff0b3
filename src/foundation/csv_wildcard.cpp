// Matching a value against a list of wildcard patterns.
#include <string>

#include "foundation/csv.h"
#include "foundation/csv_items.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/util.h"

namespace {

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The pattern as a quoted regular expression: literal text inside \Q...\E,
// "*" and "?" outside it.
std::string wildcard_to_regex(const std::string& item) {
  std::string body = item;
  // A literal "\E" would end the quoting early and let the rest of the item
  // act as regular-expression syntax; close, escape it, and reopen.
  replace_all(body, "\\E", "\\E\\\\E\\Q");
  replace_all(body, "*", "\\E.*\\Q");
  replace_all(body, "?", "\\E.\\Q");
  return "\\Q" + body + "\\E$";
}

bool wildcard_matches(const std::string& item, const char* value) {
  if (item.empty()) return false;
  LOG_DEV("util_match_wildcard: checking %s to see if it matches wildcard %s", value,
          item.c_str());
  const std::string pattern = wildcard_to_regex(item);
  LOG_DEV("util_match_wildcard: replacements done in regex, now looks like: %s", pattern.c_str());
  // "$" alone also matches before a final line feed: "lp1" would match
  // "lp1\n". The item must match the whole value.
  const RegexPtr regex(
      regex_compile(pattern.c_str(), PCRE_CASELESS | PCRE_ANCHORED | PCRE_DOLLAR_ENDONLY));
  if (!regex) return false;
  const bool matched =
      regex_match(regex.get(), value, std::char_traits<char>::length(value)) != 0;
  if (matched) LOG_DEBUG("Wildcard '%s' matched '%s'", item.c_str(), value);
  return matched;
}

}  // namespace

int csv_contains_value_wildcard(const char* list, char separator, const char* value) {
  if (util_is_string_empty(list) || util_is_string_empty(value)) return 0;
  return csv_any_item(list, separator,
                      [value](const std::string& item) { return wildcard_matches(item, value); });
}
