// The structure of an XPS package: relationships from the start part to the
// fixed document sequence and to print tickets, the sequence's documents and
// their pages.
#include <string>
#include <string_view>
#include <vector>

#include "scan/xps_package.h"
#include "scan/xps_xml.h"
#include "foundation/log.h"

namespace {

constexpr std::string_view START_PART = "/_rels/.rels";
constexpr std::string_view TYPE_FIXED_REPRESENTATION = "fixedrepresentation";
constexpr std::string_view TYPE_PRINT_TICKET = "printticket";

// Each `element` tag's `attribute` value in text, in order.
template <typename Each>
void each_attribute(std::string_view text, std::string_view element, std::string_view attribute,
                    Each each) {
  XmlTagScanner scanner(text);
  XmlTag tag;
  while (scanner.next(&tag)) {
    if (tag.name != element) continue;
    const std::optional<std::string_view> value = xml_attribute(tag.attributes, attribute);
    if (value) each(*value);
  }
}

// The documents that the sequence references, resolved against the
// sequence's part name (for a sequence at the root: against the root).
bool get_fixed_documents(XpsZip* zip, const XpsFileList& list, std::string_view sequence,
                         std::vector<std::string>* documents) {
  std::string text;
  if (!get_xps_value(zip, list, sequence, true, &text)) {
    LOG_ERROR("get_fixed_documents: Could not find fixed docs");
    return false;
  }
  each_attribute(text, "DocumentReference", "Source", [&](std::string_view source) {
    (void)string_list_append_xps(documents, sequence, source);
  });
  return true;
}

// The pages of one document, resolved against its part name; -1 (logged)
// when it is missing or empty.
int get_num_pages_doc(XpsZip* zip, const XpsFileList& list, const std::string& document,
                      std::vector<std::string>* pages) {
  std::string text;
  if (!get_xps_value(zip, list, document, true, &text)) {
    LOG_ERROR("get_num_pages_doc: No fixed document '%s'", document.c_str());
    return -1;
  }
  if (text.empty()) {
    LOG_ERROR("get_num_pages_doc: Empty fixed document '%s'", document.c_str());
    return -1;
  }
  int count = 0;
  each_attribute(text, "PageContent", "Source", [&](std::string_view source) {
    ++count;
    if (pages == nullptr) return;
    std::optional<std::string> path = make_xps_path(document, source);
    pages->push_back(path ? std::move(*path) : std::string());
  });
  return count;
}

}  // namespace

std::string get_relationship(std::string_view rels, std::string_view rels_name,
                             std::string_view type) {
  std::string found;
  XmlTagScanner scanner(rels);
  XmlTag tag;
  while (scanner.next(&tag)) {
    if (tag.name != "Relationship") continue;
    const std::optional<std::string_view> rel_type = xml_attribute(tag.attributes, "Type");
    const std::optional<std::string_view> target = xml_attribute(tag.attributes, "Target");
    if (!rel_type || !target || rel_type->find(type) == std::string_view::npos) continue;
    if (std::optional<std::string> path = make_xps_path(rels_name, *target)) found = std::move(*path);
  }
  return found;
}

bool get_fixed_doc_seq_path(XpsZip* zip, const XpsFileList& list, std::string* out) {
  out->clear();
  std::string rels;
  if (!get_xps_value(zip, list, START_PART, true, &rels)) {
    LOG_ERROR("get_fixed_doc_seq_path: No start_part '%s'!", std::string(START_PART).c_str());
    return false;
  }
  *out = get_relationship(rels, START_PART, TYPE_FIXED_REPRESENTATION);
  if (out->empty()) LOG_ERROR("get_fixed_doc_seq_path: No fixed doc sequence!");
  return true;
}

bool get_print_ticket_path(XpsZip* zip, const XpsFileList& list, std::string_view part,
                           std::string* out) {
  out->clear();
  // No relationships part: no ticket, quietly.
  const int rels_index = unzip_get_rel_index(list, part);
  if (rels_index < 0) return false;
  const XpsPart& rels_part = list.parts[static_cast<std::size_t>(rels_index)];
  std::string rels;
  if (!get_data_from_full_string(zip, rels_part, true, &rels)) return false;
  *out = get_relationship(rels, rels_part.name, TYPE_PRINT_TICKET);
  const std::string name(part);
  if (out->empty()) {
    LOG_DEBUG("get_print_ticket_path: found=FALSE,path='%s',rels_path='%s',print_ticket=''",
              name.c_str(), rels_part.name.c_str());
    return false;
  }
  LOG_DEV("get_print_ticket_path: found=TRUE,path='%s',rels_path='%s',print_ticket='%s'",
          name.c_str(), rels_part.name.c_str(), out->c_str());
  return true;
}

int get_num_pages(XpsZip* zip, const XpsFileList& list, std::string_view sequence,
                  std::vector<std::string>* documents, std::vector<std::string>* pages,
                  int pages_per_sheet) {
  std::vector<std::string> found;
  if (sequence.empty() || !get_fixed_documents(zip, list, sequence, &found) || found.empty()) {
    LOG_ERROR("get_num_pages: no fixed documents");
    return -1;
  }
  std::int64_t total = 0;
  for (std::size_t d = 0; d < found.size(); ++d) {
    const int n = get_num_pages_doc(zip, list, found[d], pages);
    if (n < 0) {
      LOG_ERROR("get_num_pages: error processing '%s' d=%zu", found[d].c_str(), d);
      return -1;
    }
    LOG_DEBUG("get_num_pages: d=%zu,doc='%s',num pages=%d", d, found[d].c_str(), n);
    total += n;
  }
  if (documents != nullptr) *documents = found;
  if (pages_per_sheet <= 0) {
    LOG_ERROR("get_num_pages: n_up=%d", pages_per_sheet);
    pages_per_sheet = 1;
  }
  const std::int64_t sheets = (total + pages_per_sheet - 1) / pages_per_sheet;
  LOG_DEBUG("get_num_pages: num_pages=%lld,n_up=%d,n_sheets=%lld", static_cast<long long>(total),
            pages_per_sheet, static_cast<long long>(sheets));
  return sheets > INT32_MAX ? INT32_MAX : static_cast<int>(sheets);
}
