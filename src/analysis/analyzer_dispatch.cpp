// The dispatch table: one row per language code. An analyzer's rows name
// its AnalyzerEntry (`row`); codes without an analyzer are `special`.
#include "analysis/analyzer_dispatch.h"

#include <array>

#include "analysis/oce.h"
#include "analysis/pcl5.h"
#include "analysis/pcl6.h"
#include "analysis/pdf.h"
#include "analysis/plaintext.h"
#include "analysis/postscript.h"
#include "analysis/tiff6.h"
#include "analysis/xps.h"
#include "formats/brother.h"
#include "formats/canon.h"
#include "formats/canoncapt.h"
#include "formats/canongaro.h"
#include "formats/canonufr.h"
#include "formats/cupsraster.h"
#include "formats/dymo.h"
#include "formats/epson.h"
#include "formats/epsonpage.h"
#include "formats/fx360.h"
#include "formats/fxplw.h"
#include "formats/graphtec.h"
#include "formats/gzip_dummy.h"
#include "formats/hbpl.h"
#include "formats/hbpl_local.h"
#include "formats/hiperc.h"
#include "formats/hpgdi.h"
#include "formats/hppsc.h"
#include "formats/kip.h"
#include "formats/kmgdi.h"
#include "formats/kmgdi_di.h"
#include "formats/kmgdi_zimf.h"
#include "formats/kyoceragdi.h"
#include "formats/lexmark.h"
#include "formats/necgdi.h"
#include "formats/panasonicgdi.h"
#include "formats/pebble.h"
#include "formats/qpdl.h"
#include "formats/ricohgdi.h"
#include "formats/riso.h"
#include "formats/rpcs.h"
#include "formats/sharpgdi.h"
#include "formats/sharpgdi_splc.h"
#include "formats/xeroxgdi.h"
#include "formats/xpp.h"
#include "formats/zebra.h"
#include "formats/zimf.h"
#include "formats/zjstream.h"
#include "foundation/ja_languages.h"

namespace {

using K = AnalyzerKind;
using X = AnalyzerExtra;

constexpr AnalyzerRow row(int code, const AnalyzerEntry& entry, X extra = X::NONE,
                           int constant = 0) {
  return AnalyzerRow{code, K::ANALYZE, &entry, nullptr, extra, constant};
}
constexpr AnalyzerRow special(int code, K kind) {
  return AnalyzerRow{code, kind, nullptr, "", X::NONE, 0};
}

constexpr std::array<AnalyzerRow, ANALYZER_DISPATCH_ROWS> BUILT_IN = {{
    special(0, K::UNKNOWN),
    row(1, POSTSCRIPT_ANALYZER, X::COLOR),
    row(2, POSTSCRIPT_CANON_ANALYZER, X::COLOR),
    row(3, PDF_ANALYZER),
    row(4, PCL6_ANALYZER, X::COLOR),
    row(5, PCL5_ANALYZER, X::COLOR),
    row(6, PCL5_CANON_ANALYZER, X::COLOR),
    row(7, HBPL_ANALYZER),
    row(8, PANASONIC_GDI_ANALYZER),
    special(9, K::NEVER),
    row(10, FXPLW_ANALYZER),
    row(11, HP_GDI_LOCAL_ANALYZER),
    row(12, HP_GDI_REMOTE_ANALYZER),
    row(13, HP_GDI_PSC_ANALYZER),
    row(14, HP_GDI_LOCAL_ANALYZER),
    row(15, RISO_ANALYZER, X::COLOR),
    row(16, PCL5_ANALYZER, X::COLOR),
    row(17, EPSONPAGE_ANALYZER),
    // The colour flag: ESC/P2 raster shows each page's inks.
    row(18, EPSON_ANALYZER, X::COLOR),
    row(19, QPDL_ANALYZER),
    row(20, CANON_BJ_ANALYZER),
    row(21, CANONCAPT_ANALYZER),
    row(22, CANONGARO_ANALYZER),
    row(23, CANONUFR_ANALYZER),
    row(24, CUPSRASTER_ANALYZER),
    row(25, LEXMARK_SMART_ANALYZER),
    row(26, RPCS_ANALYZER),
    row(27, TIFF6_ANALYZER),
    row(28, ZJSTREAM_ANALYZER, X::CONSTANT, 1),
    row(29, ZIMF_ANALYZER),
    row(30, HBPL_ANALYZER),
    row(31, HIPERC_ANALYZER),
    row(32, KMGDI_ANALYZER),
    row(33, KMGDI_ANALYZER),
    row(34, KMGDI_DI_ANALYZER),
    row(35, KMGDI_BIZHUB_ANALYZER),
    row(36, KMGDI_ZIMF_ANALYZER),
    row(37, KYOCERA_GDI_ANALYZER),
    row(38, ZEBRA_ANALYZER),
    row(39, ZEBRA2_ANALYZER),
    row(40, BROTHER_ANALYZER, X::CONSTANT, 11),
    row(41, RICOH_GDI_ANALYZER),
    row(42, PLAINTEXT_ANALYZER, X::LINES_PER_PAGE),
    special(43, K::STATUS),
    row(44, SHARP_GDI_ANALYZER),
    row(45, PEBBLE_ANALYZER),
    row(46, PANASONIC2_GDI_ANALYZER),
    row(47, DYMO_ANALYZER),
    row(48, EPSON_NEW_ANALYZER, X::COLOR_AND_LANGUAGE),
    row(49, PCL5_ANALYZER, X::COLOR),
    row(50, KMGDI_WSMC_ANALYZER),
    row(51, SHARP_GDI_SPLC_ANALYZER),
    row(52, RICOH_GDI_SP_ANALYZER),
    row(53, BROTHER_ANALYZER, X::CONSTANT, 12),
    row(54, NEC_GDI_ANALYZER),
    row(55, EPSON_NEW_ANALYZER, X::COLOR_AND_LANGUAGE),
    row(56, BROTHER2_ANALYZER),
    row(57, XEROX_GDI_LOCAL_ANALYZER),
    row(58, XEROX_GDI_REMOTE_ANALYZER),
    AnalyzerRow{59, K::HBPL_TWO_STEP, &HBPL_LOCAL_ANALYZER, nullptr, X::CONSTANT, 0},
    row(60, OCE_ANALYZER, X::COLOR),
    row(61, XPS_ANALYZER, X::COLOR),
    row(62, KIP_ANALYZER),
    row(63, PCL6_ANALYZER, X::COLOR),
    row(64, FX360_ANALYZER),
    row(65, GRAPHTEC_ANALYZER),
    AnalyzerRow{66, K::HBPL_TWO_STEP, &HBPL_LOCAL_ANALYZER, nullptr, X::CONSTANT, 1},
    row(67, ZJSTREAM_ANALYZER, X::CONSTANT, 0),
    row(68, XPP_ANALYZER),
    row(69, GZIP_ANALYZER),
}};

constexpr bool rows_in_code_order() {
  for (int i = 0; i < ANALYZER_DISPATCH_ROWS; ++i) {
    if (BUILT_IN[i].code != i) return false;
  }
  return true;
}
static_assert(rows_in_code_order(), "the dispatch table is indexed by language code");

constexpr AnalyzerRow NEVER_ROW = special(-1, K::NEVER);

std::array<AnalyzerRow, ANALYZER_DISPATCH_ROWS> table = BUILT_IN;

}  // namespace

const AnalyzerRow& analyzer_dispatch_row(int code) {
  if (code < 0 || code >= ANALYZER_DISPATCH_ROWS) return NEVER_ROW;
  return table[code];
}

const AnalyzerEntry* analyzer_dispatch_replace(int code, const AnalyzerEntry* entry) {
  if (code < 0 || code >= ANALYZER_DISPATCH_ROWS) return nullptr;
  const AnalyzerEntry* previous = table[code].entry;
  table[code].entry = entry;
  return previous;
}
