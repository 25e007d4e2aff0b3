#include "foundation/csv_items.h"

#include "foundation/bstrlib.h"

int csv_any_item(const char* list, char separator,
                 const std::function<bool(const std::string&)>& test) {
  const BstringPtr text(bfromcstr(list));
  if (text == nullptr) return 0;
  // bsplit keeps leading and inner empty pieces, adds none after a separator
  // at the very end, and gives one empty piece for an empty list.
  const BstrListPtr items(bsplit(text.get(), static_cast<unsigned char>(separator)));
  if (items == nullptr) return 0;
  for (int i = 0; i < items->qty; ++i) {
    bstring item = items->entry[i];
    if (btrimws(item) != BSTR_OK) continue;
    if (test(std::string(bdatae(item, ""), static_cast<std::size_t>(blength(item))))) return 1;
  }
  return 0;
}
