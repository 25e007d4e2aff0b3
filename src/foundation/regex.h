// Regular expressions: compile a pattern once, match it against byte ranges,
// and capture the whole match and the first groups into a fixed record. The
// engine is PCRE2 (8-bit, no UTF: every byte is one character); matching is
// bounded by match and depth limits so that no pattern runs away on hostile
// data.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

struct pcre2_real_code_8;

// Compile options. The bit values are the classic ones that pattern tables are
// written with; regex_compile_ex maps them to the engine's own bits. Any other
// bit makes the compilation fail.
inline constexpr int PCRE_CASELESS = 0x00000001;
inline constexpr int PCRE_MULTILINE = 0x00000002;
inline constexpr int PCRE_DOTALL = 0x00000004;
inline constexpr int PCRE_EXTENDED = 0x00000008;
inline constexpr int PCRE_ANCHORED = 0x00000010;
inline constexpr int PCRE_DOLLAR_ENDONLY = 0x00000020;
inline constexpr int PCRE_UNGREEDY = 0x00000200;
inline constexpr int PCRE_NO_AUTO_CAPTURE = 0x00001000;
inline constexpr int PCRE_FIRSTLINE = 0x00040000;
inline constexpr int PCRE_DUPNAMES = 0x00080000;

// Limits that bound one match attempt.
inline constexpr std::uint32_t REGEX_MATCH_LIMIT = 1000000;
inline constexpr std::uint32_t REGEX_DEPTH_LIMIT = 10000;

// Whole match plus groups 1 to 4.
inline constexpr int REGEX_MATCH_INFO_GROUPS = 5;

// Matches an expression is interpreted for before it is JIT-compiled. A JIT
// compilation costs as much as some hundred short interpreted matches, and a
// backend process lives for one job: the patterns it tries a few times (the
// language tests, the settings it reads) are never worth compiling, the
// scanners' patterns are after their first few positions.
inline constexpr std::uint32_t REGEX_JIT_AFTER_MATCHES = 32;
// A subject this long earns the compilation at once: one interpreted search
// through it can cost more than compiling.
inline constexpr std::uint64_t REGEX_JIT_SUBJECT_BYTES = 4096;

// A compiled expression. `pattern` is the caller's text (kept, not copied: it
// must outlive the Regex); `code` is the compiled program (owned). Once the
// expression has been matched REGEX_JIT_AFTER_MATCHES times, or once against a
// long subject, `jit_code` holds a JIT-compiled copy (owned) that later
// matches use; a copy, so that threads still matching with `code` are never
// disturbed by the compilation. `jit_claimed` is set by the one match that
// compiles it.
struct Regex {
  const char* pattern = nullptr;
  pcre2_real_code_8* code = nullptr;
  mutable std::atomic<pcre2_real_code_8*> jit_code{nullptr};
  mutable std::atomic<std::uint32_t> matches{0};
  mutable std::atomic<bool> jit_claimed{false};
};

// Captures of one match. Index 0 is the whole match, 1 to 4 the groups.
// `texts` are zero-terminated malloc'ed copies (nullptr where nothing was
// captured); `starts`/`ends` are byte offsets in the subject (end is one past).
struct RegexMatchInfo {
  std::int32_t highest_group;
  char* texts[REGEX_MATCH_INFO_GROUPS];
  std::int64_t starts[REGEX_MATCH_INFO_GROUPS];
  std::int64_t ends[REGEX_MATCH_INFO_GROUPS];
};

// Compiles the pattern. On failure logs "PCRE compilation failed on pattern:
// ..." and returns nullptr, filling `error_text` (when given, truncated to
// `error_size`) and `error_offset` (when given). Release with regex_free.
[[nodiscard]] Regex* regex_compile_ex(const char* pattern, int options, char* error_text,
                                      std::size_t error_size, int* error_offset);
// The same without error outputs.
[[nodiscard]] Regex* regex_compile(const char* pattern, int options);
// Frees the program and the record; null is ignored.
void regex_free(Regex* regex);
using RegexPtr = Owned<Regex, regex_free>;

// One match from offset 0. The first two thirds of `ovector` (ovector_size
// entries) receive (start, end) offset pairs, unset groups as -1; no entry
// beyond ovector_size is written. `rc` (optional) receives the engine's
// result: the number of pairs set, 0 when the vector was too small (still a
// match), -1 for no match, another negative number for an error. Returns 1 on
// a match, 0 otherwise; errors are logged.
[[nodiscard]] int regex_exec(const Regex* regex, const void* subject, std::uint64_t length,
                             std::int64_t* ovector, int ovector_size, int* rc);
// Options of regex_exec_at.
inline constexpr int REGEX_EXEC_ANCHORED = 1;           // a match only at `start`
inline constexpr int REGEX_EXEC_NOTEMPTY_ATSTART = 2;   // no empty match at `start`
// One match searched from byte `start` of the whole subject, so that "^",
// "\b" and lookbehind see the bytes before `start` (a global search steps
// through a subject this way, as perl's //g does). Pairs and `rc` as for
// regex_exec; a match or depth limit hit gives 0 with a negative rc other
// than -1, and nothing is logged: the caller reports it.
[[nodiscard]] int regex_exec_at(const Regex* regex, const void* subject, std::uint64_t length,
                                std::uint64_t start, int options, std::int64_t* ovector,
                                int ovector_size, int* rc);
// 1 when the expression matches somewhere in the subject.
[[nodiscard]] int regex_match(const Regex* regex, const void* subject, std::uint64_t length);
// Clears `info`, matches, and records the whole match and groups 1 to 4 with
// their offsets. An empty whole match counts as no match (0). The caller
// releases the texts with regex_free_match_info.
[[nodiscard]] int regex_match_with_info(const Regex* regex, const void* subject,
                                        std::uint64_t length, RegexMatchInfo* info);
// On a match with a non-empty group 1, stores group 1 read as a decimal
// number (saturated to 32 bits) and returns 1; otherwise 0.
[[nodiscard]] int regex_match_with_int_group(const Regex* regex, const void* subject,
                                             std::uint64_t length, int* value);

// Compile, match as above, free.
[[nodiscard]] int regex_quick_match(const char* pattern, int options, const void* subject,
                                    std::uint64_t length);
[[nodiscard]] int regex_quick_exec(const char* pattern, int options, const void* subject,
                                   std::uint64_t length, std::int64_t* ovector, int ovector_size,
                                   int* rc);
[[nodiscard]] int regex_quick_match_with_int_group(const char* pattern, int options,
                                                   const void* subject, std::uint64_t length,
                                                   int* value);

// Clears the record to all zero (no texts are freed).
void regex_init_match_info(RegexMatchInfo* info);
// Frees the five texts and clears the record; null is ignored.
void regex_free_match_info(RegexMatchInfo* info);

// A cleared RegexMatchInfo whose texts are freed when it goes out of scope:
// the owner at call sites of regex_match_with_info.
struct ScopedMatchInfo : RegexMatchInfo {
  ScopedMatchInfo() : RegexMatchInfo{} {}
  ~ScopedMatchInfo() { regex_free_match_info(this); }
  ScopedMatchInfo(const ScopedMatchInfo&) = delete;
  ScopedMatchInfo& operator=(const ScopedMatchInfo&) = delete;
};
