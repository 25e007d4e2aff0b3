// What the parts of the modification driver share: the state of one run,
// the checks of the request, the reports, and the steps that other planners
// provide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "foundation/mapped_mem.h"
#include "foundation/watermark.h"
#include "modify/planner.h"
#include "modify/replacement_list.h"

struct JobAttribs;

// The user-facing error text of one run, messages separated by ";".
inline constexpr std::size_t MODIFY_ERROR_TEXT_SIZE = 256;
inline constexpr std::size_t MODIFY_ERROR_TEXT_MAX = 252;
// Room for "watermark,duplex,grayscale,copies".
inline constexpr std::size_t MODIFY_NOT_DONE_SIZE = 64;
// The JetReady and Ricoh checks look at the start of the job only.
inline constexpr std::uint64_t MODIFY_HEAD_WINDOW = 4000;

// Request limits.
inline constexpr double WATERMARK_FONT_SIZE_MIN = 5.0;
inline constexpr double WATERMARK_FONT_SIZE_MAX = 72.0;
inline constexpr double WATERMARK_COORD_LIMIT = 2880.0;  // points, 40 inches

struct ModifyRun {
  watermark_params request{};   // the clamped copy
  const watermark_params* asked = nullptr;  // the caller's, unclamped
  const JobAttribs* job = nullptr;
  const char* in_path = nullptr;
  int language = 0;
  MappedMemPtr mm;
  ReplacementListPtr list;
  std::uint64_t working_length = 0;  // what the planners see; may be one copy of the mapping
  bool attribute_planners_allowed = true;
  bool is_cpca = false;
  bool limited_by_packets = false;
  char error_text[MODIFY_ERROR_TEXT_SIZE] = {};
  char not_done[MODIFY_NOT_DONE_SIZE] = {};  // changes asked for but not carried out
};

// ---- the request ----

// 1 when the job's language can take the watermark asked for (always 1
// without a watermark); else the reason is added to the error text.
[[nodiscard]] int modify_watermark_language_ok(ModifyRun* run);
// Brings the request into range (font size, gray level, position,
// coordinates, copies).
void modify_clamp_request(watermark_params* request);
// Names the asked-for changes (compression not counted) whose msf_state flag
// no planner set, as "watermark,duplex" into `out`; 0 when all were done.
[[nodiscard]] int modify_changes_not_done(const watermark_params* request, const msf_state& state,
                                          char* out, std::size_t size);

// ---- reports ----

// Adds a message to the run's error text (";" between messages); a message
// that would make the text too long is logged and dropped.
void modify_write_error(ModifyRun* run, const char* message);
// A modification that succeeded without some of the changes asked for.
void report_partial_app_log(const char* not_done, const JobAttribs* job);

// ---- steps that other planners provide ----

// Offset of the "@PJL ENTER LANGUAGE" line and its language, or -1.
[[nodiscard]] std::int64_t modify_step_find_pjl_header(const std::uint8_t* data,
                                                       std::uint64_t length, char* language_name,
                                                       std::size_t size);
// The PJL planner, for jobs with a PJL header.
[[nodiscard]] int modify_step_plan_pjl(ModifyRun* run);
// The CPCA planner: may unwrap the job (re-pointing the mapping) and forbid
// the attribute planners.
[[nodiscard]] int modify_step_plan_cpca(ModifyRun* run);
// The custom planner, when custom tokens are loaded; -1 when none are.
[[nodiscard]] int modify_step_plan_custom(ModifyRun* run);
// CPCA packet lengths put right after planning, and the check of the result.
[[nodiscard]] int modify_step_adjust_packets(ModifyRun* run);
[[nodiscard]] int modify_step_check_cpca(ModifyRun* run);
// The print-ticket rewrite of a zipped XPS job, written to `out`.
[[nodiscard]] int modify_step_xps(const ModifyRun* run, std::FILE* out);

// ---- output ----

// How an output is opened.
enum class ModifyOutput {
  TRUNCATE,    // any file at the path, emptied (an output the caller named)
  CREATE_NEW,  // a name that must not exist yet: made exclusively, mode 0600
  FRESH_TEMP,  // the empty temporary file just made for it: opened as it is
};

// Opens an output for writing, never through a link planted at its name.
// A fresh temporary file is not truncated: a file system that flushes a
// truncated file when it is closed (ext4) would write the whole rewrite to
// disk before the job could go on. Null on failure.
[[nodiscard]] std::FILE* modify_open_output(const char* path, ModifyOutput how);

// ---- planning ----

// Creates the run's list and runs every planner over the mapped job, then
// replicates, compresses and checks the list. 1 when the list is ready to
// be written out.
[[nodiscard]] int modify_plan(ModifyRun* run);
