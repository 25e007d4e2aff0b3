// XQX, the record stream of HP's host-based LaserJets (as foo2xqx writes it
// behind a PJL header): the text ",XQX", then records of a big-endian 32-bit
// type and count. The count is the number of items that follow (each a
// 32-bit id and size and `size` bytes of value), except in a JBIG record,
// where it is the number of bytes of bitmap data that follow.
#pragma once

#include <cstdint>

struct JobAttribs;

// Reads the records of an XQX stream whose ",XQX" stands in the first 10240
// bytes: pages from the end-of-page records, less the blank back side that
// the driver adds to a duplex job of an odd page count; duplex from the
// start of the document; copies and paper from the first page's items.
// Returns 1 when the records were read to the end of the document (the
// findings are set in `ja`), 0 when there is no XQX stream or a record does
// not fit in the data (nothing is set).
[[nodiscard]] int xqx_process_records(const std::uint8_t* data, std::uint64_t length,
                                      JobAttribs* ja);
