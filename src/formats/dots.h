// Page sizes that the record formats give in device dots, and the
// dots-per-millimetre of each family's device (or the dots per inch that a
// job states).
#pragma once

#include <cstdint>

inline constexpr double DOTS_PER_MM_600_DPI_NARROW = 22.4;  // HP GDI remote width
inline constexpr double DOTS_PER_MM_QPDL = 22.8;            // also HP GDI remote height
inline constexpr double DOTS_PER_MM_600_DPI = 23.6;         // HBPL, HP GDI local, Bizhub
inline constexpr double DOTS_PER_MM_300_DPI = 11.81;        // RISO form of HP GDI local

inline constexpr double MM_PER_INCH = 25.4;

// Millimetres per dot at `dpi` dots per inch (above 0).
[[nodiscard]] constexpr double mm_per_dot(std::uint32_t dpi) { return MM_PER_INCH / dpi; }

// Millimetres of a dot count, rounded half up.
[[nodiscard]] inline int dots_to_mm(std::uint32_t dots, double dots_per_mm) {
  return static_cast<int>(dots / dots_per_mm + 0.5);
}
