// Between the PostScript planner's block (planner_postscript.cpp) and its
// BeginFeature rules (planner_postscript_rules.cpp).
#pragma once

#include "scan/byte_cursor.h"

struct watermark_params;
struct JobAttribs;
struct ReplacementList;

// Which changes a BeginFeature rule carried out.
struct PsRulesDone {
  bool duplex = false;
  bool grayscale = false;
  bool copies = false;
};

// Whether the printer type contains "ApeosPort-IV C2270".
[[nodiscard]] bool ps_is_apeosport_iv_c2270(const JobAttribs* job);

// Runs the BeginFeature rules of the changes `request` forces over `data`
// and appends their edits to `list` (at most one edit per offset, none
// overlapping another). The duplex rules of the C2270 search the whole job
// and repeat; all other rules match once in the first 1 MiB. false (logged)
// when a rule cannot be added or run.
[[nodiscard]] bool ps_plan_beginfeature(const watermark_params* request, const JobAttribs* job,
                                        ByteSpan data, bool c2270, ReplacementList* list,
                                        PsRulesDone* done);
