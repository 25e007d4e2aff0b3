// DDST, the page format of Ricoh's host-based printers (SP 100 and SP 200
// series, as foo2ddst writes it): PJL lines that open and close each page
// ("@PJL SET PAGESTATUS=START" and "=END") and state its paper, and the
// page's JBIG bitmap in blocks, each announced by "@PJL SET IMAGELEN=<n>"
// and followed by its n bytes. Language detection files it under the
// Konica Minolta GDI with PJL (code 33), whose analyzer hands it here.
#pragma once

#include <cstdint>

struct JobAttribs;

// Reads a DDST job whose first page opens in the first 10240 bytes: pages
// from the page ends, less the blank back side that the driver adds to a
// manual duplex job of an odd page count; duplex from the pause before the
// back sides; then the PJL header step, its paper size in the dots per inch
// of "@PJL SET RESOLUTION". Returns 1 when the job was read to its end (the
// findings are set in `ja`), 0 when it is no DDST job or a block does not
// fit in the data (nothing is set).
[[nodiscard]] int ddst_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja);
