// The replacement list record: creation, appending, order, checks, the
// modified file and the field accessors. Writing the rewrite is in
// replacement_list_write.cpp.
#include "modify/replacement_list.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/util.h"

namespace {

// Process-wide append counter, only for logs.
std::int32_t global_id = 0;

bool present(const ReplacementList* list, const char* operation) {
  if (list != nullptr) return true;
  LOG_ERROR("%s: replacement_list == NULL", operation);
  return false;
}

bool request_before(const replacement_request& a, const replacement_request& b) {
  if (a.offset != b.offset) return a.offset < b.offset;
  if (a.priority != b.priority) return a.priority < b.priority;
  if (a.len != b.len) return a.len > b.len;  // the longer deletion first
  return a.order < b.order;
}

// Deep copy of one request; false when memory runs out. A request without
// insertion (a pure deletion) copies as one.
bool clone_request(const replacement_request& from, replacement_request* to) {
  to->offset = from.offset;
  to->len = from.len;
  to->order = from.order;
  to->priority = from.priority;
  to->id = from.id;
  to->insertion.reset();
  if (from.insertion == nullptr) return true;
  to->insertion.reset(bstrcpy(from.insertion.get()));
  if (to->insertion == nullptr) {
    LOG_ERROR("replacement_request_clone: bstrcpy failed");
    return false;
  }
  return true;
}

// Copies every field but the requests and the modified file.
void copy_fields(ReplacementList* to, const ReplacementList* from) {
  to->buffer_len = from->buffer_len;
  to->state = from->state;
  to->end_of_pjl = from->end_of_pjl;
  std::memcpy(to->language_name, from->language_name, sizeof to->language_name);
  to->inline_copies = from->inline_copies;
  to->modified_inline_copies = from->modified_inline_copies;
  to->post_processed = from->post_processed;
  to->packet_adjuster = from->packet_adjuster;
  to->packet_inserter = from->packet_inserter;
  to->offset_in_main_file = from->offset_in_main_file;
  std::memcpy(to->buffer_file, from->buffer_file, sizeof to->buffer_file);
  to->modified_file[0] = '\0';
}

// Deep copies of the source's requests, or false (logged).
bool clone_requests(const ReplacementList* from, std::vector<replacement_request>* out) {
  try {
    out->clear();
    out->resize(from->replacements.size());
  } catch (const std::bad_alloc&) {
    LOG_ERROR("replacement_list_clone: calloc failed");
    return false;
  }
  for (std::size_t i = 0; i < from->replacements.size(); ++i) {
    if (!clone_request(from->replacements[i], &(*out)[i])) return false;
  }
  return true;
}

void delete_modified_file(ReplacementList* list) {
  if (list->modified_file[0] == '\0') return;
  if (!os_file_delete(list->modified_file)) {
    LOG_LAST_SYSTEM_ERROR("_replacement_list_free_contents: could not free modified_file='%s'",
                          list->modified_file);
  }
  list->modified_file[0] = '\0';
}

// The insertion bytes shown by the dump: printable bytes as they are but
// "%" as "!", others as \xHH; at most 60 bytes of the insertion.
std::string printable_insertion(const_bstring insertion) {
  std::string out;
  const int n = std::min(blength(insertion), 60);
  for (int i = 0; i < n; ++i) {
    const auto byte = static_cast<unsigned char>(insertion->data[i]);
    if (byte == '%') {
      out += '!';
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += static_cast<char>(byte);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

// Length field of a CPCA packet header held by an insertion, -1 for other
// insertions.
int cpca_length_of(const_bstring insertion) {
  if (blength(insertion) < 10) return -1;
  if (insertion->data[0] != 0xCD || insertion->data[1] != 0xCA) return -1;
  return (insertion->data[8] << 8) | insertion->data[9];
}

// Formats the first broken rule of a sorted list into `message`; false when
// the list is valid. Deletions are checked against the furthest end of all
// earlier deletions, not only the neighbour's: a deletion that starts inside
// any earlier deletion overlaps it.
bool find_invalid_rule(const ReplacementList* list, char* message, std::size_t size) {
  const auto& r = list->replacements;
  if (r.empty()) return false;
  for (std::size_t i = 0; i < r.size(); ++i) {
    if (r[i].offset > list->buffer_len || r[i].len > list->buffer_len - r[i].offset) {
      std::snprintf(message, size,
                    "i=%zu: r->offset + r->len > replacement_list->buffer_len: %" PRIu64
                    " + %" PRIu64 " > %" PRIu64,
                    i, r[i].offset, r[i].len, list->buffer_len);
      return true;
    }
  }
  std::size_t widest = 0;  // the deletion reaching furthest so far
  bool any_deletion = r[0].len > 0;
  for (std::size_t i2 = 1; i2 < r.size(); ++i2) {
    const std::size_t i1 = i2 - 1;
    const replacement_request& r1 = r[i1];
    const replacement_request& r2 = r[i2];
    const replacement_request& d = r[widest];
    if (any_deletion && r2.len > 0 && d.offset + d.len > r2.offset) {
      std::snprintf(message, size,
                    "i1=%zu,i2=%zu: r1->offset + r1->len > r2->offset: %" PRIu64 " + %" PRIu64
                    " > %" PRIu64,
                    widest, i2, d.offset, d.len, r2.offset);
      return true;
    }
    const char* broken = nullptr;
    if (r1.offset > r2.offset) {
      broken = "bad offset sort";
    } else if (r1.offset == r2.offset && r1.priority > r2.priority) {
      broken = "bad priority sort";
    } else if (r1.offset == r2.offset && r1.priority == r2.priority &&
               (r1.len < r2.len || (r1.len == r2.len && r1.order > r2.order))) {
      broken = "bad order sort";
    }
    if (broken != nullptr) {
      std::snprintf(message, size, "i1=%zu,i2=%zu: %s", i1, i2, broken);
      return true;
    }
    if (r2.len > 0 && (!any_deletion || r2.offset + r2.len > d.offset + d.len)) widest = i2;
    any_deletion = any_deletion || r2.len > 0;
  }
  return false;
}

void invalid_list_hook(const ReplacementList* list, const char* message) {
  LOG_ERROR("Invalid ReplacementList: %s", message);
  LOG_ERROR("replacement_list=%p", static_cast<const void*>(list));
  LOG_ERROR("n_replacements=%zu", list->replacements.size());
  LOG_ERROR("replacement_list->replacements=%p", static_cast<const void*>(&list->replacements));
  replacement_list_log(list, message);
}

}  // namespace

ReplacementList* replacement_list_create(std::uint64_t buffer_len, std::int64_t end_of_pjl,
                                         const char* language_name) {
  (void)TV_ASSERT(buffer_len > 0);
  auto* list = new (std::nothrow) ReplacementList{};
  if (list == nullptr) {
    LOG_ERROR("replacement_list_create: calloc failed");
    return nullptr;
  }
  list->buffer_len = buffer_len;
  list->end_of_pjl = end_of_pjl;
  util_safe_strncpy(list->language_name, language_name, sizeof list->language_name);
  return list;
}

void replacement_list_free(ReplacementList* list) {
  if (list == nullptr) return;
  delete_modified_file(list);
  delete list;
}

ReplacementList* replacement_list_clone(const ReplacementList* list) {
  if (!present(list, "replacement_list_clone")) return nullptr;
  ReplacementListPtr copy(new (std::nothrow) ReplacementList{});
  if (copy == nullptr) {
    LOG_ERROR("replacement_list_clone: calloc failed");
    return nullptr;
  }
  copy_fields(copy.get(), list);
  if (!clone_requests(list, &copy->replacements)) return nullptr;
  if (!TV_ASSERT(copy->replacements.size() == list->replacements.size())) return nullptr;
  return copy.release();
}

int replacement_list_assign(ReplacementList* target, const ReplacementList* source) {
  if (!present(target, "replacement_list_assign") || !present(source, "replacement_list_assign"))
    return 0;
  if (target == source) return 1;
  std::vector<replacement_request> requests;
  if (!clone_requests(source, &requests)) return 0;
  delete_modified_file(target);
  copy_fields(target, source);
  target->replacements = std::move(requests);
  return 1;
}

int replacement_list_append_ex(ReplacementList* list, std::int64_t offset, std::uint64_t len,
                               const_bstring insertion, std::int32_t priority) {
  if (!present(list, "replacement_list_append_ex")) return 0;
  if (insertion != nullptr) {
    (void)TV_ASSERT(static_cast<std::size_t>(blength(insertion)) < REPLACEMENT_INSERTION_MAX);
  }
  std::uint64_t at = 0;
  if (offset < 0) {
    // A negative offset stands for the end of the buffer.
    const std::uint64_t magnitude = offset == INT64_MIN ? std::uint64_t{1} << 63
                                                        : static_cast<std::uint64_t>(-offset);
    if (magnitude > list->buffer_len) {
      LOG_ERROR("replacement_list_append_ex: Attempt to insert before buffer offset_in=%" PRId64
                ",buffer_len=%" PRIu64,
                offset, list->buffer_len);
      return 0;
    }
    at = list->buffer_len;
  } else {
    at = static_cast<std::uint64_t>(offset);
  }
  if (at > list->buffer_len || len > list->buffer_len - at) {
    LOG_ERROR("replacement_list_append_ex: Attempt to insert beyond buffer offset=%" PRIu64
              ",len=%" PRIu64 ",buffer_len=%" PRIu64,
              at, len, list->buffer_len);
    return 0;
  }
  replacement_request request{};
  request.offset = at + list->offset_in_main_file;
  request.len = len;
  if (insertion != nullptr) {
    request.insertion.reset(bstrcpy(insertion));
    if (request.insertion == nullptr) {
      LOG_ERROR("replacement_list_append_ex: bstrcpy failed");
      return 0;
    }
  }
  request.order = static_cast<std::int32_t>(std::min<std::size_t>(list->replacements.size(),
                                                                  INT32_MAX));
  request.priority = priority;
  request.id = global_id++;
  LOG_DEV("Add: id=%2d,offset=%" PRIu64 ",len=%3" PRIu64 ",insertion='%s'", request.id,
          request.offset, request.len, bdatae(request.insertion.get(), ""));
  try {
    list->replacements.push_back(std::move(request));
  } catch (const std::bad_alloc&) {
    LOG_ERROR("replacement_list_append_ex: out of memory");
    return 0;
  }
  return 1;
}

int replacement_list_append(ReplacementList* list, std::int64_t offset, std::uint64_t len,
                            const_bstring insertion) {
  return replacement_list_append_ex(list, offset, len, insertion, REPLACEMENT_PRIORITY_NORMAL);
}

bool replacement_list_deletion_overlaps(const ReplacementList* list, std::uint64_t offset,
                                        std::uint64_t len) {
  if (list == nullptr || len == 0) return false;
  const std::uint64_t from = offset + list->offset_in_main_file;
  const std::uint64_t to = from + len;
  for (const replacement_request& r : list->replacements) {
    if (r.len > 0 && r.offset < to && from < r.offset + r.len) return true;
  }
  return false;
}

int replacement_list_append_ex2(ReplacementList* list, std::int64_t offset, std::uint64_t len,
                                const void* bytes, std::size_t count, std::int32_t priority) {
  if (count > static_cast<std::size_t>(INT32_MAX - 1)) {
    LOG_ERROR("replacement_list_append_ex2: blk2bstr failed");
    return 0;
  }
  BstringPtr insertion(blk2bstr(bytes, static_cast<int>(count)));
  if (insertion == nullptr) {
    LOG_ERROR("replacement_list_append_ex2: blk2bstr failed");
    return 0;
  }
  return replacement_list_append_ex(list, offset, len, insertion.get(), priority);
}

int replacement_list_append2(ReplacementList* list, std::int64_t offset, std::uint64_t len,
                             const void* bytes, std::size_t count) {
  return replacement_list_append_ex2(list, offset, len, bytes, count, REPLACEMENT_PRIORITY_NORMAL);
}

int replacement_list_concat(ReplacementList* target, const ReplacementList* source) {
  if (!present(target, "replacement_list_concat") || !present(source, "replacement_list_concat"))
    return 0;
  // Appending to itself would walk a growing list.
  std::vector<replacement_request> requests;
  if (!clone_requests(source, &requests)) return 0;
  for (const replacement_request& r : requests) {
    if (r.offset > static_cast<std::uint64_t>(INT64_MAX)) return 0;
    if (!replacement_list_append_ex(target, static_cast<std::int64_t>(r.offset), r.len,
                                    r.insertion.get(), r.priority)) {
      return 0;
    }
  }
  return 1;
}

void replacement_list_sort(ReplacementList* list) {
  if (!present(list, "replacement_list_sort")) return;
  if (list->offset_in_main_file != 0) {
    LOG_ERROR("replacement_list_sort: Invalid ReplacementList: offset_in_main_file=%" PRIu64,
              list->offset_in_main_file);
  }
  std::sort(list->replacements.begin(), list->replacements.end(), request_before);
}

void replacement_list_reorder(ReplacementList* list) {
  if (!present(list, "replacement_list_reorder")) return;
  std::int32_t order = 0;
  for (replacement_request& r : list->replacements) {
    r.order = order;
    if (order < INT32_MAX) ++order;
  }
}

int replacement_list_remove_duplicate_offsets(ReplacementList* list) {
  if (!present(list, "replacement_list_remove_duplicate_offsets")) return 0;
  auto& r = list->replacements;
  const auto end = std::unique(r.begin(), r.end(),
                               [](const replacement_request& kept, const replacement_request& next) {
                                 return kept.offset == next.offset;
                               });
  r.erase(end, r.end());
  return 1;
}

void replacement_list_reset(ReplacementList* list) {
  if (!present(list, "replacement_list_reset")) return;
  list->replacements.clear();
}

int replacement_list_is_valid(const std::uint8_t* buffer, std::uint64_t length,
                              const ReplacementList* list) {
  (void)buffer;
  (void)length;
  if (!present(list, "replacement_list_is_valid")) return 0;
  char message[512];
  if (!find_invalid_rule(list, message, sizeof message)) return 1;
  invalid_list_hook(list, message);
  return 0;
}

int replacement_list_equal(const ReplacementList* a, const ReplacementList* b) {
  if (a == nullptr || b == nullptr) return a == b ? 1 : 0;
  if (a->replacements.size() != b->replacements.size()) return 0;
  for (std::size_t i = 0; i < a->replacements.size(); ++i) {
    const replacement_request& x = a->replacements[i];
    const replacement_request& y = b->replacements[i];
    if (x.len != y.len || x.offset != y.offset || x.priority != y.priority || x.order != y.order)
      return 0;
    const int lx = blength(x.insertion.get());
    if (lx != blength(y.insertion.get())) return 0;
    if (lx > 0 && std::memcmp(x.insertion->data, y.insertion->data, static_cast<std::size_t>(lx)))
      return 0;
  }
  return 1;
}

void replacement_list_log(const ReplacementList* list, const char* heading) {
  if (list == nullptr || global_ctx.debug_logging == 0) return;
  LOG_DEBUG("============== %s ==============", heading != nullptr ? heading : "");
  LOG_DEBUG("Replacements by state: duplex=%d,grayscale=%d,copies=%d,watermark=%d",
            list->state.duplex, list->state.grayscale, list->state.copies, list->state.watermark);
  std::size_t wrappers = 0;
  for (const replacement_request& r : list->replacements) {
    if (r.priority == 2 || r.priority < 0) ++wrappers;
  }
  LOG_DEBUG("Replacements by item: number=%zu, file size=%" PRIu64 ", n_wrappers=%zu",
            list->replacements.size(), list->buffer_len, wrappers);
  std::int64_t shift = 0;  // size change of the requests so far
  for (std::size_t i = 0; i < list->replacements.size(); ++i) {
    const replacement_request& r = list->replacements[i];
    const int inserted = blength(r.insertion.get());
    LOG_DEBUG("%4zu: order=%4d, priority=%2d, offset=%8" PRIu64 " (%8" PRId64 "), len=%5" PRIu64
              ", cpca=%5d, insertion=%4d:'%s'",
              i, r.order, r.priority, r.offset, static_cast<std::int64_t>(r.offset) + shift,
              r.len, cpca_length_of(r.insertion.get()), inserted,
              printable_insertion(r.insertion.get()).c_str());
    shift += inserted - static_cast<std::int64_t>(r.len);
  }
  LOG_DEBUG("                           buffer_len=%8" PRIu64, list->buffer_len);
}

int replacement_list_set_modified_file_ex(ReplacementList* list, const char* path, int replace) {
  if (!present(list, "replacement_list_set_modified_file")) return 0;
  std::uint64_t size = 0;
  if (util_is_string_empty(path) || !os_file_size_by_path(path, &size) || size == 0 ||
      std::strlen(path) > REPLACEMENT_PATH_MAX) {
    LOG_ERROR("replacement_list_set_modified_file: bad params");
    return 0;
  }
  if (list->modified_file[0] != '\0') {
    if (!replace) {
      LOG_ERROR("replacement_list_set_modified_file: attempt to change modified file");
      return 0;
    }
    if (std::strcmp(list->modified_file, path) != 0 && !os_file_delete(list->modified_file)) {
      LOG_LAST_SYSTEM_ERROR(
          "replacement_list_set_modified_file: replacement_list->modified_file='%s'",
          list->modified_file);
      return 0;
    }
  }
  util_safe_strncpy(list->modified_file, path, sizeof list->modified_file);
  return 1;
}

int replacement_list_set_modified_file(ReplacementList* list, const char* path) {
  return replacement_list_set_modified_file_ex(list, path, 0);
}

int replacement_list_has_modified_file(const ReplacementList* list) {
  return list != nullptr && list->modified_file[0] != '\0' ? 1 : 0;
}

const char* replacement_list_get_modified_file(const ReplacementList* list) {
  return replacement_list_has_modified_file(list) ? list->modified_file : nullptr;
}

int replacement_list_take_modified_file(ReplacementList* list, char* buffer, std::size_t size) {
  if (!replacement_list_has_modified_file(list) || buffer == nullptr ||
      std::strlen(list->modified_file) >= size) {
    return 0;
  }
  util_safe_strncpy(buffer, list->modified_file, size);
  list->modified_file[0] = '\0';
  return 1;
}

int replacement_list_check_in_path(const ReplacementList* list, const char* in_path) {
  if (!present(list, "replacement_list_check_in_path")) return 0;
  if (list->modified_file[0] != '\0') return 1;
  std::uint64_t size = 0;
  if (!os_file_size_by_path(in_path, &size)) {
    LOG_LAST_SYSTEM_ERROR("replacement_list_check_in_path: input file is empty. in_path='%s'",
                          in_path != nullptr ? in_path : "");
    return 0;
  }
  if (size != list->buffer_len) {
    LOG_ERROR("replacement_list_check_in_path: filesize mismatch: in_path='%s',in_file_size=%" PRIu64
              ",buffer_len=%" PRIu64,
              in_path, size, list->buffer_len);
    return 0;
  }
  return 1;
}

void replacement_list_set_inline_copies(ReplacementList* list, std::int64_t copies) {
  if (!present(list, "replacement_list_set_inline_copies")) return;
  if (copies < 1 || copies > REPLACEMENT_INLINE_COPIES_MAX) {
    LOG_ERROR("replacement_list_set_inline_copies: invalid inline_copies=%" PRId64
              ", Setting to 1",
              copies);
    copies = 1;
  }
  list->inline_copies = static_cast<std::int32_t>(copies);
}

int replacement_list_set_offset_in_main_file(ReplacementList* list, std::uint64_t offset) {
  if (!present(list, "replacement_list_set_offset_in_main_file")) return 0;
  if (offset >= list->buffer_len) return 0;
  list->offset_in_main_file = offset;
  return 1;
}

void get_msf_state(const ReplacementList* list, msf_state* state) {
  if (present(list, "get_msf_state") && state != nullptr) *state = list->state;
}

void set_msf_state(ReplacementList* list, const msf_state* state) {
  if (present(list, "set_msf_state") && state != nullptr) list->state = *state;
}

int get_num_params_updated(const ReplacementList* list) {
  if (!present(list, "get_num_params_updated")) return 0;
  const msf_state& s = list->state;
  return (s.watermark != 0) + (s.duplex != 0) + (s.grayscale != 0) + (s.copies != 0) +
         (s.compress != 0);
}

std::uint64_t replacement_list_output_size(const ReplacementList* list) {
  if (!present(list, "replacement_list_output_size")) return 0;
  std::uint64_t size = list->buffer_len;
  for (const replacement_request& r : list->replacements) {
    size = size - r.len + static_cast<std::uint64_t>(blength(r.insertion.get()));
  }
  return size;
}

std::int64_t replacement_list_size(const ReplacementList* list) {
  if (!present(list, "replacement_list_size")) return -1;
  return static_cast<std::int64_t>(list->replacements.size());
}

std::uint64_t replacement_list_get_buffer_len(const ReplacementList* list) {
  return present(list, "replacement_list_get_buffer_len") ? list->buffer_len : 0;
}

void replacement_list_set_buffer_len(ReplacementList* list, std::uint64_t length) {
  if (present(list, "replacement_list_set_buffer_len")) list->buffer_len = length;
}

int replacement_list_set_buffer_file(ReplacementList* list, const char* path) {
  if (!present(list, "replacement_list_set_buffer_file") || path == nullptr) return 0;
  if (std::strlen(path) > REPLACEMENT_PATH_MAX) {
    LOG_ERROR("replacement_list_set_buffer_file: path too long: '%s'", path);
    return 0;
  }
  util_safe_strncpy(list->buffer_file, path, sizeof list->buffer_file);
  return 1;
}

std::int64_t replacement_list_get_end_of_pjl(const ReplacementList* list) {
  return present(list, "replacement_list_get_end_of_pjl") ? list->end_of_pjl : -1;
}

const char* replacement_list_get_language_name(const ReplacementList* list) {
  return present(list, "replacement_list_get_language_name") ? list->language_name : nullptr;
}

int replacement_list_is_modified_inline_copies(const ReplacementList* list) {
  return present(list, "replacement_list_is_modified_inline_copies")
             ? list->modified_inline_copies
             : 0;
}

int replacement_list_is_post_processed(const ReplacementList* list) {
  return present(list, "replacement_list_is_post_processed") ? list->post_processed : 0;
}

void replacement_list_set_packet_adjuster(ReplacementList* list,
                                          replacement_packet_adjuster adjuster,
                                          replacement_packet_inserter inserter) {
  if (!present(list, "replacement_list_set_packet_adjuster")) return;
  list->packet_adjuster = adjuster;
  list->packet_inserter = inserter;
}

std::int64_t replacement_list_get_offset(const ReplacementList* list, std::int64_t index) {
  if (list == nullptr || index < 0 ||
      static_cast<std::uint64_t>(index) >= list->replacements.size()) {
    return -1;
  }
  return static_cast<std::int64_t>(list->replacements[static_cast<std::size_t>(index)].offset);
}

const_bstring replacement_list_get_insertion(const ReplacementList* list, std::int64_t index) {
  if (list == nullptr || index < 0 ||
      static_cast<std::uint64_t>(index) >= list->replacements.size()) {
    return nullptr;
  }
  return list->replacements[static_cast<std::size_t>(index)].insertion.get();
}
