// Matching a value against a separated list, such as "a, b ,c". Items are the
// pieces between separator bytes (a separator at the very end adds no item),
// each trimmed of white space.
#pragma once

// 1 when an item equals `value` ignoring case; 0 when the list or the value
// is missing or empty.
[[nodiscard]] int csv_contains_value(const char* list, char separator, const char* value);

// 1 when a non-empty item occurs anywhere inside `value`, both lower-cased;
// 0 when the list or the value is missing or empty. Items empty after
// trimming are skipped (they would otherwise match everything).
[[nodiscard]] int util_partially_matches_value(const char* list, char separator,
                                               const char* value);

// 1 when a non-empty item, read as a wildcard pattern ("*" any run of
// characters, "?" one character, everything else literal), matches the whole
// value ignoring case; 0 otherwise and for empty input. An item whose pattern
// does not compile does not match.
[[nodiscard]] int csv_contains_value_wildcard(const char* list, char separator, const char* value);
