// The marker-counting and text-header makers' formats over arbitrary bytes:
// every analyzer runs on the same exact-size copy, so that a read one byte
// past the end of any walk, header field or pattern window is reported.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/brother.h"
#include "formats/canon.h"
#include "formats/canoncapt.h"
#include "formats/dymo.h"
#include "formats/fx360.h"
#include "formats/graphtec.h"
#include "formats/hppsc.h"
#include "formats/kip.h"
#include "formats/kmgdi_di.h"
#include "formats/kmgdi_zimf.h"
#include "formats/kyoceragdi.h"
#include "formats/necgdi.h"
#include "formats/panasonicgdi.h"
#include "formats/pebble.h"
#include "formats/ricohgdi.h"
#include "formats/sharpgdi.h"
#include "formats/xeroxgdi.h"
#include "formats/xpp.h"
#include "formats/zebra.h"
#include "formats/zimf.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {

struct Run {
  const AnalyzerEntry* entry;
  int extra;
};

const Run RUNS[] = {
    {&CANON_BJ_ANALYZER, 0},        {&HP_GDI_PSC_ANALYZER, 0},
    {&KMGDI_DI_ANALYZER, 0},        {&ZIMF_ANALYZER, 0},
    {&ZEBRA2_ANALYZER, 0},          {&ZEBRA_ANALYZER, 0},
    {&CANONCAPT_ANALYZER, 0},       {&PANASONIC2_GDI_ANALYZER, 0},
    {&PANASONIC_GDI_ANALYZER, 0},   {&KYOCERA_GDI_ANALYZER, 0},
    {&BROTHER2_ANALYZER, 0},        {&BROTHER_ANALYZER, BROTHER_RECORD_HBP},
    {&BROTHER_ANALYZER, BROTHER_RECORD_HBP2}, {&RICOH_GDI_SP_ANALYZER, 0},
    {&RICOH_GDI_ANALYZER, 0},       {&SHARP_GDI_ANALYZER, 0},
    {&PEBBLE_ANALYZER, 0},          {&DYMO_ANALYZER, 0},
    {&NEC_GDI_ANALYZER, 0},         {&XEROX_GDI_REMOTE_ANALYZER, 0},
    {&KMGDI_ZIMF_ANALYZER, 0},      {&FX360_ANALYZER, 0},
    {&XEROX_GDI_LOCAL_ANALYZER, 0}, {&KIP_ANALYZER, 0},
    {&GRAPHTEC_ANALYZER, 0},        {&XPP_ANALYZER, 0},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  for (const Run& run : RUNS) {
    JobAttribsPtr ja(analyzer_create_job_attribs());
    if (ja == nullptr) return 0;
    const int result = run.entry->analyze(input.data(), size, run.extra, ja.get());
    // No marker is shorter than a byte: a page count above the data's length
    // is a walk that stood on one position twice.
    if (result != 0 && result != -1) std::abort();
    if (ja->pages > static_cast<std::int64_t>(size) + 1) std::abort();
  }
  return 0;
}
