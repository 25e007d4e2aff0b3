// Small operations on zero-terminated texts, names, paths, files, URL and XML
// encodings and address shapes. Texts that these functions return as "new"
// are allocated with malloc and released by the caller with free().
#pragma once

#include <cstdarg>
#include <cstddef>

#include "foundation/owned.h"

// Product name and version as the programs print them.
inline constexpr const char* UTIL_PRODUCT_NAME = "Torvelle ZK";
inline constexpr const char* UTIL_PRODUCT_VERSION = "0.1.0";

// ---- Bounded texts and comparisons ----

// 1 when the text is null or empty.
[[nodiscard]] int util_is_string_empty(const char* text);
// Copies at most size - 1 bytes of source and always terminates (nothing for
// size 0). A null source copies an empty text. Returns target.
char* util_safe_strncpy(char* target, const char* source, std::size_t size);
// Appends source when the whole result fits in size - 1 bytes; otherwise as
// much as fits (nothing when target already fills size bytes); terminated.
// Returns target.
char* util_safe_strncat(char* target, const char* source, std::size_t size);
// Formats into a new buffer that grows until the text fits; `args` is left
// untouched for the caller. 1 on success; 0 with *out = nullptr on failure.
[[nodiscard]] int util_safe_vsnprintf(char** out, const char* format, va_list args);
// 1 when a and b are the same pointer, or both present and equal.
[[nodiscard]] int util_equal_str(const char* a, const char* b);
// The same, ignoring ASCII case.
[[nodiscard]] int util_case_equal_str(const char* a, const char* b);
// 1 when the first n characters are equal ignoring case (shorter texts compare
// up to and including their terminator).
[[nodiscard]] int util_strncase_equals(const char* a, const char* b, std::size_t n);
// 1 when n bytes are equal (n of 0 gives 1); 0 when a pointer is null.
[[nodiscard]] int util_equal_bytes(const void* a, const void* b, std::size_t n);
// 1 when buffer begins with text; null arguments log and give 0.
[[nodiscard]] int util_equal_bytes_str(const void* buffer, const char* text);
// The same, ignoring case.
[[nodiscard]] int util_case_equal_bytes_str(const void* buffer, const char* text);
// 1 when n bytes are equal ignoring case; 0 when a pointer is null.
[[nodiscard]] int util_case_equal_bytes(const void* a, const void* b, std::size_t n);
// New text of the first `length` bytes of `text` and a terminator (bytes
// past a zero byte are copied too); `text` may be null for length 0. nullptr
// when memory runs out.
[[nodiscard]] char* util_new_text(const char* text, std::size_t length);
// Frees memory handed out by the text operations (util_new_text, the joins,
// the encoders, ext_buf_as_cstr, ...): std::free; null is ignored.
void util_free(void* memory);
using TextPtr = Owned<char, util_free>;
// Lower- or upper-case the text in place (ASCII only); return it. Null is
// returned as is.
char* strlwr(char* text);
char* strupr(char* text);
// Writes the lower-cased source into target, at most n bytes, stopping after
// the terminator (like strncpy: no terminator when source fills n bytes).
char* util_strlower(char* target, const char* source, std::size_t n);
// Removes one trailing line feed in place; returns text.
char* util_chomp(char* text);

// ---- Names and paths ----

// The part after the last "/" (the whole path when there is none).
[[nodiscard]] const char* util_basename(const char* path);
inline char* util_basename(char* path) {
  return const_cast<char*>(util_basename(static_cast<const char*>(path)));
}
// Copies path into target (size bytes) cut at its last "/"; "." when the path
// has none. Returns target.
char* util_dirname(char* target, const char* path, std::size_t size);
// Replaces each of  " * / : < > ? \ |  by "_" in place; returns 0.
int util_sanitize_fname(char* name);
// New text of the `count` texts joined with `separator` (null for none);
// nullptr on failure.
[[nodiscard]] char* util_join(const char* const* texts, int count, const char* separator);
// New command line of the null-terminated argument array: arguments beginning
// with "-" as they are, all others in double quotes, separated by one blank.
// nullptr (logged) when the line would not fit in size bytes.
[[nodiscard]] char* util_join_argv(const char* const* argv, std::size_t size);
// The largest of count values; -1 for an empty array.
[[nodiscard]] int util_find_max(const int* values, int count);

// ---- Files ----

// Reads at most size - 1 bytes of the file into buffer and terminates.
// -1 when the file cannot be opened, 0 otherwise.
[[nodiscard]] int util_read_file_contents(const char* path, char* buffer, std::size_t size);
// New buffer with the file's first `maximum` bytes (the whole file when
// smaller) and a terminator; nullptr (logged) on failure.
[[nodiscard]] char* util_get_file_as_string(const char* path, std::size_t maximum);
// With exactly one argument "--version" prints the program's version line and
// exits with status 0; otherwise returns.
void util_print_version(int argc, const char* const* argv, const char* program);

// ---- Encodings and address shapes ----

// Decodes XML entities ("&lt;" "&gt;" "&amp;" "&apos;" "&quot;" and numeric
// references) of source into target, as UTF-8; a null source decodes target
// in place. Target must hold strlen(source) + 1 bytes (never longer than the
// source). Returns the decoded length.
std::size_t util_xml_decode_entities_utf8(char* target, const char* source);
// New text: letters, digits and "-._~" kept, blank as "+", other bytes %XX.
[[nodiscard]] char* util_url_encode(const char* text);
// New text: "+" as blank, "%XX" as the byte; a "%" without two following
// hexadecimal digits copied as it is.
[[nodiscard]] char* util_url_decode(const char* text);
// 1 for a non-empty text of only digits and dots.
[[nodiscard]] int util_is_ipv4_address(const char* text);
// 1 for a non-empty text of hexadecimal digits, ":" and "." (optionally then
// "%" and a zone) holding at least two ":".
[[nodiscard]] int util_is_ipv6_address(const char* text);
// Either of the two.
[[nodiscard]] int util_is_ip_address(const char* text);
