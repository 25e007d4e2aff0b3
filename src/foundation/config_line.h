// Splitting one line of a "key=value" file (the configuration file and the
// environment-version file share the rules). Internal to the configuration.
#pragma once

#include <cstdio>
#include <string_view>

// What one line holds.
enum class ConfigLineKind {
  COMMENT,      // blank, or begins with "#" or ";" after leading blanks
  NO_EQUALS,    // no "=" before the end of the line
  EMPTY_KEY,    // "=" right after the leading blanks
  EMPTY_VALUE,  // nothing but blanks after the "="
  SETTING,
};

struct ConfigLine {
  ConfigLineKind kind;
  std::string_view key;    // blanks before the "=" stay part of the key
  std::string_view value;  // leading and trailing blanks cut
};

// Splits `line`. Blanks are backspace, line feed, carriage return and space
// (not tab). The value ends at the first line feed or carriage return and,
// with `value_ends_at_equals`, also at a second "=".
[[nodiscard]] ConfigLine config_split_line(std::string_view line, bool value_ends_at_equals);

// `line` without one trailing line feed (how bad lines are quoted).
[[nodiscard]] std::string_view config_line_without_lf(std::string_view line);

// 1 when a and b are equal ignoring ASCII case.
[[nodiscard]] bool config_case_equal(std::string_view a, std::string_view b);

// Reads the next line of `file` (its line feed included) into `buffer`,
// keeping at most buffer_size - 1 bytes and discarding the rest of an
// over-long line; `*truncated` tells whether bytes were dropped. The view
// ends at the first zero byte. False at end of file.
[[nodiscard]] bool config_read_line(std::FILE* file, char* buffer, std::size_t buffer_size,
                                    std::string_view* line, bool* truncated);

// Opens a regular file for reading (never blocks on a FIFO, refuses
// directories and devices). Null on failure with errno set.
[[nodiscard]] std::FILE* config_open_regular_file(const char* path);

// Reads a non-negative decimal number (after optional blanks and "+")
// that may be followed by other text. False when there are no digits, the
// number is negative or above 2147483647.
[[nodiscard]] bool config_parse_int(std::string_view text, int* out);
