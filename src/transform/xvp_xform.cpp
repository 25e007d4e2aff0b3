// The edits of a transform run as one ReplacementList over the spool file.
#include "transform/xvp_xform.h"

#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "modify/preprocess.h"
#include "modify/replacement_list.h"
#include "scan/inline_copies.h"
#include "transform/xvp_logs.h"
#include "transform/xvp_statements.h"

namespace {

// Bytes of an edit's text shown by insertion_list_print.
constexpr std::size_t PRINTED_TEXT_MAX = 40;

bool has_edits_of_kind(const insertion_list& edits, std::int32_t kind) {
  for (const insertion& e : edits) {
    if (e.kind == kind) return true;
  }
  return false;
}

// A stripped copy of a job whose data was taken out of a wrapper first:
// its offsets are not the spool file's, so it goes out whole, as the list's
// modified file.
bool write_unwrapped(std::FILE* log, const mapped_mem* data, ReplacementList* strip,
                     std::int32_t n_repeats, ReplacementList* out) {
  char temp[OS_PATH_BUFFER_SIZE];
  if (!os_file_make_temp(temp, sizeof temp)) {
    XVP_ERROR(log, "Could not create temp file");
    return false;
  }
  if (!replacement_list_apply_to_file_copies(data->data, strip, temp, n_repeats) ||
      !replacement_list_set_modified_file(out, temp)) {
    (void)os_file_delete(temp);
    XVP_ERROR(log, "insertion_list_apply: could not write the stripped job");
    return false;
  }
  return true;
}

// Adds the edits that strip the job header to `out`.
bool strip_header(std::FILE* log, const mapped_mem* spool, int language, bool other_edits,
                  std::int32_t n_repeats, ReplacementList* out) {
  if (!preprocess_language_is_supported(language)) {
    XVP_DEBUG(log, "STRIP_HEADER: %s jobs have no job header to strip",
              analyzer_lang_to_string(language));
    return true;
  }
  mapped_mem* raw_mm = nullptr;
  ReplacementList* raw_list = nullptr;
  char unwrapped[OS_PATH_BUFFER_SIZE] = "";
  if (!preprocess_spool_file_int(spool->backing_file, language, &raw_mm, &raw_list, unwrapped,
                                 sizeof unwrapped, 0)) {
    XVP_ERROR(log, "STRIP_HEADER: the job header could not be stripped");
    return false;
  }
  const ReplacementListPtr strip(raw_list);
  bool ok = true;
  if (unwrapped[0] != '\0' || raw_mm->size != spool->size) {
    if (other_edits) {
      XVP_ERROR(log, "STRIP_HEADER: the job was unwrapped, so other edits cannot be placed");
      ok = false;
    } else {
      ok = write_unwrapped(log, raw_mm, strip.get(), n_repeats, out);
    }
  } else {
    ok = replacement_list_concat(out, strip.get()) == 1;
  }
  free_mapped_mem(&raw_mm);
  return ok;
}

// How a deletion meets the deletions already in the list.
enum class Overlap { NONE, SAME, PARTIAL };

Overlap deletion_overlap(const ReplacementList* list, std::uint64_t offset, std::uint64_t length,
                         const replacement_request** other) {
  Overlap found = Overlap::NONE;
  for (const replacement_request& r : list->replacements) {
    if (r.len == 0 || r.offset >= offset + length || offset >= r.offset + r.len) continue;
    *other = &r;
    if (r.offset != offset || r.len != length) return Overlap::PARTIAL;
    found = Overlap::SAME;
  }
  return found;
}

// The bytes an edit still has to delete. A deletion of exactly the bytes
// another edit deletes (STRIP_HEADER and a DELETE_UNTIL of the same header)
// is that one deletion: 0, and only the edit's text is added, in front of
// what follows. A deletion that cuts into another one has no single
// meaning: it is named here and the check of the whole list fails the run.
std::uint64_t deletion_to_append(std::FILE* log, const insertion& e, const ReplacementList* list) {
  if (e.length == 0 || e.offset < 0) return e.length;
  const auto offset = static_cast<std::uint64_t>(e.offset);
  if (e.length > UINT64_MAX - offset) return e.length;  // refused when appended
  const replacement_request* other = nullptr;
  switch (deletion_overlap(list, offset, e.length, &other)) {
    case Overlap::NONE:
      break;
    case Overlap::SAME:
      XVP_DEBUG(log, "%s: bytes %" PRIu64 " to %" PRIu64 " are deleted already: one deletion",
                e.name, offset, offset + e.length);
      return 0;
    case Overlap::PARTIAL:
      XVP_ERROR(log,
                "%s: deleting bytes %" PRIu64 " to %" PRIu64 " cuts into the deletion of bytes %" PRIu64
                " to %" PRIu64 " by another edit or the stripped job header",
                e.name, offset, offset + e.length, other->offset, other->offset + other->len);
      break;
  }
  return e.length;
}

bool append_edit(std::FILE* log, const insertion& e, ReplacementList* list) {
  const std::string& text = e.text;
  if (text.size() > static_cast<std::size_t>(INT32_MAX) - 1) {
    XVP_ERROR(log, "%s: text of %zu bytes is too long", e.name, text.size());
    return false;
  }
  const std::uint64_t length = deletion_to_append(log, e, list);
  if (length == 0 && e.length > 0 && text.empty()) return true;
  const int ok = text.empty()
                     ? replacement_list_append(list, e.offset, length, nullptr)
                     : replacement_list_append2(list, e.offset, length, text.data(), text.size());
  if (!ok) XVP_ERROR(log, "%s: edit at offset %" PRId64 " cannot be placed", e.name, e.offset);
  return ok == 1;
}

}  // namespace

int insertion_list_apply(std::FILE* job_log, const insertion_list& edits, const mapped_mem* spool,
                         std::int32_t n_repeats, int language, ReplacementList** out) {
  *out = nullptr;
  if (spool == nullptr || n_repeats < 1 || n_repeats > XVP_REPEAT_MAX) {
    XVP_ERROR(job_log, "insertion_list_apply: invalid params: n_repeats=%d", n_repeats);
    return 0;
  }
  ReplacementListPtr list(replacement_list_create(spool->size, -1, nullptr));
  if (list == nullptr) return 0;
  const bool other_edits = has_edits_of_kind(edits, XVP_INSERTION_EDIT);
  if (has_edits_of_kind(edits, XVP_INSERTION_STRIP_HEADER) &&
      !strip_header(job_log, spool, language, other_edits, n_repeats, list.get())) {
    return 0;
  }
  if (replacement_list_has_modified_file(list.get())) {
    *out = list.release();
    return 1;
  }
  for (const insertion& e : edits) {
    if (e.kind == XVP_INSERTION_EDIT && !append_edit(job_log, e, list.get())) return 0;
  }
  replacement_list_sort(list.get());
  if (!replacement_list_is_valid(spool->data, spool->size, list.get())) {
    XVP_ERROR(job_log, "insertion_list_apply: the edits overlap each other or the stripped "
                       "job header");
    return 0;
  }
  const std::uint64_t size = replacement_list_output_size(list.get());
  if (!check_inline_copies_size(n_repeats, size)) {
    XVP_ERROR(job_log, "insertion_list_apply: %d copies of %" PRIu64 " bytes exceed the limit of %" PRIu64
                       " bytes",
              n_repeats, size, INLINE_COPIES_MAX_BYTES);
    return 0;
  }
  replacement_list_set_inline_copies(list.get(), n_repeats);
  *out = list.release();
  return 1;
}

void insertion_list_print(std::FILE* job_log, const insertion_list& edits) {
  for (const insertion& e : edits) {
    std::string line(64 + PRINTED_TEXT_MAX, '\0');
    const int n = std::snprintf(line.data(), line.size(), "%20s: %7" PRId64 " %3" PRIu64, e.name,
                                e.offset, e.length);
    line.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    if (!e.text.empty()) {
      line += xvp_concat({": \"\"\"", std::string_view(e.text).substr(0, PRINTED_TEXT_MAX), "\"\"\""});
      if (e.text.size() > PRINTED_TEXT_MAX) line += " ...";
      line += xvp_concat({" [", std::to_string(e.text.size()), " bytes]"});
    }
    XVP_DEBUG(job_log, "%s", line.c_str());
  }
}
