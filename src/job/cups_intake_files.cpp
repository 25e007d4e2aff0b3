// CUPS's own files and environment: the job's data file, the choice of the
// file to archive, the CUPS version and the environment dump.
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analysis/analyzer.h"
#include "foundation/config.h"
#include "foundation/decimal.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "job/cups_intake.h"

namespace {

// PostScript, PostScript (Canon) and PDF: the languages worth archiving from
// CUPS's original data file rather than from the filtered spool file.
bool is_postscript_or_pdf(int language) { return language >= 1 && language <= 3; }

bool readable(const char* path) {
  LOG_DEBUG("Searching for cups spool file at: %s", path);
  return access(path, R_OK) == 0;
}

// 1 found, 0 not in this directory, -1 split job.
int find_in_dir(char* buffer, std::size_t size, const char* dir, int job_id) {
  char first[CUPS_ATTR_TEXT_SIZE];
  std::snprintf(first, sizeof first, "%s/d%05d-001", dir, job_id);
  if (readable(first)) {
    char second[CUPS_ATTR_TEXT_SIZE];
    std::snprintf(second, sizeof second, "%s/d%05d-002", dir, job_id);
    if (readable(second)) {
      LOG_DEBUG("CUPS spool file is split, do not use original spool for job: %d", job_id);
      return -1;
    }
    util_safe_strncpy(buffer, first, size);
    return 1;
  }
  char whole[CUPS_ATTR_TEXT_SIZE];
  std::snprintf(whole, sizeof whole, "%s/d%05d", dir, job_id);
  if (!readable(whole)) return 0;
  util_safe_strncpy(buffer, whole, size);
  return 1;
}

}  // namespace

int find_spool_file(char* buffer, std::size_t size, int job_id) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  LOG_DEBUG("Look for original spool file for job: %d", job_id);
  const char* configured = global_ctx.cups_spool_dir;
  if (configured[0] != '\0') {
    LOG_DEBUG("Using configured spool file dir: %s", configured);
    int found = find_in_dir(buffer, size, configured, job_id);
    if (found < 0) return 0;
    if (found > 0) {
      LOG_DEBUG("Found cups spool file at: %s", buffer);
      return 1;
    }
  }
  for (const char* dir : CUPS_SPOOL_DIRS) {
    int found = find_in_dir(buffer, size, dir, job_id);
    if (found < 0) return 0;
    if (found > 0) {
      LOG_DEBUG("Found cups spool file at: %s", buffer);
      return 1;
    }
  }
  LOG_DEBUG("Unable to find original CUPS spool file for job: %d", job_id);
  return 0;
}

int common_cups_get_archive_spool(JobAttribs* ja, char* buffer, std::size_t size) {
  LOG_DEBUG("Determine best spool to archive");
  if (ja == nullptr || buffer == nullptr || size == 0) return 0;
  if (is_postscript_or_pdf(ja->language)) {
    LOG_DEBUG("Filtered spool is Postscript or PDF use it.");
    return 0;
  }
  // The job id's leading number: no larger than an int, not negative.
  const DecimalRead id = decimal_read(ja->job_id);
  if (id.length == 0 || id.value < 0 || id.value > INT_MAX) return 0;
  const int job_id = static_cast<int>(id.value);
  char original[CUPS_ATTR_TEXT_SIZE];
  if (find_spool_file(original, sizeof original, job_id) == 0) return 0;
  if (!is_postscript_or_pdf(analyzer_lang_detect_spool_file(original))) return 0;
  LOG_DEBUG("Original spool is Postscript or PDF use it.");
  util_safe_strncpy(buffer, original, size);
  return 1;
}

float common_get_cups_version() {
  const char* software = std::getenv("SOFTWARE");
  float version = -1.0F;
  if (software != nullptr && util_strncase_equals(software, "CUPS/", 5) != 0) {
    const char* number = software + 5;
    float parsed = 0;
    auto [end, ec] = std::from_chars(number, number + std::strlen(number), parsed);
    (void)end;
    if (ec == std::errc()) version = parsed;
  }
  LOG_DEBUG("Found CUPS version of %f", static_cast<double>(version));
  return version;
}

void common_print_env_debug(const char* const* env) {
  LOG_DEBUG("Dumping Environment:");
  for (; env != nullptr && *env != nullptr; ++env) LOG_DEBUG("%s", *env);
}
