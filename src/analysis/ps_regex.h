// The fixed patterns of the PostScript analyzer, compiled once per process,
// and a small match record with group offsets (no copies) for the tests that
// run them on bounded windows of the spool file.
#pragma once

#include <cstdint>
#include <string_view>

#include "foundation/regex.h"

enum class PsRe : int {
  // Scanner.
  DATASOURCE_AIPROC,
  DONIMAGE_START,
  COMPRESSED_PROLOG,
  TARGET_DEVICE,
  ADO_COMMENTS,
  VIEWING_ORIENTATION,
  IMPOSED_PAGE,
  FX_SIG_SIZE,
  PAGE_SIZE_FEATURE,
  INDESIGN_PAGE,
  QXP_PAGE,
  TRAILER_PAGES,
  FILLER_PAGE,
  DSC_PAGE,
  DSC_PAGE_ORDINAL,
  EPSF_HEADER,
  BEGIN_PDF_RESOURCE,
  DUPLEX_KEYWORD,
  SETPAGEDEVICE_DICT,
  STRICT_PAGE,
  COPIES,
  KYOCERA_PAGE,
  ESP_SHOWPAGE_REDEFINED,
  MACRO_TYPE1,
  MACRO_TYPE2,
  SHOWPAGE_WORD,
  SHOWPAGE_DEFINED,
  SHOWPAGE_IN_PROC,
  SHOWN_TEXT,
  // Job settings.
  DUPLEX_TUMBLE,
  COPIES_ROLL,
  SIGNATURE_DIMENSIONS,
  BROTHER_GRAY,
  PROCESS_COLOR_GRAY,
  PROCESS_COLOR_GRAY_PROC,
  PROCESS_COLOR_GRAY_FEATURE,
  KYOCERA_SEM,
  PJL_GRAYSCALE,
  EXIF_DIMENSION,
  COLORMODEL_GRAY,
  COLORMODEL_CMYK,
  RICOH_HQCOLORMODE_FEATURE,
  KM_BOOKLET,
  FIERY_BOOKLET,
  UNIVERSAL_GRAYSCALE,
  FIERY_COLORMODE_DOC,
  FIERY_COLORMODE_RANGE,
  FIERY_RANGE,
  PAGE_RANGE,
  BOUNDING_BOX,
  DOCUMENT_MEDIA,
  RICOH_HQCOLORMODE_DICT,
  BOUNDING_BOX_NUMBERS,
  // Colour operators.
  GSPS_CREATOR,
  DR_COLOR,
  SCOL,
  COLR,
  BINARY_SCOL,
  SCL,
  DEVICE_RGB_SC,
  CMYK,
  DEVICE_CMYK_SC,
  RGB_VECTOR,
  BRACKET_SC,
  RG,
  CREATE_RGB_COLOR,
  EMPTY_SHOW,
  VISIBLE_SHOW,
  VISIBLE_XSHOW,
  NAMED_COLOR,
  FOUR_NUMBERS,
  THREE_NUMBERS,
  CSA_ADD,
  CSA_GET,
  EMPTY_TJ,
  OBJECT_REFERENCE,
  PATTERN_REFERENCE,
  STREAM_RG,
  STREAM_K,
  // Images.
  PALETTE_ENTRY,
  PALETTE_ENTRY_WORD,
  DECODE_ABBREVIATED,
  DECODE_EXPLICIT,
  INLINE_DATA_1,
  INLINE_DATA_3,
  INLINE_DATA_4,
  IMAGEPROCARRAY_1,
  IMAGEPROCARRAY_2,
  JIMG,
  GSPS_LZ,
  GSPS_J,
  COLORIMAGE,
  PLAIN_COLORIMAGE,
  DOCLUTIMAGE,
  DOCLUTIMAGE_2,
  CANON_IIMG,
  HEX_PALETTE,
  CANON_AIMG,
  CANON_IMG,
  DONIMAGE_ASSUMED,
  BEGINJPEG,
  MAC_IMAGE,
  PDF_IMAGE,
  DEVICE_GRAY,
  DEVICE_RGB_OR_CMYK,
  CIE_BASED_A,
  BEGINBINARY_IMAGE,
  GRAY_GSAVE_HEADER,
  BEGINIMAGE,
  JDP,
  DATASOURCE,
  PDFTOPS_ARRAY,
  PDFTOPS_IMDATA,
  PDFTOPS_CHUNK,
  DONIMAGE_1,
  DONIMAGE_2,
  DONIMAGE_3,
  COUNT,
};

// The compiled pattern, or nullptr when it did not compile (then it never
// matches; the failure was logged once).
[[nodiscard]] const Regex* ps_re(PsRe id);
// The pattern text of a row (for log lines).
[[nodiscard]] const char* ps_re_text(PsRe id);

// One match on a window: offsets are relative to `subject`; a group that
// did not take part has start -1.
struct PsMatch {
  static constexpr int GROUPS = 5;
  const std::uint8_t* subject = nullptr;
  std::int64_t start[GROUPS] = {};
  std::int64_t end[GROUPS] = {};

  [[nodiscard]] bool has(int g) const { return start[g] >= 0 && end[g] >= start[g]; }
  [[nodiscard]] std::string_view text(int g) const {
    if (!has(g)) return std::string_view("", 0);
    return std::string_view(reinterpret_cast<const char*>(subject) + start[g],
                            static_cast<std::size_t>(end[g] - start[g]));
  }
  [[nodiscard]] std::uint64_t length() const {
    return static_cast<std::uint64_t>(end[0] - start[0]);
  }
  // First byte behind the whole match.
  [[nodiscard]] const std::uint8_t* after() const { return subject + end[0]; }
  [[nodiscard]] const std::uint8_t* at(int g) const { return subject + start[g]; }
};

// Runs `re` on the `length` bytes at `subject`; true on a match (an empty
// whole match counts as none). `m` may be null.
bool ps_match(const Regex* re, const std::uint8_t* subject, std::uint64_t length, PsMatch* m);
inline bool ps_match(PsRe id, const std::uint8_t* subject, std::uint64_t length,
                     PsMatch* m = nullptr) {
  return ps_match(ps_re(id), subject, length, m);
}
