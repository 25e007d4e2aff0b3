// The FXJOBINFO trailer block (internal to scan/pjl_trailer.cpp): comment
// lines between "@PJL COMMENT FXJOBINFO BEGIN" and "... END", one per page
// with its size, colour mode and duplex, and lines with the job's counts.
#pragma once

#include "scan/byte_cursor.h"

struct PjlTrailerInfo;

// true when "FXJOBINFO" occurs in the last 100 bytes and a complete block
// was read into `trailer`; false (the record untouched) when there is none.
[[nodiscard]] bool pjl_read_fxjobinfo(ByteSpan data, PjlTrailerInfo* trailer);
