// Spool snapshots: debugging copies of the spool file at fixed points of the
// job flow, made only when Debug is "snapshot".
#pragma once

#include <cstddef>

inline constexpr std::size_t SNAPSHOT_PATH_SIZE = 4096;
inline constexpr const char SNAPSHOT_DEFAULT_DIR[] = "/tmp/";
inline constexpr const char SNAPSHOT_SUFFIX_POST_REDIRECT[] = "post-redirect";
inline constexpr const char SNAPSHOT_SUFFIX_PRE_REDIRECT[] = "pre-redirect";

// Links (or copies) the spool file to "spool-snapshot[-<suffix>].spl" in
// SpoolSnapShotDir (or /tmp/). The snapshot is first made under a fresh
// temporary name created exclusively without following symbolic links, then
// renamed over the final name, so a planted link is never written through.
// Returns the snapshot's path (one buffer that each call overwrites), or null
// when snapshots are off, the path is empty or the snapshot failed.
const char* take_spool_snapshot(const char* spool_file, const char* suffix);
