// DMPAPER codes to paper names: several codes share a name (the rotated and
// "extra" variants of a size print on the same sheet).
#include "formats/dmpaper.h"

#include <array>

#include "foundation/log.h"

namespace {

constexpr std::int64_t DMPAPER_LAST_CODE = 89;

constexpr std::array<const char*, DMPAPER_LAST_CODE + 1> dmpaper_table() {
  std::array<const char*, DMPAPER_LAST_CODE + 1> t{};
  for (auto& name : t) name = "";
  for (int c : {1, 2, 50, 56, 75}) t[c] = "Letter";
  for (int c : {3, 52}) t[c] = "Tabloid";
  t[4] = "Ledger";
  for (int c : {5, 51}) t[c] = "Legal";
  t[6] = "Statement";
  t[7] = "Executive";
  for (int c : {8, 63, 68}) t[c] = "A3";
  for (int c : {9, 10, 53, 55, 60, 77}) t[c] = "A4";
  for (int c : {11, 61, 64, 78}) t[c] = "A5";
  for (int c : {12, 79}) t[c] = "JIS-B4";
  for (int c : {13, 62, 80}) t[c] = "JIS-B5";
  t[14] = "Folio";
  t[15] = "Quarto";
  t[16] = "10X14";
  t[17] = "11X17";
  t[28] = "C5";
  t[29] = "C3";
  t[30] = "C4";
  t[31] = "C6";
  for (int c : {33, 42}) t[c] = "B4";
  for (int c : {34, 65}) t[c] = "B5";
  t[35] = "B6";
  t[44] = "9X11";
  t[45] = "10X11";
  t[46] = "15X11";
  t[66] = "A2";
  for (int c : {70, 83}) t[c] = "A6";
  for (int c : {88, 89}) t[c] = "JIS-B6";
  return t;
}

constexpr auto DMPAPER_NAMES = dmpaper_table();

}  // namespace

const char* dmpaper_code_to_name(std::int64_t code) {
  const char* name = "";
  if (code >= 0 && code <= DMPAPER_LAST_CODE) name = DMPAPER_NAMES[static_cast<std::size_t>(code)];
  if (*name == '\0') LOG_DEBUG("Unmapped DMPAPER code: %lld", static_cast<long long>(code));
  LOG_DEBUG("DMPaper code of %lld converted to %s", static_cast<long long>(code), name);
  return name;
}
