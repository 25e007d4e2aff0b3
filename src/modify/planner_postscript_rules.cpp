// The PostScript planner's BeginFeature rules (see
// planner_postscript_internal.h).
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/watermark.h"
#include "modify/planner_postscript_internal.h"
#include "modify/planner_postscript_tables.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"

namespace {

constexpr std::uint64_t RULE_WINDOW = 1048576;
constexpr std::uint64_t RULE_MATCH_SIZE = 1024;

// Adds the rows of one table; `copies` above 0 formats the replacements
// with the count first.
bool extend_beginfeature(const PsFeatureRule* rules, std::size_t count, int copies, bool whole,
                         ReplaceTokenList* list) {
  for (std::size_t i = 0; i < count; ++i) {
    char replacement[REPLACE_TOKEN_PATTERN_MAX + 1];
    if (copies > 0) {
      std::snprintf(replacement, sizeof replacement, rules[i].replacement, copies);
    } else {
      std::snprintf(replacement, sizeof replacement, "%s", rules[i].replacement);
    }
    // A whole-job rule searches every byte; the engine reads a rule length
    // of REPLACE_TOKEN_WHOLE as "to the end of the data".
    const std::uint64_t length = whole ? REPLACE_TOKEN_WHOLE : RULE_WINDOW;
    if (replacement_regex_append(list, rules[i].name, rules[i].pattern, RULE_MATCH_SIZE,
                                 PCRE_DOTALL, 0, length, replacement, nullptr, 0, whole ? 1 : 0,
                                 nullptr) != 1) {
      LOG_ERROR("replace_token_list_extend_beginfeature: could not add rule '%s'", rules[i].name);
      return false;
    }
  }
  LOG_DEBUG("replace_token_list_extend_beginfeature: num_rules=%zu,num_copies=%d,n_tokens=%" PRId64,
            count, copies, replace_token_list_size(list));
  return true;
}

// Runs one table into `out`; how many edits it made, -1 on failure.
std::int64_t run_rules(const PsFeatureRule* rules, std::size_t count, int copies, bool whole,
                       const JobAttribs* job, ByteSpan data, ReplacementList* out) {
  ReplaceTokenListPtr tokens(replace_token_list_create(
      "PostScript BeginFeature", REPLACE_TOKEN_WHOLE, 0, REPLACE_TOKEN_NO_INSERTION_POINT, 0));
  if (!tokens || !extend_beginfeature(rules, count, copies, whole, tokens.get())) return -1;
  const std::int64_t before = replacement_list_size(out);
  if (replace_token_list_add_replacements(tokens.get(), data.data(), data.size(), job->language,
                                          job->printer_type, out) != 1) {
    LOG_ERROR("plan_replacements_postscript: BeginFeature rules failed");
    return -1;
  }
  return replacement_list_size(out) - before;
}

// Keeps the first edit at each offset and drops any that begins inside an
// earlier kept deletion, so rules of different tables cannot collide.
bool keep_apart(ReplacementList* edits) {
  replacement_list_sort(edits);
  if (replacement_list_remove_duplicate_offsets(edits) != 1) return false;
  std::vector<replacement_request> kept;
  std::uint64_t covered = 0;
  for (replacement_request& r : edits->replacements) {
    if (!kept.empty() && r.offset < covered) continue;
    covered = r.offset + r.len;
    kept.push_back(std::move(r));
  }
  edits->replacements = std::move(kept);
  return true;
}

}  // namespace

bool ps_is_apeosport_iv_c2270(const JobAttribs* job) {
  return std::strstr(job->printer_type, "ApeosPort-IV C2270") != nullptr;
}

bool ps_plan_beginfeature(const watermark_params* request, const JobAttribs* job, ByteSpan data,
                          bool c2270, ReplacementList* list, PsRulesDone* done) {
  *done = PsRulesDone{};
  if (!request->force_duplex && !request->force_grayscale && request->copies <= 0) return true;
  ReplacementListPtr edits(replacement_list_create(data.size(), -1, nullptr));
  if (!edits) return false;
  if (request->force_duplex) {
    const std::int64_t n = run_rules(REPLACEMENT_RULES_DUPLEX, REPLACEMENT_RULES_DUPLEX_COUNT, 0,
                                     c2270, job, data, edits.get());
    if (n < 0) return false;
    done->duplex = n > 0;
  }
  if (request->force_grayscale) {
    const std::int64_t n = run_rules(REPLACEMENT_RULES_GRAYSCALE, REPLACEMENT_RULES_GRAYSCALE_COUNT,
                                     0, false, job, data, edits.get());
    if (n < 0) return false;
    done->grayscale = n > 0;
  }
  if (request->copies > 0) {
    const std::int64_t n = run_rules(REPLACEMENT_RULES_COPIES, REPLACEMENT_RULES_COPIES_COUNT,
                                     request->copies, false, job, data, edits.get());
    if (n < 0) return false;
    done->copies = n > 0;
  }
  if (!keep_apart(edits.get())) return false;
  replacement_list_log(edits.get(), "ps_replacement_list:AFTER");
  if (replacement_list_concat(list, edits.get()) != 1) {
    LOG_ERROR("plan_replacements_postscript: could not add the BeginFeature edits");
    return false;
  }
  return true;
}
