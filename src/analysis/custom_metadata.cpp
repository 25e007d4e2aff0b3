// The user-name override: the job owner's name taken out of the print data,
// between a configured prefix and suffix or from the first group of one of
// five configured patterns.
#include "analysis/custom_metadata.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "foundation/search.h"

namespace {

constexpr int USERNAME_PATTERNS = 5;

bool prefix_and_suffix_on() {
  const bool prefix = global_ctx.username_override_prefix[0] != '\0';
  const bool suffix = global_ctx.username_override_suffix[0] != '\0';
  if (prefix != suffix) {
    LOG_ERROR("Only one of UsernameOverridePrefix=%s and UsernameOverrideSuffix=%s is specified "
              "in spoolwarden.conf",
              global_ctx.username_override_prefix, global_ctx.username_override_suffix);
  }
  return prefix && suffix;
}

bool patterns_on() {
  for (const auto& pattern : global_ctx.username_override_regex) {
    if (pattern[0] != '\0') return true;
  }
  return false;
}

// The name as it may be stored: up to a NUL byte, without control bytes, cut
// to the buffer. Print data is untrusted; a name must not carry line breaks
// or escapes into logs, the server or the job files.
std::string clean_name(const char* bytes, std::size_t length, std::size_t size) {
  std::string name;
  for (std::size_t i = 0; i < length && name.size() + 1 < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0) break;
    if (c < 0x20 || c == 0x7f) continue;
    name.push_back(static_cast<char>(c));
  }
  return name;
}

// `name` already fits the buffer (clean_name cut it).
void store_name(const std::string& name, char* username) {
  std::copy(name.begin(), name.end(), username);
  username[name.size()] = '\0';
}

bool by_prefix_and_suffix(const std::uint8_t* data, std::uint64_t window, char* username,
                          std::size_t size) {
  const char* prefix = global_ctx.username_override_prefix;
  const char* suffix = global_ctx.username_override_suffix;
  const std::uint8_t* found = search_bm_ref(data, window, prefix);
  if (found == nullptr) return false;
  const std::uint64_t start = static_cast<std::uint64_t>(found - data) + std::strlen(prefix);
  if (start >= window) return false;
  const std::uint64_t reach = std::min(window - start, CUSTOM_METADATA_SUFFIX_REACH);
  const std::uint8_t* end = search_bm_ref(data + start, reach, suffix);
  if (end == nullptr) return false;
  const std::string name = clean_name(reinterpret_cast<const char*>(data + start),
                                      static_cast<std::size_t>(end - (data + start)), size);
  // Both marks found: the pattern rule is not tried, even for an empty name.
  if (name.empty()) return true;
  store_name(name, username);
  LOG_DEBUG("custom_metaddata: Found username '%s' at %" PRIu64 " between '%s' and '%s'",
            username, start, prefix, suffix);
  return true;
}

// Whether the group that opens at `open` (a "(") captures: a plain group or
// a named one ("(?<name>", "(?'name'", "(?P<name>"); lookbehinds, options and
// other "(?" forms and "(*" verbs do not.
bool group_captures(const char* open) {
  if (open[1] == '*') return false;
  if (open[1] != '?') return true;
  const char* kind = open + 2;
  if (*kind == 'P' && kind[1] == '<') return true;
  if (*kind == '\'') return true;
  return *kind == '<' && kind[1] != '=' && kind[1] != '!' && kind[1] != '\0';
}

// Whether the pattern holds a capturing group outside character classes.
bool has_capture_group(const char* pattern) {
  bool in_class = false;
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p == '\\') {
      if (p[1] == '\0') break;
      ++p;
    } else if (in_class) {
      in_class = *p != ']';
    } else if (*p == '[') {
      in_class = true;
      if (p[1] == ']') ++p;
    } else if (*p == '(' && group_captures(p)) {
      return true;
    }
  }
  return false;
}

// Tries one pattern; true when it matched (whether or not a name was taken).
bool by_pattern(int number, const char* pattern, const std::uint8_t* data, std::uint64_t window,
                char* username, std::size_t size) {
  const RegexPtr regex(regex_compile(pattern, 0));
  if (!regex) return false;
  ScopedMatchInfo info;
  const bool matched = regex_match_with_info(regex.get(), data, window, &info) != 0;
  if (matched) {
    LOG_DEBUG("custom_metaddata: is_regex_match %d: Matched pattern '%s' with '%s'", number,
              pattern, info.texts[0] != nullptr ? info.texts[0] : "");
    const char* group = info.texts[1];
    const std::string name =
        group != nullptr ? clean_name(group, std::strlen(group), size) : std::string();
    if (!has_capture_group(pattern)) {
      LOG_ERROR("UsernameOverrideRegex%d=%s does not have a capture group, that is a () around "
                "the pattern that matches the user name.",
                number, pattern);
    } else if (name.empty()) {
      LOG_ERROR("UsernameOverrideRegex%d=%s captured an empty string in match '%s'", number,
                pattern, info.texts[0] != nullptr ? info.texts[0] : "");
    } else {
      store_name(name, username);
      LOG_DEBUG("custom_metaddata: is_regex_match %d:  username = '%s'", number, username);
    }
  }
  return matched;
}

}  // namespace

int custom_metadata_is_replace_username() {
  const bool pair = prefix_and_suffix_on();
  return pair || patterns_on() ? 1 : 0;
}

void custom_metaddata_extract_username(const std::uint8_t* data, std::uint64_t length,
                                       char* username, std::size_t size) {
  const bool pair = prefix_and_suffix_on();
  if (data == nullptr || username == nullptr || size == 0) return;
  const std::uint64_t window = std::min(length, CUSTOM_METADATA_WINDOW);
  if (pair && by_prefix_and_suffix(data, window, username, size)) return;
  for (int i = 0; i < USERNAME_PATTERNS; ++i) {
    const char* pattern = global_ctx.username_override_regex[i];
    if (pattern[0] == '\0') continue;
    if (by_pattern(i + 1, pattern, data, window, username, size)) return;
  }
}
