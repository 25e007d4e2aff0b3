// The PJL planner: finding the header, and forcing copies, duplex and
// grayscale through the rule tables.
#include "modify/planner_pjl.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/search.h"
#include "foundation/watermark.h"
#include "modify/replacement_list.h"

namespace {

constexpr char ENTER_LANGUAGE[] = "@PJL ENTER LANGUAGE";

void read_language_name(const std::uint8_t* line, std::uint64_t offset, char* name,
                        std::size_t size) {
  RegexPtr regex(regex_compile("@PJL ENTER LANGUAGE\\s*?=\\s*?(\\S+)\\s", PCRE_ANCHORED));
  if (regex == nullptr) return;
  ScopedMatchInfo info;
  if (regex_match_with_info(regex.get(), line, PJL_ENTER_LANGUAGE_LINE, &info) != 1 ||
      info.texts[1] == nullptr) {
    return;
  }
  LOG_DEV("@PJL ENTER LANGUAGE at offset=%" PRIu64 ": Language='%s'", offset, info.texts[1]);
  if (name != nullptr && size > 0) {
    std::strncpy(name, info.texts[1], size - 1);
    name[size - 1] = '\0';
  }
}

bool copies_step(const watermark_params* request, const JobAttribs* job, const std::uint8_t* data,
                 std::uint64_t length, std::uint64_t header_length, ReplacementList* list,
                 msf_state* state) {
  if (job->language == LANG_POSTSCRIPT || request->copies <= 0 || state->copies != 0) return true;
  LOG_DEV("Adding replacements for PJL force copies");
  if (!apply_pjl_replace_tokens(list, "PJL copies", data, length, header_length, 1,
                                job->language, job->printer_type, substitution_rules_copies,
                                substitution_rules_copies_count, nullptr, 0, request->copies)) {
    return false;
  }
  state->copies = 1;
  return true;
}

bool duplex_step(const watermark_params* request, const JobAttribs* job, const std::uint8_t* data,
                 std::uint64_t length, std::uint64_t header_length, ReplacementList* list,
                 msf_state* state) {
  if (request->force_duplex == 0) return true;
  LOG_DEV("Adding replacements for PJL force duplex");
  if (!apply_pjl_replace_tokens(list, "PJL duplex", data, length, header_length, 0,
                                job->language, job->printer_type, substitution_rules_duplex,
                                substitution_rules_duplex_count, association_rules_duplex,
                                association_rules_duplex_count, -1)) {
    return false;
  }
  state->duplex = 1;
  return true;
}

// A failure here leaves the grayscale flag unset; the planner goes on.
void grayscale_step(const watermark_params* request, const JobAttribs* job,
                    const std::uint8_t* data, std::uint64_t length, std::uint64_t header_length,
                    ReplacementList* list, msf_state* state) {
  if (request->force_grayscale == 0) return;
  LOG_DEV("Adding replacements for PJL force grayscale");
  PjlGrayscaleRules rules;
  if (!pjl_grayscale_rules(job, data, length, replacement_list_get_language_name(list), &rules)) {
    return;
  }
  if (!apply_pjl_replace_tokens(list, "PJL grayscale", data, length, header_length, 0,
                                job->language, job->printer_type, rules.rules.data(),
                                rules.rules.size(), rules.pairs.data(), rules.pairs.size(), -1)) {
    LOG_ERROR("PJL grayscale rules failed; grayscale not forced through PJL");
    return;
  }
  state->grayscale = 1;
}

}  // namespace

std::int64_t detect_pjl_header(const std::uint8_t* data, std::uint64_t length,
                               char* language_name, std::size_t size) {
  if (language_name != nullptr && size > 0) language_name[0] = '\0';
  if (data == nullptr) return -1;
  const std::uint64_t window = std::min(length, PJL_ENTER_LANGUAGE_WINDOW);
  const std::uint8_t* found = search_bm_ref(data, window, ENTER_LANGUAGE);
  if (found == nullptr) return -1;
  const auto offset = static_cast<std::uint64_t>(found - data);
  if (length - offset > PJL_ENTER_LANGUAGE_LINE) {
    read_language_name(found, offset, language_name, size);
  }
  return static_cast<std::int64_t>(offset);
}

int plan_replacements_pjl(const watermark_params* request, const JobAttribs* job,
                          const std::uint8_t* data, std::uint64_t length, ReplacementList* list) {
  LOG_DEV("entering plan_replacements_pjl");
  if (request == nullptr || job == nullptr || list == nullptr || data == nullptr) return 0;
  LOG_DEBUG("plan_replacements_pjl: JobId: %s,language=%d,printer_type='%s',printer_name='%s'",
            job->job_id, job->language, job->printer_type, job->printer_name);
  const std::int64_t end_of_pjl = replacement_list_get_end_of_pjl(list);
  if (end_of_pjl < 0 || static_cast<std::uint64_t>(end_of_pjl) > length) {
    LOG_ERROR("plan_replacements_pjl should not be called when spool file does not contain a PJL "
              "header.");
    return 1;
  }
  const auto header_length = static_cast<std::uint64_t>(end_of_pjl);
  msf_state state{};
  get_msf_state(list, &state);
  if (!replace_kyocera_compound(request, data, header_length, list)) return 0;
  if (!copies_step(request, job, data, length, header_length, list, &state)) return 0;
  if (!duplex_step(request, job, data, length, header_length, list, &state)) return 0;
  grayscale_step(request, job, data, length, header_length, list, &state);
  set_msf_state(list, &state);
  return 1;
}
