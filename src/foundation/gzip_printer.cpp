// Which printers receive gzip-compressed jobs.
#include "foundation/config.h"
#include "foundation/csv.h"
#include "foundation/gzip_wrapper.h"

int gzip_is_on_printer(const char* printer) {
  const char* list = global_ctx.gzip_compress;
  return csv_contains_value(list, ',', printer) || csv_contains_value_wildcard(list, ',', printer)
             ? 1
             : 0;
}
