// What the processor offers beyond the baseline the build targets, asked
// once: the whole-file scans choose their vector loops by it.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
inline const bool CPU_HAS_AVX2 = [] {
  __builtin_cpu_init();  // may run before the runtime's own set-up
  return __builtin_cpu_supports("avx2") != 0;
}();
#else
inline constexpr bool CPU_HAS_AVX2 = false;
#endif
