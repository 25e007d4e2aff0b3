// Kyocera drivers repeat some settings as items of one compound comment,
// @PJL COMMENT="item; item; item; item;". Only the items that change are
// rewritten, in place: the rest of the comment, its separators and its
// closing ;" stay as the driver wrote them.
#include <cinttypes>
#include <string>

#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/watermark.h"
#include "modify/planner_pjl.h"
#include "modify/replacement_list.h"

namespace {

constexpr std::uint64_t KYOCERA_HEADER_MIN = 10;
constexpr int KYOCERA_ITEMS = 4;

// The item's new text, or empty when it stays.
std::string new_item(const watermark_params* request, const std::string& item) {
  if (request->force_duplex != 0 && item == "DUPLEX OFF") return "DUPLEX ON";
  if (request->force_grayscale != 0 && item == "COLORMODE COLOR") return "COLORMODE MONO";
  if (request->copies > 0 && item.size() > 4 && item.compare(0, 3, "QTY") == 0) {
    std::size_t digits = 3;
    while (digits < item.size() && (item[digits] == ' ' || item[digits] == '\t')) ++digits;
    if (digits == 3 || digits == item.size()) return {};
    const std::string_view number(item.data() + digits, item.size() - digits);
    if (number.find_first_not_of("0123456789") != std::string_view::npos) return {};
    if (decimal_clamp<std::int32_t>(decimal_read_after_space(number).value) <= 0) return {};
    return "QTY " + std::to_string(request->copies);
  }
  return {};
}

}  // namespace

int replace_kyocera_compound(const watermark_params* request, const std::uint8_t* data,
                             std::uint64_t header_length, ReplacementList* list) {
  if (header_length < KYOCERA_HEADER_MIN) return 1;
  RegexPtr regex(regex_compile("@PJL COMMENT\\s*=\\s*\"\\s*(.*?)\\s*;\\s*(.*?)\\s*;\\s*(.*?)\\s*;"
                               "\\s*(.*?)\\s*;\"",
                               0));
  if (regex == nullptr) {
    LOG_ERROR("regex_compile failed");
    return 0;
  }
  ScopedMatchInfo info;
  if (regex_match_with_info(regex.get(), data, header_length, &info) != 1) return 1;
  int changed = 0;
  for (int g = 1; g <= KYOCERA_ITEMS; ++g) {
    if (info.texts[g] == nullptr || info.ends[g] <= info.starts[g]) continue;
    const std::string item(reinterpret_cast<const char*>(data + info.starts[g]),
                           static_cast<std::size_t>(info.ends[g] - info.starts[g]));
    const std::string replacement = new_item(request, item);
    if (replacement.empty()) continue;
    if (!replacement_list_append2(list, info.starts[g], item.size(), replacement.data(),
                                  replacement.size())) {
      LOG_ERROR("replace_kyocera_compound: could not replace '%s' at %" PRId64, item.c_str(),
                info.starts[g]);
      return 0;
    }
    ++changed;
  }
  if (changed > 0) LOG_DEBUG("replace_kyocera_compound: %d items rewritten", changed);
  return 1;
}
