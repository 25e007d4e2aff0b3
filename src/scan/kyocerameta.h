// The Kyocera trailer: "!R!" comment lines before the job's final universal
// exit that report the job's colour and mono page counts and its paper.
#pragma once

#include <cstdint>

#include "scan/pjl.h"

struct KyoceraTrailerInfo {
  std::uint32_t mono_pages;    // 0
  std::uint32_t color_pages;   // 0
  char paper_size_name[PJL_TEXT_SIZE];  // ""
};

// Clears `trailer` and reads the comment lines between the earliest "!R!"
// of the 997 bytes that end 3 bytes before a universal exit (one that
// starts 10 to 200 bytes before the end) and that exit. The paper name is
// filled whenever its line is there; the result is 1 only when the page-count
// line ("!R! CMNT Color=c,Mono=m; EXIT;") was read, so that a caller never
// takes 0 colour pages from a trailer that gave no counts. Counts saturate
// at INT32_MAX.
[[nodiscard]] int kyocerameta_parse_trailer(const std::uint8_t* buffer, std::uint64_t length,
                                            KyoceraTrailerInfo* trailer);
