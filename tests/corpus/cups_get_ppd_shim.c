/* Test-only stand-in for libcups's cupsGetPPD, preloaded by the corpus
 * generator into CUPS filters that ask a running scheduler for their
 * queue's PPD (the ESC/P-R wrapper): it answers with the path in
 * SW_CUPS_PPD, so the filter runs off-line. Never installed. */
#include <stdlib.h>

const char *cupsGetPPD(const char *name) {
  (void)name;
  return getenv("SW_CUPS_PPD");
}
