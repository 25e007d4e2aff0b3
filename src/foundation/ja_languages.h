// Language codes: the page-description language of a spool file, with its
// display name and archive file extension.
#pragma once

#include <span>

// Codes of the language table (the numbers are stored in files and sent to the
// server: never renumber).
enum LanguageCode : int {
  LANG_UNKNOWN = 0,
  LANG_POSTSCRIPT = 1,
  LANG_POSTSCRIPT_CANON = 2,
  LANG_PDF = 3,
  LANG_PCL6 = 4,
  LANG_PCL5 = 5,
  LANG_PCL5_CANON = 6,
  LANG_PLW = 7,
  LANG_GDI_PANASONIC = 8,
  LANG_EMF = 9,
  LANG_FXPLW = 10,
  LANG_GDI_HP = 11,
  LANG_GDI_HP_2 = 12,
  LANG_GDI_HP_3 = 13,
  LANG_GDI_RISO = 14,
  LANG_GDI_RISO2 = 15,
  LANG_HPGL = 16,
  LANG_EPSON_PAGE = 17,
  LANG_ESCP2 = 18,
  LANG_QPDL = 19,
  LANG_CANON_BJ = 20,
  LANG_CANON_CAPT = 21,
  LANG_CANON_GARO = 22,
  LANG_CANON_UFR = 23,
  LANG_CUPS_RASTER = 24,
  LANG_SMART = 25,
  LANG_RPCS = 26,
  LANG_TIFF6 = 27,
  LANG_ZJSTREAM = 28,
  LANG_ZENO_IMF = 29,
  LANG_HBPL = 30,
  LANG_HIPERC = 31,
  LANG_GDI_KM = 32,
  LANG_GDI_KM_PJL = 33,
  LANG_GDI_KM_DI = 34,
  LANG_GDI_KM_BH = 35,
  LANG_GDI_KM_ZIMF_R = 36,
  LANG_GDI_KYOCERA = 37,
  LANG_ZEBRA = 38,
  LANG_ZEBRA2 = 39,
  LANG_BROTHER = 40,
  LANG_GDI_RICOH = 41,
  LANG_PLAIN_TEXT = 42,
  LANG_STATUS_DOCUMENT = 43,
  LANG_GDI_SHARP = 44,
  LANG_PEBBLE = 45,
  LANG_GDI_PANASONIC_2 = 46,
  LANG_DYMO = 47,
  LANG_EPSON_ENDP = 48,
  LANG_PCL3GUI = 49,
  LANG_GDI_KM_WSMC = 50,
  LANG_GDI_SHARP_SPLC = 51,
  LANG_GDI_RICOH_SP_C231 = 52,
  LANG_BROTHER_MFC_J = 53,
  LANG_NEC_GDI = 54,
  LANG_ESCPR = 55,
  LANG_BROTHER_QL = 56,
  LANG_GDI_XEROX_PHASER = 57,
  LANG_GDI_XEROX_PHASER_2 = 58,
  LANG_HBPL_2 = 59,
  LANG_OCE = 60,
  LANG_XPS = 61,
  LANG_KIPGL = 62,
  LANG_XPL2 = 63,
  LANG_FX360 = 64,
  LANG_GRAPHTEC = 65,
  LANG_HBPL_3 = 66,
  LANG_ZJSTREAM_2 = 67,
  LANG_XPP = 68,
  LANG_GZIP = 69,  // compressed data; no table row, shown "Undefined"
};

struct LangStrCode {
  int code;
  const char* name;       // display name
  const char* extension;  // archive file extension
};

// The 69 rows of the language table in row order (not code order; some names
// are shared, and lookups take the first matching row).
[[nodiscard]] std::span<const LangStrCode> lang_str_codes();
// The two rows that tell codes sharing a name apart (6 and 2).
[[nodiscard]] std::span<const LangStrCode> lang_str_codes_unique();

// Display name of the first row with the code, else "Undefined".
[[nodiscard]] const char* analyzer_lang_to_string(int code);
// "PCL5(Canon)" for 6, "Postscript(Canon)" for 2, else analyzer_lang_to_string.
[[nodiscard]] const char* analyzer_lang_to_string_unique(int code);
// Extension of the first row with the code, else "unknown".
[[nodiscard]] const char* analyzer_lang_to_file_extension(int code);
// Code of a display name (unique names first, ignoring case), else 0.
[[nodiscard]] int analyzer_string_to_lang(const char* name);
// Code of a file extension (unique rows first, ignoring case), else 0.
[[nodiscard]] int analyzer_file_extension_to_lang(const char* extension);
