// The serialize store: "key=value" lines in a fixed order.
#include "foundation/serialize.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/os_process.h"
#include "foundation/os_dir.h"
#include "foundation/serialize_format.h"

namespace {

// Mode of every file the store writes (printer settings, replay data with
// user and document names): the writer and the service account's group read
// them, nobody else. The backend runs as root (CUPS runs a backend without
// execute permission for others as root); the service account's programs
// read through the group.
constexpr mode_t SERIALIZE_FILE_MODE = 0640;

// Gives a file that root writes to the service account's group.
void give_to_service_group(int fd) {
  if (geteuid() != 0) return;
  const long group = os_account_group(OS_SERVICE_ACCOUNT);
  if (group >= 0) (void)fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group));
}

void free_store(SerializeStore* store) { delete store; }

// The temporary file lives beside the target so that the rename stays on one
// file system; a short hidden name keeps it out of name-matching scans and
// within the length limit of a file name. The name carries the writer's
// process id, so that the file of a writer that died before its close can be
// told from one that is being written.
constexpr char TEMP_PREFIX[] = ".serialize-";

std::string directory_of(const char* path) {
  const std::string text(path);
  const std::size_t slash = text.find_last_of('/');
  return slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
}

std::string temp_template_for(const char* path) {
  return directory_of(path) + TEMP_PREFIX + std::to_string(getpid()) + "-XXXXXX";
}

// The writer's process id in a temporary file's name, 0 when the name is no
// temporary file of a store.
pid_t temp_writer(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const std::string_view name = slash != nullptr ? slash + 1 : path;
  if (!name.starts_with(TEMP_PREFIX)) return 0;
  const std::string_view rest = name.substr(std::strlen(TEMP_PREFIX));
  const DecimalRead pid = decimal_read(rest, DecimalSign::NONE);
  if (pid.length == 0 || pid.value <= 0 || pid.length >= rest.size() || rest[pid.length] != '-') {
    return 0;
  }
  return static_cast<pid_t>(decimal_clamp<pid_t>(pid.value));
}

int remove_if_writer_died(const char* path, std::int64_t /*mtime*/, void* /*data*/) {
  const pid_t writer = temp_writer(path);
  if (writer > 0 && kill(writer, 0) != 0 && errno == ESRCH && unlink(path) == 0) {
    LOG_DEBUG("Removed the temporary serialize file of a writer that ended: \"%s\"", path);
  }
  return 1;
}

// A writer killed between create and close leaves its temporary file behind;
// each write removes those of the target's directory whose writer is gone.
void remove_dead_writers_files(const char* path) {
  const std::string dir = directory_of(path);
  int count = 0;
  int stopped = 0;
  (void)os_forall_files_in_dir(dir.empty() ? "." : dir.c_str(), remove_if_writer_died, nullptr, 0,
                               &count, &stopped);
}

// Opens the temporary file for writing; 0 on failure (logged).
int open_temp(SerializeStore* store) {
  std::string name = temp_template_for(store->path.c_str());
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to create serialize file: \"%s\"", store->path.c_str());
    return 0;
  }
  store->temp_path = name;
  if (fchmod(fd, SERIALIZE_FILE_MODE) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to change the permissions on the serialize file: \"%s\"",
                                   name.c_str());
  }
  give_to_service_group(fd);
  store->stream = fdopen(fd, "w");
  if (store->stream == nullptr) {
    LOG_LAST_SYSTEM_ERROR("Unable to create serialize file: \"%s\"", store->path.c_str());
    close(fd);
    unlink(name.c_str());
    return 0;
  }
  return 1;
}

// Flushes the temporary file to disk and renames it over the target.
int finish_write(SerializeStore* store) {
  int ok = 1;
  if (std::fflush(store->stream) != 0 ||
      (store->durable && fsync(fileno(store->stream)) != 0)) {
    LOG_LAST_SYSTEM_ERROR("Unable to close serialize file");
    ok = 0;
  }
  if (std::fclose(store->stream) != 0 && ok) {
    LOG_LAST_SYSTEM_ERROR("Unable to close serialize file");
    ok = 0;
  }
  store->stream = nullptr;
  if (ok && rename(store->temp_path.c_str(), store->path.c_str()) != 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to create serialize file: \"%s\"", store->path.c_str());
    ok = 0;
  }
  if (!ok) unlink(store->temp_path.c_str());
  return ok;
}

int close_write(SerializeStore* store) {
  int ok = store->failed ? 0 : 1;
  if (std::fputs("#END\n", store->stream) == EOF) {
    LOG_ERROR("Unable to write terminator to serialize file");
    ok = 0;
  }
  if (!ok) {
    // Keep the previous file: a half-written one would read as a shorter one.
    std::fclose(store->stream);
    store->stream = nullptr;
    unlink(store->temp_path.c_str());
    return 0;
  }
  return finish_write(store);
}

int close_read(SerializeStore* store) {
  int ok = 0;
  std::string line;
  while (serialize_read_line(store->stream, &line)) {
    if (line == "#END") {
      LOG_DEV("Read in terminator: \"%s\"", line.c_str());
      ok = 1;
      break;
    }
  }
  if (!ok) LOG_ERROR("Unable to read line from serialize file to find terminator");
  if (std::fclose(store->stream) != 0) LOG_LAST_SYSTEM_ERROR("Unable to close serialize file");
  store->stream = nullptr;
  return ok;
}

// Writes "key=value", escaping a value that holds a line feed.
int write_pair(SerializeStore* store, const char* key, const char* value) {
  if (!TV_ASSERT(store != nullptr && store->direction == SERIALIZE_WRITE)) return 0;
  if (value == nullptr) value = "";
  int result = 0;
  if (std::strchr(value, '\n') != nullptr) {
    std::string escaped = serialize_escape_value(value);
    result = std::fprintf(store->stream, "%s\n%s=%s\n", SERIALIZE_ESCAPED_MARK, key, escaped.c_str());
  } else {
    result = std::fprintf(store->stream, "%s=%s\n", key, value);
  }
  if (result < 0) {
    store->failed = true;
    return 0;
  }
  return 1;
}

// Reads the next value line into *value; it must carry `key`.
int next_value(SerializeStore* store, const char* key, std::string* value) {
  if (!TV_ASSERT(store != nullptr && store->direction == SERIALIZE_READ)) return 0;
  std::string line;
  for (;;) {
    errno = 0;
    if (!serialize_read_line(store->stream, &line)) {
      LOG_ERROR("Unable to read line from serialize file. errno=%d", errno);
      return 0;
    }
    if (line.empty()) continue;
    if (line[0] != '#') break;
    if (line == SERIALIZE_ESCAPED_MARK) store->next_value_escaped = true;
  }
  bool escaped = store->next_value_escaped;
  store->next_value_escaped = false;
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) {
    LOG_ERROR("Unable to find \"=\" in serialize file for line: %s", line.c_str());
    return 0;
  }
  std::string found = line.substr(0, equals);
  if (found != key) {
    LOG_ERROR("Expected key, \"%s\", but got \"%s\"", key, found.c_str());
    return 0;
  }
  *value = line.substr(equals + 1);
  if (escaped) *value = serialize_unescape_value(*value);
  return 1;
}

}  // namespace

int serialize_create(SerializeStore** out, const char* path) {
  if (!TV_ASSERT(out != nullptr && path != nullptr)) return 0;
  *out = nullptr;
  auto* store = new (std::nothrow) SerializeStore{path, nullptr, SERIALIZE_WRITE, {}, false, false};
  if (store == nullptr) {
    LOG_ERROR("Failed serialize_create when allocating space for serialize store of size %d",
              static_cast<int>(sizeof(SerializeStore)));
    return 0;
  }
  remove_dead_writers_files(path);
  if (!open_temp(store)) {
    free_store(store);
    return 0;
  }
  if (std::fputs(SERIALIZE_MAGIC, store->stream) == EOF || std::fputc('\n', store->stream) == EOF) {
    LOG_LAST_SYSTEM_ERROR("Unable to write magic string to serialize file: \"%s\"", path);
    std::fclose(store->stream);
    unlink(store->temp_path.c_str());
    free_store(store);
    return 0;
  }
  *out = store;
  return 1;
}

int serialize_open(SerializeStore** out, const char* path) {
  if (!TV_ASSERT(out != nullptr && path != nullptr)) return 0;
  *out = nullptr;
  auto* store = new (std::nothrow) SerializeStore{path, nullptr, SERIALIZE_READ, {}, false, false};
  if (store == nullptr) {
    LOG_ERROR("Failed serialize_open when allocating space for serialize store of size %d",
              static_cast<int>(sizeof(SerializeStore)));
    return 0;
  }
  store->stream = std::fopen(path, "re");
  if (store->stream == nullptr) {
    LOG_LAST_SYSTEM_ERROR("Unable to open serialize file: \"%s\"", path);
    free_store(store);
    return 0;
  }
  *out = store;
  return 1;
}

int serialize_close(SerializeStore* store) {
  if (store == nullptr) return 0;
  int ok = 0;
  if (store->stream != nullptr) {
    ok = store->direction == SERIALIZE_WRITE ? close_write(store) : close_read(store);
  }
  free_store(store);
  return ok;
}

int serialize_pack_str(SerializeStore* store, const char* key, const char* value) {
  if (write_pair(store, key, value)) return 1;
  LOG_ERROR("Unable to write (key,value-str) pair, (%s,%s), to serialize file", key,
            value != nullptr ? value : "");
  return 0;
}

int serialize_pack_int(SerializeStore* store, const char* key, int value) {
  if (write_pair(store, key, std::to_string(value).c_str())) return 1;
  LOG_ERROR("Unable to write (key,value-int) pair, (%s,%d), to serialize file", key, value);
  return 0;
}

int serialize_pack_double(SerializeStore* store, const char* key, double value) {
  char text[512];
  std::snprintf(text, sizeof text, "%f", value);
  if (write_pair(store, key, text)) return 1;
  LOG_ERROR("Unable to write (key,value-int) pair, (%s,%f), to serialize file", key, value);
  return 0;
}

int serialize_pack_boolean(SerializeStore* store, const char* key, int value) {
  const char* text = value ? "TRUE" : "FALSE";
  if (write_pair(store, key, text)) return 1;
  LOG_ERROR("Unable to write (key,value-bool) pair, (%s,%s), to serialize file", key, text);
  return 0;
}

int serialize_pack_date(SerializeStore* store, const char* key, const std::tm* value) {
  if (!TV_ASSERT(value != nullptr)) return 0;
  char text[128];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d:%02d:%02d", value->tm_year + 1900,
                value->tm_mon + 1, value->tm_mday, value->tm_hour, value->tm_min, value->tm_sec);
  if (write_pair(store, key, text)) return 1;
  LOG_ERROR("Unable to write (key,value-str) pair, (%s,%s), to serialize file", key, text);
  return 0;
}

int serialize_unpack_str(SerializeStore* store, const char* key, char* buffer, std::size_t size) {
  std::string value;
  if (!next_value(store, key, &value)) return 0;
  if (buffer == nullptr || value.size() + 1 > size) {
    LOG_ERROR("Value string is too long, \"%s\", from serialize file", value.c_str());
    return 0;
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  LOG_DEBUG("serialize_unpack_str: key='%s',value_str='%s'", key, buffer);
  return 1;
}

int serialize_unpack_int(SerializeStore* store, const char* key, int* value) {
  std::string text;
  if (!next_value(store, key, &text)) return 0;
  if (!serialize_parse_int(text, value)) {
    LOG_ERROR("Could not parse an integer from serialize file, line: %s", text.c_str());
    *value = 0;
  }
  LOG_DEV("serialize_unpack_int: %d", *value);
  return 1;
}

int serialize_unpack_double(SerializeStore* store, const char* key, double* value) {
  std::string text;
  if (!next_value(store, key, &text)) return 0;
  if (!serialize_parse_double(text, value)) {
    LOG_ERROR("Could not parse a double from serialize file, line: %s", text.c_str());
    *value = 0;
  }
  LOG_DEV("serialize_unpack_double: %f", *value);
  return 1;
}

int serialize_unpack_boolean(SerializeStore* store, const char* key, int* value) {
  std::string text;
  if (!next_value(store, key, &text)) return 0;
  if (text == "TRUE" || text == "FALSE") {
    *value = text == "TRUE" ? 1 : 0;
    LOG_DEV("serialize_unpack_boolean: %d", *value);
    return 1;
  }
  LOG_ERROR("Boolean key, \"%s\", has non-boolean value: \"%s\"", key, text.c_str());
  return 0;
}

int serialize_unpack_date(SerializeStore* store, const char* key, std::tm* value) {
  char text[1024];
  if (!serialize_unpack_str(store, key, text, sizeof text)) return 0;
  int fields[6] = {};
  if (serialize_parse_date(text, fields) < 6) {
    LOG_ERROR("Unable to read date key, \"%s\", from serialize file, read str: \"%s\"", key, text);
    return 0;
  }
  value->tm_year = fields[0] - 1900;
  value->tm_mon = fields[1] - 1;
  value->tm_mday = fields[2];
  value->tm_hour = fields[3];
  value->tm_min = fields[4];
  value->tm_sec = fields[5];
  return 1;
}

void serialize_openup_permissions(const char* path) {
  if (path == nullptr || chmod(path, SERIALIZE_FILE_MODE) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Unable to change the permissions on the serialize file: \"%s\"",
                                   path != nullptr ? path : "");
  }
}
