// Named locks: cross-process exclusion through an exclusive lock on a lock
// file "<dir>/<name>.lock" (dir: the caller's, else TMPDIR, else /tmp). Lock
// files are never deleted. Results are 1 for success and 0 for failure.
#pragma once

#include "foundation/owned.h"

struct OsNamedLock;

// Opens or creates the lock file (mode 0600) into *lock; `dir` may be null.
[[nodiscard]] int os_namedlock_open(const char* dir, const char* name, OsNamedLock** lock);
// Takes the exclusive lock, waiting as long as another process holds it.
[[nodiscard]] int os_namedlock_lock(OsNamedLock* lock);
// Takes the exclusive lock only when no other holder has it: 1 when taken,
// 0 when it is held elsewhere (or on failure, logged).
[[nodiscard]] int os_namedlock_trylock(OsNamedLock* lock);
// Releases the lock.
[[nodiscard]] int os_namedlock_unlock(OsNamedLock* lock);
// Closes the file (releasing the lock) and frees the handle; null is ignored.
int os_namedlock_close(OsNamedLock* lock);
using OsNamedLockPtr = Owned<OsNamedLock, os_namedlock_close>;
