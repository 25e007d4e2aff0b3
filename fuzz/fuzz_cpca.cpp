// The CPCA packet model over arbitrary bytes: the list and the walk agree,
// every row lies inside the buffer (the last one clamped), and the Canon
// record tests stay in bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "scan/canon.h"
#include "scan/cpca.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  const std::uint8_t* copy = input.data();

  int count = 0;
  int error = 0;
  const CpcaPacketListPtr list(get_cpca_packet_list(copy, size, &count, &error));
  std::int64_t last = 0;
  int valid = 0;
  const int walked = cpca_get_packet_count(copy, size, -1, &last, &valid);
  if (list) {
    // A listed stream is a valid walk of the same packets.
    if (walked != count || valid != 1) std::abort();
    for (int i = 0; i < count; ++i) {
      const CpcaPacket& p = list.get()[i];
      if (p.offset + CPCA_HEADER_SIZE > size || p.param_len > size - p.offset - CPCA_HEADER_SIZE) {
        std::abort();
      }
    }
  }
  (void)cpca_get_packet_count(copy, size, 1, &last, &valid);
  (void)canon_has_canon_cpca(copy, size);
  (void)canon_get_cpca_copycount(copy, size);
  (void)canon_cpca_papersize(copy, size);
  (void)canon_has_cpca_duplex(copy, size);
  int colour = 0;
  (void)canon_has_cpca_grayscale(copy, size, &colour);
  return 0;
}
