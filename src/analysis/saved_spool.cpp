// Saved copies of unusually large jobs, kept in debug mode so that a
// suspicious analysis can be examined later.
#include "analysis/saved_spool.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_time.h"
#include "foundation/regex.h"

namespace {

constexpr std::size_t SAVED_SPOOL_PATH_SIZE = 4096;
constexpr std::int64_t MM_PER_CM = 10;

bool is_unusual(const JobAttribs* ja) {
  const SessionContext& c = global_ctx;
  const std::int64_t max_mm = static_cast<std::int64_t>(c.saved_spool_max_dimension_cm) * MM_PER_CM;
  return ja->pages > c.saved_spool_max_pages || ja->copy_count > c.saved_spool_max_copies ||
         ja->page_width_mm > max_mm || ja->page_height_mm > max_mm;
}

void log_unusual(const JobAttribs* ja) {
  const SessionContext& c = global_ctx;
  char found[256];
  char limits[256];
  char job[4 * JA_TEXT_SIZE + 64];
  std::snprintf(found, sizeof found, "pages=%d,copy_count=%d,page_width_mm=%d,page_height_mm=%d",
                ja->pages, ja->copy_count, ja->page_width_mm, ja->page_height_mm);
  std::snprintf(limits, sizeof limits,
                "saved_spool_max_pages=%d,saved_spool_max_copies=%d,saved_spool_max_dimension_cm=%d",
                c.saved_spool_max_pages, c.saved_spool_max_copies, c.saved_spool_max_dimension_cm);
  std::snprintf(job, sizeof job, "Printer: %s, Document: %s, Printed by: %s, JobId: %s",
                ja->printer_name, ja->document_name, ja->username, ja->job_id);
  LOG_INFO("saved_spool_save_if_rogue_job: A print job has returned an unusual analysis. "
           "%s,(%s),%s",
           found, limits, job);
}

struct Listing {
  const Regex* name_pattern;
  std::vector<std::string> paths;
};

// Lists a file when its own name, whole, is a saved copy's: a file that only
// holds such a name (an admin's "savedspool....spl.keep") is not ours to
// delete.
int collect_saved(const char* path, std::int64_t /*mtime*/, void* data) {
  auto* listing = static_cast<Listing*>(data);
  const char* slash = std::strrchr(path, '/');
  const char* name = slash != nullptr ? slash + 1 : path;
  if (regex_match(listing->name_pattern, name, std::strlen(name)) != 0) {
    listing->paths.emplace_back(path);
  }
  return 1;
}

// Deletes the oldest copies so that, with the new one, at most `keep` remain
// (a keep count of 0 or below deletes them all). 1 when the new copy may be
// written.
int delete_old_files(const char* dir, int keep) {
  std::string pattern = "^";
  pattern.append(SAVED_SPOOL_NAME).append(R"(\.\d+-\d+-\d+\.\d+-\d+-\d+\.spl\z)");
  const RegexPtr regex(regex_compile(pattern.c_str(), 0));
  if (!regex) return 0;
  Listing listing{regex.get(), {}};
  int count = 0;
  int stopped = 0;
  const int walked = os_forall_files_in_dir(dir, collect_saved, &listing, 0, &count, &stopped);
  if (walked == 0) {
    LOG_DEBUG("saved_spool_delete_old_files: Scan failed for deletion of old files. "
              "saved_spool_dir='%s'",
              dir);
    return 0;
  }
  const std::size_t n = listing.paths.size();
  LOG_DEBUG("saved_spool_delete_old_files: n_saved_jobs=%d,saved_spool_dir='%s'",
            static_cast<int>(n), dir);
  const std::size_t kept = static_cast<std::size_t>(std::max(keep, 0));
  if (n < kept || n == 0) return 1;
  // The names carry the time of saving, so path order is age order.
  std::sort(listing.paths.begin(), listing.paths.end());
  const std::size_t doomed = std::min(n, n - kept + 1);
  int ok = 1;
  for (std::size_t i = 0; i < doomed; ++i) {
    if (os_file_delete(listing.paths[i].c_str()) == 0) {
      LOG_LAST_SYSTEM_ERROR("saved_spool_delete_old_files: Could not delete. path='%s'",
                            listing.paths[i].c_str());
      ok = 0;
    }
  }
  return ok;
}

int save_copy(const char* spool_path, const char* dir, const JobAttribs* ja) {
  std::tm now{};
  if (os_get_current_time(&now) == 0) return 0;
  char name[128];
  std::snprintf(name, sizeof name, "%s.%04d-%02d-%02d.%02d-%02d-%02d.spl", SAVED_SPOOL_NAME,
                now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min,
                now.tm_sec);
  char save_path[SAVED_SPOOL_PATH_SIZE];
  if (os_cat_path(save_path, sizeof save_path, dir, name) == 0) {
    LOG_LAST_SYSTEM_ERROR("saved_spool_file_save: saved_spool_build_path failed.");
    return 0;
  }
  if (os_file_copy(spool_path, save_path) == 0) {
    LOG_LAST_SYSTEM_ERROR("saved_spool_file_save: os_file_copy failed. spool_path='%s',save_path='%s'",
                          spool_path, save_path);
    return 0;
  }
  LOG_INFO("saved_spool_file_save : Saved spool file. save_path='%s',JobId: %s", save_path,
           ja->job_id);
  return 1;
}

}  // namespace

int saved_spool_save_if_rogue_job(const char* spool_path, const JobAttribs* ja) {
  if (global_ctx.debug_logging == 0 || ja == nullptr || spool_path == nullptr) return 1;
  if (!is_unusual(ja)) return 1;
  const char* dir = global_ctx.saved_spool_dir;
  if (dir[0] == '\0') {
    LOG_ERROR("saved_spool_save_if_rogue_job: global_ctx.saved_spool_dir is not defined. Cannot "
              "save job.");
    return 1;
  }
  log_unusual(ja);
  if (delete_old_files(dir, global_ctx.saved_spool_keep_count) == 0) return 0;
  return save_copy(spool_path, dir, ja);
}
