// Checksum of an obj_list that tells apart lists whose bytes are equal but
// split differently into elements (the CPCA planner compares packet runs).
#include <array>
#include <cstdint>

#include "foundation/containers.h"

namespace {

constexpr int SIGNATURE_PRIME_COUNT = 279;
constexpr std::uint32_t SIGNATURE_FIRST_PRIME = 644653;

constexpr bool is_prime(std::uint32_t n) {
  if (n < 2) return false;
  for (std::uint32_t d = 2; d * d <= n; ++d) {
    if (n % d == 0) return false;
  }
  return true;
}

// The weights: consecutive primes from SIGNATURE_FIRST_PRIME on.
constexpr std::array<std::uint32_t, SIGNATURE_PRIME_COUNT> make_primes() {
  std::array<std::uint32_t, SIGNATURE_PRIME_COUNT> primes{};
  std::uint32_t candidate = SIGNATURE_FIRST_PRIME;
  for (auto& prime : primes) {
    while (!is_prime(candidate)) ++candidate;
    prime = candidate++;
  }
  return primes;
}

constexpr std::array<std::uint32_t, SIGNATURE_PRIME_COUNT> PRIMES = make_primes();
static_assert(PRIMES.front() == 644653 && PRIMES.back() == 648229);

}  // namespace

std::uint32_t obj_list_signature(const obj_list* list) {
  if (list == nullptr || list->_buf == nullptr) return 0;
  const auto* items = reinterpret_cast<const obj_list_item*>(list->_buf->_data);
  // All arithmetic is modulo 2^32: only the low 32 bits of every factor count.
  std::uint32_t sum = 0;
  std::uint64_t position = 0;
  for (int i = 0; i < list->_size; ++i) {
    const obj_list_item& item = items[i];
    sum += static_cast<std::uint32_t>(item.length + 1) * static_cast<std::uint32_t>(i + 1);
    for (std::uint64_t k = 0; k < item.length; ++k, ++position) {
      const auto round = static_cast<std::uint32_t>(position / SIGNATURE_PRIME_COUNT);
      sum += PRIMES[position % SIGNATURE_PRIME_COUNT] *
             (static_cast<std::uint32_t>(item.data[k]) + 1 + round * 4096);
    }
  }
  return sum;
}
