// Saved copies of unusually large jobs: in debug mode, a spool file whose
// analysis reports more pages or copies, or a larger page, than configured is
// copied to SavedSpoolDir as "savedspool.<yyyy-mm-dd>.<hh-mm-ss>.spl", keeping
// at most SavedSpoolKeepCount copies.
#pragma once

struct JobAttribs;

inline constexpr char SAVED_SPOOL_NAME[] = "savedspool";

// Saves a copy of the spool file when the analysis looks unusual. 1 when
// nothing had to be saved or the copy was saved, 0 when saving failed.
[[nodiscard]] int saved_spool_save_if_rogue_job(const char* spool_path, const JobAttribs* ja);
