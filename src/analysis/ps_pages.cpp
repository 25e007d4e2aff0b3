// The page-count decision: of the counters the walk kept, one per
// page-marking dialect, the first that applies in a fixed order gives the
// pages; an empty back side of a duplex job is discounted.
#include "analysis/ps_pages.h"

#include "analysis/ps_scan.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

void set_pages(PsScan* s, int pages) { ja_set_pages(s->ja, pages); }

// A duplex job of an even page count whose last page was found short.
void drop_short_last_page(PsScan* s, const char* text) {
  const int pages = s->ja->pages;
  if (pages >= 1 && pages % 2 == 0 && s->short_last_page && s->ja->is_duplex != 0) {
    LOG_DEBUG(text, pages, pages - 1);
    set_pages(s, pages - 1);
  }
}

// The rules of step 2; returns the count the rule took.
int first_rule(PsScan* s, PsPageDecision* d) {
  JobAttribs* ja = s->ja;
  if (s->page_num_imposed >= 1) {
    LOG_DEBUG("Using imposed page count");
    set_pages(s, s->page_num_imposed);
  } else if (ps_row(*s, TOKEN_ADOBE_SHOWPAGE).hit_count >= 1) {
    LOG_DEBUG("Using page count from Adobe strict marker");
    set_pages(s, ps_row(*s, TOKEN_ADOBE_SHOWPAGE).hit_count);
  } else if (s->page_count_showpage_strict != 0) {
    LOG_DEBUG("Using page count from showpage strict marker: %d", s->page_count_showpage_strict);
    set_pages(s, s->page_count_showpage_strict);
    d->window1 = true;
  } else if (s->page_count_strict != 0) {
    LOG_DEBUG("using page count from strict marker: %d", s->page_count_strict);
    set_pages(s, s->page_count_strict);
    d->window1 = true;
    d->strict_rule = true;
  } else if (s->page_count_indesign_strict != 0) {
    LOG_DEBUG("using page count from indesign strict marker: %d", s->page_count_indesign_strict);
    set_pages(s, s->page_count_indesign_strict);
    d->window1 = true;
  } else if (s->page_count_qxp_strict != 0) {
    LOG_DEBUG("using page count from QXP strict marker: %d", s->page_count_qxp_strict);
    set_pages(s, s->page_count_qxp_strict);
    d->window1 = true;
  } else if (ps_dsc_strict_pages(*s) >= 1) {
    LOG_DEBUG("using page_count_dsc_strict: %d", s->page_count_dsc_strict);
    set_pages(s, ps_dsc_strict_pages(*s));
    const int chosen = ja->pages;
    readjust_on_empty_pages(ja, s->windows[1], s->start);
    drop_short_last_page(s, "adjusting num pages for short last page before %%%%Trailer %d=>%d");
    return chosen;
  } else {
    if (s->page_count_dsc > ja->pages) {
      LOG_DEV("using page count from standard marker: %d", s->page_count_dsc);
      set_pages(s, s->page_count_dsc);
      drop_short_last_page(s, "adjusting num pages for short last page [2] before %%%%Trailer %d=>%d");
    }
    const int chosen = ja->pages;
    if (ja->pages < ps_row(*s, TOKEN_PAGE0).hit_count) {
      LOG_DEV("using page count from PAGE0");
      set_pages(s, ps_row(*s, TOKEN_PAGE0).hit_count);
    }
    if (ja->pages < ps_row(*s, TOKEN_PAGE1).hit_count) {
      LOG_DEV("using page count from PAGE1");
      set_pages(s, ps_row(*s, TOKEN_PAGE1).hit_count);
    }
    return chosen;
  }
  const int chosen = ja->pages;
  if (d->window1) readjust_on_empty_pages(ja, s->windows[0], s->start);
  return chosen;
}

// Step 3: the macro count and the weak fallbacks.
void fallbacks(PsScan* s, int chosen) {
  JobAttribs* ja = s->ja;
  if (ja->pages == 0 || (s->macro_at_end && chosen + 1 == s->macro_page_count)) {
    LOG_DEV("using page count from named macro: macro_page_count=%d,pre_adjustment_pages=%d",
            s->macro_page_count, ja->pages);
    set_pages(s, s->macro_page_count);
    readjust_on_empty_pages(ja, s->windows[2], s->start);
  }
  if (ja->pages != 0) return;
  if (ps_row(*s, TOKEN_PAGE_X).hit_count >= 1) {
    LOG_DEV("using page count from 'Page: X' comment");
    set_pages(s, ps_row(*s, TOKEN_PAGE_X).hit_count);
  } else if (s->page_count_showpage != 0) {
    LOG_DEV("using page count from showpage");
    set_pages(s, s->page_count_showpage);
  } else if (s->pages_nup != 0) {
    LOG_DEV("using page count from pages_nup");
    set_pages(s, s->pages_nup);
  } else if (ps_hit(*s, TOKEN_PAGES)) {
    LOG_DEV("Using page count of %d from 'Pages: X' comment", ps_value(*s, TOKEN_PAGES));
    set_pages(s, ps_value(*s, TOKEN_PAGES));
  }
}

}  // namespace

PsPageDecision ps_decide_pages(PsScan* s) {
  PsPageDecision d;
  set_pages(s, 0);
  const int chosen = first_rule(s, &d);
  fallbacks(s, chosen);
  return d;
}

void ps_subtract_fillers(PsScan* s, const PsPageDecision& d) {
  JobAttribs* ja = s->ja;
  if (s->n_filler > 0 && !d.strict_rule && s->n_filler < ja->pages && s->windows[0].potential == 0 &&
      ps_row(*s, TOKEN_ADOBE_SHOWPAGE).hit_count == 0) {
    LOG_DEBUG("Subtracting %d filler pages from page count of %d.", s->n_filler, ja->pages);
    ja->pages -= s->n_filler;
  }
}
