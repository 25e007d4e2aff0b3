// What the job-level readers' fuzz targets share: the session defaults that
// logging reads, and an exact-size heap copy of the input, so that a
// one-byte over-read lands outside the allocation and AddressSanitizer
// reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/config.h"

#define SW_FUZZ_SESSION_DEFAULTS()                                        \
  extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) { \
    config_init_session_defaults(&global_ctx);                           \
    return 0;                                                            \
  }

inline std::vector<std::uint8_t> fuzz_exact_copy(const std::uint8_t* data, std::size_t size) {
  return std::vector<std::uint8_t>(data, data + size);
}
