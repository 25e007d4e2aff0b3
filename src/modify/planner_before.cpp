#include "modify/planner_before.h"

#include <algorithm>
#include <string_view>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"

namespace {

constexpr std::string_view RPJL_COMMENT = "@PJL COMMENT RPJL";
constexpr std::string_view NPDL_ENTER = "@PJL ENTER LANGUAGE=NPDL";
// The NPDL line follows the end of the PJL header within this many bytes.
constexpr std::uint64_t NPDL_DISTANCE = 30;
// NPDL binding commands are in the job's first bytes.
constexpr std::uint64_t NPDL_WINDOW = 5000;

// One rule list of this planner.
struct Rule {
  const char* list_name;
  std::uint64_t window;                // list window from 0; REPLACE_TOKEN_WHOLE: none
  std::int64_t default_insertion;      // -1: none
  const char* name;
  const char* pattern;
  std::uint64_t match_size;
  std::uint64_t length;                // rule length; REPLACE_TOKEN_WHOLE: the list's window
  const char* replacement;
};

// Ricoh drivers name the colour mode in their RPJL comment.
constexpr const char* RICOH_PATTERN = "@PJL (COMMENT RPJL,.+?,PCL\\d.{0,1},.+?,)(COLOR|AUTO)";
// NPDL: FS "'S" any FS selects one-sided printing; FS "'B,F,3,0." FS selects
// long-edge binding.
constexpr const char* NEC_PATTERN = "\x1c'S[\\s\\S]\x1c";
constexpr const char* NEC_DUPLEX = "\x1c'B,F,3,0.\x1c";

bool contains(const std::uint8_t* data, std::uint64_t end, std::string_view needle) {
  const std::string_view hay(reinterpret_cast<const char*>(data), end);
  return hay.find(needle) != std::string_view::npos;
}

// Runs one rule over the data; *edited tells whether it appended an edit.
bool run_rule(const Rule& rule, const JobAttribs* job, const std::uint8_t* data,
              std::uint64_t length, ReplacementList* list, bool* edited) {
  ReplaceTokenListPtr tokens(replace_token_list_create(
      rule.list_name, rule.window == REPLACE_TOKEN_WHOLE ? REPLACE_TOKEN_WHOLE : 0, rule.window,
      rule.default_insertion, 0));
  if (tokens == nullptr ||
      !replacement_regex_append(tokens.get(), rule.name, rule.pattern, rule.match_size, 0, 0,
                                rule.length, rule.replacement, nullptr, 0, 0, nullptr)) {
    LOG_ERROR("Unable to replacement_regex_append for token='%s'", rule.name);
    return false;
  }
  const std::int64_t before = replacement_list_size(list);
  if (!replace_token_list_add_replacements(tokens.get(), data, length, job->language,
                                           job->printer_type, list)) {
    LOG_ERROR("Unable to replace_token_list_add_replacements for '%s'", rule.list_name);
    return false;
  }
  *edited = replacement_list_size(list) > before;
  return true;
}

bool plan_rpjl_grayscale(const JobAttribs* job, const std::uint8_t* data, std::uint64_t length,
                         ReplacementList* list, msf_state* state) {
  const auto end_of_pjl = static_cast<std::uint64_t>(replacement_list_get_end_of_pjl(list));
  if (end_of_pjl > length || !contains(data, end_of_pjl, RPJL_COMMENT)) return true;
  const Rule rule{.list_name = "plan_replacements_before:rpjl-grayscale",
                  .window = end_of_pjl,
                  .default_insertion = static_cast<std::int64_t>(end_of_pjl),
                  .name = "RICOH_COLOR",
                  .pattern = RICOH_PATTERN,
                  .match_size = 100,
                  .length = REPLACE_TOKEN_WHOLE,
                  .replacement = "@PJL \\1GRAYSCALE"};
  bool edited = false;
  if (!run_rule(rule, job, data, length, list, &edited)) return false;
  if (edited) state->grayscale = 1;
  return true;
}

bool plan_npdl_duplex(const JobAttribs* job, const std::uint8_t* data, std::uint64_t length,
                      ReplacementList* list, msf_state* state) {
  LOG_DEV("Have PJL header for duplex replacement");
  const auto end_of_pjl = static_cast<std::uint64_t>(replacement_list_get_end_of_pjl(list));
  const std::uint64_t end = std::min(length, end_of_pjl + NPDL_DISTANCE + NPDL_ENTER.size());
  if (!contains(data, end, NPDL_ENTER)) return true;
  LOG_DEBUG("Found NPDL for duplex replacement");
  const Rule rule{.list_name = "plan_replacements_before:npdl-duplex",
                  .window = NPDL_WINDOW,
                  .default_insertion = REPLACE_TOKEN_NO_INSERTION_POINT,
                  .name = "NEC_DUPLEX",
                  .pattern = NEC_PATTERN,
                  .match_size = 40,
                  .length = NPDL_WINDOW,
                  .replacement = NEC_DUPLEX};
  bool edited = false;
  if (!run_rule(rule, job, data, length, list, &edited)) return false;
  if (edited) state->duplex = 1;
  return true;
}

}  // namespace

int plan_replacements_before(const watermark_params* request, const JobAttribs* job,
                             const std::uint8_t* data, std::uint64_t length,
                             ReplacementList* list) {
  if (request == nullptr || job == nullptr || list == nullptr || (data == nullptr && length > 0)) {
    return 0;
  }
  if (replacement_list_get_end_of_pjl(list) < 0) return 1;
  msf_state state{};
  get_msf_state(list, &state);
  if (request->force_grayscale && !plan_rpjl_grayscale(job, data, length, list, &state)) return 0;
  if (request->force_duplex && !plan_npdl_duplex(job, data, length, list, &state)) return 0;
  set_msf_state(list, &state);
  return 1;
}
