// The entry points the job flow calls for a redirected job: whether the
// target printer has transform work, and the run that turns the chosen
// script's edits into a ReplacementList over the spool file.
#include <cinttypes>
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/util.h"
#include "modify/replacement_list.h"
#include "server/rpc_calls.h"
#include "transform/xvp_file.h"
#include "transform/xvp_logs.h"
#include "transform/xvp_xform.h"

namespace {

constexpr char GLOBAL_POSTSCRIPT_DRIVER[] = "Torvelle Global PostScript";
constexpr char SEPARATOR[] = "------------------------------------------------------------";

const char* text_or_empty(const char* text) { return text != nullptr ? text : ""; }

void log_no_script(const JobAttribs* ja, bool language, const char* target_name,
                   const char* target_type) {
  if (!language) {
    LOG_DEBUG("There are no transforms for printer language '%s'",
              analyzer_lang_to_string(ja->language));
  } else {
    LOG_DEBUG("There are no transforms for source printer_name='%s', printer_type='%s'",
              ja->printer_name, ja->printer_type);
  }
  if (global_ctx.xvp_test_mode) {
    LOG_INFO("TRANSFORM LOGGING: No transform selected for language='%s',printer_name='%s',"
             "printer_type='%s',target_printer_name='%s',target_printer_type='%s'",
             analyzer_lang_to_string(ja->language), ja->printer_name, ja->printer_type,
             text_or_empty(target_name), text_or_empty(target_type));
  }
}

void write_job_log_header(const interpreter* in, const char* spool_path, const char* script) {
  XVP_DEBUG(in->job_log, "%s version %s", UTIL_PRODUCT_NAME, UTIL_PRODUCT_VERSION);
  XVP_DEBUG(in->job_log, "Original spool file: %s", spool_path);
  XVP_DEBUG(in->job_log, "Transform file: %s", script);
  XVP_DEBUG(in->job_log, "%s", SEPARATOR);
}

// Runs the script and makes the list; 1 or 0.
int run_and_apply(interpreter* in, const mapped_mem* mm, const char* spool_path,
                  const char* script, ReplacementList** out) {
  if (!interpreter_parse(in, script)) return 0;
  for (XvpVariable& v : in->variables) snap_token(&v.value);
  XVP_DEBUG(in->job_log, "Internal state of interpeter");
  xvp_print_token_dict(in->job_log, in->variables, "Variables");
  XVP_DEBUG(in->job_log, "%s", SEPARATOR);
  XVP_DEBUG(in->job_log, "Applying %zu replacements to '%s'", in->edits.size(), spool_path);
  insertion_list_print(in->job_log, in->edits);
  if (!insertion_list_apply(in->job_log, in->edits, mm, in->n_repeats, in->ja.language, out)) {
    XVP_ERROR(in->job_log, "Could not apply insertions: n_insertions=%zu", in->edits.size());
    return 0;
  }
  return 1;
}

// Test mode: the notice, the rewrite written at once, and the copies of the
// spool file before and after kept beside the job log.
int finish_test_mode(const interpreter* in, const JobAttribs* ja, const char* spool_path,
                     ReplacementList* list, int quiet) {
  LOG_INFO("TRANSFORM LOGGING IS ENABLED! server='%s',printer='%s'.log='%s'", ja->server_name,
           ja->printer_name, in->job_log_path);
  if (!quiet) {
    (void)rpc_log_messagef(global_ctx.server_name, RPC_LOG_INFORMATION,
                           "Transform logging is enabled for server='%s',printer='%s'. See "
                           "spoolwarden.log for details.",
                           ja->server_name, ja->printer_name);
  }
  const int applied = list != nullptr && replacement_list_force_apply(list, spool_path);
  xvp_save_spool_files(ja->job_id, 1, spool_path,
                       applied ? replacement_list_get_modified_file(list) : nullptr);
  return applied;
}

}  // namespace

int xvp_is_enabled() {
  return global_ctx.env_version >= ENV_VER_11_XVP && global_ctx.xvp_enabled ? 1 : 0;
}

int xvp_has_work_to_do(const JobAttribs* ja, const char* target_printer_name,
                       const char* target_printer_type) {
  if (ja == nullptr) return 0;
  if (!xvp_is_enabled()) {
    LOG_DEBUG("XVP: Not enabled. env_version=%d,xvp_enabled=%d", global_ctx.env_version,
              global_ctx.xvp_enabled);
    return 0;
  }
  if (ja->printer_type[0] != '\0' && target_printer_type != nullptr &&
      std::strcmp(ja->printer_type, target_printer_type) == 0) {
    LOG_DEBUG("XVP: target printer driver is same as source: %s", ja->printer_type);
    return 0;
  }
  if (ja->printer_name[0] != '\0' && target_printer_name != nullptr &&
      std::strcmp(ja->printer_name, target_printer_name) == 0) {
    LOG_DEBUG("XVP: target printer is same as source: %s", ja->printer_name);
    return 0;
  }
  bool language = false;
  bool source = false;
  (void)xvp_select_script(ja, target_printer_name, target_printer_type, &language, &source);
  if (!language && !os_file_exists(global_ctx.xvp_scripts_dir_path)) {
    LOG_ERROR("xvp_scripts_dir_path='%s' does not exist for global_ctx.env_version=%d",
              global_ctx.xvp_scripts_dir_path, global_ctx.env_version);
  }
  const int has_work = source ? 1 : 0;
  if (global_ctx.xvp_test_mode) {
    LOG_INFO("TRANSFORM LOGGING: WORK TO DO? language='%s',printer_name='%s',printer_type='%s',"
             "target_printer_name='%s',target_printer_type='%s',has_work=%d",
             analyzer_lang_to_string(ja->language), ja->printer_name, ja->printer_type,
             text_or_empty(target_printer_name), text_or_empty(target_printer_type), has_work);
  }
  return has_work;
}

int xvp_generate_replacements(const JobAttribs* ja, const char* target_printer_name,
                              const char* target_printer_type, const char* script_path,
                              const char* spool_path, ReplacementList** out, int quiet) {
  if (out == nullptr) return 0;
  *out = nullptr;
  if (ja == nullptr || util_is_string_empty(spool_path)) {
    LOG_ERROR("xvp_generate_replacements_set_path: invalid parameters");
    return 0;
  }
  if (target_printer_type != nullptr &&
      std::strcmp(target_printer_type, GLOBAL_POSTSCRIPT_DRIVER) == 0) {
    LOG_INFO("xvp_generate_replacements_set_path: Is this a real printer? "
             "target_printer_name='%s', target_printer_type='%s'",
             text_or_empty(target_printer_name), target_printer_type);
  }
  std::uint64_t size = 0;
  if (!os_file_size_by_path(spool_path, &size)) return 0;
  std::string script = text_or_empty(script_path);
  bool language = false;
  if (script.empty()) {
    script = xvp_select_script(ja, target_printer_name, target_printer_type, &language, nullptr);
  }
  if (script.empty()) {
    log_no_script(ja, language, target_printer_name, target_printer_type);
    *out = replacement_list_create(size, -1, nullptr);
    return *out != nullptr ? 1 : 0;
  }
  LOG_DEBUG("xvp_generate_replacements_set_path: recipe_path='%s',test_mode=%d", script.c_str(),
            global_ctx.xvp_test_mode);
  mapped_mem* mm = create_mapped_mem(spool_path);
  if (mm == nullptr) return 0;
  InterpreterPtr in(interpreter_create(mm, ja, global_ctx.xvp_test_mode));
  ReplacementList* raw_list = nullptr;
  int ok = 0;
  if (in == nullptr) LOG_ERROR("xvp_cook_mem failed!");
  if (in != nullptr) {
    write_job_log_header(in.get(), spool_path, script.c_str());
    ok = run_and_apply(in.get(), mm, spool_path, script.c_str(), &raw_list);
    ReplacementListPtr list(raw_list);
    if (in->test_mode && !finish_test_mode(in.get(), ja, spool_path, list.get(), quiet)) ok = 0;
    if (!ok) XVP_ERROR(in->job_log, "xvp_cook_mem failed!");
    raw_list = ok ? list.release() : nullptr;
  }
  in.reset();
  free_mapped_mem(&mm);
  *out = raw_list;
  return ok;
}
