// Job meta-data files: a job record kept for reporting to the server later.
#include "foundation/serialize_job.h"

#include <climits>
#include <cstring>
#include <string>

#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/serialize.h"
#include "foundation/serialize_format.h"
#include "foundation/util.h"

namespace {

// "yyyymmddThhmmss.dat": what follows "job-<printer>-<job id>-" in a
// timestamped name.
constexpr std::size_t TIMESTAMP_SUFFIX_LENGTH = 19;

std::string timestamped_name(const JobAttribs* ja) {
  const std::tm& t = ja->submit_time;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return std::string("job-") + ja->printer_name + "-" + ja->job_id + "-" + stamp + ".dat";
}

std::string short_name(const char* printer_name, const char* job_id) {
  return std::string("job-") + printer_name + "-" + job_id + ".dat";
}

// The size field holds 64-bit KiB; the file holds a signed 32-bit number.
int size_for_file(std::int64_t size_kb) {
  if (size_kb > INT_MAX) return INT_MAX;
  if (size_kb < INT_MIN) return INT_MIN;
  return static_cast<int>(size_kb);
}

int pack_job(SerializeStore* s, const JobAttribs* ja) {
  return serialize_pack_int(s, "version", SERIALIZE_JOB_VERSION) &&
         serialize_pack_date(s, "submit_time", &ja->submit_time) &&
         serialize_pack_str(s, "username", ja->username) &&
         serialize_pack_str(s, "document_name", ja->document_name) &&
         serialize_pack_str(s, "printer_name", ja->printer_name) &&
         serialize_pack_str(s, "server_name", ja->server_name) &&
         serialize_pack_str(s, "client_machine", ja->client_machine) &&
         serialize_pack_str(s, "client_ip", ja->client_ip) &&
         serialize_pack_str(s, "id", ja->job_id) &&
         serialize_pack_int(s, "language", ja->language) &&
         serialize_pack_int(s, "size", size_for_file(ja->size_kb)) &&
         serialize_pack_int(s, "pages", ja->pages) &&
         serialize_pack_int(s, "color_pages", ja->color_pages) &&
         serialize_pack_int(s, "copy_count", ja->copy_count) &&
         serialize_pack_boolean(s, "is_duplex", ja->is_duplex) &&
         serialize_pack_boolean(s, "is_grayscale", ja->is_grayscale) &&
         serialize_pack_int(s, "page_height_mm", ja->page_height_mm) &&
         serialize_pack_int(s, "page_width_mm", ja->page_width_mm) &&
         serialize_pack_str(s, "paper_size_name", ja->paper_size_name) &&
         serialize_pack_str(s, "printer_type", ja->printer_type) &&
         serialize_pack_str(s, "job_uid", ja->job_uid) &&
         serialize_pack_str(s, "archive_path", ja->archive_path) &&
         serialize_pack_str(s, "spool_file", ja_get_spool_file(ja)) &&
         serialize_pack_str(s, "hidden_spl_path", ja->hidden_spl_path);
}

int write_job(const char* dir, const std::string& name, const JobAttribs* ja) {
  char path[SERIALIZE_PATH_SIZE];
  if (!serialize_file_path(dir, name, path)) return 0;
  LOG_DEBUG("Writing persisted job meta-data: %s", path);
  LOG_DEBUG("language=%d,>printer_name='%s',printer_type='%s',print_processor='%s'", ja->language,
            ja->printer_name, ja->printer_type, ja->print_processor);
  SerializeStore* store = nullptr;
  if (!serialize_create(&store, path)) return 0;
  int ok = pack_job(store, ja);
  // Close even after a failed line; the store then keeps any previous file.
  int closed = serialize_close(store);
  return ok && closed ? 1 : 0;
}

// Fields of version 1 files.
int unpack_job_v1(SerializeStore* s, JobAttribs* ja, int* version) {
  int size = 0;
  int ok = serialize_unpack_int(s, "version", version) &&
           serialize_unpack_date(s, "submit_time", &ja->submit_time) &&
           serialize_unpack_str(s, "username", ja->username, sizeof ja->username) &&
           serialize_unpack_str(s, "document_name", ja->document_name, sizeof ja->document_name) &&
           serialize_unpack_str(s, "printer_name", ja->printer_name, sizeof ja->printer_name) &&
           serialize_unpack_str(s, "server_name", ja->server_name, sizeof ja->server_name) &&
           serialize_unpack_str(s, "client_machine", ja->client_machine,
                                sizeof ja->client_machine) &&
           serialize_unpack_str(s, "client_ip", ja->client_ip, sizeof ja->client_ip) &&
           serialize_unpack_str(s, "id", ja->job_id, sizeof ja->job_id) &&
           serialize_unpack_int(s, "language", &ja->language) &&
           serialize_unpack_int(s, "size", &size);
  if (!ok) return 0;
  ja->size_kb = size;
  return serialize_unpack_int(s, "pages", &ja->pages) &&
         serialize_unpack_int(s, "color_pages", &ja->color_pages) &&
         serialize_unpack_int(s, "copy_count", &ja->copy_count) &&
         serialize_unpack_boolean(s, "is_duplex", &ja->is_duplex) &&
         serialize_unpack_boolean(s, "is_grayscale", &ja->is_grayscale) &&
         serialize_unpack_int(s, "page_height_mm", &ja->page_height_mm) &&
         serialize_unpack_int(s, "page_width_mm", &ja->page_width_mm) &&
         serialize_unpack_str(s, "paper_size_name", ja->paper_size_name,
                              sizeof ja->paper_size_name);
}

// The "spool_file" line holds the path the job sees, which is the hidden one
// (up to 4095 characters) when that is set; the spool file field holds only
// 1023. Such a path is read whole and, being the hidden path, needs no copy.
int unpack_spool_files(SerializeStore* s, JobAttribs* ja) {
  char seen[JA_HIDDEN_PATH_SIZE];
  if (!serialize_unpack_str(s, "spool_file", seen, sizeof seen) ||
      !serialize_unpack_str(s, "hidden_spl_path", ja->hidden_spl_path,
                            sizeof ja->hidden_spl_path)) {
    return 0;
  }
  if (std::strlen(seen) < sizeof ja->spool_file) {
    std::memcpy(ja->spool_file, seen, std::strlen(seen) + 1);
    return 1;
  }
  if (std::strcmp(seen, ja->hidden_spl_path) == 0) return 1;
  LOG_ERROR("Value string is too long, \"%s\", from serialize file", seen);
  return 0;
}

int unpack_job(SerializeStore* s, JobAttribs* ja) {
  int version = 0;
  if (!unpack_job_v1(s, ja, &version)) return 0;
  if (version > 1 &&
      !serialize_unpack_str(s, "printer_type", ja->printer_type, sizeof ja->printer_type)) {
    return 0;
  }
  if (version > 2 &&
      !(serialize_unpack_str(s, "job_uid", ja->job_uid, sizeof ja->job_uid) &&
        serialize_unpack_str(s, "archive_path", ja->archive_path, sizeof ja->archive_path))) {
    return 0;
  }
  return version > 3 ? unpack_spool_files(s, ja) : 1;
}

// "yyyymmddThhmmss.dat" exactly: the rest of a name after the prefix. Anything
// else belongs to another printer or job whose name extends this one
// ("office" job 5 must not match printer "office-5").
bool is_timestamp_suffix(const char* rest) {
  if (std::strlen(rest) != TIMESTAMP_SUFFIX_LENGTH) return false;
  for (std::size_t i = 0; i < 15; ++i) {
    bool ok = i == 8 ? rest[i] == 'T' : (rest[i] >= '0' && rest[i] <= '9');
    if (!ok) return false;
  }
  return std::strcmp(rest + 15, ".dat") == 0;
}

struct DeleteWalk {
  std::string prefix;
  int deleted = 0;
};

int delete_if_job_file(const char* path, std::int64_t /*mtime*/, void* data) {
  auto* walk = static_cast<DeleteWalk*>(data);
  const char* base = util_basename(path);
  if (std::strncmp(base, walk->prefix.c_str(), walk->prefix.size()) != 0) return 1;
  if (!is_timestamp_suffix(base + walk->prefix.size())) return 1;
  LOG_DEBUG("Deleting persisted job meta-data: %s", path);
  if (os_file_delete(path)) {
    ++walk->deleted;
  } else {
    LOG_LAST_SYSTEM_ERROR("Unable to delete persisted file: \"%s\"", path);
  }
  return 1;
}

// The path of the job's file without a timestamp in `path`; false (logged as
// a DEBUG entry naming `purpose`) when it cannot be formed or does not exist.
bool existing_job_file(const char* dir, const char* printer_name, const char* job_id,
                       const char* purpose, char (&path)[SERIALIZE_PATH_SIZE]) {
  if (!serialize_file_path(dir, short_name(printer_name, job_id), path)) return false;
  if (!os_file_exists(path)) {
    LOG_DEBUG("Unable to find job meta-data (printer_name = %s, JobId: %s) to %s", printer_name,
              job_id, purpose);
    return false;
  }
  return true;
}

}  // namespace

int serialize_job_writeout(const char* dir, const JobAttribs* ja) {
  if (!TV_ASSERT(ja != nullptr)) return 0;
  return write_job(dir, timestamped_name(ja), ja);
}

int serialize_job_writeout_notimestamp(const char* dir, const JobAttribs* ja) {
  if (!TV_ASSERT(ja != nullptr)) return 0;
  return write_job(dir, short_name(ja->printer_name, ja->job_id), ja);
}

int serialize_job_readin(const char* path, JobAttribs* ja) {
  if (!TV_ASSERT(ja != nullptr && path != nullptr)) return 0;
  LOG_DEBUG("serialize_job_readin: path=%s", path);
  std::memset(static_cast<void*>(ja), 0, sizeof *ja);
  SerializeStore* store = nullptr;
  if (!serialize_open(&store, path)) return 0;
  int ok = unpack_job(store, ja);
  // Reads on to "#END"; a file without it still counts as read.
  (void)serialize_close(store);
  return ok;
}

int serialize_job_readin_notimestamp(const char* dir, const char* printer_name, const char* job_id,
                                     JobAttribs* ja) {
  if (!TV_ASSERT(printer_name != nullptr && job_id != nullptr)) return 0;
  char path[SERIALIZE_PATH_SIZE];
  if (!existing_job_file(dir, printer_name, job_id, "readin", path)) return 0;
  return serialize_job_readin(path, ja);
}

int serialize_job_delete(const char* dir, const char* printer_name, const char* job_id) {
  if (!TV_ASSERT(dir != nullptr && printer_name != nullptr && job_id != nullptr)) return 0;
  LOG_DEBUG("Deleting persisted job meta-data (printer_name = %s, job-id = %s)", printer_name,
            job_id);
  DeleteWalk walk;
  walk.prefix = std::string("job-") + printer_name + "-" + job_id + "-";
  (void)util_sanitize_fname(walk.prefix.data());
  int count = 0;
  int stopped = 0;
  if (!os_forall_files_in_dir(dir, delete_if_job_file, &walk, 0, &count, &stopped)) {
    LOG_DEBUG("Scan failed for deletion of serialized jobs");
    return 0;
  }
  if (walk.deleted == 0) {
    LOG_ERROR("Unable to find job (printer_name = %s, JobId: %s) to delete", printer_name, job_id);
    return 0;
  }
  return 1;
}

int serialize_job_delete_notimestamp(const char* dir, const char* printer_name,
                                     const char* job_id) {
  if (!TV_ASSERT(printer_name != nullptr && job_id != nullptr)) return 0;
  char path[SERIALIZE_PATH_SIZE];
  if (!existing_job_file(dir, printer_name, job_id, "delete", path)) return 0;
  if (!os_file_delete(path)) {
    LOG_LAST_SYSTEM_ERROR("Unable to delete persisted file: \"%s\"", path);
    return 0;
  }
  return 1;
}
