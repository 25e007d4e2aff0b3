// The modification driver: the request checked against the job, the mapped
// job handed to the planners, the result written out, and on failure the
// user told why.
#include "modify/modify_spool_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/util.h"
#include "modify/modify_spool_file_internal.h"
#include "modify/planner_table.h"
#include "scan/lang_detect.h"
#include "server/rpc_process_job.h"

namespace {

constexpr char TEMP_SUFFIX[] = ".tm";
constexpr std::size_t OUT_PATH_MIN = 5;

bool head_contains(const mapped_mem* mm, std::string_view needle) {
  const std::string_view head(reinterpret_cast<const char*>(mm->data),
                              std::min(mm->size, MODIFY_HEAD_WINDOW));
  return head.find(needle) != std::string_view::npos;
}

void log_start(const ModifyRun* run) {
  const JobAttribs* job = run->job;
  LOG_DEBUG("modify_spool_file_new_file_handle: JobId: %s,language='%s'(%d),filename='%s',"
            "printer_type='%s',printer_name='%s'",
            job->job_id, analyzer_lang_to_string(job->language), job->language, run->in_path,
            job->printer_type, job->printer_name);
}

void log_request(const ModifyRun* run) {
  const JobAttribs* job = run->job;
  const watermark_params& r = run->request;
  LOG_DEV("entering plan_replacements");
  LOG_DEBUG("plan_replacements: JobId: %s,doc='%s',language='%s',printer_type='%s',"
            "print_processor='%s',size=%" PRIu64 ":duplex=%d,grayscale=%d,copies=%d,"
            "watermark='%s',compress_method=%d",
            job->job_id, job->document_name, analyzer_lang_to_string(run->language),
            job->printer_type, job->print_processor, run->mm->size, r.force_duplex,
            r.force_grayscale, r.copies, r.text, r.gzip);
}

// Old Ricoh PCL XL drivers name their colour mode in a comment the printer
// insists on; unless the site allows the conversion, grayscale is dropped.
void drop_rpjl_grayscale(ModifyRun* run) {
  if (!run->request.force_grayscale || run->language != LANG_PCL6 ||
      global_ctx.convert_grayscale_rpjl || !head_contains(run->mm.get(), "@PJL COMMENT RPJL,WIN2000,PCL6C")) {
    return;
  }
  const char* message =
      "Cannot convert RPJL print jobs to grayscale. Set ConvertGrayscaleRPJL=on in "
      "spoolwadren.conf to convert RJPL to grayscale";
  modify_write_error(run, message);
  LOG_ERROR("%s", message);
  run->request.force_grayscale = 0;
}

bool is_zip(const mapped_mem* mm) {
  return mm->size > 3 && mm->data[0] == 'P' && mm->data[1] == 'K';
}

// A job taken for XPS that is not a zip package is planned as what it is.
// 1 when it is handed to the XPS rewrite.
bool goes_to_xps(ModifyRun* run) {
  if (run->language != LANG_XPS) return false;
  if (is_zip(run->mm.get())) return true;
  run->language = analyzer_lang_detect(run->mm->data, run->mm->size);
  LOG_DEBUG("modify_spool_file_new_file_handle: Found XPS recoded as '%s' (%d)",
            analyzer_lang_to_string(run->language), run->language);
  return run->language == LANG_XPS;
}

void log_done(const ModifyRun* run) {
  const watermark_params& r = run->request;
  std::string forced;
  if (r.force_duplex) forced += "duplex,";
  if (r.force_grayscale) forced += "grayscale,";
  if (r.copies > 0) forced += "copies=" + std::to_string(r.copies) + ",";
  if (!forced.empty()) LOG_DEBUG("Forced %s", forced.c_str());
  if (r.text[0] != '\0') {
    LOG_DEBUG("Applied watermark '%s' to '%s'", r.text, run->job->document_name);
  }
}

// Steps of one modification up to the written output; false on failure.
bool modify_run(ModifyRun* run, std::FILE* out, int* out_written) {
  log_start(run);
  if (!modify_watermark_language_ok(run)) return false;
  run->mm.reset(create_mapped_mem(run->in_path));
  if (run->mm == nullptr) {
    LOG_ERROR("Could not create mapped_mem");
    return false;
  }
  if (run->language == LANG_PCL6 && head_contains(run->mm.get(), "JetReady")) {
    modify_write_error(run, "Cannot modify JetReady print jobs");
    LOG_ERROR("Cannot modify JetReady print jobs");
    return false;
  }
  if (goes_to_xps(run)) {
    if (out_written != nullptr) *out_written = 1;
    if (!modify_step_xps(run, out)) {
      LOG_ERROR("Could not modify XPS");
      return false;
    }
    return true;
  }
  modify_clamp_request(&run->request);
  log_request(run);
  drop_rpjl_grayscale(run);
  if (!modify_spool_file_has_work_to_do(&run->request, 0)) {
    LOG_ERROR("plan_replacements: no work to do");
    LOG_ERROR("Could not create replacement_list");
    return false;
  }
  if (!modify_plan(run)) return false;
  if (out_written != nullptr) *out_written = 1;
  if (!replacement_list_apply_mapped_to_file_handle(run->mm.get(), run->list.get(), out)) {
    LOG_ERROR("Could not write the modified spool file");
    return false;
  }
  log_done(run);
  return true;
}

void report_failure(const ModifyRun* run) {
  if (run->asked->text[0] != '\0') {
    report_error_app_log("Could not watermark. Please check that printer and driver are "
                         "PostScript or PCL.",
                         run->job, nullptr);
  }
  if (run->error_text[0] != '\0') report_error_app_log(run->error_text, run->job, nullptr);
}

enum class WriteResult { NOT_OPENED, FAILED, WRITTEN };

// Runs the modification into `path`; the output is closed in every case.
WriteResult write_output(const watermark_params* request, const JobAttribs* job,
                         const char* in_path, const char* path, ModifyOutput how) {
  std::FILE* out = modify_open_output(path, how);
  if (out == nullptr) {
    LOG_ERROR("modify_spool_file_new_file: Could not open %s %d:%s", path, errno,
              std::strerror(errno));
    return WriteResult::NOT_OPENED;
  }
  const int ok = modify_spool_file_new_file_handle(request, job, in_path, out, nullptr);
  // Buffered output is only on disk once the close succeeded.
  const bool closed = std::fclose(out) == 0;
  if (!closed) LOG_LAST_SYSTEM_ERROR("modify_spool_file_new_file: Could not close '%s'", path);
  return ok == 1 && closed ? WriteResult::WRITTEN : WriteResult::FAILED;
}

void delete_output(const char* path) {
  LOG_DEBUG("Deleting '%s'", path);
  (void)os_file_delete(path);
}

}  // namespace

std::FILE* modify_open_output(const char* path, ModifyOutput how) {
  if (how == ModifyOutput::TRUNCATE) return os_fopen(path, "wb");
  const int flags = how == ModifyOutput::CREATE_NEW ? O_CREAT | O_EXCL : 0;
  const int fd = open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | flags, 0600);
  if (fd < 0) {
    LOG_LAST_SYSTEM_ERROR("modify_spool_file_to_temp_file: Could not open '%s'", path);
    return nullptr;
  }
  std::FILE* out = fdopen(fd, "wb");
  if (out == nullptr) close(fd);
  return out;
}

int modify_spool_file_new_file_handle(const watermark_params* request, const JobAttribs* job,
                                      const char* in_path, std::FILE* out, int* out_written) {
  if (out_written != nullptr) *out_written = 0;
  if (request == nullptr || job == nullptr || util_is_string_empty(in_path) || out == nullptr) {
    LOG_ERROR("modify_spool_file_new_file_handle: invalid params");
    return 0;
  }
  ModifyRun run;
  run.request = *request;
  run.asked = request;
  run.job = job;
  run.in_path = in_path;
  run.language = job->language;
  if (!modify_run(&run, out, out_written)) {
    report_failure(&run);
    return 0;
  }
  if (run.not_done[0] != '\0') report_partial_app_log(run.not_done, job);
  return 1;
}

int modify_spool_file_new_file(const watermark_params* request, const JobAttribs* job,
                               const char* in_path, const char* out_path) {
  if (util_is_string_empty(in_path) || util_is_string_empty(out_path)) {
    LOG_ERROR("modify_spool_file_new_file: invalid params");
    return 0;
  }
  if (std::strcmp(in_path, out_path) == 0) {
    LOG_ERROR("modify_spool_file_new_file: cannot modify file to itself: in_filename='%s'",
              in_path);
    return 0;
  }
  const WriteResult result =
      write_output(request, job, in_path, out_path, ModifyOutput::TRUNCATE);
  if (result == WriteResult::WRITTEN) return 1;
  if (result == WriteResult::FAILED) delete_output(out_path);
  return 0;
}

int modify_spool_file_to_temp_file(const watermark_params* request, const JobAttribs* job,
                                   const char* in_path, char* out_path, std::size_t size) {
  if (out_path == nullptr || size < OUT_PATH_MIN || in_path == out_path ||
      util_is_string_empty(in_path)) {
    LOG_ERROR("modify_spool_file_to_temp_file: invalid params");
    return 0;
  }
  if (!os_file_make_temp(out_path, size)) {
    LOG_ERROR("Could not create temp file");
    out_path[0] = '\0';
    return 0;
  }
  ModifyOutput how = ModifyOutput::FRESH_TEMP;
  if (std::strcmp(out_path, in_path) == 0) {
    // The input is a temporary file itself: write beside it, under a name
    // that must be new.
    if (std::strlen(out_path) + sizeof TEMP_SUFFIX > size) {
      LOG_ERROR("modify_spool_file_to_temp_file: invalid params");
      out_path[0] = '\0';
      return 0;
    }
    std::strcat(out_path, TEMP_SUFFIX);
    how = ModifyOutput::CREATE_NEW;
  }
  const WriteResult result = write_output(request, job, in_path, out_path, how);
  if (result == WriteResult::WRITTEN) return 1;
  // A name that was taken already is someone else's file: left alone.
  if (result == WriteResult::FAILED || how != ModifyOutput::CREATE_NEW) delete_output(out_path);
  out_path[0] = '\0';
  return 0;
}
