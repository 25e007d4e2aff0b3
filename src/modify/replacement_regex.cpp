// Replace-token lists: building a list of rules and running it.
#include "modify/replacement_regex.h"

#include <cinttypes>
#include <cstring>
#include <new>

#include "foundation/log.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex_internal.h"

namespace {

std::string clipped(const char* text, std::size_t max) {
  if (text == nullptr) return {};
  return std::string(text, strnlen(text, max));
}

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// Fits the rule's window into the list's (no checks when the list has none).
bool fit_window(const ReplaceTokenList* list, ReplaceToken* token) {
  if (list->offset == REPLACE_TOKEN_WHOLE) return true;
  if (token->offset == REPLACE_TOKEN_WHOLE) token->offset = list->offset;
  if (token->offset < list->offset) {
    LOG_ERROR("Invalid offset %" PRIu64 " < %" PRIu64, token->offset, list->offset);
    return false;
  }
  const std::uint64_t list_end = saturating_add(list->offset, list->length);
  if (token->length == REPLACE_TOKEN_WHOLE) token->length = list_end - token->offset;
  if (token->offset > list_end || token->length > list_end - token->offset) {
    LOG_ERROR("Invalid offset+len %" PRIu64 "+%" PRIu64 " > %" PRIu64 "+%" PRIu64, token->offset,
              token->length, list->offset, list->length);
    return false;
  }
  return true;
}

// A pattern is never cut short: a clipped expression matches something else.
bool pattern_fits(const char* what, const char* pattern) {
  if (pattern == nullptr || strnlen(pattern, REPLACE_TOKEN_PATTERN_MAX + 1) <=
                                REPLACE_TOKEN_PATTERN_MAX) {
    return true;
  }
  LOG_ERROR("replacement_regex_append: %s longer than %zu characters", what,
            REPLACE_TOKEN_PATTERN_MAX);
  return false;
}

void take_capture_names(const char* const* names, ReplaceToken* token) {
  if (names == nullptr || names[0] == nullptr) return;
  int count = 0;
  while (count < REPLACE_TOKEN_CAPTURE_NAMES_MAX && names[count] != nullptr) {
    token->capture_names[count + 1] = clipped(names[count], REPLACE_TOKEN_NAME_MAX);
    ++count;
  }
  token->capture_count = count + 1;
}

ReplaceToken* find_token(ReplaceTokenList* list, const char* name) {
  for (auto& token : list->tokens) {
    if (token->friendly_name == name) return token.get();
  }
  LOG_ERROR("No replacement token with name '%s'", name);
  return nullptr;
}

}  // namespace

void init_match_criteria(MatchCriteria* criteria) {
  if (criteria == nullptr) return;
  std::memset(criteria, 0, sizeof(*criteria));
  criteria->presence_distance = -1;
  criteria->presence_match_size = -1;
}

ReplaceTokenList* replace_token_list_create(const char* name, std::uint64_t offset,
                                            std::uint64_t length,
                                            std::int64_t default_insertion_point,
                                            std::int32_t match_limit) {
  LOG_DEV("replace_token_list_create offset=%" PRIu64 ",len=%" PRIu64
          ",default_insertion_point=%" PRId64,
          offset, length, default_insertion_point);
  auto* list = new (std::nothrow) ReplaceTokenList();
  if (list == nullptr) return nullptr;
  list->name = clipped(name, REPLACE_TOKEN_NAME_MAX);
  list->offset = offset;
  list->length = length;
  list->default_insertion_point = default_insertion_point;
  list->match_limit = match_limit;
  return list;
}

void replace_token_list_free(ReplaceTokenList* list) { delete list; }

const char* replace_token_list_get_name(const ReplaceTokenList* list) {
  return list == nullptr ? "UNKNOWN ReplaceTokenList" : list->name.c_str();
}

std::int64_t replace_token_list_size(const ReplaceTokenList* list) {
  return list == nullptr ? -1 : static_cast<std::int64_t>(list->tokens.size());
}

int replacement_regex_append(ReplaceTokenList* list, const char* friendly_name,
                             const char* pattern, std::uint64_t match_size, int options,
                             std::uint64_t offset, std::uint64_t length,
                             const char* replace_pattern, const char* const* capture_names,
                             int required, int repeat, const MatchCriteria* criteria) {
  if (list == nullptr) return 0;
  if (friendly_name == nullptr || friendly_name[0] == '\0') {
    LOG_ERROR("friendly_name must be specified!");
  }
  if (!pattern_fits("pattern", pattern) || !pattern_fits("replace pattern", replace_pattern)) {
    return 0;
  }
  auto token = std::unique_ptr<ReplaceToken>(new (std::nothrow) ReplaceToken());
  if (token == nullptr) return 0;
  token->offset = offset;
  token->length = length;
  if (!fit_window(list, token.get())) return 0;
  token->friendly_name = clipped(friendly_name, REPLACE_TOKEN_NAME_MAX);
  token->pattern = clipped(pattern, REPLACE_TOKEN_PATTERN_MAX);
  token->replace_pattern = clipped(replace_pattern, REPLACE_TOKEN_PATTERN_MAX);
  token->match_size = match_size;
  token->options = options | PCRE_ANCHORED;
  token->required = required != 0;
  token->repeat = repeat != 0;
  take_capture_names(capture_names, token.get());
  if (criteria != nullptr) {
    token->criteria = *criteria;
    token->criteria.printer_type_pattern[REPLACE_TOKEN_PATTERN_MAX] = '\0';
    token->criteria.presence_pattern[REPLACE_TOKEN_PATTERN_MAX] = '\0';
    if (token->criteria.num_languages < 0 ||
        token->criteria.num_languages > MATCH_CRITERIA_LANGUAGES_MAX) {
      LOG_ERROR("replacement_regex_append: %d languages", token->criteria.num_languages);
      return 0;
    }
  } else {
    init_match_criteria(&token->criteria);
  }
  token->index = static_cast<std::int32_t>(list->tokens.size());
  list->tokens.push_back(std::move(token));
  return 1;
}

int replacement_regex_associate(ReplaceTokenList* list, const char* first, const char* second) {
  if (list == nullptr || first == nullptr || second == nullptr) return 0;
  ReplaceToken* one = find_token(list, first);
  ReplaceToken* two = find_token(list, second);
  if (one == nullptr || two == nullptr) return 0;
  if (one == two) {
    LOG_ERROR("Attempt to self-associatie '%s' '%s'", first, second);
    return 0;
  }
  if (one->association_count >= REPLACE_TOKEN_ASSOCIATIONS_MAX) {
    LOG_ERROR("No room for assocation '%s' in '%s'", second, first);
    return 0;
  }
  one->associations[one->association_count++] = two->index;
  return 1;
}

int replace_token_list_add_replacements(ReplaceTokenList* list, const std::uint8_t* data,
                                        std::uint64_t length, int language,
                                        const char* printer_type, ReplacementList* replacements) {
  if (list == nullptr || replacements == nullptr || (data == nullptr && length > 0)) return 0;
  LOG_DEBUG("replace_token_list_add_replacements: '%s' %zu tokens", list->name.c_str(),
            list->tokens.size());
  if (list->tokens.empty()) return 1;
  if (!compile_token_list(list)) return 0;
  ReplaceTokenView view;
  if (!build_token_view(list, data, length, language, printer_type, &view)) return 0;
  if (!exec_token_list(&view, data, length)) return 0;
  std::size_t matched = 0;
  for (const ReplaceToken* token : view.tokens) matched += token->matches.empty() ? 0 : 1;
  LOG_DEBUG("matched_tokens_view: number=%zu", matched);
  if (view.tokens.empty()) {
    LOG_DEV("No matches for token list %s", list->name.c_str());
    return 1;
  }
  if (!associate_token_list(list, &view)) {
    LOG_ERROR("Error in associate_token_list()");
    return 0;
  }
  if (!apply_matched_tokens(&view, replacements)) {
    LOG_ERROR("Error in apply_matched_tokens()");
    return 0;
  }
  return do_pure_insertions(&view, replacements);
}

ReplacementList* replace_token_list_to_replacement_list(ReplaceTokenList* list,
                                                        const std::uint8_t* data,
                                                        std::uint64_t length, int language,
                                                        const char* printer_type) {
  ReplacementListPtr replacements(replacement_list_create(length, -1, nullptr));
  if (replacements == nullptr) return nullptr;
  if (!replace_token_list_add_replacements(list, data, length, language, printer_type,
                                           replacements.get())) {
    return nullptr;
  }
  return replacements.release();
}
