// The client host and the Canon driver options taken from the CUPS options
// string ("name=value name=value ...", blanks escaped with a backslash).
#include <cstring>
#include <iterator>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/os_process.h"
#include "foundation/regex.h"
#include "foundation/util.h"
#include "job/cups_intake.h"
#include "job/cups_intake_internal.h"

namespace {

// The first option called `name` in `text`, with or without regard to case:
// an occurrence counts only where an option starts (at the beginning or after
// a blank) and is followed by "=", so "number-up" is not found inside
// "number-up-layout=lrtb" or "job-number-up=4".
const char* find_name(const char* text, const char* name, int caseless) {
  const std::size_t n = std::strlen(name);
  for (const char* p = text; *p != '\0'; ++p) {
    if (p != text && p[-1] != ' ' && p[-1] != '\t') continue;
    const bool same = caseless != 0 ? util_strncase_equals(p, name, n) != 0
                                    : std::strncmp(p, name, n) == 0;
    if (same && p[n] == '=') return p;
  }
  return nullptr;
}

struct CanonRule {
  const char* pattern;
  void (*apply)(JobAttribs* ja, const RegexMatchInfo& match);
};

void apply_color_mode(JobAttribs* ja, const RegexMatchInfo& m) {
  if (util_equal_str(m.texts[1], "mono") != 0) ja_set_is_grayscale(ja, 1);
  LOG_DEBUG("extract_canon_options: matches '%s' is_grayscale=%d", m.texts[0], ja->is_grayscale);
}

void apply_copies(JobAttribs* ja, const RegexMatchInfo& m) {
  // Digits only (the pattern's group), saturated.
  const int copies = decimal_clamp<int>(decimal_read(m.texts[1], DecimalSign::NONE).value);
  if (copies > 0) ja_set_copy_count(ja, copies);
  LOG_DEBUG("extract_canon_options: matches '%s' copies=%d", m.texts[0], ja->copy_count);
}

void apply_duplex(JobAttribs* ja, const RegexMatchInfo& m) {
  char lower[CUPS_ATTR_TEXT_SIZE];
  util_strlower(lower, m.texts[1], sizeof lower);
  if (std::strstr(lower, "duplex") != nullptr) ja_set_is_duplex(ja, 1);
  LOG_DEBUG("extract_canon_options: matches '%s' is_duplex=%d", m.texts[0], ja->is_duplex);
}

void apply_page_size(JobAttribs* ja, const RegexMatchInfo& m) {
  ja_set_paper_size_name(ja, m.texts[1]);
  LOG_DEBUG("extract_canon_options: matches '%s' pagesize='%s'", m.texts[0], ja->paper_size_name);
}

constexpr CanonRule CANON_RULES[] = {
    {"CNColorMode=(\\w+)\\b", apply_color_mode},
    {"CNCopies=(\\d+)\\b", apply_copies},
    {"CNDuplex=(\\w+)\\b", apply_duplex},
    {"PageSize=(\\w{2,20})\\b", apply_page_size},
};

int extract_canon_options(JobAttribs* ja, const char* options) {
  LOG_DEBUG("extract_canon_options: parsing ...");
  RegexPtr compiled[std::size(CANON_RULES)];
  bool ok = true;
  for (std::size_t i = 0; i < std::size(CANON_RULES); ++i) {
    compiled[i].reset(regex_compile(CANON_RULES[i].pattern, 0));
    ok = ok && compiled[i] != nullptr;
  }
  if (!ok) LOG_ERROR("extract_canon_options: Could not create regexes");
  for (std::size_t i = 0; ok && i < std::size(CANON_RULES); ++i) {
    ScopedMatchInfo match;
    if (regex_match_with_info(compiled[i].get(), options, std::strlen(options), &match) != 0 &&
        match.texts[0] != nullptr && match.texts[1] != nullptr) {
      CANON_RULES[i].apply(ja, match);
    }
  }
  return ok ? 1 : 0;
}

}  // namespace

bool common_is_local_host_name(const char* name) {
  return util_case_equal_str(name, "localhost") != 0 || util_case_equal_str(name, "127.0.0.1") != 0;
}

int common_extract_param_string(char* buffer, std::size_t size, const char* text,
                                const char* name, int caseless) {
  if (buffer == nullptr || size == 0 || text == nullptr || name == nullptr || name[0] == '\0') {
    return 0;
  }
  buffer[0] = '\0';
  const char* p = find_name(text, name, caseless);
  if (p == nullptr) return 0;
  p += std::strlen(name);
  if (*p != '=') return 0;
  ++p;
  std::size_t n = 0;
  while (*p != '\0' && *p != ' ' && *p != '\t' && n + 1 < size) {
    // A backslash makes the next character part of the value, whatever it
    // is; a backslash at the very end has nothing to escape.
    if (*p == '\\') {
      if (p[1] == '\0') break;
      ++p;
    }
    buffer[n++] = *p++;
  }
  buffer[n] = '\0';
  return 1;
}

int common_extract_valid_hostname(char* buffer, std::size_t size, const char* text) {
  if (buffer == nullptr || size == 0 || text == nullptr) return 0;
  std::size_t len = std::strlen(text);
  if (len >= size) {
    util_safe_strncpy(buffer, text, size);
    return 0;
  }
  if (len < 2 || text[0] != '[' || text[len - 1] != ']') {
    util_safe_strncpy(buffer, text, size);
    return 1;
  }
  const char* first = std::strchr(text, ':');
  if (first == nullptr) {
    util_safe_strncpy(buffer, text, size);
    return 0;
  }
  const char* last = std::strrchr(text, ':');
  const char* start = first;
  while (start - 1 > text && ascii_is_xdigit(start[-1])) --start;
  const char* end = last;  // inclusive
  while (end + 1 < text + len - 1 && ascii_is_xdigit(end[1])) ++end;
  std::size_t span = static_cast<std::size_t>(end - start) + 1;
  buffer[0] = '[';
  std::memcpy(buffer + 1, start, span);
  buffer[span + 1] = ']';
  buffer[span + 2] = '\0';
  return 1;
}

void common_replace_local_client_machine(JobAttribs* ja) {
  if (!common_is_local_host_name(ja->client_machine)) return;
  char name[JA_TEXT_SIZE];
  if (os_get_computer_name(name, sizeof name) != 0) {
    util_safe_strncpy(ja->client_machine, name, sizeof ja->client_machine);
  }
}

int common_extract_cups_options_info(JobAttribs* ja, const char* options, int canon) {
  if (!TV_ASSERT(ja != nullptr)) return 1;
  if (options == nullptr || options[0] == '\0') {
    LOG_DEBUG("Empty options - unable to extract information");
    return 1;
  }
  char value[JA_TEXT_SIZE];
  if (common_extract_param_string(value, sizeof value, options, "job-originating-host-name", 1)) {
    LOG_DEBUG("Found job-originating-host-name= : '%s'", value);
    if (common_extract_valid_hostname(ja->client_machine, sizeof ja->client_machine, value)) {
      LOG_DEBUG("Sanitized job-originating-host-name= : '%s'", ja->client_machine);
    } else {
      LOG_DEBUG("Unable to sanitized job-originating-host-name= : '%s'", ja->client_machine);
    }
  } else if (common_extract_param_string(value, sizeof value, options, "HostName", 1)) {
    LOG_DEBUG("Found HostName= : '%s'", value);
    util_safe_strncpy(ja->client_machine, value, sizeof ja->client_machine);
  }
  if (common_is_local_host_name(ja->client_machine)) {
    LOG_DEBUG("CUPS reported hostname of localhost, try using machine name.");
    common_replace_local_client_machine(ja);
  }
  if (canon != 0 && std::strstr(options, "CN") != nullptr) return extract_canon_options(ja, options);
  return 1;
}
