#include "job/job_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_time.h"
#include "foundation/serialize.h"
#include "foundation/serialize_format.h"
#include "foundation/sha1.h"
#include "foundation/util.h"

namespace {

constexpr int JOURNAL_VERSION = 1;
constexpr const char JOURNAL_SUFFIX[] = ".state";

// The fingerprint: what makes a run the same job as an earlier one.
void compute_fingerprint(const JobAttribs* ja, const char* data_identity, char out[JA_UID_SIZE]) {
  std::string text;
  for (const char* part : {ja->job_id, ja->printer_name, ja->username, ja->document_name,
                           data_identity != nullptr ? data_identity : ""}) {
    text += part;
    text += '\x1f';  // a separator no part holds
  }
  if (!util_digest_sha1_hex(reinterpret_cast<const std::uint8_t*>(text.data()),
                            static_cast<std::uint32_t>(text.size()), out)) {
    out[0] = '\0';
  }
}

bool journal_path(const char* dir, const JobAttribs* ja, char* path) {
  std::string name = std::string(ja->printer_name) + "-" + ja->job_id + JOURNAL_SUFFIX;
  // Printer names and job ids come from CUPS: no path separators in the name.
  (void)util_sanitize_fname(name.data());
  return serialize_file_path(dir, name, path);
}

int pack_watermark(SerializeStore* s, const watermark_params& wm) {
  return serialize_pack_str(s, "wm_text", wm.text) &&
         serialize_pack_double(s, "wm_font_size", wm.font_size) &&
         serialize_pack_int(s, "wm_gray_level", wm.gray_level) &&
         serialize_pack_int(s, "wm_position", wm.position) &&
         serialize_pack_double(s, "wm_x", wm.x) && serialize_pack_double(s, "wm_y", wm.y) &&
         serialize_pack_int(s, "wm_default_page_a4", wm.default_page_a4) &&
         serialize_pack_int(s, "wm_force_duplex", wm.force_duplex) &&
         serialize_pack_int(s, "wm_force_grayscale", wm.force_grayscale) &&
         serialize_pack_int(s, "wm_copies", wm.copies) &&
         serialize_pack_int(s, "wm_gzip", wm.gzip);
}

int unpack_watermark(SerializeStore* s, watermark_params* wm) {
  return serialize_unpack_str(s, "wm_text", wm->text, sizeof wm->text) &&
         serialize_unpack_double(s, "wm_font_size", &wm->font_size) &&
         serialize_unpack_int(s, "wm_gray_level", &wm->gray_level) &&
         serialize_unpack_int(s, "wm_position", &wm->position) &&
         serialize_unpack_double(s, "wm_x", &wm->x) && serialize_unpack_double(s, "wm_y", &wm->y) &&
         serialize_unpack_int(s, "wm_default_page_a4", &wm->default_page_a4) &&
         serialize_unpack_int(s, "wm_force_duplex", &wm->force_duplex) &&
         serialize_unpack_int(s, "wm_force_grayscale", &wm->force_grayscale) &&
         serialize_unpack_int(s, "wm_copies", &wm->copies) &&
         serialize_unpack_int(s, "wm_gzip", &wm->gzip);
}

int pack_journal(SerializeStore* s, const JobJournal& j, int phase) {
  const ProcessJobResponse& r = j.response;
  return serialize_pack_int(s, "version", JOURNAL_VERSION) &&
         serialize_pack_str(s, "fingerprint", j.fingerprint) &&
         serialize_pack_int(s, "phase", phase) && serialize_pack_str(s, "job_uid", j.job_uid) &&
         serialize_pack_date(s, "submit_time", &j.submit_time) &&
         serialize_pack_int(s, "pages", j.pages) && serialize_pack_int(s, "copies", j.copies) &&
         serialize_pack_int(s, "status", r.status) &&
         serialize_pack_str(s, "redirect_server", r.redirect_server) &&
         serialize_pack_str(s, "redirect_printer", r.redirect_printer) &&
         serialize_pack_str(s, "redirect_uid", r.redirect_uid) && pack_watermark(s, r.wm);
}

// Reads an earlier entry into `j` (fingerprint included). 1 on success.
int unpack_journal(SerializeStore* s, JobJournal* j, char fingerprint[JA_UID_SIZE]) {
  ProcessJobResponse& r = j->response;
  int version = 0;
  return serialize_unpack_int(s, "version", &version) && version == JOURNAL_VERSION &&
         serialize_unpack_str(s, "fingerprint", fingerprint, JA_UID_SIZE) &&
         serialize_unpack_int(s, "phase", &j->found_phase) &&
         serialize_unpack_str(s, "job_uid", j->job_uid, sizeof j->job_uid) &&
         serialize_unpack_date(s, "submit_time", &j->submit_time) &&
         serialize_unpack_int(s, "pages", &j->pages) &&
         serialize_unpack_int(s, "copies", &j->copies) &&
         serialize_unpack_int(s, "status", &r.status) &&
         serialize_unpack_str(s, "redirect_server", r.redirect_server, sizeof r.redirect_server) &&
         serialize_unpack_str(s, "redirect_printer", r.redirect_printer,
                              sizeof r.redirect_printer) &&
         serialize_unpack_str(s, "redirect_uid", r.redirect_uid, sizeof r.redirect_uid) &&
         unpack_watermark(s, &r.wm);
}

// Reads what an earlier run of this job left; the journal stays new when
// there is nothing, or only an entry of another job.
void read_earlier(JobJournal* journal) {
  struct stat info {};
  if (stat(journal->path, &info) != 0) return;
  JobJournal earlier{};
  char fingerprint[JA_UID_SIZE] = {};
  SerializeStore* store = nullptr;
  int ok = serialize_open(&store, journal->path);
  if (ok) ok = unpack_journal(store, &earlier, fingerprint);
  if (store != nullptr && !serialize_close(store)) ok = 0;
  const bool usable = ok && std::strcmp(fingerprint, journal->fingerprint) == 0 &&
                      earlier.found_phase > JOURNAL_NONE && earlier.found_phase <= JOURNAL_DECIDED;
  if (!usable) {
    LOG_INFO("Dropping the job state \"%s\" of another job or an unreadable one", journal->path);
    (void)unlink(journal->path);
    return;
  }
  std::memcpy(earlier.path, journal->path, sizeof earlier.path);
  std::memcpy(earlier.fingerprint, journal->fingerprint, sizeof earlier.fingerprint);
  *journal = earlier;
}

int delete_if_old(const char* path, std::int64_t mtime, void* data) {
  const auto* limit = static_cast<const std::int64_t*>(data);
  const char* base = util_basename(path);
  const std::size_t length = std::strlen(base);
  const std::size_t suffix = sizeof JOURNAL_SUFFIX - 1;
  if (length <= suffix || std::strcmp(base + length - suffix, JOURNAL_SUFFIX) != 0) return 1;
  if (mtime >= *limit) return 1;
  if (unlink(path) == 0) LOG_DEBUG("Removed the job state of a job CUPS gave up on: %s", path);
  return 1;
}

}  // namespace

int job_journal_open(JobJournal* journal, const char* dir, const JobAttribs* ja,
                     const char* data_identity) {
  if (journal == nullptr) return -1;
  *journal = JobJournal{};
  if (ja == nullptr || dir == nullptr || dir[0] == '\0') return -1;
  if (!os_make_private_dir(dir, JOB_JOURNAL_DIR_MODE, OS_NO_GROUP) ||
      !journal_path(dir, ja, journal->path)) {
    journal->path[0] = '\0';
    LOG_ERROR("No job state can be kept for job %s on printer %s", ja->job_id, ja->printer_name);
    return -1;
  }
  compute_fingerprint(ja, data_identity, journal->fingerprint);
  read_earlier(journal);
  return 0;
}

int job_journal_record(JobJournal* journal, JobJournalPhase phase, const JobAttribs* ja,
                       const ProcessJobResponse* response) {
  if (journal == nullptr || journal->path[0] == '\0' || ja == nullptr) return -1;
  util_safe_strncpy(journal->job_uid, ja->job_uid, sizeof journal->job_uid);
  journal->submit_time = ja->submit_time;
  journal->pages = ja->pages;
  journal->copies = ja->copy_count;
  journal->response = response != nullptr ? *response : ProcessJobResponse{};
  SerializeStore* store = nullptr;
  if (!serialize_create(&store, journal->path)) return -1;
  // A retry comes from the same running system: the state must outlive the
  // process, not a power cut, and a flush to disk would cost every job.
  store->durable = false;
  const int packed = pack_journal(store, *journal, phase);
  const int closed = serialize_close(store);
  if (!packed || !closed) {
    LOG_ERROR("Unable to record the state of job %s: \"%s\"", ja->job_id, journal->path);
    return -1;
  }
  return 0;
}

void job_journal_restore(const JobJournal* journal, JobAttribs* ja) {
  if (journal == nullptr || ja == nullptr || journal->found_phase == JOURNAL_NONE) return;
  util_safe_strncpy(ja->job_uid, journal->job_uid, sizeof ja->job_uid);
  ja->submit_time = journal->submit_time;
  if (journal->found_phase == JOURNAL_DECIDED) {
    ja->pages = journal->pages;
    ja->copy_count = journal->copies;
  }
}

void job_journal_remove(JobJournal* journal) {
  if (journal == nullptr || journal->path[0] == '\0') return;
  if (unlink(journal->path) != 0 && errno != ENOENT) {
    LOG_LAST_SYSTEM_ERROR("Unable to remove the job state \"%s\"", journal->path);
  }
}

int job_journal_prune(const char* dir, std::int64_t max_age_secs) {
  std::int64_t limit = os_current_time_millis() / 1000 - max_age_secs;
  int count = 0;
  int stopped = 0;
  (void)os_forall_files_in_dir(dir, delete_if_old, &limit, 0, &count, &stopped);
  return count;
}

int job_journal_file_identity(const char* path, char* buffer, std::size_t size) {
  struct stat info {};
  if (path == nullptr || buffer == nullptr || size == 0 || stat(path, &info) != 0) return 0;
  const int n = std::snprintf(buffer, size, "%lld:%lld.%09ld:%llu",
                              static_cast<long long>(info.st_size),
                              static_cast<long long>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec,
                              static_cast<unsigned long long>(info.st_ino));
  return n > 0 && static_cast<std::size_t>(n) < size ? 1 : 0;
}

int job_journal_data_identity(const char* path, char* buffer, std::size_t size) {
  if (path == nullptr || buffer == nullptr || size == 0) return 0;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0) {
    if (fd >= 0) close(fd);
    return 0;
  }
  const auto length = static_cast<std::uint64_t>(info.st_size);
  std::string sample(2 * JOB_JOURNAL_DIGEST_SPAN, '\0');
  const std::size_t head = length < JOB_JOURNAL_DIGEST_SPAN ? length : JOB_JOURNAL_DIGEST_SPAN;
  const std::uint64_t tail_at = length > JOB_JOURNAL_DIGEST_SPAN ? length - JOB_JOURNAL_DIGEST_SPAN : 0;
  const ssize_t got_head = pread(fd, sample.data(), head, 0);
  const ssize_t got_tail = pread(fd, sample.data() + head, static_cast<std::size_t>(length - tail_at),
                                 static_cast<off_t>(tail_at));
  close(fd);
  if (got_head < 0 || got_tail < 0) return 0;
  char digest[JA_UID_SIZE];
  if (!util_digest_sha1_hex(reinterpret_cast<const std::uint8_t*>(sample.data()),
                            static_cast<std::uint32_t>(got_head + got_tail), digest)) {
    return 0;
  }
  const int n = std::snprintf(buffer, size, "%llu:%s", static_cast<unsigned long long>(length),
                              digest);
  return n > 0 && static_cast<std::size_t>(n) < size ? 1 : 0;
}
