// SHA-1 as RFC 3174 defines it, and its hexadecimal digest.
#pragma once

#include <cstdint>

inline constexpr int SHA1HashSize = 20;

struct SHA1Context {
  std::uint32_t Intermediate_Hash[SHA1HashSize / 4];  // the five chaining words
  std::uint32_t Length_Low;                          // message length in bits, low half
  std::uint32_t Length_High;                         // message length in bits, high half
  std::int_least16_t Message_Block_Index;            // fill index of Message_Block
  std::uint8_t Message_Block[64];
  int Computed;   // the digest has been computed
  int Corrupted;  // input after the result, or a message of 2^64 bits or more
};

// Starts a new digest. 1 on success, 0 for a null context.
[[nodiscard]] int SHA1Reset(SHA1Context* context);
// Adds `length` bytes. 1 on success; 0 for null arguments or a corrupted
// context (input after SHA1Result, or the message reaching 2^64 bits).
[[nodiscard]] int SHA1Input(SHA1Context* context, const std::uint8_t* message_array,
                            unsigned length);
// Pads the message and writes the 20-byte digest. 1 on success, 0 for null
// arguments or a corrupted context. May be called again for the same digest.
[[nodiscard]] int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize]);

// The digest of `length` bytes as 40 lower-case hexadecimal digits and a
// terminator in `out` (41 bytes). 1 on success, 0 when the digest failed
// (out is then the empty text).
[[nodiscard]] int util_digest_sha1_hex(const std::uint8_t* bytes, std::uint32_t length,
                                       char out[41]);
