// The dispatch table of the analysis driver: one row per language code 0 to
// 69 naming the format analyzer of that language and the extra argument it
// takes. Every analyzer follows the contract of scan/analyzer_entry.h.
//
// An analyzer is plugged in through one constant AnalyzerEntry (its name and
// its function together, declared in the analyzer's own header): every row
// that uses the analyzer names that entry (PCL5 serves three codes). A row
// left without an entry (a test can unplug one) is failed by the driver with
// "No analyzer is available".
#pragma once

#include <cstdint>
#include <optional>

#include "formats/hbpl_local.h"  // HBPL_LOCAL_HEADER_SIZE
#include "scan/analyzer_entry.h"

// What the driver passes as `extra`.
enum class AnalyzerExtra : int {
  NONE,            // 0
  COLOR,           // the caller's colour-detection flag
  CONSTANT,        // the row's `constant`
  LINES_PER_PAGE,  // PlainTextLinesPerPage
  // The colour flag; the analyzer also needs the language code, which it
  // reads from the record (the driver has set it before dispatch).
  COLOR_AND_LANGUAGE,
};

// How the driver treats a code.
enum class AnalyzerKind : int {
  ANALYZE,          // run `analyze`
  UNKNOWN,          // code 0: failure -2
  NEVER,            // codes that are never detected (9, 70 and above): failure -1
  STATUS,           // code 43: analysed without an analyzer
  // Codes 59 and 66: the PCL XL analyzer (the row of code 4) on the stream
  // behind the HBPL header, then, only when that gave 0, the row's own
  // `analyze` (the HBPL header reader) on the whole file.
  HBPL_TWO_STEP,
};

struct AnalyzerRow {
  int code;
  AnalyzerKind kind;
  const AnalyzerEntry* entry;  // nullptr for special rows
  const char* pending_name;    // the name of a row without an entry ("" for special rows)
  AnalyzerExtra extra;
  int constant;  // the extra argument of CONSTANT rows

  // The analyzer's function name ("" for special rows).
  [[nodiscard]] const char* analyzer_name() const {
    return entry != nullptr ? entry->name : pending_name;
  }
  // The analyzer, nullptr for a row without an entry.
  [[nodiscard]] AnalyzerFunc analyze() const {
    return entry != nullptr ? entry->analyze : nullptr;
  }
};

// Number of rows (codes 0 to 69).
inline constexpr int ANALYZER_DISPATCH_ROWS = 70;

// The row of a code; the NEVER row for codes outside 0 to 69.
[[nodiscard]] const AnalyzerRow& analyzer_dispatch_row(int code);

// Replaces the analyzer entry of the row of `code` (0 to 69) and returns the
// one it had, which the caller puts back when done; nullptr makes the row
// unavailable. For tests that plug stand-in analyzers into the driver; not
// thread-safe against running analyses.
const AnalyzerEntry* analyzer_dispatch_replace(int code, const AnalyzerEntry* entry);
