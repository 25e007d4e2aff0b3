// Plain and fragment matching of a value against a separated list.
#include "foundation/csv.h"

#include <string>
#include <string_view>

#include "foundation/csv_items.h"
#include "foundation/util.h"

namespace {

std::string lower_copy(std::string_view text) {
  std::string out(text);
  strlwr(out.data());
  return out;
}

}  // namespace

int csv_contains_value(const char* list, char separator, const char* value) {
  if (util_is_string_empty(list) || util_is_string_empty(value)) return 0;
  return csv_any_item(list, separator, [value](const std::string& item) {
    return util_case_equal_str(item.c_str(), value) != 0;
  });
}

int util_partially_matches_value(const char* list, char separator, const char* value) {
  if (util_is_string_empty(list) || util_is_string_empty(value)) return 0;
  const std::string lowered_value = lower_copy(value);
  return csv_any_item(list, separator, [&lowered_value](const std::string& item) {
    // An empty item would occur in every value: a stray ",," in a list of
    // names must not make the list match everything.
    if (item.empty()) return false;
    return lowered_value.find(lower_copy(item)) != std::string::npos;
  });
}
