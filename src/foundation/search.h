// Plain byte-range searches: Boyer-Moore forward search and occurrence count,
// backward search, and first-occurrence tests with and without case. Buffers
// are a start and a 64-bit length; patterns are byte ranges or zero-terminated
// texts. Found positions are pointers into the searched buffer.
#pragma once

#include <cstdint>

// First occurrence of the pattern in the buffer, or nullptr for an empty or
// missing pattern, a missing buffer or a pattern longer than the buffer. With
// `trace` set, writes one DEBUG entry naming the arguments.
[[nodiscard]] const std::uint8_t* search_bm_(const std::uint8_t* buffer, std::uint64_t length,
                                             const void* pattern, std::uint64_t pattern_length,
                                             int trace);
[[nodiscard]] inline const char* search_bm_(const char* buffer, std::uint64_t length,
                                            const void* pattern, std::uint64_t pattern_length,
                                            int trace) {
  return reinterpret_cast<const char*>(search_bm_(reinterpret_cast<const std::uint8_t*>(buffer),
                                                  length, pattern, pattern_length, trace));
}

// The same for a zero-terminated pattern; a null text is logged and gives
// nullptr.
[[nodiscard]] const std::uint8_t* search_bm_ref_(const std::uint8_t* buffer,
                                                 std::uint64_t length, const char* text,
                                                 int trace);
[[nodiscard]] inline const char* search_bm_ref_(const char* buffer, std::uint64_t length,
                                                const char* text, int trace) {
  return reinterpret_cast<const char*>(
      search_bm_ref_(reinterpret_cast<const std::uint8_t*>(buffer), length, text, trace));
}

// The same search, for callers that may pass long patterns (hundreds of
// bytes or more); the time stays linear in the buffer length.
[[nodiscard]] const std::uint8_t* search_bm_cache_(const std::uint8_t* buffer,
                                                   std::uint64_t length, const void* pattern,
                                                   std::uint64_t pattern_length, int trace);
[[nodiscard]] inline const char* search_bm_cache_(const char* buffer, std::uint64_t length,
                                                  const void* pattern,
                                                  std::uint64_t pattern_length, int trace) {
  return reinterpret_cast<const char*>(search_bm_cache_(
      reinterpret_cast<const std::uint8_t*>(buffer), length, pattern, pattern_length, trace));
}

// Untraced forms.
template <typename B>
[[nodiscard]] inline const B* search_bm(const B* buffer, std::uint64_t length, const void* pattern,
                                        std::uint64_t pattern_length) {
  return search_bm_(buffer, length, pattern, pattern_length, 0);
}
template <typename B>
[[nodiscard]] inline const B* search_bm_ref(const B* buffer, std::uint64_t length,
                                            const char* text) {
  return search_bm_ref_(buffer, length, text, 0);
}

// Last occurrence of the pattern, or nullptr (same refusals as search_bm_).
[[nodiscard]] const std::uint8_t* search_bm_reverse(const std::uint8_t* buffer,
                                                    std::uint64_t length, const void* pattern,
                                                    std::uint64_t pattern_length);
[[nodiscard]] inline const char* search_bm_reverse(const char* buffer, std::uint64_t length,
                                                   const void* pattern,
                                                   std::uint64_t pattern_length) {
  return reinterpret_cast<const char*>(search_bm_reverse(
      reinterpret_cast<const std::uint8_t*>(buffer), length, pattern, pattern_length));
}

// Number of occurrences, overlapping ones included ("aa" occurs 3 times in
// "aaaa"); -1 for an empty or missing pattern, a missing buffer, a pattern
// longer than the buffer or no memory for the tables.
[[nodiscard]] std::int64_t search_count(const void* buffer, std::uint64_t length,
                                        const void* pattern, std::uint64_t pattern_length);
// The same for a zero-terminated pattern; a null text is logged and gives -1.
[[nodiscard]] std::int64_t search_count_ref(const void* buffer, std::uint64_t length,
                                            const char* text);

// 1 and the offset of the first occurrence of the text; 0 and offset -1
// otherwise. An empty or null text is never found; `offset` may be null.
[[nodiscard]] int util_contains_string_offset(const void* buffer, std::uint64_t length,
                                              const char* text, std::int64_t* offset);
[[nodiscard]] int util_contains_string(const void* buffer, std::uint64_t length, const char* text);
// The same ignoring ASCII case.
[[nodiscard]] int util_contains_string_case_offset(const void* buffer, std::uint64_t length,
                                                   const char* text, std::int64_t* offset);
[[nodiscard]] int util_contains_string_case(const void* buffer, std::uint64_t length,
                                            const char* text);
