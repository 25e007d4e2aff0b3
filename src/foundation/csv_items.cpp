#include "foundation/csv_items.h"

#include <cstring>
#include <string_view>

namespace {

// White space of the C locale.
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string trimmed(std::string_view piece) {
  while (!piece.empty() && is_space(piece.back())) piece.remove_suffix(1);
  while (!piece.empty() && is_space(piece.front())) piece.remove_prefix(1);
  return std::string(piece);
}

}  // namespace

int csv_any_item(const char* list, char separator,
                 const std::function<bool(const std::string&)>& test) {
  // Leading and inner empty pieces are items; a separator at the very end
  // adds none; an empty list is one empty item.
  const std::string_view text(list);
  std::size_t start = 0;
  do {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (test(trimmed(text.substr(start, end - start)))) return 1;
    start = end + 1;
  } while (start < text.size());
  return 0;
}
