// Reading the custom token file. Limits are checked, never cut to fit: a
// pattern clipped at its limit would match something else than what the
// administrator wrote, so such a line is refused with its reason. Every
// complaint names the line of the file it is about.
#include "modify/custom_tokens.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <sstream>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/regex.h"
#include "modify/replacement_regex.h"

namespace {

constexpr int CUSTOM_DEFAULT_OPTIONS = 5;  // caseless, dot matches line ends

// A value in double quotes (longer than 2) loses them; \xHH stands for a byte.
bool decode_value(std::string_view raw, std::string* value) {
  if (raw.size() > 2 && raw.front() == '"' && raw.back() == '"') {
    raw = raw.substr(1, raw.size() - 2);
  }
  value->clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 3 < raw.size() && (raw[i + 1] == 'x' || raw[i + 1] == 'X') &&
        ascii_is_xdigit(raw[i + 2]) && ascii_is_xdigit(raw[i + 3])) {
      const int byte = ascii_hex_value(raw[i + 2]) * 16 + ascii_hex_value(raw[i + 3]);
      if (byte == 0) return false;  // the rules are texts: a zero byte would end one
      value->push_back(static_cast<char>(byte));
      i += 3;
      continue;
    }
    if (raw[i] == '\0') return false;
    value->push_back(raw[i]);
  }
  return value->size() <= CUSTOM_VALUE_MAX;
}

enum class LineResult { KEPT, SKIPPED, REFUSED };

LineResult parse_line(std::string_view line, int number, keyval_list* list) {
  line = ascii_trim_space(line);
  if (line.empty() || line.front() == '#') return LineResult::SKIPPED;
  const std::string shown(line);
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || line.size() > CUSTOM_LINE_MAX ||
      equals > CUSTOM_KEY_PART_MAX) {
    LOG_ERROR("Invalid line '%s' (line %d)", shown.c_str(), number);
    return LineResult::SKIPPED;
  }
  const std::string_view left = ascii_trim_space(line.substr(0, equals));
  const std::size_t dot = left.find('.');
  if (dot == std::string_view::npos) return LineResult::SKIPPED;  // no instance: dropped
  const std::string_view instance_part = left.substr(0, dot);
  const std::string_view key = left.substr(dot + 1);
  int instance = 0;
  if (instance_part.size() > CUSTOM_INSTANCE_MAX ||
      !std::all_of(instance_part.begin(), instance_part.end(),
                   [](char c) { return ascii_is_digit(c); }) ||
      (!instance_part.empty() &&
       !decimal_parse_whole(instance_part, &instance, DecimalSign::NONE))) {
    LOG_ERROR("Invalid line '%s' (line %d)", shown.c_str(), number);
    return LineResult::REFUSED;
  }
  keyval entry{instance, std::string(key), {}, number};
  if (key.size() > CUSTOM_KEY_MAX ||
      !decode_value(ascii_trim_space(line.substr(equals + 1)), &entry.value)) {
    LOG_ERROR("Invalid line '%s' (line %d): key or value too long, or a zero byte",
              shown.c_str(), number);
    return LineResult::SKIPPED;
  }
  LOG_DEV("  keyval: instance=%d,key='%s',val='%s'", entry.instance, entry.key.c_str(),
          entry.value.c_str());
  if (entry.instance < 1) return LineResult::SKIPPED;
  list->entries.push_back(std::move(entry));
  return LineResult::KEPT;
}

// One instance's rule, from the defaults and its entries (the last line of
// a key wins).
struct CustomRule {
  std::string friendly_name, search_pattern, replace_pattern;
  // Lines the patterns were written on, for complaints.
  int search_line = 0, presence_line = 0, printer_line = 0;
  std::int64_t search_match_size = -1, search_distance = -1;
  int search_options = CUSTOM_DEFAULT_OPTIONS;
  int required = 0;
  MatchCriteria criteria{};
};

std::int64_t number(const std::string& text) { return decimal_read_after_space(text).value; }

std::uint64_t size_or_whole(std::int64_t value) {
  return value < 0 ? REPLACE_TOKEN_WHOLE : static_cast<std::uint64_t>(value);
}

void copy_text(char* field, std::size_t size, const std::string& value) {
  std::snprintf(field, size, "%s", value.c_str());
}

// The keys of an instance and the rule field each fills; other keys are
// ignored.
using RuleSetter = void (*)(CustomRule* rule, const std::string& value);
struct RuleKey {
  const char* key;
  RuleSetter set;
};
constexpr RuleKey RULE_KEYS[] = {
    {"friendly_name", [](CustomRule* r, const std::string& v) { r->friendly_name = v; }},
    {"search_pattern", [](CustomRule* r, const std::string& v) { r->search_pattern = v; }},
    {"search_match_size",
     [](CustomRule* r, const std::string& v) { r->search_match_size = number(v); }},
    {"search_distance",
     [](CustomRule* r, const std::string& v) { r->search_distance = number(v); }},
    {"search_options",
     [](CustomRule* r, const std::string& v) {
       r->search_options = decimal_clamp<int>(number(v));
     }},
    {"replace_pattern", [](CustomRule* r, const std::string& v) { r->replace_pattern = v; }},
    {"required", [](CustomRule* r, const std::string& v) { r->required = number(v) != 0; }},
    {"apply_if_printer_name",
     [](CustomRule* r, const std::string& v) {
       copy_text(r->criteria.printer_type_pattern, sizeof r->criteria.printer_type_pattern, v);
     }},
    {"apply_if_pattern",
     [](CustomRule* r, const std::string& v) {
       copy_text(r->criteria.presence_pattern, sizeof r->criteria.presence_pattern, v);
     }},
    {"apply_if_match_size",
     [](CustomRule* r, const std::string& v) { r->criteria.presence_match_size = number(v); }},
    {"apply_if_distance",
     [](CustomRule* r, const std::string& v) { r->criteria.presence_distance = number(v); }},
    {"apply_if_options",
     [](CustomRule* r, const std::string& v) {
       r->criteria.presence_options = decimal_clamp<int>(number(v));
     }},
};

void fill_rule(const keyval& e, CustomRule* rule) {
  if (e.key == "search_pattern") rule->search_line = e.line;
  if (e.key == "apply_if_pattern") rule->presence_line = e.line;
  if (e.key == "apply_if_printer_name") rule->printer_line = e.line;
  for (const RuleKey& k : RULE_KEYS) {
    if (e.key == k.key) k.set(rule, e.value);
  }
}

// 1 when `pattern` (empty: none) compiles as the rule engine will compile
// it; else logs why, naming the instance and the line.
bool pattern_compiles(const char* what, const std::string& pattern, int options,
                      std::int32_t instance, int line) {
  if (pattern.empty()) return true;
  char error[256] = "";
  int offset = 0;
  RegexPtr regex(regex_compile_ex(pattern.c_str(), options, error, sizeof error, &offset));
  if (regex != nullptr) return true;
  LOG_ERROR("Custom instance %d (line %d): %s '%s' does not compile at offset %d: %s", instance,
            line, what, pattern.c_str(), offset, error);
  return false;
}

// A rule whose patterns do not compile would fail every run of the list, and
// with it every rewrite; it is left out at load instead.
bool rule_compiles(const CustomRule& rule, std::int32_t instance) {
  const MatchCriteria& c = rule.criteria;
  return pattern_compiles("search_pattern", rule.search_pattern,
                          rule.search_options | PCRE_ANCHORED, instance, rule.search_line) &&
         pattern_compiles("apply_if_pattern", c.presence_pattern,
                          c.presence_options | PCRE_ANCHORED, instance, rule.presence_line) &&
         pattern_compiles("apply_if_printer_name", c.printer_type_pattern, PCRE_CASELESS,
                          instance, rule.printer_line);
}

void add_instance(ReplaceTokenList* tokens, const keyval_list& list, std::int32_t instance) {
  CustomRule rule;
  init_match_criteria(&rule.criteria);
  rule.criteria.presence_options = CUSTOM_DEFAULT_OPTIONS;
  for (const keyval& e : list.entries) {
    if (e.instance == instance) fill_rule(e, &rule);
  }
  LOG_DEV("Adding custom instance %d: friendly_name='%s', search_pattern='%s'", instance,
          rule.friendly_name.c_str(), rule.search_pattern.c_str());
  if (!rule_compiles(rule, instance) ||
      !replacement_regex_append(tokens, rule.friendly_name.c_str(), rule.search_pattern.c_str(),
                                size_or_whole(rule.search_match_size), rule.search_options, 0,
                                size_or_whole(rule.search_distance), rule.replace_pattern.c_str(),
                                nullptr, rule.required, 0, &rule.criteria)) {
    LOG_ERROR(" Custom instance %d: friendly_name='%s', search_pattern='%s' not added", instance,
              rule.friendly_name.c_str(), rule.search_pattern.c_str());
  }
}

ReplaceTokenList* build_list(const keyval_list& list) {
  ReplaceTokenListPtr tokens(replace_token_list_create("Custom tokens", 0, REPLACE_TOKEN_WHOLE,
                                                       REPLACE_TOKEN_NO_INSERTION_POINT, 0));
  if (tokens == nullptr) {
    LOG_ERROR("replace_token_list_create() failed");
    return nullptr;
  }
  std::vector<std::int32_t> instances;
  for (const keyval& e : list.entries) {
    if (std::find(instances.begin(), instances.end(), e.instance) != instances.end()) continue;
    if (instances.size() >= CUSTOM_INSTANCES_MAX) {
      LOG_ERROR("too many replace ids");
      return nullptr;
    }
    instances.push_back(e.instance);
  }
  for (std::int32_t instance : instances) add_instance(tokens.get(), list, instance);
  return tokens.release();
}

}  // namespace

keyval_list* create_keyval_list() {
  auto* list = new (std::nothrow) keyval_list();
  if (list != nullptr) list->entries.reserve(20);
  return list;
}

void free_keyval_list(keyval_list* list) { delete list; }

void trim(char* text) {
  if (text == nullptr) return;
  const std::string_view kept = ascii_trim_space(text);
  std::memmove(text, kept.data(), kept.size());
  text[kept.size()] = '\0';
}

int parse_custom_tokens(const std::string& text, keyval_list* list) {
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    if (parse_line(line, ++number, list) == LineResult::REFUSED) return 0;
  }
  return 1;
}

namespace {

// The file's text. A missing file is no error (an administrator who wrote
// no rules has none); one that exists and cannot be read is.
enum class FileRead { READ, MISSING, UNREADABLE };

FileRead read_file(const char* path, std::string* text) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return FileRead::MISSING;
    LOG_LAST_SYSTEM_ERROR("Could not read custom replacement config file %s", path);
    return FileRead::UNREADABLE;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {  // a directory, an I/O error
      LOG_LAST_SYSTEM_ERROR("Could not read custom replacement config file %s", path);
      close(fd);
      return FileRead::UNREADABLE;
    }
    if (got == 0) break;
    text->append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return FileRead::READ;
}

}  // namespace

ReplaceTokenList* load_custom_tokens(const char* path) {
  if (path == nullptr) path = "";
  std::string text;
  const FileRead read = path[0] != '\0' ? read_file(path, &text) : FileRead::MISSING;
  if (read == FileRead::MISSING) {
    LOG_DEBUG("Could not open custom replacement config file %s", path);
    return nullptr;
  }
  KeyvalListPtr list(create_keyval_list());
  if (read == FileRead::READ && list != nullptr && parse_custom_tokens(text, list.get())) {
    return build_list(*list);
  }
  LOG_ERROR("Custom token file %s not loaded: jobs are rewritten without custom rules", path);
  return nullptr;
}
