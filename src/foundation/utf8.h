// UTF-8 sequences: where one ends, whether a text is UTF-8, and where a
// byte cut left one unfinished.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Length of the valid UTF-8 sequence at the start of `rest` (1 to 4), or 0
// when it does not begin one: overlong forms, surrogates, code points above
// U+10FFFF and cut sequences are invalid. *code_point gets its value.
[[nodiscard]] std::size_t utf8_sequence_length(std::string_view rest, std::uint32_t* code_point);

// The length of `text` without a UTF-8 sequence left unfinished at its very
// end: a lead byte followed by fewer continuation bytes than it announces,
// which is what a byte cut of a UTF-8 text leaves behind.
[[nodiscard]] std::size_t utf8_complete_length(std::string_view text);

// Whether `text` is UTF-8 throughout, a sequence cut at its end allowed.
[[nodiscard]] bool utf8_is_valid(std::string_view text);
