// Texts that go into an XML-RPC request: well-formed XML 1.0 in UTF-8 whatever
// bytes the caller hands over, and cuts at fixed lengths that never split a
// UTF-8 sequence. A strict server refuses a request with a control character
// or broken UTF-8 in it, and a refused job may then print unaccounted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest prefix of `text` of at most `max_bytes` bytes that does not end
// inside a UTF-8 sequence (bytes that are not part of a valid sequence count
// as one character each).
[[nodiscard]] std::size_t utf8_cut_length(std::string_view text, std::size_t max_bytes);

// The length of `text` without a UTF-8 sequence left unfinished at its very
// end: a lead byte followed by fewer continuation bytes than it announces,
// which is what a byte cut of a UTF-8 text leaves behind.
[[nodiscard]] std::size_t utf8_complete_length(std::string_view text);

// Copies at most size - 1 bytes of source into target without splitting a
// UTF-8 sequence and always terminates (nothing for size 0; null source: the
// empty text). Returns target.
char* utf8_safe_strncpy(char* target, const char* source, std::size_t size);

// Appends `text` to `out` as XML character data: valid UTF-8 as it is, except
// the characters XML 1.0 does not allow (control characters other than tab,
// line feed and carriage return, U+FFFE and U+FFFF), which become U+FFFD; a
// byte that does not begin a valid UTF-8 sequence is taken as a Latin-1
// character. Then "&", "<" and ">" are written as references. May throw
// std::bad_alloc.
void xml_append_text(std::string& out, std::string_view text);
