// Page sizes that the record formats give in device dots, and the
// dots-per-millimetre of each family's device.
#pragma once

#include <cstdint>

inline constexpr double DOTS_PER_MM_600_DPI_NARROW = 22.4;  // HP GDI remote width
inline constexpr double DOTS_PER_MM_QPDL = 22.8;            // also HP GDI remote height
inline constexpr double DOTS_PER_MM_600_DPI = 23.6;         // HBPL, HP GDI local, Bizhub
inline constexpr double DOTS_PER_MM_300_DPI = 11.81;        // RISO form of HP GDI local

// Millimetres of a dot count, rounded half up.
[[nodiscard]] inline int dots_to_mm(std::uint32_t dots, double dots_per_mm) {
  return static_cast<int>(dots / dots_per_mm + 0.5);
}
