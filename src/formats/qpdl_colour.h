// The colour of each page of a QPDL stream, read from its records: a page
// header (00, 17 bytes), optional band-setup records (13, 15 bytes; 14, 25
// bytes), band records (0C) and a page end (01, 3 bytes), the job ending
// with 09. A band record is 0C, the band number, its width and height
// (BE16 each), then its bitmap planes: a plane number (1 to 3 the colour
// planes, 4 black), a compression code and a BE32 length before each
// plane's data. Monochrome models write one plane without a plane number;
// some colour models (SpliX's CLP-600 form) write several planes in one
// band record, ended by a 00 byte.
#pragma once

#include <cstdint>
#include <optional>

#include "formats/format_colour.h"
#include "scan/byte_cursor.h"
#include "scan/position_timer.h"

// Reads the records from the page header at `first_page` to the end of the
// job: the page ends, and the pages with a colour plane that may hold
// marks. A colour plane holds no marks when its data is JBIG with typical
// prediction whose stripes are all blank; other data of a colour plane
// counts as marks (drivers send colour planes only for colour pages, or
// send them blank). Nothing when a record is unknown or does not fit, or
// the time limit ran out: the colour is then not judged.
[[nodiscard]] std::optional<PageColours> qpdl_page_colours(ByteSpan d, std::uint64_t first_page,
                                                           WalkTimer* timer);
