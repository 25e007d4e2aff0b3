// Putting the packet lengths of a re-wrapped CPCA job right after the
// language planners edited its inner data: every print-data packet's length
// changes by what the edits inside it insert and delete, and a packet that
// would grow beyond MAX_CPCA_PACKET is cut into packets that each fit, with
// new headers copied from its own.
#pragma once

#include <cstdint>

struct ReplacementList;

// Adjusts the list's packet headers (the list's adjuster and inserter must
// be set). The work is done on a copy, which the list adopts only when the
// rewritten stream validates. 1 on success or when the list holds no packet
// header (the job was not re-wrapped); 0 on failure (logged, the list
// unchanged). `data` is the inner print data of `length` bytes.
[[nodiscard]] int replacement_list_adjust_packet_structure(const std::uint8_t* data,
                                                           std::uint64_t length,
                                                           ReplacementList* list);
