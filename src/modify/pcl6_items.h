// The PCL XL item walk of the PCL XL planner: every data item, attribute
// identifier, operator and block of embedded data of a job's PCL XL streams,
// in order, so that the planner sees the job's own BeginSession, BeginPage
// and EndPage operators with the attributes that belong to them, and never a
// byte of image or font data that merely has the same value.
//
// The walk reads only the span it is given. A length taken from the data
// (an array's count, an embedded block's size) is checked against what
// remains before it is skipped; a byte that is no PCL XL item ends the walk
// as incomplete, and the planner then leaves the job alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/byte_cursor.h"

// Operators and attributes the planner reads or writes.
inline constexpr std::uint8_t PXL_OP_BEGIN_SESSION = 0x41;
inline constexpr std::uint8_t PXL_OP_END_SESSION = 0x42;
inline constexpr std::uint8_t PXL_OP_BEGIN_PAGE = 0x43;
inline constexpr std::uint8_t PXL_OP_END_PAGE = 0x44;
inline constexpr std::uint16_t PXL_ATTR_COLOR_SPACE = 3;
inline constexpr std::uint16_t PXL_ATTR_MEDIA_SIZE = 37;
inline constexpr std::uint16_t PXL_ATTR_ORIENTATION = 40;
inline constexpr std::uint16_t PXL_ATTR_PAGE_COPIES = 49;
inline constexpr std::uint16_t PXL_ATTR_SIMPLEX_PAGE_MODE = 52;
inline constexpr std::uint16_t PXL_ATTR_DUPLEX_PAGE_MODE = 53;
inline constexpr std::uint16_t PXL_ATTR_DUPLEX_PAGE_SIDE = 54;

// One attribute of an operator: its value item and identifier.
struct PxlAttribute {
  std::uint16_t id = 0;
  std::uint64_t start = 0;        // first byte of the value (of the identifier when none)
  std::uint64_t value_start = 0;  // first byte of the value's own bytes, after its tag
  std::uint64_t end = 0;          // byte after the attribute identifier
};

// One operator the planner acts on, with the attributes that precede it.
struct PxlOperator {
  std::uint8_t op = 0;
  std::uint64_t offset = 0;       // the operator byte
  std::uint64_t attrs_start = 0;  // first item after the previous operator (offset when none)
  std::vector<PxlAttribute> attrs;

  // The attribute `id`, or nullptr.
  [[nodiscard]] const PxlAttribute* find(std::uint16_t id) const;
};

// One page: its BeginPage, and the EndPage that closes it (op 0 when the
// stream ended first).
struct PxlPage {
  PxlOperator begin;
  PxlOperator end;
};

struct PxlStreamHeader {
  bool found = false;
  std::string descriptor;  // trimmed, at most PXL_DESCRIPTOR_MAX characters
  int version = 0;
  int revision = 0;
};

inline constexpr std::size_t PXL_DESCRIPTOR_MAX = 29;

struct PxlScan {
  PxlStreamHeader header;             // of the first stream
  bool little_endian = true;          // binding of the first stream
  bool mixed_binding = false;         // a later stream binds the other way
  std::vector<PxlOperator> sessions;  // BeginSession operators
  std::vector<PxlPage> pages;
  bool complete = false;          // every byte of every stream was an item
  std::uint64_t stop_offset = 0;  // where an incomplete walk stopped
};

// Walks every PCL XL stream of `data` (each one led by its stream header
// line, ended by a universal exit or the end of the data) into `scan`.
// Returns true when the walk read every stream to its end; false, with
// scan->stop_offset, when a byte was no PCL XL item, an item ran past the
// end, or no stream header was found.
[[nodiscard]] bool pxl_scan_items(ByteSpan data, PxlScan* scan);

// Offset of the first byte of the binary stream after the stream header
// line found at or after `from`, with the header read into `header`; -1 when
// no header line is found within PXL_HEADER_WINDOW bytes.
[[nodiscard]] std::int64_t pxl_find_stream(ByteSpan data, std::uint64_t from,
                                           PxlStreamHeader* header, bool* little_endian);

inline constexpr std::uint64_t PXL_HEADER_WINDOW = 65536;
