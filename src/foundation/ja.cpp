// The job record: creation, spool-file paths, the plain setters and the dump.
// The page-size and paper-name rules live in ja_page.cpp.
#include "foundation/ja.h"

#include <cstdlib>
#include <new>

#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/os_time.h"
#include "foundation/util.h"

namespace {

// "%s" of a missing text is undefined; log it as empty.
const char* text_or_empty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

JobAttribs* analyzer_create_job_attribs() {
  LOG_DEV("entering analyzer_create_job_attribs");
  // Value-initialised, padding included (the merge compares records byte
  // by byte): every field not named below starts zero or empty.
  auto* ja = new (std::nothrow) JobAttribs();
  if (ja == nullptr) {
    LOG_DEBUG("Unable to create JobAttribs structure");
    return nullptr;
  }
  (void)os_get_current_time(&ja->submit_time);
  ja->language = LANG_UNKNOWN;
  ja->pages = 0;
  ja->color_pages = -1;
  ja->copy_count = 1;
  ja->page_height_mm = -1;
  ja->page_width_mm = -1;
  return ja;
}

void analyzer_free_job_attribs(JobAttribs* ja) { delete ja; }

void ja_set_spool_file(JobAttribs* ja, const char* path) {
  if (!TV_ASSERT(ja != nullptr)) return;
  util_safe_strncpy(ja->spool_file, path, sizeof ja->spool_file);
}

const char* ja_get_original_spool_file(const JobAttribs* ja) {
  return ja != nullptr ? ja->spool_file : nullptr;
}

void ja_set_hidden_spool_file(JobAttribs* ja, const char* path) {
  if (!TV_ASSERT(ja != nullptr)) return;
  util_safe_strncpy(ja->hidden_spl_path, path, sizeof ja->hidden_spl_path);
}

int ja_has_hidden_spool_file(const JobAttribs* ja) {
  return ja != nullptr && ja->hidden_spl_path[0] != '\0' ? 1 : 0;
}

const char* ja_get_spool_file(const JobAttribs* ja) {
  if (ja == nullptr) return nullptr;
  return ja_has_hidden_spool_file(ja) ? ja->hidden_spl_path : ja->spool_file;
}

void ja_set_document_name_func(const char* file, int line, JobAttribs* ja, const char* name) {
  if (!TV_ASSERT(ja != nullptr)) return;
  if (name == nullptr) {
    log_error_printf_func(file, line, "ja_set_document_name: name=NULL");
    return;
  }
  log_debug_printf_func(file, line, "ja_set_document_name: name='%s',was='%s'", name,
                        ja->document_name);
  util_safe_strncpy(ja->document_name, name, sizeof ja->document_name);
}

void ja_set_printer_type_func(const char* file, int line, JobAttribs* ja, const char* name) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_printer_type: name='%s',was='%s'", text_or_empty(name),
                        ja->printer_type);
  util_safe_strncpy(ja->printer_type, name, sizeof ja->printer_type);
}

void ja_set_printer_name_func(const char* file, int line, JobAttribs* ja, const char* name) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_printer_name: name='%s',was='%s'", text_or_empty(name),
                        ja->printer_name);
  util_safe_strncpy(ja->printer_name, name, sizeof ja->printer_name);
}

void ja_set_copy_count_func(const char* file, int line, JobAttribs* ja, int n) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_copy_count: n=%d,was=%d", n, ja->copy_count);
  ja->copy_count = n;
}

void ja_set_color_pages_func(const char* file, int line, JobAttribs* ja, int n) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_color_pages: n=%d,was=%d", n, ja->color_pages);
  ja->color_pages = n;
}

void ja_set_pages_func(const char* file, int line, JobAttribs* ja, int pages) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_pages: pages=%d,was=%d", pages, ja->pages);
  ja->pages = pages;
}

void ja_set_is_tumble_func(const char* file, int line, JobAttribs* ja, int on) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_is_tumble: on=%d,was=%d", on, ja->is_tumble);
  ja->is_tumble = on;
}

void ja_set_is_duplex_func(const char* file, int line, JobAttribs* ja, int on) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_is_duplex: on=%d,was=%d", on, ja->is_duplex);
  ja->is_duplex = on;
}

void ja_set_is_grayscale_func(const char* file, int line, JobAttribs* ja, int on) {
  if (!TV_ASSERT(ja != nullptr)) return;
  log_debug_printf_func(file, line, "ja_set_is_grayscale: on=%d,was=%d", on, ja->is_grayscale);
  ja->is_grayscale = on;
}

void analyzer_log_ja(const char* heading, const JobAttribs* ja, int color, std::int64_t size_bytes) {
  if (ja == nullptr) return;
  // Attributed to the analyzer, whichever unit asked for the dump.
  constexpr const char* SOURCE = "analyzer";
  log_debug_printf_func(SOURCE, __LINE__, "%s: spool file=%s", text_or_empty(heading),
                        ja_get_spool_file(ja));
  log_debug_printf_func(SOURCE, __LINE__, "\tUsername: %s", ja->username);
  log_debug_printf_func(SOURCE, __LINE__, "\tLanguage: %s", analyzer_lang_to_string(ja->language));
  log_debug_printf_func(SOURCE, __LINE__, "\tDocument name: %s", ja->document_name);
  log_debug_printf_func(SOURCE, __LINE__, "\tFile size (KiB): %lld",
                        static_cast<long long>(ja->size_kb));
  if (size_bytes >= 0) {
    log_debug_printf_func(SOURCE, __LINE__, "\tFile size (bytes): %lld",
                          static_cast<long long>(size_bytes));
  }
  log_debug_printf_func(SOURCE, __LINE__, "\tPage count: %d", ja->pages);
  if (color) log_debug_printf_func(SOURCE, __LINE__, "\tColor page count: %d", ja->color_pages);
  log_debug_printf_func(SOURCE, __LINE__, "\tCopy count: %d", ja->copy_count);
  log_debug_printf_func(SOURCE, __LINE__, "\tIs Grayscale: %d", ja->is_grayscale);
  log_debug_printf_func(SOURCE, __LINE__, "\tIs Duplex: %d", ja->is_duplex);
  log_debug_printf_func(SOURCE, __LINE__, "\tPage height: %d", ja->page_height_mm);
  log_debug_printf_func(SOURCE, __LINE__, "\tPage width: %d", ja->page_width_mm);
  log_debug_printf_func(SOURCE, __LINE__, "\tPaper size name: %s", ja->paper_size_name);
}
