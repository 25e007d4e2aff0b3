// The serialize store: small text files of "key=value" lines written and read
// in one fixed key order, framed by "# TV Serialize Data" and "#END".
//
// Writing goes to a temporary file beside the target that serialize_close
// renames over it, so a reader never sees half a file and a failed write keeps
// the old one. Values holding a line feed are escaped (announced by a comment
// line that older readers skip); lines of any length read back.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>

enum SerializeDirection : int {
  SERIALIZE_WRITE = 0,
  SERIALIZE_READ = 1,
};

struct SerializeStore {
  std::string path;  // the target, copied: the caller's text may change or go
  std::FILE* stream;
  int direction;             // SerializeDirection
  std::string temp_path;     // writing: the file renamed over `path` on close
  bool failed;               // writing: a line failed; close keeps the old file
  bool next_value_escaped;   // reading: the next value line is escaped
  // writing: flush the file to the disk before it takes the target's place
  // (a file that must survive a power cut). Set by serialize_create; a store
  // whose file only has to survive its process may clear it before closing.
  bool durable = true;
};

// Creates the store for writing and writes the first line. 1 on success.
[[nodiscard]] int serialize_create(SerializeStore** out, const char* path);
// Opens a file for reading. 1 on success.
[[nodiscard]] int serialize_open(SerializeStore** out, const char* path);
// Writing: appends "#END" and puts the file in place. Reading: reads on to a
// line that is exactly "#END". Frees the store in every case (null ignored).
// 1 on success.
[[nodiscard]] int serialize_close(SerializeStore* store);

// One "key=value" line each; 1 on success.
[[nodiscard]] int serialize_pack_str(SerializeStore* store, const char* key, const char* value);
[[nodiscard]] int serialize_pack_int(SerializeStore* store, const char* key, int value);
[[nodiscard]] int serialize_pack_double(SerializeStore* store, const char* key, double value);
[[nodiscard]] int serialize_pack_boolean(SerializeStore* store, const char* key, int value);
// Date as "%04d%02d%02dT%02d:%02d:%02d" of the broken-down time.
[[nodiscard]] int serialize_pack_date(SerializeStore* store, const char* key, const std::tm* value);

// Read the next value line, which must carry `key`. 1 on success.
// A value too long for `size` bytes with its terminator fails.
[[nodiscard]] int serialize_unpack_str(SerializeStore* store, const char* key, char* buffer,
                                       std::size_t size);
// A value without a number stores 0 and still succeeds; numbers saturate.
[[nodiscard]] int serialize_unpack_int(SerializeStore* store, const char* key, int* value);
[[nodiscard]] int serialize_unpack_double(SerializeStore* store, const char* key, double* value);
// Exactly "TRUE" or "FALSE".
[[nodiscard]] int serialize_unpack_boolean(SerializeStore* store, const char* key, int* value);
// Sets year, month, day, hour, minute and second; other fields are kept.
[[nodiscard]] int serialize_unpack_date(SerializeStore* store, const char* key, std::tm* value);

// Gives the file the store's mode: the writer and the service account's
// group read it, nobody else. Failures are only logged.
void serialize_openup_permissions(const char* path);
