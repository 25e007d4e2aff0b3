// Line-level pieces of the serialize file format, shared by the store and its
// tests and fuzz target: reading one line, escaping values, parsing numbers
// and dates without the locale.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// First line of every serialize file.
inline constexpr const char* SERIALIZE_MAGIC = "# TV Serialize Data";
// Comment line written before a value whose line feeds and backslashes are
// escaped ("\n", "\\"). Readers that do not know it skip it as a comment.
inline constexpr const char* SERIALIZE_ESCAPED_MARK = "#ESCAPED";
// Longest line accepted when reading; longer ones are refused, not cut.
inline constexpr std::size_t SERIALIZE_MAX_LINE = 1 << 20;

// Reads one line of any length up to the limit, without its line feed and
// leading tabs and blanks. false at end of file or for a line over the limit
// (logged).
[[nodiscard]] bool serialize_read_line(std::FILE* stream, std::string* line);

// A value as one line: "\\" for a backslash, "\n" for a line feed; unescaping
// turns those two pairs back and keeps any other backslash as it is.
[[nodiscard]] std::string serialize_escape_value(std::string_view value);
[[nodiscard]] std::string serialize_unescape_value(std::string_view value);

// Leading white space, an optional sign and decimal digits; trailing text is
// ignored; saturates at the int range. false when there are no digits.
[[nodiscard]] bool serialize_parse_int(std::string_view text, int* value);
// A finite decimal number after leading white space. false otherwise.
[[nodiscard]] bool serialize_parse_double(std::string_view text, double* value);
// Scans "yyyymmddThh:mm:ss" into six numbers (year, month, day, hour, minute,
// second); the count of numbers read before the first mismatch.
[[nodiscard]] int serialize_parse_date(std::string_view text, int fields[6]);

// Longest file name formed for a serialize file.
inline constexpr std::size_t SERIALIZE_MAX_FILE_NAME = 254;
// Room for a serialize file's path.
inline constexpr std::size_t SERIALIZE_PATH_SIZE = 4096;

// Passes `name` through util_sanitize_fname and joins it to `dir` into `path`
// (SERIALIZE_PATH_SIZE bytes). A name longer than SERIALIZE_MAX_FILE_NAME is
// refused rather than cut, since a cut name could be another job's or
// printer's file. false on failure (logged).
[[nodiscard]] bool serialize_file_path(const char* dir, const std::string& name, char* path);
