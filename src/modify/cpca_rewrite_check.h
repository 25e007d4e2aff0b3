// Checks that a rewrite of a CPCA job is still a CPCA stream: the packets of
// the rewritten bytes are walked through a view of the list (the input's
// gaps and the insertions, in order), so that a job of any size is checked
// without building the rewrite in memory.
//
// The walk is strict: the first packet must open the stream (0x0011 or
// 0x006B, its signature within the first 1024 bytes), every packet must
// begin with CD CA right where the one before ended, and the last packet
// must end exactly at the end of the rewrite (a length past the end is a
// broken stream, not a packet cut short).
#pragma once

#include <cstdint>

struct ReplacementList;

// The result of walking a rewrite.
struct CpcaRewriteWalk {
  int valid = 0;                  // 1 when the rewrite is a sound stream
  int packets = 0;                // packets walked
  int print_data = 0;             // print-data packets among them
  std::int64_t last_offset = -1;  // output offset of the last packet walked
  std::uint64_t output_size = 0;  // bytes of the rewrite
};

// Walks the rewrite of `data` (`length` bytes, the list's buffer) by the
// list, which must be sorted; stops after `max_print_data` print-data
// packets when that is 0 or more. 0 when the list does not fit the data
// (logged), else 1 with the walk in *walk.
[[nodiscard]] int cpca_walk_rewrite(const std::uint8_t* data, std::uint64_t length,
                                    const ReplacementList* list, int max_print_data,
                                    CpcaRewriteWalk* walk);

// 1 when the rewritten bytes form a valid CPCA stream (sorted copy of the
// list, walk with the given limit, -1 none); logs the list and the failure
// with the caller's file and line otherwise.
[[nodiscard]] int check_cpca_integrity_func(const char* file, int line, const std::uint8_t* data,
                                            std::uint64_t length, const ReplacementList* list,
                                            int max_print_data);
#define check_cpca_integrity(data, length, list, max) \
  check_cpca_integrity_func(__FILE_NAME__, __LINE__, (data), (length), (list), (max))

// The driver's last check of a CPCA job: 1 when the rewrite is a valid
// stream.
[[nodiscard]] int cpca_is_valid(const std::uint8_t* data, std::uint64_t length,
                                const ReplacementList* list);
