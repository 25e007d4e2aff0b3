// Heap accounting for a benchmark program: replaces the global operator new
// and delete so that the most memory a call takes through them can be
// reported (the flat-memory counters). Include it in exactly one source of a
// benchmark program (each program here is one source), since it defines the
// replacement operators.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace bench_heap_detail {
inline std::atomic<std::int64_t> now{0};
inline std::atomic<std::int64_t> peak{0};

inline void* counted_alloc(std::size_t size) {
  auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
  if (block == nullptr) throw std::bad_alloc();
  *block = size;
  const std::int64_t current = now += static_cast<std::int64_t>(size);
  std::int64_t seen = peak.load();
  while (current > seen && !peak.compare_exchange_weak(seen, current)) {
  }
  return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

inline void counted_free(void* p) {
  if (p == nullptr) return;
  auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
  now -= static_cast<std::int64_t>(*block);
  std::free(block);
}
}  // namespace bench_heap_detail

void* operator new(std::size_t size) { return bench_heap_detail::counted_alloc(size); }
void* operator new[](std::size_t size) { return bench_heap_detail::counted_alloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return bench_heap_detail::counted_alloc(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { bench_heap_detail::counted_free(p); }
void operator delete[](void* p) noexcept { bench_heap_detail::counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { bench_heap_detail::counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { bench_heap_detail::counted_free(p); }

// The most heap memory taken through operator new while `call` ran, above
// what was in use when it started.
template <typename Call>
std::int64_t bench_heap_peak_of(Call&& call) {
  const std::int64_t before = bench_heap_detail::now.load();
  bench_heap_detail::peak = before;
  call();
  return bench_heap_detail::peak.load() - before;
}
