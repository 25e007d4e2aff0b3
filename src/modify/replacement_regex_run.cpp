// Running a replace-token list, first half: compiling its rules, choosing
// those that apply to the job, and the one walk over the data that finds
// their matches.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <set>
#include <string_view>

#include "foundation/log.h"
#include "modify/replacement_regex_internal.h"

namespace {

constexpr int OVECTOR_SIZE = 3 * REGEX_MATCH_INFO_GROUPS;
constexpr int REGEX_NO_MATCH = -1;

bool compile_token(ReplaceToken* token) {
  char error[256] = "";
  int error_offset = 0;
  token->compiled.reset(regex_compile_ex(token->pattern.c_str(), token->options, error,
                                         sizeof(error), &error_offset));
  if (token->compiled == nullptr) {
    LOG_ERROR(
        "PCRE compilation for compile_full_token failed on pattern: %s at offset: %d with "
        "error: %s",
        token->pattern.c_str(), error_offset, error);
    return false;
  }
  (void)regex_first_bytes(token->pattern.c_str(), token->options, &token->first_bytes);
  compile_replacement_format(token->replace_pattern, &token->format);
  const MatchCriteria& c = token->criteria;
  if (c.presence_pattern[0] != '\0') {
    const int options = c.presence_options | PCRE_ANCHORED;
    token->presence_compiled.reset(regex_compile(c.presence_pattern, options));
    if (token->presence_compiled == nullptr) {
      LOG_ERROR("Could not compile regex for pattern='%s',options=%d", c.presence_pattern,
                c.presence_options);
      return false;
    }
    (void)regex_first_bytes(c.presence_pattern, options, &token->presence_first_bytes);
  }
  if (c.printer_type_pattern[0] != '\0') {
    token->printer_type_compiled.reset(regex_compile(c.printer_type_pattern, PCRE_CASELESS));
    if (token->printer_type_compiled == nullptr) {
      LOG_ERROR("Could not compile printer name regex for pattern='%s',options=%d",
                c.printer_type_pattern, PCRE_CASELESS);
      return false;
    }
  }
  return true;
}

bool language_passes(const MatchCriteria& c, int language) {
  if (c.num_languages == 0) return true;
  return std::find(c.languages, c.languages + c.num_languages, language) !=
         c.languages + c.num_languages;
}

bool printer_passes(const ReplaceToken& token, const char* printer_type) {
  if (token.printer_type_compiled == nullptr || printer_type == nullptr ||
      printer_type[0] == '\0') {
    return true;
  }
  return regex_match(token.printer_type_compiled.get(), printer_type,
                     std::char_traits<char>::length(printer_type)) == 1;
}

// The data one attempt at `pos` may see.
std::uint64_t attempt_span(std::uint64_t match_size, std::uint64_t pos, std::uint64_t length) {
  return std::min({match_size, length - pos, REPLACE_TOKEN_MATCH_SIZE_MAX});
}

std::uint64_t as_size(std::int64_t value) {
  return value < 0 ? REPLACE_TOKEN_WHOLE : static_cast<std::uint64_t>(value);
}

// One anchored attempt: 1 match (pairs in ovector, their count in *groups),
// 0 none, -1 an engine error (logged; counted by the caller).
int attempt(const Regex* regex, const std::uint8_t* data, std::uint64_t pos, std::uint64_t span,
            std::int64_t* ovector, int* groups) {
  int rc = 0;
  // The subject starts at `pos`: a match may not look back before it.
  if (regex_exec_at(regex, data + pos, span, 0, 0, ovector, OVECTOR_SIZE, &rc) == 1) {
    // rc 0: more groups than the vector holds, all of its pairs are set.
    *groups = rc > 0 && rc < REGEX_MATCH_INFO_GROUPS ? rc : REGEX_MATCH_INFO_GROUPS;
    return 1;
  }
  if (rc == REGEX_NO_MATCH) return 0;
  LOG_ERROR("Matching error rc=%d", rc);
  return -1;
}

bool too_many_errors(int errors) {
  if (errors < REPLACE_TOKEN_MATCH_ERRORS_MAX) return false;
  LOG_ERROR("Matching stopped after %d errors: the patterns cost too much on this data", errors);
  return true;
}

// The presence pass: rules whose presence pattern occurs within its
// distance join the view.
bool scan_presence(const std::vector<ReplaceToken*>& pending, const std::uint8_t* data,
                   std::uint64_t length, std::set<const ReplaceToken*>* found) {
  std::uint64_t end = 0;
  for (const ReplaceToken* t : pending) end = std::max(end, as_size(t->criteria.presence_distance));
  end = std::min({end, length, std::uint64_t{INT32_MAX}});
  int errors = 0;
  std::int64_t ovector[OVECTOR_SIZE];
  for (std::uint64_t pos = 0; pos < end && found->size() < pending.size(); ++pos) {
    for (const ReplaceToken* t : pending) {
      if (!t->presence_first_bytes[data[pos]] || found->count(t) != 0 ||
          pos >= as_size(t->criteria.presence_distance)) {
        continue;
      }
      const std::uint64_t span =
          attempt_span(as_size(t->criteria.presence_match_size), pos, length);
      int groups = 0;
      const int result = attempt(t->presence_compiled.get(), data, pos, span, ovector, &groups);
      if (result == 1) found->insert(t);
      if (result < 0 && too_many_errors(++errors)) return false;
    }
  }
  return true;
}

void log_view(const ReplaceTokenView& view) {
  LOG_DEV("  ReplaceTokenView '%s' has %zu elements", view.name.c_str(), view.tokens.size());
  for (const ReplaceToken* t : view.tokens) LOG_DEV("%4d:'%s'", t->index, t->friendly_name.c_str());
}

// Records a match unless it overlaps one recorded before: two edits over the
// same bytes cannot both be written, and a rule that matches again inside
// its own match would replace what it already replaced.
bool record_match(ReplaceToken* token, std::uint64_t pos, const std::int64_t* ovector, int groups,
                  const std::uint8_t* data, std::uint64_t* covered_end) {
  // The length comes from the offsets, not from the matched text, which may
  // hold zero bytes.
  const auto start = pos + static_cast<std::uint64_t>(ovector[0]);
  const auto length = static_cast<std::uint64_t>(ovector[1] - ovector[0]);
  if (start < *covered_end) {
    LOG_DEBUG("  exec_token: '%s' at %" PRIu64 " overlaps an earlier match; dropped",
              token->friendly_name.c_str(), pos);
    return true;
  }
  std::string_view substrings[REGEX_MATCH_INFO_GROUPS];
  for (int g = 0; g < groups; ++g) {
    const std::int64_t from = ovector[2 * g];
    const std::int64_t to = ovector[2 * g + 1];
    if (from >= 0 && to >= from) {
      substrings[g] = std::string_view(reinterpret_cast<const char*>(data + pos + from),
                                       static_cast<std::size_t>(to - from));
    }
  }
  bool too_long = false;
  ReplaceTokenMatch match;
  match.offset = static_cast<std::int64_t>(start);
  match.length = length;
  match.used = 1;
  match.replacement.reset(apply_replacement_format(token->format, substrings, groups, &too_long));
  if (too_long) {
    LOG_ERROR("Replacement of '%s' at offset %" PRIu64 " is longer than %zu bytes",
              token->friendly_name.c_str(), pos, REPLACE_TOKEN_TEXT_MAX);
    return false;
  }
  token->matches.push_back(std::move(match));
  *covered_end = start + length;
  return true;
}

// The next position at or after `pos` whose byte may begin a match: memchr
// when only one byte can, else the table.
using CandidateTable = std::array<std::uint8_t, 256>;

std::uint64_t next_candidate(const std::uint8_t* data, std::uint64_t pos, std::uint64_t end,
                             const CandidateTable& table, int single) {
  if (single >= 0) {
    const auto* hit = static_cast<const std::uint8_t*>(std::memchr(data + pos, single, end - pos));
    return hit == nullptr ? end : static_cast<std::uint64_t>(hit - data);
  }
  // Eight lookups per branch: most bytes of a job begin no match.
  while (end - pos >= 8) {
    const std::uint8_t* p = data + pos;
    if ((table[p[0]] | table[p[1]] | table[p[2]] | table[p[3]] | table[p[4]] | table[p[5]] |
         table[p[6]] | table[p[7]]) != 0) {
      break;
    }
    pos += 8;
  }
  while (pos < end && !table[data[pos]]) ++pos;
  return pos;
}

// The one byte that may begin a match, or -1 when there are several.
int single_byte(const RegexFirstByteTable& table) {
  int found = -1;
  for (int b = 0; b < 256; ++b) {
    if (!table[b]) continue;
    if (found >= 0) return -1;
    found = b;
  }
  return found;
}

bool token_active(const ReplaceToken* t, std::uint64_t pos) {
  return pos < t->search_end && (t->repeat || t->matches.empty());
}

}  // namespace

int compile_token_list(ReplaceTokenList* list) {
  std::set<std::string> names;
  int compiled = 0;
  for (auto& token : list->tokens) {
    token->matches.clear();
    if (token->friendly_name.empty()) {
      LOG_ERROR("Empty friendly name");
      return 0;
    }
    if (!names.insert(token->friendly_name).second) {
      LOG_ERROR("Duplicate friendly name '%s'", token->friendly_name.c_str());
      return 0;
    }
    if (!compile_token(token.get())) return 0;
    ++compiled;
  }
  LOG_DEV("  Compiled %d of %zu replace tokens", compiled, list->tokens.size());
  return 1;
}

int build_token_view(ReplaceTokenList* list, const std::uint8_t* data, std::uint64_t length,
                     int language, const char* printer_type, ReplaceTokenView* view) {
  view->name = list->name;
  view->default_insertion_point = list->default_insertion_point;
  view->match_limit = list->match_limit;
  std::vector<ReplaceToken*> passing;
  std::vector<ReplaceToken*> pending;
  for (auto& token : list->tokens) {
    if (!language_passes(token->criteria, language) || !printer_passes(*token, printer_type)) {
      continue;
    }
    passing.push_back(token.get());
    if (token->presence_compiled != nullptr) pending.push_back(token.get());
  }
  LOG_DEV("  Printer criteria matched %zu of %zu", passing.size(), list->tokens.size());
  std::set<const ReplaceToken*> found;
  if (!pending.empty() && !scan_presence(pending, data, length, &found)) return 0;
  for (ReplaceToken* token : passing) {
    if (token->presence_compiled == nullptr || found.count(token) != 0) {
      view->tokens.push_back(token);
    }
  }
  log_view(*view);
  return 1;
}

int exec_token_list(ReplaceTokenView* view, const std::uint8_t* data, std::uint64_t length) {
  RegexFirstByteTable any_first{};
  for (ReplaceToken* t : view->tokens) {
    t->search_end = std::min(t->length, length);
    for (int b = 0; b < 256; ++b) any_first[b] = any_first[b] || t->first_bytes[b];
  }
  std::uint64_t walk_end = 0;
  for (const ReplaceToken* t : view->tokens) walk_end = std::max(walk_end, t->search_end);
  std::uint64_t covered_end = 0;
  int errors = 0;
  std::int64_t ovector[OVECTOR_SIZE];
  const int single = single_byte(any_first);
  CandidateTable candidates{};
  for (int b = 0; b < 256; ++b) candidates[b] = any_first[b] ? 1 : 0;
  for (std::uint64_t pos = 0; pos < walk_end; ++pos) {
    pos = next_candidate(data, pos, walk_end, candidates, single);
    if (pos >= walk_end) break;
    bool any_active = false;
    for (ReplaceToken* t : view->tokens) {
      if (!token_active(t, pos)) continue;
      any_active = true;
      if (!t->first_bytes[data[pos]]) continue;
      int groups = 0;
      const int result = attempt(t->compiled.get(), data, pos,
                                 attempt_span(t->match_size, pos, length), ovector, &groups);
      if (result < 0 && too_many_errors(++errors)) return 0;
      // An empty match would insert at every byte it is tried at.
      if (result != 1 || ovector[0] < 0 || ovector[1] <= ovector[0]) continue;
      LOG_DEV("  exec_token: Matched at pos: %" PRIu64, pos);
      if (!record_match(t, pos, ovector, groups, data, &covered_end)) return 0;
    }
    if (!any_active) {
      LOG_DEV("Matched all tokens");
      break;
    }
  }
  return 1;
}
