// Shared state of the logger's own files (not for other modules).
#pragma once

// The configured log path; empty until log_set_path.
const char* log_current_path();

// Opens the log file at `path` for appending: never through a symbolic link,
// only a regular file with no other names (a hard link planted at the log's
// name would make root append to someone else's file). A file this call
// creates gets mode 0660 and, when made by root, belongs to the service
// account, whose programs write the same log. The descriptor, or -1.
[[nodiscard]] int log_open_file(const char* path);
