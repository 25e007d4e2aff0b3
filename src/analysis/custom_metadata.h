// The user-name override: rules from the configuration that take the job
// owner's name out of the print data, by a prefix and suffix pair or by up to
// five regular expressions with one capture group.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of print data searched for a name.
inline constexpr std::uint64_t CUSTOM_METADATA_WINDOW = 1048576;
// Longest distance searched for the suffix after the prefix.
inline constexpr std::uint64_t CUSTOM_METADATA_SUFFIX_REACH = 128;

// 1 when the prefix-and-suffix rule or any pattern rule is configured (the
// merge then lets the analysis record's name replace the spooler's), else 0.
// Logs an error when only one of prefix and suffix is set.
[[nodiscard]] int custom_metadata_is_replace_username();

// Looks for a user name in the first CUSTOM_METADATA_WINDOW bytes of `data`
// and writes it, terminated and cut to `size` - 1, into `username`; leaves
// the buffer alone when none is found. The name comes from untrusted data: it
// ends at a NUL byte, other control bytes are dropped, and a name left empty
// is not taken.
void custom_metaddata_extract_username(const std::uint8_t* data, std::uint64_t length,
                                       char* username, std::size_t size);
