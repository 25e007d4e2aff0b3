// The analysis driver: one road from a spool file path to a filled analysis
// record. The file is mapped read-only for the length of the call and
// released on every path.
#include "analysis/analyzer.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "analysis/analyzer_dispatch.h"
#include "analysis/custom_metadata.h"
#include "analysis/saved_spool.h"
#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/util.h"
#include "scan/lang_detect.h"

namespace {

// log_spool_bytes writes at most this many bytes in one entry.
constexpr std::uint64_t LOG_SPOOL_BYTES_MAX = 65536;

// Opens and maps the spool file; nullptr (logged) when that fails. An empty
// file has nothing to map.
MappedMemPtr open_and_map(const char* path) {
  MappedMemFailure failure = MappedMemFailure::NONE;
  MappedMemPtr spool(create_mapped_mem_quiet(path, &failure));
  if (failure == MappedMemFailure::OPEN) {
    LOG_ERROR("Unable to open file");
    return nullptr;
  }
  if (!spool || spool->size == 0) {
    LOG_ERROR("Unable to map file: '%s'", path);
    return nullptr;
  }
  return spool;
}

int extra_argument(const AnalyzerRow& row, int color) {
  switch (row.extra) {
    case AnalyzerExtra::NONE:
      return 0;
    case AnalyzerExtra::COLOR:
    case AnalyzerExtra::COLOR_AND_LANGUAGE:
      return color;
    case AnalyzerExtra::CONSTANT:
      return row.constant;
    case AnalyzerExtra::LINES_PER_PAGE:
      return global_ctx.lines_per_page;
  }
  return 0;
}

int no_analyzer(int code) {
  LOG_ERROR("No analyzer is available for language: %s (%d)", analyzer_lang_to_string(code), code);
  return ANALYZER_FAILED;
}

// Codes 59 and 66: the PCL XL stream behind the HBPL header first; the
// header reader only when that analysed the stream with result 0.
int hbpl_two_step(const AnalyzerRow& row, const std::uint8_t* data, std::uint64_t length,
                  int color, JobAttribs* ja) {
  const AnalyzerRow& pcl6 = analyzer_dispatch_row(LANG_PCL6);
  const AnalyzerFunc stream_analyzer = pcl6.analyze();
  const AnalyzerFunc header_reader = row.analyze();
  if (stream_analyzer == nullptr || header_reader == nullptr) return no_analyzer(row.code);
  const bool has_stream = length > HBPL_LOCAL_HEADER_SIZE;
  const std::uint8_t* stream = has_stream ? data + HBPL_LOCAL_HEADER_SIZE : data;
  const std::uint64_t stream_length = has_stream ? length - HBPL_LOCAL_HEADER_SIZE : 0;
  const int first = stream_analyzer(stream, stream_length, color, ja);
  if (first != 0) return first;
  return header_reader(data, length, row.constant, ja);
}

// Runs the analyzer of the record's language. 0 or more when analysed.
int dispatch(const std::uint8_t* data, std::uint64_t length, int color, JobAttribs* ja) {
  const int code = ja->language;
  const AnalyzerRow& row = analyzer_dispatch_row(code);
  switch (row.kind) {
    case AnalyzerKind::UNKNOWN:
      LOG_ERROR("Unrecognized print language detected on JobId: %s on printer %s", ja->job_id,
                ja->printer_name);
      return ANALYZER_UNKNOWN_LANGUAGE;
    case AnalyzerKind::NEVER:
      LOG_ERROR("Should never see this. lang=%d", code);
      return ANALYZER_FAILED;
    case AnalyzerKind::STATUS:
      return 0;
    case AnalyzerKind::HBPL_TWO_STEP:
      return hbpl_two_step(row, data, length, color, ja);
    case AnalyzerKind::ANALYZE:
      break;
  }
  const AnalyzerFunc analyze = row.analyze();
  if (analyze == nullptr) return no_analyzer(code);
  return analyze(data, length, extra_argument(row, color), ja);
}

void log_head_and_tail(const mapped_mem& spool) {
  const std::uint64_t n = std::min(spool.size, ANALYZER_LOG_SPOOL_BYTES);
  LOG_DEBUG("Spool file size: length=%" PRIu64 ",size=%" PRIu64, spool.size, n);
  log_spool_bytes("Spool file begin", spool.data, n);
  log_spool_bytes("Spool file   end", spool.data + (spool.size - n), n);
}

void finish_analysed(const mapped_mem& spool, int color, JobAttribs* ja) {
  custom_metaddata_extract_username(spool.data, spool.size, ja->username, sizeof ja->username);
  std::uint64_t size = 0;
  std::int64_t size_bytes = static_cast<std::int64_t>(spool.size);
  if (os_file_size(spool.file, &size) != 0) {
    size_bytes = static_cast<std::int64_t>(std::min<std::uint64_t>(size, INT64_MAX));
    ja->size_kb = convert_bytes_to_kilobytes(size_bytes);
  }
  analyzer_log_ja("Analysis results", ja, color, size_bytes);
}

}  // namespace

int analyzer_process_spool_file(const char* path, int color, JobAttribs* ja) {
  const int result = analyzer_process_spool_file_internal(path, color, 0, ja);
  (void)saved_spool_save_if_rogue_job(path, ja);
  return result;
}

int analyzer_process_spool_file_internal(const char* path, int color, int detect_only,
                                         JobAttribs* ja) {
  if (!TV_ASSERT(ja != nullptr)) return ANALYZER_FAILED;
  if (path == nullptr || path[0] == '\0') {
    LOG_ERROR("Spool file not defined");
    return ANALYZER_FAILED;
  }
  if (ja->spool_file[0] == '\0') util_safe_strncpy(ja->spool_file, path, sizeof ja->spool_file);
  LOG_DEBUG("Analysing spool file: '%s'", path);
  const MappedMemPtr spool = open_and_map(path);
  if (!spool) return ANALYZER_FAILED;

  ja->size_kb = convert_bytes_to_kilobytes(static_cast<std::int64_t>(spool->size));
  ja->language = analyzer_lang_detect(spool->data, spool->size);
  if (detect_only != 0) {
    if (global_ctx.debug_logging != 0) {
      LOG_DEBUG("Language detected as: %s", analyzer_lang_to_string(ja->language));
    }
    return 0;
  }
  log_head_and_tail(*spool);
  const int result = dispatch(spool->data, spool->size, color, ja);
  if (result < 0) {
    LOG_DEBUG("Unable to analyse spool file: '%s'", path);
    return result;
  }
  finish_analysed(*spool, color, ja);
  return 0;
}

int analyzer_lang_detect_spool_file(const char* path) {
  const JobAttribsPtr ja(analyzer_create_job_attribs());
  if (!ja) return 0;
  if (analyzer_process_spool_file_internal(path, 0, 1, ja.get()) != 0) return 0;
  return ja->language;
}

void log_spool_bytes(const char* title, const std::uint8_t* bytes, std::uint64_t count) {
  if (global_ctx.debug_logging == 0) return;
  if (bytes == nullptr) count = 0;
  if (count > LOG_SPOOL_BYTES_MAX) count = LOG_SPOOL_BYTES_MAX;
  // Three characters a byte and the terminator.
  const TextPtr owned(static_cast<char*>(std::malloc(count * 3 + 1)));
  if (!owned) return;
  char* text = owned.get();
  static constexpr char HEX[] = "0123456789abcdef";
  for (std::uint64_t i = 0; i < count; ++i) {
    text[3 * i] = HEX[bytes[i] >> 4];
    text[3 * i + 1] = HEX[bytes[i] & 0x0f];
    text[3 * i + 2] = ',';
  }
  text[3 * count] = '\0';
  LOG_DEBUG("log_spool_bytes: %s: %s", title != nullptr ? title : "", text);
}
