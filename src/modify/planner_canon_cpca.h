// The Canon CPCA planner: forces duplex, grayscale and copies in the
// settings packets of a job wrapped in CPCA packets, then unwraps the job so
// that the language planners edit the inner print data as if it had never
// been wrapped. After unwrapping, the mapped spool file holds only the inner
// data (a temporary file deleted with the mapping) and the list holds the
// re-wrapping: the pre-amble (priority -2 at 0), one packet header per
// print-data packet (priority -1), the post-amble (priority 2 at the end);
// the packet lengths are put right after all planners have run
// (cpca_packet_structure.h).
#pragma once

#include <cstddef>
#include <cstdint>

struct watermark_params;
struct JobAttribs;
struct mapped_mem;
struct ReplacementList;
struct CpcaPacket;
struct replacement_request;

// Priorities of the re-wrapping edits.
inline constexpr std::int32_t CPCA_PRIORITY_PREAMBLE = -2;
inline constexpr std::int32_t CPCA_PRIORITY_POSTAMBLE = 2;
// Copy counts fit the binder packet's 16 bits.
inline constexpr std::int32_t CPCA_COPIES_MAX = 65535;

// Plans the settings edits and unwraps the job. *allow_attribute_planners
// becomes 0 when the later planners must not run (second printer family
// after a grayscale change); *is_cpca 1 for a CPCA job. 1 on success (also
// for a job that is not CPCA, which is left alone), 0 on failure (logged).
// Only the list's length of the mapping is read: a job of inline copies is
// planned and unwrapped as its first copy.
[[nodiscard]] int plan_replacements_canon_cpca(const watermark_params* request,
                                               const JobAttribs* job, mapped_mem* mm,
                                               ReplacementList* list, int* allow_attribute_planners,
                                               int* is_cpca);

// Offset at which a settings packet of `opcode` (0x0018 or 0x0015) is
// inserted, or -1 when the stream has no such place.
[[nodiscard]] std::int64_t get_default_insertion_point(const CpcaPacket* packets, int count,
                                                       std::uint16_t opcode);
// 1 for a PCL5 job for a "Canon iR C4080".
[[nodiscard]] int is_ir_c4080_pcl5(const JobAttribs* job);

// Writes the print data of the packets into a temporary file, re-points the
// mapping at it and makes the list the re-wrapping of the edited inner data.
// Edits already in the list (settings, PJL, XPIF) are kept: those in the
// pre-amble or post-amble go into those, those inside print data move to the
// inner data's offsets; an edit that touches a packet header fails. The
// list then names the inner data's file as its buffer file. 1 on success, 0
// on failure (the temporary file deleted, the mapping unchanged).
[[nodiscard]] int disassemble_cpca_file(mapped_mem* mm, const CpcaPacket* packets, int count,
                                        ReplacementList* list);

// Adds a print-data packet header for a packet of `packet_len` parameter
// bytes at `offset`: a copy of `header` (`header_size` bytes, 20 or 21) or,
// with none, the default 21-byte header. 1 when added.
[[nodiscard]] int cpca_packet_inserter(ReplacementList* list, std::int64_t offset,
                                       std::int64_t packet_len, const std::uint8_t* header,
                                       std::size_t header_size);
// Rewrites the length field of the header request: by *length_change, or,
// with an end offset of 0 or more, so that the packet ends there (the change
// made goes to *length_change; a packet cannot grow that way). 1 when
// written.
[[nodiscard]] int cpca_packet_adjuster(replacement_request* header_request, std::int64_t end_offset,
                                       std::int64_t* length_change, const std::uint8_t* data,
                                       std::uint64_t buffer_len);
