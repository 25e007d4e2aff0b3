// Keeping the shared log bounded. The event process runs all the time, so it
// rotates the log by LogRotateSizeKBytes and LogRotateNumber for every
// program that writes it; the rotation lock (foundation/log_rotate.cpp)
// keeps it from renaming the log while another process rotates. Backends
// that have the old log open finish their lines in it (now the newest
// numbered file) and open the new one with their next job.
#pragma once

#include <cstdint>

// Mode of a log directory that the event process makes (owned by root, group
// of the service account): the service account, which rotates, renames and
// creates files in it; nobody else gets in.
inline constexpr unsigned LOG_DIR_MODE = 0770;

// As root, before switching to the service account: makes the directory of
// the configured log when it does not exist yet (as above). An existing
// directory is left as it is, whoever owns it (it may be /var/log). 1 when
// the directory exists.
[[nodiscard]] int log_upkeep_prepare_dir();

// Rotates the log when it is larger than LogRotateSizeKBytes KiB, keeping
// LogRotateNumber numbered files (0 or 1: never rotated). A directory this
// process cannot write (the service account cannot rename files in /var/log)
// is reported once as an ERROR and the log is left alone. 1 when a rotation
// ran without failure, else 0 (also when none was due).
int log_upkeep_rotate_if_due();
