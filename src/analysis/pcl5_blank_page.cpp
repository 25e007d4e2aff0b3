// The ink of a stretch of PCL5: its commands parsed group by group, raster
// rows decoded far enough to count their non-zero bytes.
#include "analysis/pcl5_blank_page.h"

#include <algorithm>

#include "analysis/pcl5_command.h"
#include "foundation/ascii.h"

namespace {

constexpr std::int64_t METHOD_UNENCODED = 0;
constexpr std::int64_t METHOD_RUN_LENGTH = 1;
constexpr std::int64_t METHOD_PACKBITS = 2;
constexpr std::int64_t METHOD_DELTA_ROW = 3;
// Digits of one parameter read at most.
constexpr std::uint64_t VALUE_DIGITS = 16;
// A delta-row command's offset of 31 goes on in further bytes up to one
// below 255.
constexpr std::uint8_t DELTA_OFFSET_MORE = 31;

std::uint64_t inked(ByteSpan bytes, std::uint8_t white) {
  return static_cast<std::uint64_t>(
      std::count_if(bytes.begin(), bytes.end(), [white](std::uint8_t b) { return b != white; }));
}

std::uint64_t run_length_ink(ByteSpan row, std::uint8_t white) {
  std::uint64_t ink = 0;
  for (std::uint64_t i = 0; i + 1 < row.size(); i += 2) {
    if (row[i + 1] != white) ink += row[i] + 1U;
  }
  return ink;
}

std::uint64_t packbits_ink(ByteSpan row, std::uint8_t white) {
  std::uint64_t ink = 0;
  std::uint64_t i = 0;
  while (i < row.size()) {
    const std::uint8_t control = row[i++];
    if (control < 128) {
      const std::uint64_t n = std::min<std::uint64_t>(control + 1U, row.size() - i);
      ink += inked(row.subspan(i, n), white);
      i += n;
    } else if (control > 128 && i < row.size()) {
      if (row[i] != white) ink += 257U - control;
      ++i;
    }
  }
  return ink;
}

std::uint64_t delta_row_ink(ByteSpan row, std::uint8_t white) {
  std::uint64_t ink = 0;
  std::uint64_t i = 0;
  while (i < row.size()) {
    const std::uint8_t command = row[i++];
    const std::uint64_t count = (command >> 5) + 1U;
    if ((command & 0x1f) == DELTA_OFFSET_MORE) {
      while (i < row.size() && row[i++] == 0xff) {
      }
    }
    const std::uint64_t n = std::min<std::uint64_t>(count, row.size() - i);
    ink += inked(row.subspan(i, n), white);
    i += n;
  }
  return ink;
}

std::uint64_t row_ink(ByteSpan row, Pcl5RasterFormat format) {
  switch (format.compression) {
    case METHOD_UNENCODED: return inked(row, format.white);
    case METHOD_RUN_LENGTH: return run_length_ink(row, format.white);
    case METHOD_PACKBITS: return packbits_ink(row, format.white);
    case METHOD_DELTA_ROW: return delta_row_ink(row, format.white);
    default: return row.size();
  }
}

struct Walk {
  ByteSpan data;
  std::uint64_t to;
  Pcl5RasterFormat format;
  Pcl5StretchInk ink;
};

// One parameter group at q: the value and its letter; the position behind
// the letter, or 0.
std::uint64_t group_at(const Walk& w, std::uint64_t q, std::uint64_t* value, std::uint8_t* letter) {
  if (q < w.to && (w.data[q] == '+' || w.data[q] == '-')) ++q;
  std::uint64_t v = 0;
  std::uint64_t digits = 0;
  while (q < w.to && (ascii_is_digit(w.data[q]) || w.data[q] == '.')) {
    if (w.data[q] != '.' && digits < VALUE_DIGITS) v = v * 10 + (w.data[q] - '0');
    digits += w.data[q] != '.' ? 1 : 0;
    ++q;
  }
  if (q >= w.to || w.data[q] < 0x40 || w.data[q] > 0x7e) return 0;
  *value = v;
  *letter = w.data[q];
  return q + 1;
}

// The data of a group that carries some: judged for raster rows and
// transparent data, stepped over otherwise. The position behind it.
std::uint64_t group_data(Walk* w, std::uint8_t family, std::uint8_t group, std::uint8_t letter,
                         std::uint64_t value, std::uint64_t q) {
  const std::uint8_t upper = ascii_to_upper(letter);
  const bool raster = family == '*' && group == 'b';
  if (raster && upper == 'M') w->format.compression = static_cast<std::int64_t>(value);
  if (family == '*' && group == 'v' && upper == 'W' && value >= 2 && w->to - q >= 2) {
    const std::uint8_t space = w->data[q];
    const std::uint8_t encoding = w->data[q + 1];
    w->format.white = space == 0 && (encoding == 2 || encoding == 3) ? 0xff : 0x00;
  }
  const bool row = raster && (upper == 'W' || upper == 'V');
  const bool transparent = family == '&' && group == 'p' && upper == 'X';
  if (!row && !transparent && upper != 'W') return q;
  const std::uint64_t n = std::min<std::uint64_t>(value, w->to - q);
  if (row) ++w->ink.raster_rows;
  // A row that runs past the stretch is no mark (a cut job).
  if (row && value <= w->to - q) w->ink.ink_bytes += row_ink(w->data.subspan(q, n), w->format);
  if (transparent && n > 0) w->ink.other_marks = true;
  return q + n;
}

// An ESC command at p; the position behind it (and its data).
std::uint64_t command_at(Walk* w, std::uint64_t p) {
  if (p + 1 >= w->to) return w->to;
  const std::uint8_t family = w->data[p + 1];
  if (family < 0x21 || family > 0x2f) return p + 2;
  std::uint64_t q = p + 2;
  std::uint8_t group = 0;
  if (q < w->to && w->data[q] >= 0x60 && w->data[q] <= 0x7e) group = w->data[q++];
  while (q < w->to) {
    std::uint64_t value = 0;
    std::uint8_t letter = 0;
    const std::uint64_t end = group_at(*w, q, &value, &letter);
    if (end == 0) return q;
    // ESC%#B enters HP-GL/2, whose drawing is not judged here.
    if (family == '%' && letter == 'B') w->ink.other_marks = true;
    q = group_data(w, family, group, letter, value, end);
    if (letter <= 0x5e) return q;  // an upper-case letter ends the command
  }
  return q;
}

}  // namespace

Pcl5StretchInk pcl5_stretch_ink(ByteSpan data, std::uint64_t from, std::uint64_t to,
                                Pcl5RasterFormat format) {
  Walk w{data, std::min<std::uint64_t>(to, data.size()), format, {}};
  std::uint64_t p = from;
  while (p < w.to && !w.ink.other_marks) {
    const std::uint8_t c = data[p];
    if (c == PCL_ESC) {
      p = command_at(&w, p);
    } else if (c == '@' && scan_bytes_at(data, p, "@PJL")) {
      while (p < w.to && data[p] != '\n') ++p;
    } else {
      if (c > 0x20 && c != 0x7f) w.ink.other_marks = true;
      ++p;
    }
  }
  return w.ink;
}

bool pcl5_stretch_is_blank(ByteSpan data, std::uint64_t from, std::uint64_t to,
                           Pcl5RasterFormat format) {
  const Pcl5StretchInk ink = pcl5_stretch_ink(data, from, to, format);
  return !ink.other_marks && ink.ink_bytes <= PCL5_BLANK_PAGE_MAX_INK;
}

bool pcl5_stretch_is_blank_raster_page(ByteSpan data, std::uint64_t from, std::uint64_t to,
                                       Pcl5RasterFormat format) {
  const Pcl5StretchInk ink = pcl5_stretch_ink(data, from, to, format);
  return ink.raster_rows > 0 && !ink.other_marks && ink.ink_bytes <= PCL5_BLANK_PAGE_MAX_INK;
}
