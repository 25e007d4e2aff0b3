// Held jobs: a job that the server holds waits in its own process until the
// hold time is over or, with a long hold, until the server releases it. The
// release arrives as a server event in another process; the link between the
// two is a marker file "<job id>.hold" in HeldJobsSpoolDir.
#pragma once

#include <cstddef>
#include <cstdint>

struct SessionContext;

// Markers older than this are deleted when the event process starts.
inline constexpr std::int64_t HELD_JOB_MAX_AGE_SECS = 604800;
// Poll period of a long hold.
inline constexpr int HELD_JOB_POLL_MILLIS = 1000;

// Creates HeldJobsSpoolDir (one level), subscribes the HoldJob and UnholdJob
// callbacks to the server events and deletes markers older than seven days.
// 1 when both subscriptions were taken, else 0.
int held_job_manager_subscribe(SessionContext* ctx);

// Event callbacks: HoldJob creates the job's marker, UnholdJob deletes it.
void process_hold_event(const char* event_type, const char* job_id);
void process_unhold_event(const char* event_type, const char* job_id);

// 1 when the job's marker exists (0 for an empty id).
[[nodiscard]] int held_job_manager_is_job_held(const char* job_id);

// Delete any marker of the job; 1 when no marker is left.
int held_job_manager_newjob(const char* job_id);
int held_job_manager_completejob(const char* job_id);

// The marker path of a job id (cut at 254 characters, made file-safe) into
// `buffer`; 1 when it fits, 0 for an empty id or a path that does not fit.
[[nodiscard]] int held_job_manager_marker_path(const char* job_id, char* buffer,
                                               std::size_t size);

// Called once a second while a long hold polls.
using HeldJobPollCallback = void (*)(void* argument);

// Waits for a held job: a plain sleep of `hold_ms` unless hold_ms is below
// long_hold_ms and the job's marker exists; then polls once a second until
// the marker is gone or more than long_hold_ms have passed.
void held_job_manager_sleep_with_job_event_check(const char* job_id, std::int64_t hold_ms,
                                                 std::int64_t long_hold_ms);
void held_job_manager_sleep_with_job_event_check_cb(const char* job_id, std::int64_t hold_ms,
                                                    std::int64_t long_hold_ms, void* argument,
                                                    HeldJobPollCallback callback);
