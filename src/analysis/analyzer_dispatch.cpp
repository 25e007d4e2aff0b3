// The dispatch table: one row per language code. A built analyzer's rows
// name its AnalyzerEntry (`row`); the others are `pending` on its name.
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
#include "formats/canonufr.h"
#include "formats/epsonpage.h"
#include "formats/gzip_dummy.h"
#include "formats/hbpl_local.h"
#include "foundation/ja_languages.h"

namespace {

using K = AnalyzerKind;
using X = AnalyzerExtra;

[[maybe_unused]] constexpr AnalyzerRow row(int code, const AnalyzerEntry& entry, X extra = X::NONE,
                                           int constant = 0) {
  return AnalyzerRow{code, K::ANALYZE, &entry, nullptr, extra, constant};
}
constexpr AnalyzerRow pending(int code, const char* name, X extra = X::NONE, int constant = 0) {
  return AnalyzerRow{code, K::ANALYZE, nullptr, name, extra, constant};
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
    pending(7, "hbpl_process_job"),
    pending(8, "panasonic_gdi_process_job"),
    special(9, K::NEVER),
    pending(10, "fxplw_process_job"),
    pending(11, "hp_gdi_local_process_job"),
    pending(12, "hp_gdi_remote_process_job"),
    pending(13, "hp_gdi_psc_process_job"),
    pending(14, "hp_gdi_local_process_job"),
    pending(15, "riso_process_job", X::COLOR),
    row(16, PCL5_ANALYZER, X::COLOR),
    row(17, EPSONPAGE_ANALYZER),
    pending(18, "epson_process_job", X::CONSTANT, 0),
    pending(19, "qpdl_process_job"),
    pending(20, "canon_bj_process_job"),
    pending(21, "canoncapt_process_job"),
    pending(22, "canongaro_process_job"),
    row(23, CANONUFR_ANALYZER),
    pending(24, "cupsraster_process_job"),
    pending(25, "lexmark_smart_process_job"),
    pending(26, "rpcs_process_job"),
    row(27, TIFF6_ANALYZER),
    pending(28, "zjstream_process_job", X::CONSTANT, 1),
    pending(29, "zimf_process_job"),
    pending(30, "hbpl_process_job"),
    pending(31, "hiperc_process_job"),
    pending(32, "kmgdi_process_job"),
    pending(33, "kmgdi_process_job"),
    pending(34, "kmgdi_di_process_job"),
    pending(35, "kmgdi_bizhub_process_job"),
    pending(36, "kmgdi_zimf_process_job"),
    pending(37, "kyocera_gdi_process_job"),
    pending(38, "zebra_process_job"),
    pending(39, "zebra2_process_job"),
    pending(40, "brother_process_job", X::CONSTANT, 11),
    pending(41, "ricoh_gdi_process_job"),
    row(42, PLAINTEXT_ANALYZER, X::LINES_PER_PAGE),
    special(43, K::STATUS),
    pending(44, "sharp_gdi_process_job"),
    pending(45, "pebble_process_job"),
    pending(46, "panasonic2_gdi_process_job"),
    pending(47, "dymo_process_job"),
    pending(48, "epson_process_job_new", X::COLOR_AND_LANGUAGE),
    row(49, PCL5_ANALYZER, X::COLOR),
    pending(50, "kmgdi_wsmc_process_job"),
    pending(51, "sharp_gdi_splc_process_job"),
    pending(52, "ricoh_gdi_sp_process_job"),
    pending(53, "brother_process_job", X::CONSTANT, 12),
    pending(54, "nec_gdi_process_job"),
    pending(55, "epson_process_job_new", X::COLOR_AND_LANGUAGE),
    pending(56, "brother2_process_job"),
    pending(57, "xerox_gdi_local_process_job"),
    pending(58, "xerox_gdi_remote_process_job"),
    AnalyzerRow{59, K::HBPL_TWO_STEP, &HBPL_LOCAL_ANALYZER, nullptr, X::CONSTANT, 0},
    row(60, OCE_ANALYZER, X::COLOR),
    row(61, XPS_ANALYZER, X::COLOR),
    pending(62, "kip_process_job"),
    row(63, PCL6_ANALYZER, X::COLOR),
    pending(64, "fx360_process_job"),
    pending(65, "graphtec_process_job"),
    AnalyzerRow{66, K::HBPL_TWO_STEP, &HBPL_LOCAL_ANALYZER, nullptr, X::CONSTANT, 1},
    pending(67, "zjstream_process_job", X::CONSTANT, 0),
    pending(68, "xpp_process_job"),
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
