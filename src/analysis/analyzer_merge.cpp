// The merge of an analysis record into the job record that the spooler
// described: which side wins for each attribute.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "analysis/analyzer.h"
#include "analysis/custom_metadata.h"
#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/log.h"
#include "foundation/util.h"

namespace {

void fill_if_empty(char* target, const char* source, std::size_t size) {
  if (target[0] == '\0') util_safe_strncpy(target, source, size);
}

void merge_flags(JobAttribs* j, const JobAttribs* a, int keep) {
  if (keep != 0) {
    if (j->is_duplex == 0) j->is_duplex = a->is_duplex;
    if (j->is_tumble == 0) j->is_tumble = a->is_tumble;
    if (j->is_grayscale == 0) j->is_grayscale = a->is_grayscale;
  } else {
    j->is_duplex = a->is_duplex;
    j->is_tumble = a->is_tumble;
    j->is_grayscale = a->is_grayscale;
  }
}

// CUPS raster pages already hold the spooler's copies. When the analysis
// counted the raster pages, they replace the page count (merge_pages) with
// every copy in them, so the copies are billed once: copies become 1. A
// raster whose headers ask the printer for copies (NumCopies 2 or more,
// read by the analysis) holds each page once: those copies stand.
// Otherwise the spooler's pages are divided by its copies where they can be.
void merge_copies(JobAttribs* j, const JobAttribs* a) {
  if (a->language == LANG_CUPS_RASTER) {
    if (a->pages >= 1 && a->copy_count >= 2) {
      j->copy_count = a->copy_count;
    } else if (a->pages < 1 && j->copy_count >= 2 && j->pages % j->copy_count == 0) {
      j->pages /= j->copy_count;
    } else {
      j->copy_count = 1;
    }
    LOG_DEBUG("CUPS raster detected.  Pages: %d, Copies: %d", j->pages, j->copy_count);
  } else if (a->copy_count > 1) {
    j->copy_count = a->copy_count;
  }
}

// Colour pages go on only as the analysis judged them: 0 or more when its
// analyzer judged every page (0: judged, gray), -1 (not counted) otherwise,
// so that colour nobody looked at is never billed as gray. Without colour
// detection nothing is counted. Where the analysis found no pages the
// spooler's count stands, and no page of it was judged.
void merge_colour(JobAttribs* j, const JobAttribs* a, int color) {
  if (color == 0) {
    j->color_pages = -1;
    return;
  }
  const char* language = analyzer_lang_to_string(a->language);
  if (a->pages < 1) {
    LOG_INFO("Colour pages of the %s job not judged: the analysis found no pages; sent as not "
             "counted", language);
    j->color_pages = -1;
  } else if (a->color_pages >= 0) {
    j->color_pages = a->color_pages;
  } else if (a->color_pages == COLOR_PAGES_UNJUDGED) {
    LOG_INFO("Colour pages of the %s job could not be judged: sent as not counted", language);
    j->color_pages = -1;
  } else {
    LOG_INFO("Colour pages of the %s job not judged by the analyzer: sent as not counted",
             language);
    j->color_pages = -1;
  }
}

void merge_pages(JobAttribs* j, const JobAttribs* a, int color, int n_up) {
  if (a->pages >= 1) {
    j->pages = a->pages;
  } else if (j->pages < 1) {
    j->pages = 1;
  }
  merge_colour(j, a, color);
  if (n_up >= 2) {
    LOG_DEBUG("Applying n_up to spool file page count: n_up=%d, spool_pages=%d", n_up, j->pages);
    const std::int64_t sheets = (static_cast<std::int64_t>(j->pages) + n_up - 1) / n_up;
    j->pages = static_cast<std::int32_t>(sheets);
  }
  if (j->color_pages > j->pages) j->color_pages = j->pages;
}

void merge_paper(JobAttribs* j, const JobAttribs* a) {
  if (a->paper_size_name[0] == '\0' && !(a->page_width_mm > 0 && a->page_height_mm > 0)) return;
  util_safe_strncpy(j->paper_size_name, a->paper_size_name, sizeof j->paper_size_name);
  j->page_width_mm = a->page_width_mm;
  j->page_height_mm = a->page_height_mm;
}

void merge_names(JobAttribs* j, const JobAttribs* a) {
  fill_if_empty(j->spool_file, a->spool_file, sizeof j->spool_file);
  fill_if_empty(j->printer_name, a->printer_name, sizeof j->printer_name);
  fill_if_empty(j->printer_type, a->printer_type, sizeof j->printer_type);
}

void merge_owner_and_document(JobAttribs* j, const JobAttribs* a) {
  if (a->client_machine[0] != '\0') {
    util_safe_strncpy(j->client_machine, a->client_machine, sizeof j->client_machine);
  }
  if (custom_metadata_is_replace_username() != 0 && a->username[0] != '\0' &&
      std::strcmp(a->username, j->username) != 0) {
    LOG_DEBUG("Updating username: '%s' => '%s'", j->username, a->username);
    util_safe_strncpy(j->username, a->username, sizeof j->username);
  }
  if (j->document_name[0] != '\0' && a->document_name[0] != '\0' &&
      (util_case_equal_str(j->document_name, "Remote Downlevel Document") != 0 ||
       util_case_equal_str(j->document_name, "Local Downlevel Document") != 0)) {
    LOG_DEBUG("Document name is Remote Downlevel Document, so setting to spool name of %s",
              a->document_name);
    util_safe_strncpy(j->document_name, a->document_name, sizeof j->document_name);
  }
}

}  // namespace

void analyzer_splice_job_attribs(JobAttribs* j, const JobAttribs* a, int color, int keep,
                                 int n_up) {
  if (!TV_ASSERT(j != nullptr && a != nullptr)) return;
  j->language = a->language;
  j->size_kb = a->size_kb;
  merge_flags(j, a, keep);
  merge_copies(j, a);
  merge_pages(j, a, color, n_up);
  merge_names(j, a);
  merge_paper(j, a);
  merge_owner_and_document(j, a);
  if (std::memcmp(j, a, sizeof *j) != 0) {
    analyzer_log_ja("Analysis results adjusted for OS values", j, color, -1);
  }
}

void analyzer_self_splice_job_attribs(JobAttribs* ja, int color) {
  if (!TV_ASSERT(ja != nullptr)) return;
  JobAttribsPtr fresh(analyzer_create_job_attribs());
  if (!fresh) return;
  // The merge decides the counts, flags and paper; every other field (job id,
  // user, document, times, paths) is the record's own and must survive, so
  // the merge target is the record itself with only those attributes at
  // their start values.
  JobAttribs target = *ja;
  target.pages = fresh->pages;
  target.color_pages = fresh->color_pages;
  target.copy_count = fresh->copy_count;
  target.is_duplex = fresh->is_duplex;
  target.is_tumble = fresh->is_tumble;
  target.is_grayscale = fresh->is_grayscale;
  std::memcpy(target.paper_size_name, fresh->paper_size_name, sizeof target.paper_size_name);
  target.page_width_mm = fresh->page_width_mm;
  target.page_height_mm = fresh->page_height_mm;
  analyzer_splice_job_attribs(&target, ja, color, 1, -1);
  *ja = target;
}
