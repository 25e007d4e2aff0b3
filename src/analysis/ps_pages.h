// The PostScript page-count decision (not for other callers).
#pragma once

struct PsScan;

struct PsPageDecision {
  bool strict_rule = false;      // the page status strings gave the count
  bool window1 = false;          // the count came from a window-1 marker family
};

// Sets the job's pages from the scan's counters (N-up not yet applied).
PsPageDecision ps_decide_pages(PsScan* s);
// Filler pages of imposed jobs leave the count (after the N-up division).
void ps_subtract_fillers(PsScan* s, const PsPageDecision& d);
