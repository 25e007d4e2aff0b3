#include "modify/planner_xpif.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"

namespace {

constexpr std::string_view XPIF_DOCTYPE = "<!DOCTYPE xpif SYSTEM";
// The ticket stands in the job's first bytes.
constexpr std::uint64_t XPIF_WINDOW = 4096;
constexpr std::uint64_t XPIF_MATCH_SIZE = 200;

struct XpifRule {
  const char* name;
  const char* pattern;
  const char* replacement;
};

constexpr XpifRule DUPLEX_RULES[] = {
    {"xpif duplex", "<sides\\s+syntax\\s*=\\s*\"keyword\">\\s*one-sided\\s*</sides>",
     "<sides syntax=\"keyword\">two-sided-long-edge</sides>"},
};
constexpr XpifRule GRAYSCALE_RULES[] = {
    {"xpif grayscale",
     "<color-adjustment-set\\s+syntax\\s*=\\s*\"keyword\">.+</color-adjustment-set>",
     "<color-adjustment-set syntax=\"keyword\">monochrome-grayscale</color-adjustment-set>"},
    {"xpif grayscale (effects)",
     "<color-effects-type\\s+syntax\\s*=\\s*\"keyword\">.+</color-effects-type>",
     "<color-effects-type syntax=\"keyword\">monochrome-grayscale</color-effects-type>"},
};
constexpr const char* COPIES_PATTERN = "<copies\\s+syntax\\s*=\\s*\"integer\">\\s*\\d+\\s*</copies>";

// Runs the rules of one change over the ticket; 1 with *edited telling
// whether any of them rewrote an element.
bool run_rules(std::span<const XpifRule> rules, const JobAttribs* job, const std::uint8_t* data,
               std::uint64_t length, ReplacementList* list, bool* edited) {
  ReplaceTokenListPtr tokens(
      replace_token_list_create("xpif", 0, XPIF_WINDOW, REPLACE_TOKEN_NO_INSERTION_POINT, 0));
  if (tokens == nullptr) return false;
  for (const XpifRule& rule : rules) {
    if (!replacement_regex_append(tokens.get(), rule.name, rule.pattern, XPIF_MATCH_SIZE, 0, 0,
                                  XPIF_WINDOW, rule.replacement, nullptr, 0, 0, nullptr)) {
      LOG_ERROR("Unable to replacement_regex_append for token='%s' list='%s'", rule.name,
                replace_token_list_get_name(tokens.get()));
      return false;
    }
  }
  const std::int64_t before = replacement_list_size(list);
  if (!replace_token_list_add_replacements(tokens.get(), data, length, job->language,
                                           job->printer_type, list)) {
    LOG_ERROR("Unable to replace_token_list_add_replacements for '%s'",
              replace_token_list_get_name(tokens.get()));
    return false;
  }
  *edited = replacement_list_size(list) > before;
  return true;
}

}  // namespace

int plan_replacements_xpif(const watermark_params* request, const JobAttribs* job,
                           const std::uint8_t* data, std::uint64_t length, ReplacementList* list) {
  if (request == nullptr || job == nullptr || list == nullptr || (data == nullptr && length > 0)) {
    return 0;
  }
  const std::string_view head(reinterpret_cast<const char*>(data), std::min(length, XPIF_WINDOW));
  if (head.find(XPIF_DOCTYPE) == std::string_view::npos) {
    LOG_DEV("Spool file does not appear to contain an XPIF header");
    return 1;
  }
  LOG_DEBUG("Spool file has an XPIF header");
  msf_state state{};
  get_msf_state(list, &state);
  bool edited = false;
  if (request->force_duplex) {
    if (!run_rules(DUPLEX_RULES, job, data, length, list, &edited)) return 0;
    if (edited) state.duplex = 1;
  }
  if (request->force_grayscale) {
    if (!run_rules(GRAYSCALE_RULES, job, data, length, list, &edited)) return 0;
    if (edited) state.grayscale = 1;
  }
  if (request->copies > 0 && !state.copies) {
    char copies[64];
    std::snprintf(copies, sizeof copies, "<copies syntax=\"integer\">%d</copies>",
                  request->copies);
    const XpifRule rule[] = {{"xpif copies", COPIES_PATTERN, copies}};
    if (!run_rules(rule, job, data, length, list, &edited)) return 0;
    if (edited) state.copies = 1;
  }
  set_msf_state(list, &state);
  return 1;
}
