// The dispatch table: one row per language code. A format analyzer is
// plugged in by setting the `analyze` field of its row.
#include "analysis/analyzer_dispatch.h"

#include <array>

#include "foundation/ja_languages.h"

namespace {

using K = AnalyzerKind;
using X = AnalyzerExtra;

constexpr AnalyzerRow row(int code, const char* name, X extra = X::NONE, int constant = 0) {
  return AnalyzerRow{code, K::ANALYZE, name, nullptr, extra, constant};
}
constexpr AnalyzerRow special(int code, K kind, const char* name = "") {
  return AnalyzerRow{code, kind, name, nullptr, X::NONE, 0};
}

constexpr std::array<AnalyzerRow, ANALYZER_DISPATCH_ROWS> BUILT_IN = {{
    special(0, K::UNKNOWN),
    row(1, "postscript_process_job", X::COLOR),
    row(2, "postscript_canon_process_job", X::COLOR),
    row(3, "pdf_process_job"),
    row(4, "pcl6_process_job", X::COLOR),
    row(5, "pcl5_process_job", X::COLOR),
    row(6, "pcl5_canon_process_job", X::COLOR),
    row(7, "hbpl_process_job"),
    row(8, "panasonic_gdi_process_job"),
    special(9, K::NEVER),
    row(10, "fxplw_process_job"),
    row(11, "hp_gdi_local_process_job"),
    row(12, "hp_gdi_remote_process_job"),
    row(13, "hp_gdi_psc_process_job"),
    row(14, "hp_gdi_local_process_job"),
    row(15, "riso_process_job", X::COLOR),
    row(16, "pcl5_process_job", X::COLOR),
    row(17, "epsonpage_process_job"),
    row(18, "epson_process_job", X::CONSTANT, 0),
    row(19, "qpdl_process_job"),
    row(20, "canon_bj_process_job"),
    row(21, "canoncapt_process_job"),
    row(22, "canongaro_process_job"),
    row(23, "canonufr_process_job"),
    row(24, "cupsraster_process_job"),
    row(25, "lexmark_smart_process_job"),
    row(26, "rpcs_process_job"),
    row(27, "tiff6_process_job"),
    row(28, "zjstream_process_job", X::CONSTANT, 1),
    row(29, "zimf_process_job"),
    row(30, "hbpl_process_job"),
    row(31, "hiperc_process_job"),
    row(32, "kmgdi_process_job"),
    row(33, "kmgdi_process_job"),
    row(34, "kmgdi_di_process_job"),
    row(35, "kmgdi_bizhub_process_job"),
    row(36, "kmgdi_zimf_process_job"),
    row(37, "kyocera_gdi_process_job"),
    row(38, "zebra_process_job"),
    row(39, "zebra2_process_job"),
    row(40, "brother_process_job", X::CONSTANT, 11),
    row(41, "ricoh_gdi_process_job"),
    row(42, "plaintext_process_job", X::LINES_PER_PAGE),
    special(43, K::STATUS),
    row(44, "sharp_gdi_process_job"),
    row(45, "pebble_process_job"),
    row(46, "panasonic2_gdi_process_job"),
    row(47, "dymo_process_job"),
    row(48, "epson_process_job_new", X::COLOR_AND_LANGUAGE),
    row(49, "pcl5_process_job", X::COLOR),
    row(50, "kmgdi_wsmc_process_job"),
    row(51, "sharp_gdi_splc_process_job"),
    row(52, "ricoh_gdi_sp_process_job"),
    row(53, "brother_process_job", X::CONSTANT, 12),
    row(54, "nec_gdi_process_job"),
    row(55, "epson_process_job_new", X::COLOR_AND_LANGUAGE),
    row(56, "brother2_process_job"),
    row(57, "xerox_gdi_local_process_job"),
    row(58, "xerox_gdi_remote_process_job"),
    AnalyzerRow{59, K::HBPL_TWO_STEP, "hbpl_local_process_job", nullptr, X::CONSTANT, 0},
    row(60, "oce_process_job", X::COLOR),
    row(61, "xps_process_job", X::COLOR),
    row(62, "kip_process_job"),
    row(63, "pcl6_process_job", X::COLOR),
    row(64, "fx360_process_job"),
    row(65, "graphtec_process_job"),
    AnalyzerRow{66, K::HBPL_TWO_STEP, "hbpl_local_process_job", nullptr, X::CONSTANT, 1},
    row(67, "zjstream_process_job", X::CONSTANT, 0),
    row(68, "xpp_process_job"),
    row(69, "gzip_process_job"),
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

AnalyzerFunc analyzer_dispatch_replace(int code, AnalyzerFunc analyze) {
  if (code < 0 || code >= ANALYZER_DISPATCH_ROWS) return nullptr;
  const AnalyzerFunc previous = table[code].analyze;
  table[code].analyze = analyze;
  return previous;
}
