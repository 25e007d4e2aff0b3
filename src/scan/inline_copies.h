// Inline copies: drivers that print several copies by repeating the whole
// job in the spool file. has_num_inline_copies confirms that a buffer holds
// a given number of byte-identical copies (the analyzers ask when a header
// suggests a copy count); find_inline_copies finds how many copies a buffer
// holds and how long one is (the spool modification cuts such a job to one
// copy and writes the rewritten copy that many times).
//
// Both gather cheap evidence first (universal exits at the expected places,
// or a repeated probe) and only then compare whole copies with memcmp,
// stopping at the first difference. Every comparison stays inside the
// buffer.
#pragma once

#include <cstdint>

#include "foundation/owned.h"

struct JobAttribs;

// How has_num_inline_copies finds the copies.
inline constexpr int INLINE_COPIES_BY_CONTENT = 0;  // a repeated probe of the data
inline constexpr int INLINE_COPIES_BY_EXIT = 1;     // each copy ends with a universal exit

// No copy shorter than this counts as an inline copy.
inline constexpr std::uint64_t INLINE_COPY_MIN_SIZE = 1000;
// Largest rewritten job that inline copies may expand to, and the room
// allowed per copy for what the rewrite inserts.
inline constexpr std::uint64_t INLINE_COPIES_MAX_BYTES = std::uint64_t{10} << 30;
inline constexpr std::uint64_t INLINE_COPY_EXPANSION = 10240;

// 1 when the buffer holds `copies` byte-identical copies of a job of
// `pages` pages, else 0. copies and pages must both be at least 2 and pages
// a multiple of copies. INLINE_COPIES_BY_EXIT expects each copy to end with
// a universal exit near length / copies x (i + 1); INLINE_COPIES_BY_CONTENT
// finds the copy length from a repeated probe behind any
// "@PJL ENTER LANGUAGE", and lets the last 30 bytes of each copy differ.
[[nodiscard]] int has_num_inline_copies(const std::uint8_t* buffer, std::uint64_t length,
                                        int copies, int pages, int exit_mode);

// The answer of the last test, so that an analyzer can ask the same
// question again without rescanning.
struct InlineCopiesCache;
[[nodiscard]] InlineCopiesCache* inline_copies_cache_create();
// Frees the cache; null is ignored.
void inline_copies_cache_free(InlineCopiesCache* cache);
using InlineCopiesCachePtr = Owned<InlineCopiesCache, inline_copies_cache_free>;

// has_num_inline_copies through the cache: a test with the same buffer,
// length, copies, pages and mode returns the remembered result. A null
// cache runs the test.
[[nodiscard]] int has_num_inline_copies_cache(const std::uint8_t* buffer, std::uint64_t length,
                                              int copies, int pages, int exit_mode,
                                              InlineCopiesCache* cache);

// The number of byte-identical copies (2 or more) that make up the whole
// buffer, or -1 when it is not made of copies. *copy_size (when given)
// receives the length of one copy, or the buffer length when no copies were
// found. Jobs for "HP Universal Printing" and Kyocera jobs ("!R!SEM6;EXIT;")
// are tested for a repeated head; every job is tested for copies that begin
// at universal exits on page boundaries, which needs the job's page count
// in `ja` (the analysis has run).
[[nodiscard]] int find_inline_copies(const std::uint8_t* buffer, std::uint64_t length,
                                     const JobAttribs* ja, std::uint64_t* copy_size);

// 1 when `copies` copies of `size` bytes, each with INLINE_COPY_EXPANSION
// bytes of room, stay within INLINE_COPIES_MAX_BYTES; else 0 (also for a
// count below 1).
[[nodiscard]] int check_inline_copies_size(int copies, std::uint64_t size);
