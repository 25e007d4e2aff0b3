// SHA-1 following the reference code of RFC 3174.
#include "foundation/sha1.h"

#include <cstdio>

namespace {

constexpr std::uint32_t circular_shift(int bits, std::uint32_t word) {
  return (word << bits) | (word >> (32 - bits));
}

void SHA1ProcessMessageBlock(SHA1Context* context) {
  static constexpr std::uint32_t K[] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};
  std::uint32_t W[80];
  for (int t = 0; t < 16; ++t) {
    W[t] = static_cast<std::uint32_t>(context->Message_Block[t * 4]) << 24;
    W[t] |= static_cast<std::uint32_t>(context->Message_Block[t * 4 + 1]) << 16;
    W[t] |= static_cast<std::uint32_t>(context->Message_Block[t * 4 + 2]) << 8;
    W[t] |= static_cast<std::uint32_t>(context->Message_Block[t * 4 + 3]);
  }
  for (int t = 16; t < 80; ++t) {
    W[t] = circular_shift(1, W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16]);
  }
  std::uint32_t A = context->Intermediate_Hash[0];
  std::uint32_t B = context->Intermediate_Hash[1];
  std::uint32_t C = context->Intermediate_Hash[2];
  std::uint32_t D = context->Intermediate_Hash[3];
  std::uint32_t E = context->Intermediate_Hash[4];
  for (int t = 0; t < 80; ++t) {
    std::uint32_t f;
    if (t < 20) {
      f = (B & C) | ((~B) & D);
    } else if (t < 40) {
      f = B ^ C ^ D;
    } else if (t < 60) {
      f = (B & C) | (B & D) | (C & D);
    } else {
      f = B ^ C ^ D;
    }
    const std::uint32_t temp = circular_shift(5, A) + f + E + W[t] + K[t / 20];
    E = D;
    D = C;
    C = circular_shift(30, B);
    B = A;
    A = temp;
  }
  context->Intermediate_Hash[0] += A;
  context->Intermediate_Hash[1] += B;
  context->Intermediate_Hash[2] += C;
  context->Intermediate_Hash[3] += D;
  context->Intermediate_Hash[4] += E;
  context->Message_Block_Index = 0;
}

void SHA1PadMessage(SHA1Context* context) {
  // Room is needed for the 0x80 byte and the 8-byte length.
  if (context->Message_Block_Index > 55) {
    context->Message_Block[context->Message_Block_Index++] = 0x80;
    while (context->Message_Block_Index < 64) context->Message_Block[context->Message_Block_Index++] = 0;
    SHA1ProcessMessageBlock(context);
    while (context->Message_Block_Index < 56) context->Message_Block[context->Message_Block_Index++] = 0;
  } else {
    context->Message_Block[context->Message_Block_Index++] = 0x80;
    while (context->Message_Block_Index < 56) context->Message_Block[context->Message_Block_Index++] = 0;
  }
  for (int i = 0; i < 4; ++i) {
    context->Message_Block[56 + i] = static_cast<std::uint8_t>(context->Length_High >> (24 - 8 * i));
    context->Message_Block[60 + i] = static_cast<std::uint8_t>(context->Length_Low >> (24 - 8 * i));
  }
  SHA1ProcessMessageBlock(context);
}

}  // namespace

int SHA1Reset(SHA1Context* context) {
  if (context == nullptr) return 0;
  *context = SHA1Context{};
  context->Intermediate_Hash[0] = 0x67452301;
  context->Intermediate_Hash[1] = 0xEFCDAB89;
  context->Intermediate_Hash[2] = 0x98BADCFE;
  context->Intermediate_Hash[3] = 0x10325476;
  context->Intermediate_Hash[4] = 0xC3D2E1F0;
  return 1;
}

int SHA1Input(SHA1Context* context, const std::uint8_t* message_array, unsigned length) {
  if (length == 0) return 1;
  if (context == nullptr || message_array == nullptr) return 0;
  if (context->Computed) context->Corrupted = 1;
  if (context->Corrupted) return 0;
  for (unsigned i = 0; i < length && !context->Corrupted; ++i) {
    context->Message_Block[context->Message_Block_Index++] = message_array[i];
    context->Length_Low += 8;
    if (context->Length_Low == 0) {
      context->Length_High++;
      if (context->Length_High == 0) context->Corrupted = 1;  // 2^64 bits reached
    }
    if (context->Message_Block_Index == 64) SHA1ProcessMessageBlock(context);
  }
  return context->Corrupted ? 0 : 1;
}

int SHA1Result(SHA1Context* context, std::uint8_t Message_Digest[SHA1HashSize]) {
  if (context == nullptr || Message_Digest == nullptr) return 0;
  if (context->Corrupted) return 0;
  if (!context->Computed) {
    SHA1PadMessage(context);
    // The message may hold sensitive data: clear it.
    for (auto& byte : context->Message_Block) byte = 0;
    context->Length_Low = 0;
    context->Length_High = 0;
    context->Computed = 1;
  }
  for (int i = 0; i < SHA1HashSize; ++i) {
    Message_Digest[i] =
        static_cast<std::uint8_t>(context->Intermediate_Hash[i >> 2] >> (8 * (3 - (i & 0x03))));
  }
  return 1;
}

int util_digest_sha1_hex(const std::uint8_t* bytes, std::uint32_t length, char out[41]) {
  if (out == nullptr) return 0;
  out[0] = '\0';
  SHA1Context context;
  std::uint8_t digest[SHA1HashSize];
  if (!SHA1Reset(&context) || !SHA1Input(&context, bytes, length) ||
      !SHA1Result(&context, digest)) {
    return 0;
  }
  for (int word = 0; word < 5; ++word) {
    std::snprintf(out + word * 8, 9, "%08x", context.Intermediate_Hash[word]);
  }
  return 1;
}
