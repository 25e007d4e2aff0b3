// Joining texts with a separator.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "foundation/bstrlib.h"
#include "foundation/util.h"

namespace {

struct BstringDeleter {
  void operator()(tagbstring* b) const { (void)bdestroy(b); }
};
struct ListDeleter {
  void operator()(bstrList* list) const { (void)bstrListDestroy(list); }
};

}  // namespace

char* util_join(const char* const* texts, int count, const char* separator) {
  if (count < 0 || (texts == nullptr && count > 0)) return nullptr;
  const std::unique_ptr<bstrList, ListDeleter> list(bstrListCreate());
  if (list == nullptr || (count > 0 && bstrListAlloc(list.get(), count) != BSTR_OK)) {
    return nullptr;
  }
  for (int i = 0; i < count; ++i) {
    bstring entry = bfromcstr(texts[i] != nullptr ? texts[i] : "");
    if (entry == nullptr) return nullptr;
    list->entry[list->qty++] = entry;
  }
  const std::unique_ptr<tagbstring, BstringDeleter> sep(
      separator != nullptr ? bfromcstr(separator) : nullptr);
  if (separator != nullptr && sep == nullptr) return nullptr;
  const std::unique_ptr<tagbstring, BstringDeleter> joined(bjoin(list.get(), sep.get()));
  if (joined == nullptr) return nullptr;
  const auto length = static_cast<std::size_t>(blength(joined.get()));
  char* result = static_cast<char*>(std::malloc(length + 1));
  if (result == nullptr) return nullptr;
  std::memcpy(result, bdatae(joined.get(), ""), length);
  result[length] = '\0';
  return result;
}
