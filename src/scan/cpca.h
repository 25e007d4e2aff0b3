// Canon CPCA packets: Canon drivers wrap their print data (PCL, PostScript,
// UFR...) in a stream of packets that also carry the job's settings. This
// is the packet model shared by the Canon analyzers, the preprocessors and
// the re-wrapping of a rewritten job: the wire format, the list of packets
// of a buffer, the validating walk, and the extraction of the print data.
//
// Wire format (numbers big-endian):
//   0  2  signature CD CA
//   2  2  10 00 (settings) or 10 02 (print-data headers)
//   4  2  opcode
//   6  2  00 01
//   8  2  parameter length: bytes after the 20-byte header, at most 65516
//  10 10  FF FF + 8 x 00 (settings) or 00 00 00 96 + 6 x 00 (print data)
//  20  .. parameters; a print-data packet (0x001A) counts its first
//         parameter byte as a 21st header byte.
// The next packet begins right after the parameters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/owned.h"

struct mapped_mem;

inline constexpr std::uint64_t CPCA_HEADER_SIZE = 20;
inline constexpr std::uint64_t CPCA_PRINT_DATA_HEADER_SIZE = 21;
inline constexpr std::uint64_t MAX_CPCA_PACKET = 65516;
// The first packet's signature must begin below this offset.
inline constexpr std::uint64_t CPCA_SIGNATURE_WINDOW = 1024;
// The first two bytes of every packet header (big-endian).
inline constexpr std::uint16_t CPCA_MAGIC = 0xCDCA;
// Rows of a packet list: first allocation and growth step, and the limit.
inline constexpr int CPCA_LIST_STEP = 500;
inline constexpr int CPCA_MAX_PACKETS = 20000;
// A walk never goes beyond this offset (7D000000 hexadecimal); a stream
// that does is refused rather than cut short.
inline constexpr std::uint64_t CPCA_WALK_LIMIT = 2097152000;

// Opcodes the system tells apart.
inline constexpr std::uint16_t CPCA_OP_BEGIN = 0x0011;        // first packet, preamble
inline constexpr std::uint16_t CPCA_OP_SETTINGS = 0x0012;     // may hold a copy count
inline constexpr std::uint16_t CPCA_OP_END = 0x0013;          // postamble
inline constexpr std::uint16_t CPCA_OP_PREAMBLE_2 = 0x0014;
inline constexpr std::uint16_t CPCA_OP_BINDER = 0x0015;       // SET_BINDER: copies
inline constexpr std::uint16_t CPCA_OP_POSTAMBLE_2 = 0x0016;
inline constexpr std::uint16_t CPCA_OP_PREAMBLE_3 = 0x0017;
inline constexpr std::uint16_t CPCA_OP_DOCUMENT = 0x0018;     // duplex, paper, colour mode
inline constexpr std::uint16_t CPCA_OP_POSTAMBLE_3 = 0x0019;
inline constexpr std::uint16_t CPCA_OP_PRINT_DATA = 0x001A;
inline constexpr std::uint16_t CPCA_OP_DUPLEX_HINT = 0x001D;
inline constexpr std::uint16_t CPCA_OP_BEGIN_ALT = 0x006B;    // also allowed first

inline constexpr std::size_t CPCA_PARAM_HEAD = 9;

// One packet of a stream.
struct CpcaPacket {
  std::uint64_t offset;      // where its signature is in the buffer
  std::uint16_t opcode;
  // Parameter bytes. The last packet's is clamped to the bytes the buffer
  // holds, so that it can be read and copied without leaving the buffer.
  std::uint64_t param_len;
  std::uint8_t param_head[CPCA_PARAM_HEAD];  // first parameters after the header, rest 0
  std::uint8_t header[CPCA_PRINT_DATA_HEADER_SIZE];  // its 20 or 21 header bytes, rest 0
};

[[nodiscard]] inline bool cpca_is_print_data(const CpcaPacket& p) {
  return p.opcode == CPCA_OP_PRINT_DATA;
}

// The packets of the stream in `buffer`, in stream order, with their number
// in *count; free with cpca_packet_list_free. None when the buffer is not a
// CPCA stream (*error 0) or when the stream breaks, holds more than 20000
// packets or runs beyond CPCA_WALK_LIMIT, or memory runs out (*error 1).
// Bytes before the first packet (a PJL header) are not part of the stream.
[[nodiscard]] CpcaPacket* get_cpca_packet_list(const std::uint8_t* buffer, std::uint64_t length,
                                               int* count, int* error);
void cpca_packet_list_free(CpcaPacket* list);
using CpcaPacketListPtr = Owned<CpcaPacket, cpca_packet_list_free>;

// Walks the stream without listing it, stopping after `max_print_data`
// print-data packets when that is 0 or more. *last_offset receives the
// offset of the last packet walked (-1 before the first), *valid 1 while
// the stream is sound. Returns the packets walked, or -1 when the buffer is
// not a CPCA stream.
[[nodiscard]] int cpca_get_packet_count(const std::uint8_t* buffer, std::uint64_t length,
                                        int max_print_data, std::int64_t* last_offset,
                                        int* valid);

// Fields of a header (at least 20 bytes).
[[nodiscard]] std::uint16_t cpca_get_packet_opcode(const std::uint8_t* header);
[[nodiscard]] std::uint64_t cpca_get_packet_size(const std::uint8_t* header);  // 20 or 21
[[nodiscard]] std::uint64_t cpca_get_packet_length(const std::uint8_t* header);
// Writes the parameter length into bytes 8 and 9; a length above 65516 is a
// failed assertion and is not written.
void cpca_put_packet_length(std::uint8_t* header, std::uint64_t length);

// Header bytes that are not print data in each print-data packet: 0 when
// some print-data packet's data begins with ESC right after the 20-byte
// header (PCL and PCL XL data start there), else 1 (the 21st header byte).
[[nodiscard]] std::uint64_t cpca_print_data_header_skip(const std::uint8_t* buffer,
                                                        const CpcaPacket* list, int count);

// Writes the print data of the listed packets, in order, into a new
// temporary file whose path goes to `path` (of `path_size` bytes). Each
// print-data packet gives its parameters less the 21st header byte, unless
// some print-data packet's data begins with ESC right after the 20-byte
// header (PCL and PCL XL data), in which case nothing is skipped. Returns 1,
// or 0 with the file deleted and the path emptied.
[[nodiscard]] int write_print_data_to_temp_file(const std::uint8_t* buffer, std::uint64_t length,
                                                const CpcaPacket* list, int count, char* path,
                                                std::size_t path_size);
// Lists and writes: 1 with an empty path when the buffer is not CPCA, 1
// with the file's path when written, 0 on failure.
[[nodiscard]] int extract_canon_cpca_content2(const std::uint8_t* buffer, std::uint64_t length,
                                              char* path, std::size_t path_size);
// The same for a mapped spool file, which is then re-pointed at the new file
// (deleted when the mapping is freed).
[[nodiscard]] int extract_canon_cpca_content(mapped_mem* mm, char* path, std::size_t path_size);
