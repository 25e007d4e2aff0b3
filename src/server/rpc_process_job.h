// The server's decision for a job: the processPrintJob request, the answer's
// grammar decoded into a ProcessJobResponse, the policy that turns an ERROR
// decision or a failed call into a decision of our own, and the test whether
// a decision asks for the spool file to be rewritten.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/watermark.h"

struct JobAttribs;

enum ProcessJobStatus : int {
  PROCESS_JOB_PRINT = 0,
  PROCESS_JOB_CANCEL = 1,
  PROCESS_JOB_HOLD = 2,
  PROCESS_JOB_REDIRECT = 3,
  PROCESS_JOB_ERROR = 4,
};

// Buffer sizes (terminator included).
inline constexpr std::size_t REDIRECT_NAME_SIZE = 256;
inline constexpr std::size_t REDIRECT_UID_SIZE = 50;

// The decoded decision.
struct ProcessJobResponse {
  std::int32_t status;             // ProcessJobStatus
  std::int32_t hold_time_ms;
  std::int32_t long_hold_time_ms;  // 0: none
  char redirect_server[REDIRECT_NAME_SIZE];
  char redirect_printer[REDIRECT_NAME_SIZE];
  char redirect_uid[REDIRECT_UID_SIZE];
  watermark_params wm;
};

// A name and its code.
struct WatermarkMapEntry {
  const char* name;
  int value;
};
// "BLACK" 0, "DARK" 1, "MEDIUM" 2, "LIGHT" 3, "OUTLINE" 4.
extern const WatermarkMapEntry watermark_gray_level_map[5];
// "BOTTOM" 0, "TOP" 1, "CUSTOM" 2.
extern const WatermarkMapEntry watermark_position_map[3];

// Limits on the numbers of an answer; out-of-range values are clamped.
inline constexpr int ANSWER_DEFAULT_HOLD_MS = 10000;
inline constexpr int ANSWER_MIN_HOLD_MS = 250;
inline constexpr int ANSWER_MAX_HOLD_MS = 7 * 24 * 3600 * 1000;  // one week
inline constexpr int ANSWER_MAX_COPIES = 9999;
inline constexpr double ANSWER_MIN_FONT_SIZE = 5.0;
inline constexpr double ANSWER_MAX_FONT_SIZE = 1000.0;
inline constexpr double ANSWER_MAX_POSITION_MM = 5000.0;
// Hold on error when HoldJobOnErrorMs is 0 or below.
inline constexpr int HOLD_ON_ERROR_MIN_MS = 1000;
// Longest answer decoded for its keys (bytes).
inline constexpr std::size_t ANSWER_DECODE_MAX = 1023;

// The processPrintJob method for an env_version.
[[nodiscard]] const char* rpc_process_print_job_method(int env_version);

// Asks the server what to do with the job. `analysis_code` is sent and
// chooses the connect retries (0 when it is 1, else
// ProcessJobConnectRetries); `gzip` lets GzipCompress set the compression.
// 0 when a decision string was received (ERROR included), -1 when the call
// failed or the reply was not a string (status ERROR). The response is
// zeroed and filled in every case.
[[nodiscard]] int rpc_process_print_job(const JobAttribs* ja, int analysis_code,
                                        ProcessJobResponse* response, int gzip);

// rpc_process_print_job with analysis code 1 and no compression.
[[nodiscard]] int rpc_print_job_pre_notification(const JobAttribs* ja,
                                                 ProcessJobResponse* response);

// Decodes a decision answer into `response` (zeroed first) for the given
// env_version; `job_id` names the job in the log. An invalid answer gives
// status ERROR. The compression flag is left to the caller.
void rpc_process_job_decode_answer(const char* answer, int env_version, const char* job_id,
                                   ProcessJobResponse* response);

// Turns status ERROR into HOLD (held before, or failure mode HOLD) or PRINT
// (other modes; PRINT_NEW_WITH_REPLAY with analysis code 0 writes the job's
// meta-data file into JobReplaySpoolDir). Other statuses are left alone.
void rpc_handle_print_error_status(ProcessJobResponse* response, const JobAttribs* ja,
                                   int analysis_code, int failure_mode, int held_before);

// 1 when the parameters ask for a change of the print data: a watermark
// text, forced duplex, grayscale or copies, or (when `ignore_gzip` is 0)
// compression. Null gives 0.
[[nodiscard]] int modify_spool_file_has_work_to_do(const watermark_params* wm, int ignore_gzip);
