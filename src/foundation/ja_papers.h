// The paper table: named paper sizes in whole millimetres.
#pragma once

#include <cstdint>
#include <span>

struct PaperNameDims {
  const char* name;
  int width_mm;
  int height_mm;
};

// All rows in table order (names are matched ignoring case, first match wins).
[[nodiscard]] std::span<const PaperNameDims> paper_name_dims();

// The first row whose name equals `name` ignoring case, else null.
[[nodiscard]] const PaperNameDims* paper_find(const char* name);

// Area in square millimetres of a named paper: 1 and the area for a known name;
// 0 for a name of at most one character or an unknown one (the latter writes
// the ERROR entry "Unknown paper size name '%s'").
[[nodiscard]] int paper_area(const char* name, std::int64_t* area);
