// Compressed spool data: nothing in it can be read without inflating it,
// which no analyzer does, so the job keeps what the spooler said.
#include "formats/gzip_dummy.h"

#include "foundation/ja.h"
#include "foundation/log.h"

namespace {

int gzip_adapter(const std::uint8_t* data, std::uint64_t length, int, JobAttribs* ja) {
  return gzip_process_job(data, length, ja);
}

}  // namespace

int gzip_process_job(const std::uint8_t*, std::uint64_t, JobAttribs* ja) {
  LOG_INFO("Ignoring gzipped spool file: printer_name='%s',document_name='%s'",
           ja != nullptr ? ja->printer_name : "", ja != nullptr ? ja->document_name : "");
  return 0;
}

const AnalyzerEntry GZIP_ANALYZER{"gzip_process_job", gzip_adapter};
