// Running a replace-token list, second half: associated texts, the edits of
// the matches, and the required rules inserted when nothing matched.
#include <cinttypes>

#include "foundation/log.h"
#include "modify/replacement_list.h"
#include "modify/replacement_regex_internal.h"

namespace {

// Appends the associated rule's text to the match's replacement.
bool associate_match(const ReplaceToken& associated, ReplaceTokenMatch* match) {
  BstringPtr text(token_text_from_capture_names(associated));
  if (text == nullptr) return true;
  if (match->replacement == nullptr) {
    match->replacement.reset(bfromcstr(""));
    if (match->replacement == nullptr) return false;
  }
  if (blength(match->replacement.get()) + blength(text.get()) >
      static_cast<int>(REPLACE_TOKEN_TEXT_MAX)) {
    LOG_ERROR("Associating '%s' makes a replacement longer than %zu bytes",
              associated.friendly_name.c_str(), REPLACE_TOKEN_TEXT_MAX);
    return false;
  }
  if (bconcat(match->replacement.get(), text.get()) != BSTR_OK) return false;
  match->used = 1;
  return true;
}

bool associate_token(const ReplaceTokenList& list, ReplaceToken* token) {
  for (int a = 0; a < token->association_count; ++a) {
    const auto index = static_cast<std::size_t>(token->associations[a]);
    if (index >= list.tokens.size()) return false;
    const ReplaceToken& associated = *list.tokens[index];
    if (!associated.matches.empty()) continue;
    if (associated.replace_pattern.empty()) {
      LOG_ERROR("Attempting to associate token '%s' which has no replace_pattern",
                associated.friendly_name.c_str());
      return false;
    }
    for (ReplaceTokenMatch& match : token->matches) {
      LOG_DEV(" Associating '%s' with existing match '%s'", associated.friendly_name.c_str(),
              token->friendly_name.c_str());
      if (!associate_match(associated, &match)) return false;
    }
  }
  return true;
}

bool any_match_used(const ReplaceTokenView& view) {
  for (const ReplaceToken* token : view.tokens) {
    for (const ReplaceTokenMatch& match : token->matches) {
      if (match.used != 0) return true;
    }
  }
  return false;
}

}  // namespace

int associate_token_list(ReplaceTokenList* list, ReplaceTokenView* view) {
  for (ReplaceToken* token : view->tokens) {
    if (!associate_token(*list, token)) return 0;
  }
  return 1;
}

int apply_matched_tokens(ReplaceTokenView* view, ReplacementList* replacements) {
  std::int64_t appended = 0;
  for (ReplaceToken* token : view->tokens) {
    for (const ReplaceTokenMatch& match : token->matches) {
      if (match.offset < 0) continue;
      // Another list's rule may have matched a line that holds this match
      // (a PJL value running over into the next command): the edit made
      // first stands, as within one list.
      if (replacement_list_deletion_overlaps(replacements, static_cast<std::uint64_t>(match.offset),
                                             match.length)) {
        LOG_DEBUG("  '%s' at %" PRId64 " overlaps an edit made before; dropped",
                  token->friendly_name.c_str(), match.offset);
        continue;
      }
      if (!replacement_list_append_ex(replacements, match.offset, match.length,
                                      match.replacement.get(), REPLACEMENT_PRIORITY_NORMAL)) {
        LOG_ERROR("Error adding replacement token '%s' to ReplacementList",
                  token->friendly_name.c_str());
        return 0;
      }
      ++appended;
      if (view->match_limit > 0 && appended >= view->match_limit) break;
    }
  }
  LOG_DEV("   replacement_list has %" PRId64 " matches", replacement_list_size(replacements));
  return 1;
}

int do_pure_insertions(ReplaceTokenView* view, ReplacementList* replacements) {
  if (any_match_used(*view)) return 1;
  bool any_required = false;
  for (const ReplaceToken* token : view->tokens) any_required = any_required || token->required;
  if (!any_required) return 1;
  if (view->default_insertion_point < 0) {
    LOG_ERROR("  No place to insert replacements");
    LOG_ERROR("Error in do_pure_insertions()");
    return 0;
  }
  BstringPtr joined(bfromcstr(""));
  if (joined == nullptr) return 0;
  for (const ReplaceToken* token : view->tokens) {
    if (!token->required || !token->matches.empty()) continue;
    BstringPtr text(token_text_from_capture_names(*token));
    if (text != nullptr && bconcat(joined.get(), text.get()) != BSTR_OK) return 0;
  }
  if (blength(joined.get()) == 0) return 1;
  if (!replacement_list_append_ex(replacements, view->default_insertion_point, 0, joined.get(),
                                  REPLACEMENT_PRIORITY_NORMAL)) {
    LOG_ERROR("Error adding replacement request at end");
    LOG_ERROR("Error in do_pure_insertions()");
    return 0;
  }
  return 1;
}
