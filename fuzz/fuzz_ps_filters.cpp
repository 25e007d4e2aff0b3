// The PostScript decode filters over arbitrary bytes: the one-shot calls
// never write past their capacity (a guard byte behind it must survive) and
// the pull stages decode chains of any input in bounded pieces, stopping on
// their own. The first input byte picks the chain.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/ps_filters.h"
#include "foundation/config.h"

namespace {

constexpr std::uint64_t CAPACITY = 4096;
constexpr std::uint8_t GUARD = 0xA5;

void one_shot(const std::uint8_t* in, std::uint64_t n) {
  std::vector<std::uint8_t> out(CAPACITY + 1, 0);
  out[CAPACITY] = GUARD;
  if (ps_85filter(in, n, out.data(), CAPACITY) > static_cast<std::int64_t>(CAPACITY)) std::abort();
  int end_seen = 0;
  if (ps_filter_lzw(in, n, out.data(), CAPACITY, &end_seen) > static_cast<std::int64_t>(CAPACITY)) std::abort();
  if (ps_filter_inflate(in, n, out.data(), CAPACITY) > static_cast<std::int64_t>(CAPACITY)) std::abort();
  if (out[CAPACITY] != GUARD) std::abort();
  (void)decode_compressed_ps(in, n, 1, 1);
}

PsSourcePtr chain(int kind, const std::uint8_t* in, std::uint64_t n) {
  PsSourcePtr source = ps_source_bytes(in, n);
  switch (kind % 6) {
    case 0: return ps_source_lzw(ps_source_ascii85(std::move(source)));
    case 1: return ps_source_inflate(ps_source_ascii85(std::move(source)));
    case 2: return ps_source_run_length(ps_source_asciihex(std::move(source)), true);
    case 3: return ps_source_lzw(std::move(source));
    case 4: return ps_source_inflate(std::move(source));
    default: return ps_source_limit(ps_source_run_length(std::move(source), false), 100000);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  config_init_session_defaults(&global_ctx);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // An exact-size heap copy so that a one-byte over-read is caught.
  auto* copy = static_cast<std::uint8_t*>(std::malloc(size));
  if (copy == nullptr) return 0;
  std::memcpy(copy, data, size);
  one_shot(copy + 1, size - 1);
  PsSourcePtr source = chain(copy[0], copy + 1, size - 1);
  std::uint8_t piece[333];
  std::uint64_t total = 0;
  // Run-length data can expand 128 times; the bound only keeps runs short.
  for (std::uint64_t n; source != nullptr && total < (std::uint64_t{64} << 20) &&
                        (n = source->read(piece, sizeof piece)) > 0;) {
    if (n > sizeof piece) std::abort();
    total += n;
  }
  std::free(copy);
  return 0;
}
