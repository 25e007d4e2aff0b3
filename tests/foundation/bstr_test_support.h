// Helpers for the byte-string tests: owning pointers and content checks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "foundation/bstrlib.h"

using Bptr = BstringPtr;
using BListPtr = BstrListPtr;

// A new string holding exactly the bytes of s (zero bytes included).
inline Bptr make(std::string_view s) { return Bptr(blk2bstr(s.data(), static_cast<int>(s.size()))); }

inline std::string content(const_bstring b) {
  return std::string(reinterpret_cast<const char*>(b->data), static_cast<std::size_t>(b->slen));
}

// The invariants every writable string keeps after every operation.
inline ::testing::AssertionResult sound(const_bstring b) {
  if (b == nullptr) return ::testing::AssertionFailure() << "no string";
  if (b->data == nullptr) return ::testing::AssertionFailure() << "no data";
  if (b->slen < 0 || b->mlen <= b->slen) {
    return ::testing::AssertionFailure() << "slen " << b->slen << " mlen " << b->mlen;
  }
  if (b->data[b->slen] != '\0') return ::testing::AssertionFailure() << "no zero after content";
  return ::testing::AssertionSuccess();
}
