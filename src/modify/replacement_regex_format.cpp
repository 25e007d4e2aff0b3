// Replacement texts: a replace pattern filled with the groups of a match.
// The text is built by concatenation, never through a printf format, so a
// "%" in a pattern or in the matched data stands for itself, and a group
// holding a zero byte is copied whole.
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/log.h"
#include "modify/replacement_regex_internal.h"

void compile_replacement_format(const std::string& replace_pattern, ReplacementFormat* format) {
  format->texts.assign(1, std::string());
  format->digits.clear();
  for (std::size_t i = 0; i < replace_pattern.size(); ++i) {
    const char c = replace_pattern[i];
    if (c == '\\' && i + 1 < replace_pattern.size() && ascii_is_digit(replace_pattern[i + 1])) {
      format->digits.push_back(replace_pattern[i + 1] - '0');
      format->texts.emplace_back();
      ++i;
      continue;
    }
    format->texts.back().push_back(c);
  }
}

bstring apply_replacement_format(const ReplacementFormat& format,
                                 const std::string_view* substrings, int count, bool* too_long) {
  *too_long = false;
  const auto places = static_cast<int>(format.digits.size());
  if (places > 0 && count <= places) {
    LOG_DEBUG("apply_replacement_format: num_matches=%d < num_args=%d+1", count, places);
    return nullptr;
  }
  if (count > REGEX_MATCH_INFO_GROUPS) {
    LOG_DEBUG("apply_replacement_format: num_matches=%d > %d", count, REGEX_MATCH_INFO_GROUPS);
    return nullptr;
  }
  std::string text = format.texts[0];
  for (int i = 0; i < places; ++i) {
    const int digit = format.digits[static_cast<std::size_t>(i)];
    if (digit >= count) {
      LOG_DEBUG("apply_replacement_format: no group %d of %d", digit, count);
      return nullptr;
    }
    text.append(substrings[digit]);
    text.append(format.texts[static_cast<std::size_t>(i) + 1]);
    if (text.size() > REPLACE_TOKEN_TEXT_MAX) break;
  }
  if (text.size() > REPLACE_TOKEN_TEXT_MAX) {
    *too_long = true;
    return nullptr;
  }
  return blk2bstr(text.data(), static_cast<int>(text.size()));
}

bstring token_text_from_capture_names(const ReplaceToken& token) {
  std::string_view names[REPLACE_TOKEN_CAPTURE_NAMES_MAX + 1];
  for (int i = 0; i < token.capture_count; ++i) names[i] = token.capture_names[i];
  bool too_long = false;
  return apply_replacement_format(token.format, names, token.capture_count, &too_long);
}
