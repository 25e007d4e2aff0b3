// The command stream of Minolta's GDI printers (the PagePro 1200W to 1400W
// as min12xxw writes it, the magicolor 2300W and 2400W as m2300w writes
// it). Each command is ESC, a command byte, a sequence number, a 16-bit
// little-endian parameter length, the command byte's complement, the
// parameters and a checksum (the low byte of the sum of all bytes before
// it); a raster command is followed by the bitmap bytes that its first
// parameter (32-bit little-endian) counts. Language detection files these
// jobs under the Konica Minolta GDI (code 32), whose analyzer hands them here.
#pragma once

#include <cstdint>

struct JobAttribs;

// Walks the commands of a job that begins with one: a page for each page
// command, the paper of the first page's command, copies 1. Returns 1 when
// every command to the end of the job was whole (the findings are set in
// `ja`), 0 when the job does not begin with a command or one is damaged
// (nothing is set).
[[nodiscard]] int kmgdi_commands_process_job(const std::uint8_t* data, std::uint64_t length,
                                             JobAttribs* ja);
