// The bytes at which a match of an expression can begin, as the engine
// itself works them out from the compiled pattern. A scanner that tries an
// expression at many positions rejects most of them with one table lookup.
#pragma once

#include <array>

// One flag per byte value.
using RegexFirstByteTable = std::array<bool, 256>;

// Marks in `table` every byte that can begin a match of `pattern` compiled
// with `options` (classic bits, regex.h). Groups, classes, escapes,
// alternatives and caseless letters are handled by the engine; a pattern
// whose first byte is not fixed (one that may match empty, or begins with a
// dot or a line start) marks every byte. Returns 1 on success, 0 when the
// pattern does not compile (every byte is then marked).
[[nodiscard]] int regex_first_bytes(const char* pattern, int options, RegexFirstByteTable* table);
