// XPIF job tickets: an XML document type declaration and an <xpif> element
// at the very start of a job, whose copies, sides, colour effects and media
// dimensions are read into a PjlHeaderInfo (the same record as a PJL
// header, so that the callers apply both alike).
#pragma once

#include <cstdint>

#include "scan/pjl.h"

// Where the ticket must be: its declaration and opening element within the
// first 200 bytes, its closing element within the first 6000.
inline constexpr std::uint64_t XPIF_HEAD_WINDOW = 200;
inline constexpr std::uint64_t XPIF_BODY_WINDOW = 6000;

// Resets `header` (pjl_init_header) and reads a leading ticket into it: the
// copies value (above 0) into qty, sides containing "two" into duplex, a
// monochrome or gray colour effect into grayscale (unless the ticket sets
// colour per page), and x and y dimensions (hundredths of a millimetre)
// into x_dimension_mm and y_dimension_mm. Returns 1 when a complete ticket
// was read, else 0.
[[nodiscard]] int xpif_parse_header(const std::uint8_t* buffer, std::uint64_t length,
                                    PjlHeaderInfo* header);
