// Engine-level helpers shared by the regular-expression wrapper and the token
// matcher; not for other callers.
#pragma once

#include <cstddef>
#include <cstdint>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;

struct Regex;

// The program to match `regex` with over a subject of `length` bytes: its
// JIT-compiled copy once it has one, compiling that copy when this is the
// match that earns it.
[[nodiscard]] const pcre2_real_code_8* regex_engine_program(const Regex* regex, std::uint64_t length);
// One match from offset 0 with no options into `data`; the engine's code.
[[nodiscard]] int regex_engine_match(const Regex* regex, const void* subject,
                                     std::uint64_t length, pcre2_real_match_data_8* data,
                                     pcre2_real_match_context_8* context);
// The calling thread's match context (work and depth limits, JIT stack), or
// nullptr when it could not be made (the engine's defaults then apply).
[[nodiscard]] pcre2_real_match_context_8* regex_engine_context();
// The calling thread's reusable match data (32 offset pairs), or nullptr.
[[nodiscard]] pcre2_real_match_data_8* regex_engine_thread_data();
// Optional blanks, optional sign, then decimal digits, saturated to 32 bits;
// 0 when no digit follows.
[[nodiscard]] std::int32_t regex_parse_int_saturated(const char* text, std::size_t length);
