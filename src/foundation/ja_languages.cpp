// The language table and its lookups.
#include "foundation/ja_languages.h"

#include <array>

#include "foundation/log.h"
#include "foundation/util.h"

namespace {

// Row order matters: lookups take the first row that matches.
constexpr std::array<LangStrCode, 69> LANG_STR_CODES{{
    {LANG_POSTSCRIPT, "PostScript", "ps"},
    {LANG_PCL5, "PCL5", "pcl5"},
    {LANG_PCL3GUI, "PCL3GUI", "pcl3gui"},
    {LANG_PDF, "PDF", "pdf"},
    {LANG_PCL5_CANON, "PCL5", "pcl5"},
    {LANG_PCL6, "PCL6", "pcl6"},
    {LANG_PLW, "PLW", "plw"},
    {LANG_EMF, "EMF", "emf"},
    {LANG_GDI_HP, "GDI (HP)", "gdi-hp"},
    {LANG_GDI_HP_2, "GDI (HP)", "gdi-hp"},
    {LANG_GDI_HP_3, "GDI (HP)", "gdi-hp"},
    {LANG_GDI_RISO, "GDI (RISO)", "gdi-riso"},
    {LANG_GDI_RISO2, "GDI (RISO2)", "gdi-riso2"},
    {LANG_HPGL, "HPGL", "hpgl"},
    {LANG_EPSON_PAGE, "EPSON/PAGE", "epson-page"},
    {LANG_ESCP2, "ESC/P2", "esc-p2"},
    {LANG_ESCPR, "ESC/P-R", "esc-p-r"},
    {LANG_EPSON_ENDP, "EPSON/ENDP", "epson-endp"},
    {LANG_FXPLW, "FXPLW", "fxplw"},
    {LANG_QPDL, "QPDL", "qpdl"},
    {LANG_CANON_CAPT, "CANON CAPT", "canon-capt"},
    {LANG_CANON_BJ, "CANON BJ", "canon-bj"},
    {LANG_CANON_GARO, "CANON GARO", "canon-garo"},
    {LANG_CANON_UFR, "CANON UFR", "canon-ufr"},
    {LANG_CUPS_RASTER, "CUPS Raster", "cups-raster"},
    {LANG_SMART, "SMART", "smart"},
    {LANG_TIFF6, "TIFF6", "tiff6"},
    {LANG_RPCS, "RPCS", "rpcs"},
    {LANG_ZJSTREAM, "ZJSTREAM", "zjstream"},
    {LANG_ZJSTREAM_2, "ZJSTREAM", "zjstream"},
    {LANG_ZENO_IMF, "Zeno IMF", "zeno-imf"},
    {LANG_PLAIN_TEXT, "Plain Text", "plain-text"},
    {LANG_HBPL, "HBPL", "hbpl"},
    {LANG_HBPL_2, "HBPL", "hbpl"},
    {LANG_HBPL_3, "HBPL", "hbpl"},
    {LANG_GDI_KM, "GDI (KM)", "gdi-km"},
    {LANG_GDI_KM_PJL, "GDI (KM PJL)", "gdi-km-pjl"},
    {LANG_GDI_KM_DI, "GDI (KM DI)", "gdi-km-di"},
    {LANG_GDI_KM_BH, "GDI (KM BH)", "gdi-km-bh"},
    {LANG_GDI_KM_ZIMF_R, "GDI (KM ZIMF-R)", "gdi-km-zimf-r"},
    {LANG_GDI_KM_WSMC, "GDI (KM WSMC)", "gdi-km-wsmc"},
    {LANG_GDI_KYOCERA, "GDI (Kyocera)", "gdi-kyocera"},
    {LANG_HIPERC, "HiperC", "hyperc"},
    {LANG_ZEBRA, "Zebra", "zebra"},
    {LANG_ZEBRA2, "Zebra", "zebra2"},
    {LANG_BROTHER, "Brother", "brother"},
    {LANG_BROTHER_MFC_J, "Brother (MFC-J)", "brother.mfc-j"},
    {LANG_BROTHER_QL, "Brother (QL series)", "brother-ql"},
    {LANG_STATUS_DOCUMENT, "Status/Dummy Document", "dummy"},
    {LANG_POSTSCRIPT_CANON, "Postscript", "ps"},
    {LANG_GDI_PANASONIC, "GDI (Panasonic)", "gdi-panasonic"},
    {LANG_GDI_PANASONIC_2, "GDI (Panasonic)", "gdi-panasonic"},
    {LANG_GDI_RICOH, "GDI (Ricoh)", "gdi-ricoh"},
    {LANG_GDI_RICOH_SP_C231, "GDI (Ricoh SP C231)", "gdi-ricoh-c231"},
    {LANG_GDI_SHARP, "GDI (Sharp)", "gdi-sharp"},
    {LANG_GDI_SHARP_SPLC, "GDI (Sharp SPLC)", "gdi-sharp-splc"},
    {LANG_PEBBLE, "Pebble", "pebble"},
    {LANG_DYMO, "Dymo", "dymo"},
    {LANG_NEC_GDI, "NEC GDI", "nec-gdi"},
    {LANG_GDI_XEROX_PHASER, "GDI (Xerox Phaser)", "gdi-xerox-phaser"},
    {LANG_GDI_XEROX_PHASER_2, "GDI (Xerox Phaser)", "gdi-xerox-phaser"},
    {LANG_OCE, "OCE", "oce"},
    {LANG_XPS, "XPS", "xps"},
    {LANG_KIPGL, "KIPGL", "kipgl"},
    {LANG_XPL2, "XPL2", "xpl2"},
    {LANG_FX360, "FX360", "fx360"},
    {LANG_GRAPHTEC, "Graphtec", "graphtec"},
    {LANG_XPP, "XPP", "xpp"},
    {LANG_UNKNOWN, "Unknown", "unknown"},
}};

// Codes that share a display name with another code, told apart.
constexpr std::array<LangStrCode, 2> LANG_STR_CODES_UNIQUE{{
    {LANG_PCL5_CANON, "PCL5(Canon)", "pcl5"},
    {LANG_POSTSCRIPT_CANON, "Postscript(Canon)", "ps"},
}};

const LangStrCode* find_by_code(std::span<const LangStrCode> rows, int code) {
  for (const LangStrCode& row : rows) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

const LangStrCode* find_by_name(std::span<const LangStrCode> rows, const char* name) {
  for (const LangStrCode& row : rows) {
    if (util_case_equal_str(row.name, name)) return &row;
  }
  return nullptr;
}

const LangStrCode* find_by_extension(std::span<const LangStrCode> rows, const char* extension) {
  for (const LangStrCode& row : rows) {
    if (util_case_equal_str(row.extension, extension)) return &row;
  }
  return nullptr;
}

}  // namespace

std::span<const LangStrCode> lang_str_codes() { return LANG_STR_CODES; }

std::span<const LangStrCode> lang_str_codes_unique() { return LANG_STR_CODES_UNIQUE; }

const char* analyzer_lang_to_string(int code) {
  LOG_DEV("entering analyzer_lang_to_string");
  const LangStrCode* row = find_by_code(LANG_STR_CODES, code);
  return row != nullptr ? row->name : "Undefined";
}

const char* analyzer_lang_to_string_unique(int code) {
  LOG_DEV("entering analyzer_lang_to_string_unique");
  const LangStrCode* row = find_by_code(LANG_STR_CODES_UNIQUE, code);
  return row != nullptr ? row->name : analyzer_lang_to_string(code);
}

const char* analyzer_lang_to_file_extension(int code) {
  LOG_DEV("entering analyzer_lang_to_string");
  const LangStrCode* row = find_by_code(LANG_STR_CODES, code);
  return row != nullptr ? row->extension : "unknown";
}

int analyzer_string_to_lang(const char* name) {
  LOG_DEV("entering analyzer_string_to_lang");
  if (name == nullptr) return LANG_UNKNOWN;
  const LangStrCode* row = find_by_name(LANG_STR_CODES_UNIQUE, name);
  if (row == nullptr) row = find_by_name(LANG_STR_CODES, name);
  return row != nullptr ? row->code : LANG_UNKNOWN;
}

int analyzer_file_extension_to_lang(const char* extension) {
  LOG_DEV("entering analyzer_file_extension_to_lang");
  if (extension == nullptr) return LANG_UNKNOWN;
  const LangStrCode* row = find_by_extension(LANG_STR_CODES_UNIQUE, extension);
  if (row == nullptr) row = find_by_extension(LANG_STR_CODES, extension);
  return row != nullptr ? row->code : LANG_UNKNOWN;
}
