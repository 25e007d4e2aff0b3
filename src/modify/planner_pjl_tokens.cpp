// One PJL rule table turned into a replace-token list and run over the
// header. A matched line keeps its spacing around "=" and its own line end.
// Lines are inserted only for settings the header does not make, and none at
// all when the header already asks for the change (DUPLEX=ON, a grayscale
// render mode): a second line for a variable would override the job's own
// choice (a short-edge binding) or pile up settings the printer already has.
#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/regex.h"
#include "modify/planner_pjl.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex.h"

namespace {

constexpr std::uint64_t PJL_RULE_MATCH_SIZE = 128;

// Capturing groups of a value pattern of our tables: "(" not escaped and not
// opening "(?".
int count_groups(const char* pattern) {
  int groups = 0;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p == '\\' && p[1] != '\0') {
      ++p;
    } else if (*p == '(' && p[1] != '?') {
      ++groups;
    }
  }
  return groups;
}

std::string formatted_value(const char* replacement, std::int32_t argument) {
  std::string value = replacement;
  const std::size_t at = value.find("%d");
  if (at != std::string::npos && argument >= 0) value.replace(at, 2, std::to_string(argument));
  return value;
}

bool header_matches(const std::string& pattern, const std::uint8_t* data, std::uint64_t length) {
  RegexPtr regex(regex_compile(pattern.c_str(), 0));
  return regex != nullptr && regex_match(regex.get(), data, length) == 1;
}

// The header's own line end, from the line before the ENTER LANGUAGE line.
std::string header_line_end(const std::uint8_t* data, std::uint64_t header_length) {
  if (header_length >= 2 && data[header_length - 1] == '\n' && data[header_length - 2] == '\r') {
    return "\r\n";
  }
  return "\n";
}

struct RowFacts {
  bool present = false;  // the header sets the variable
  bool asks = false;     // ... to the value the rule writes
};

RowFacts row_facts(const substitution_rule& row, const std::string& value,
                   const std::uint8_t* data, std::uint64_t header_length) {
  RowFacts facts;
  const std::string line = std::string("@PJL\\s+") + row.variable + "\\s*=\\s*";
  facts.present = header_matches(line, data, header_length);
  if (facts.present && value.find('\\') == std::string::npos) {
    facts.asks = header_matches(line + "\\Q" + value + "\\E\\s*[\\n\\r]", data, header_length);
  }
  return facts;
}

bool add_row(ReplaceTokenList* tokens, const substitution_rule& row, const std::string& value,
             bool required, const std::string& line_end) {
  const int groups = count_groups(row.value_pattern);
  const std::string pattern = std::string("@PJL\\s+") + row.variable + "(\\s*=\\s*)" +
                              row.value_pattern + "(\\s*[\\n\\r]+)";
  const std::string replace = std::string("@PJL ") + row.variable + "\\1" + value + "\\" +
                              std::to_string(groups + 2);
  std::vector<const char*> names = {"="};
  for (int g = 0; g < groups; ++g) names.push_back("");
  names.push_back(line_end.c_str());
  names.push_back(nullptr);
  if (groups + 2 > REPLACE_TOKEN_CAPTURE_NAMES_MAX ||
      !replacement_regex_append(tokens, row.name, pattern.c_str(), PJL_RULE_MATCH_SIZE, 0,
                                REPLACE_TOKEN_WHOLE, REPLACE_TOKEN_WHOLE, replace.c_str(),
                                names.data(), required ? 1 : 0, 0, nullptr)) {
    LOG_ERROR("Unable to replacement_regex_append for token='%s' list='%s'", row.name,
              replace_token_list_get_name(tokens));
    return false;
  }
  return true;
}

const substitution_rule* find_row(const substitution_rule* rules, std::size_t count,
                                  const char* name) {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::string(rules[i].name) == name) return &rules[i];
  }
  return nullptr;
}

}  // namespace

int apply_pjl_replace_tokens(ReplacementList* list, const char* list_name,
                             const std::uint8_t* data, std::uint64_t length,
                             std::uint64_t header_length, std::int32_t match_limit, int language,
                             const char* printer_type, const substitution_rule* rules,
                             std::size_t count, const association_rule* pairs,
                             std::size_t pair_count, std::int32_t format_argument) {
  if (list == nullptr || data == nullptr || header_length > length) return 0;
  ReplaceTokenListPtr tokens(replace_token_list_create(
      list_name, 0, header_length, static_cast<std::int64_t>(header_length), match_limit));
  if (tokens == nullptr) return 0;
  std::vector<std::string> values;
  std::vector<RowFacts> facts;
  bool header_asks = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (rules[i].value_pattern == nullptr || rules[i].value_pattern[0] == '\0') {
      LOG_ERROR("invalid substitution_rules");
      return 0;
    }
    values.push_back(formatted_value(rules[i].replacement, format_argument));
    facts.push_back(row_facts(rules[i], values.back(), data, header_length));
    header_asks = header_asks || facts.back().asks;
  }
  const std::string line_end = header_line_end(data, header_length);
  for (std::size_t i = 0; i < count; ++i) {
    const bool required = rules[i].optional == 0 && !facts[i].present && !header_asks;
    if (!add_row(tokens.get(), rules[i], values[i], required, line_end)) return 0;
  }
  for (std::size_t p = 0; p < pair_count; ++p) {
    const substitution_rule* second = find_row(rules, count, pairs[p].second);
    if (second != nullptr && facts[static_cast<std::size_t>(second - rules)].present) continue;
    if (!replacement_regex_associate(tokens.get(), pairs[p].first, pairs[p].second)) {
      LOG_ERROR("Unable to replacement_regex_associate for '%s'", pairs[p].first);
      return 0;
    }
  }
  if (!replace_token_list_add_replacements(tokens.get(), data, header_length, language,
                                           printer_type, list)) {
    LOG_ERROR("Unable to replace_token_list_add_replacements for '%s'", list_name);
    return 0;
  }
  return 1;
}
