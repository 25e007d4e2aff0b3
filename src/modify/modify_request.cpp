// The request as the driver takes it: whether the job's language can carry
// a watermark, the limits of every field, and the changes left undone.
#include <cmath>
#include <string>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "modify/modify_spool_file_internal.h"
#include "server/rpc_process_job.h"

namespace {

bool is_postscript(int language) {
  return language == LANG_POSTSCRIPT || language == LANG_POSTSCRIPT_CANON;
}
bool is_pcl5(int language) { return language == LANG_PCL5 || language == LANG_PCL5_CANON; }

// A PCL5 watermark is placed from the page's edges: it needs the page size,
// unless it goes to the top, which needs none. PostScript asks the page
// itself.
bool pcl5_page_known(const watermark_params& request, const JobAttribs* job) {
  return job->paper_size_name[0] != '\0' || job->page_height_mm > 0 ||
         request.position == WATERMARK_POSITION_TOP;
}

double clamp_coord(double value) {
  if (std::isnan(value)) return 0.0;
  return std::fmin(std::fmax(value, -WATERMARK_COORD_LIMIT), WATERMARK_COORD_LIMIT);
}

}  // namespace

int modify_watermark_language_ok(ModifyRun* run) {
  const watermark_params& request = run->request;
  if (request.text[0] == '\0') return 1;
  const int language = run->language;
  if (is_pcl5(language) && !pcl5_page_known(request, run->job)) {
    modify_write_error(run, "Page size could not be detected");
    LOG_ERROR("Page size not detected so watermark cannot be applied for PCL");
    return 0;
  }
  if (!is_postscript(language) && !is_pcl5(language) && language != LANG_PCL6) {
    modify_write_error(run,
                       "The print job is not PostScript or PCL which is required for "
                       "watermarking. Please check that the printer and driver are PostScript or "
                       "PCL.");
    LOG_INFO("Watermarks are not supported for language '%s' on printer '%s'. Watermark will not "
             "be applied.",
             analyzer_lang_to_string(language), run->job->printer_name);
    return 0;
  }
  LOG_DEV("Applying watermark text: %s", request.text);
  return 1;
}

void modify_clamp_request(watermark_params* request) {
  if (std::isnan(request->font_size) || request->font_size >= WATERMARK_FONT_SIZE_MAX) {
    request->font_size = WATERMARK_FONT_SIZE_MAX;
  } else if (request->font_size < WATERMARK_FONT_SIZE_MIN) {
    request->font_size = WATERMARK_FONT_SIZE_MIN;
  }
  if (request->gray_level < WATERMARK_GRAY_BLACK || request->gray_level > WATERMARK_GRAY_OUTLINE) {
    request->gray_level = WATERMARK_GRAY_MEDIUM;
  }
  if (request->position < WATERMARK_POSITION_BOTTOM ||
      request->position > WATERMARK_POSITION_CUSTOM) {
    request->position = WATERMARK_POSITION_BOTTOM;
  }
  request->x = clamp_coord(request->x);
  request->y = clamp_coord(request->y);
  // Every planner writes the count into a field of its own size (a CPCA
  // packet holds 16 bits); none may see more than the server may ask for.
  if (request->copies < 0) request->copies = 0;
  if (request->copies > ANSWER_MAX_COPIES) request->copies = ANSWER_MAX_COPIES;
  // The text is a C string whatever the caller left in the buffer.
  request->text[WATERMARK_TEXT_SIZE - 1] = '\0';
}

int modify_changes_not_done(const watermark_params* request, const msf_state& state, char* out,
                            std::size_t size) {
  std::string missing;
  if (request->text[0] != '\0' && !state.watermark) missing += "watermark,";
  if (request->force_duplex && !state.duplex) missing += "duplex,";
  if (request->force_grayscale && !state.grayscale) missing += "grayscale,";
  if (request->copies > 0 && !state.copies) missing += "copies,";
  if (!missing.empty()) missing.pop_back();  // the last separator
  util_safe_strncpy(out, missing.c_str(), size);
  return missing.empty() ? 0 : 1;
}
