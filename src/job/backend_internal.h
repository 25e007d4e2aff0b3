// Steps of the CUPS backend program shared between its source files.
#pragma once

#include <cstddef>

// The files of the running job that must not outlive it: removed by the
// crash handler and on the way out. Paths are copied; null or empty clears.
enum BackendFile : int { BACKEND_FILE_SPOOL = 0, BACKEND_FILE_COPIES = 1 };
void backend_track_file(BackendFile which, const char* path);
// The tracked path (empty when none).
[[nodiscard]] const char* backend_tracked_file(BackendFile which);

// SIGTERM (CUPS cancels the job): passed on to the real backend while it
// runs, otherwise a stop request (os_stop.h) that ends every wait at once.
// SIGPIPE ignored; the crash handler removes the tracked files.
void backend_install_signal_handlers();

// The spool tree of the job flow, each directory with the mode that keeps
// its files to the accounts that need them: created as needed, loosened
// modes tightened. Temporary files go to the private directory from then on;
// state left by jobs that CUPS gave up on is pruned. 1, or 0 (logged) when
// the spool files have nowhere safe to go.
[[nodiscard]] int backend_prepare_spool_tree();
