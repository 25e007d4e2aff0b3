#include "formats/zebra.h"

#include "formats/format_entry.h"
#include "formats/marker_count.h"
#include "formats/zebra_labels.h"
#include "foundation/ja.h"
#include "foundation/log.h"

namespace {
constexpr auto START_OF_LABEL_BYTES = marker_bytes("DCLD\x01\x00\x30");
constexpr MarkerRule START_OF_LABEL{START_OF_LABEL_BYTES, 6, 1,
                                    "found start page marker at: "};
constexpr auto END_OF_LABEL_BYTES = marker_bytes("\r\nP1\r\n");
constexpr MarkerRule END_OF_LABEL{END_OF_LABEL_BYTES, 5, 1, "found end page marker at: "};
}  // namespace

int zebra_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering zebra_process_job");
  WalkTimer timer("Zebra");
  ja_set_pages(ja, marker_count(scan_bytes(data, length), START_OF_LABEL, &timer));
  return 0;
}

int zebra2_process_job(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  LOG_DEV("entering zebra2_process_job");
  WalkTimer timer("Zebra");
  const ByteSpan d = scan_bytes(data, length);
  // The jobs of CUPS's drivers, by their first commands (as detection
  // found them); other jobs end their labels with CR LF P1 CR LF.
  LabelCount count;
  if (scan_bytes_at(d, 0, "\nN\n")) {
    count = epl2_labels(d, &timer);
  } else if (scan_bytes_at(d, 0, "~DG") ||
             (scan_bytes_at(d, 0, "^XA") && scan_find(d, 0, "^XZ").has_value())) {
    count = zpl_labels(d, &timer);
  } else if (scan_bytes_at(d, 0, "! ")) {
    count = cpcl_labels(d, &timer);
  } else {
    ja_set_pages(ja, marker_count(d, END_OF_LABEL, &timer));
    return 0;
  }
  ja_set_pages(ja, count.labels);
  if (count.copies > 1) ja_set_copy_count(ja, count.copies);
  return 0;
}

const AnalyzerEntry ZEBRA_ANALYZER{"zebra_process_job", format_entry_adapter<zebra_process_job>};
const AnalyzerEntry ZEBRA2_ANALYZER{"zebra2_process_job", format_entry_adapter<zebra2_process_job>};
