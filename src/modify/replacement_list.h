// The one representation of a spool-file rewrite: byte edits over one buffer
// of known length (the mapped spool file). Planners, preprocessors and
// transform scripts only append edits; the list is then sorted, checked,
// optionally replicated for inline copies and compressed, and written into a
// new file by copying the untouched gaps of the buffer and writing the
// insertions. Nothing edits print data in place.
//
// Results are 1 for success and 0 for failure unless a comment says
// otherwise; every failure is logged where it is found. A missing list is
// logged as "<operation>: replacement_list == NULL" and fails.
//
// Offsets, lengths and counts are 64-bit throughout; every request is checked
// against the buffer's length before a byte is read for it, so a list that
// lies about its buffer fails instead of reading past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "foundation/bstrlib.h"
#include "foundation/owned.h"

struct mapped_mem;
struct watermark_params;

// Orders edits at one offset: lower first.
inline constexpr std::int32_t REPLACEMENT_PRIORITY_NORMAL = 0;
inline constexpr std::int32_t REPLACEMENT_PRIORITY_PACKET_WRAPPER = -1;

// Insertions are small: large rewrites are deletions plus small insertions.
inline constexpr std::size_t REPLACEMENT_INSERTION_MAX = 10000;
// Inline copies a list may write out.
inline constexpr std::int32_t REPLACEMENT_INLINE_COPIES_MAX = 1000;
// Longest language name kept (characters, without the terminator).
inline constexpr std::size_t REPLACEMENT_LANGUAGE_NAME_MAX = 128;
// Longest modified-file path kept (characters, without the terminator).
inline constexpr std::size_t REPLACEMENT_PATH_MAX = 4095;
// Pieces of the writer that copies gaps out of the buffer.
inline constexpr std::uint64_t REPLACEMENT_WRITE_PIECE = 131072;
// Gaps at least this long are copied from the mapped file's descriptor by the
// kernel rather than through the mapping.
inline constexpr std::uint64_t REPLACEMENT_KERNEL_COPY_MIN = 65536;
// Transfer buffer of the stream rewrite used by the forced application.
inline constexpr std::size_t REPLACEMENT_TRANSFER_BUFFER = 1048576;
// Largest rewrite held in memory by replacement_list_flatten.
inline constexpr std::uint64_t REPLACEMENT_FLATTEN_MAX = std::uint64_t{256} << 20;

// What the planners carried out of the changes asked for.
struct msf_state {
  std::int32_t watermark;
  std::int32_t duplex;
  std::int32_t grayscale;
  std::int32_t copies;
  std::int32_t compress;
};

// One edit.
struct replacement_request {
  std::uint64_t offset;  // first byte, offset_in_main_file included
  std::uint64_t len;     // bytes deleted from offset on; 0 for a pure insertion
  BstringPtr insertion;  // bytes written in place of the deleted ones, or none
  std::int32_t order;     // number of requests when this one was appended
  std::int32_t priority;  // REPLACEMENT_PRIORITY_*; CPCA also uses -2, 1 and 2
  std::int32_t id;        // process-wide append counter, for logs only
};

struct ReplacementList;

// CPCA re-wrapping callbacks (installed by the CPCA planner): the inserter
// adds a packet header of `header_size` bytes (none: the default header) for
// a packet of `packet_len` bytes at `offset`; the adjuster rewrites the
// length field of the header request so that the packet ends at `end_offset`
// (-1: by the change already in *length_change), returning the change made.
using replacement_packet_inserter = int (*)(ReplacementList* list, std::int64_t offset,
                                            std::int64_t packet_len, const std::uint8_t* header,
                                            std::size_t header_size);
using replacement_packet_adjuster = int (*)(replacement_request* header_request,
                                            std::int64_t end_offset, std::int64_t* length_change,
                                            const std::uint8_t* data, std::uint64_t buffer_len);

struct ReplacementList {
  std::uint64_t buffer_len = 0;
  std::vector<replacement_request> replacements;
  msf_state state{};
  std::int64_t end_of_pjl = -1;  // offset of "@PJL ENTER LANGUAGE", -1 when none
  char language_name[REPLACEMENT_LANGUAGE_NAME_MAX + 1] = {};
  std::int32_t inline_copies = 1;
  std::int32_t modified_inline_copies = 0;  // the copies were written out
  std::int32_t post_processed = 0;          // the rewrite was compressed
  replacement_packet_adjuster packet_adjuster = nullptr;
  replacement_packet_inserter packet_inserter = nullptr;
  std::uint64_t offset_in_main_file = 0;  // added to every offset appended
  char modified_file[REPLACEMENT_PATH_MAX + 1] = {};  // owned: deleted with the list
  // The file the offsets refer to once replication or CPCA unwrapping
  // re-pointed the buffer at a file of its own (the mapping owns it); empty
  // while they refer to the caller's input file.
  char buffer_file[REPLACEMENT_PATH_MAX + 1] = {};
};

// ---- life cycle ----

// New empty list over `buffer_len` bytes (0 is logged as a failed assertion),
// inline copies 1; keeps at most 128 characters of `language_name` (none:
// empty). nullptr when memory runs out.
[[nodiscard]] ReplacementList* replacement_list_create(std::uint64_t buffer_len,
                                                       std::int64_t end_of_pjl,
                                                       const char* language_name);
// Destroys the requests and the record and deletes the modified file;
// accepts null.
void replacement_list_free(ReplacementList* list);
using ReplacementListPtr = Owned<ReplacementList, replacement_list_free>;

// Deep copy. The copy has no modified file: the file stays owned by `list`.
[[nodiscard]] ReplacementList* replacement_list_clone(const ReplacementList* list);
// Frees the target's contents (deleting its modified file) and makes it a
// deep copy of the source (without the source's modified file).
[[nodiscard]] int replacement_list_assign(ReplacementList* target, const ReplacementList* source);

// ---- appending ----

// Appends one edit. A negative offset stands for the end of the buffer when
// its magnitude is at most buffer_len; offset + len must stay within the
// buffer. The insertion (none allowed) is copied. Failures leave the list
// unchanged.
[[nodiscard]] int replacement_list_append_ex(ReplacementList* list, std::int64_t offset,
                                             std::uint64_t len, const_bstring insertion,
                                             std::int32_t priority);
[[nodiscard]] int replacement_list_append(ReplacementList* list, std::int64_t offset,
                                          std::uint64_t len, const_bstring insertion);
// The same with the insertion given as bytes.
[[nodiscard]] int replacement_list_append_ex2(ReplacementList* list, std::int64_t offset,
                                              std::uint64_t len, const void* bytes,
                                              std::size_t count, std::int32_t priority);
[[nodiscard]] int replacement_list_append2(ReplacementList* list, std::int64_t offset,
                                           std::uint64_t len, const void* bytes,
                                           std::size_t count);
// true when deleting `len` bytes from `offset` (counted as appends count
// it) would overlap a deletion the list holds already: two edits cannot both
// write the same bytes.
[[nodiscard]] bool replacement_list_deletion_overlaps(const ReplacementList* list,
                                                      std::uint64_t offset, std::uint64_t len);
// Appends every request of `source` (offset, length, insertion, priority);
// stops at the first failure.
[[nodiscard]] int replacement_list_concat(ReplacementList* target, const ReplacementList* source);

// ---- order and checks ----

// Sorts by offset, then priority, then longer deletion first, then order.
void replacement_list_sort(ReplacementList* list);
// Sets every request's order to its index.
void replacement_list_reorder(ReplacementList* list);
// Keeps the first request of each run of equal offsets (sort first).
[[nodiscard]] int replacement_list_remove_duplicate_offsets(ReplacementList* list);
// Destroys all requests, keeps the record.
void replacement_list_reset(ReplacementList* list);
// 1 when the sorted list fits the buffer: no request ends beyond it, no two
// deletions overlap, the sort order holds. The first broken rule is logged
// with the list.
[[nodiscard]] int replacement_list_is_valid(const std::uint8_t* buffer, std::uint64_t length,
                                            const ReplacementList* list);
// 1 when both are missing, or both have the same requests (offset, length,
// priority, order, insertion bytes) in the same places.
[[nodiscard]] int replacement_list_equal(const ReplacementList* a, const ReplacementList* b);
// DEBUG dump of the list under a heading (only with debug logging).
void replacement_list_log(const ReplacementList* list, const char* heading);

// ---- writing the rewrite ----

// The rewrite of `buffer` held in memory (at most REPLACEMENT_FLATTEN_MAX
// bytes); nullptr on failure.
[[nodiscard]] bstring replacement_list_flatten(const std::uint8_t* buffer, std::uint64_t length,
                                               const ReplacementList* list);
// Copies the modified file into `out` when the list has one, else writes the
// rewrite of `buffer` (length buffer_len) once. Sorts the list.
[[nodiscard]] int replacement_list_apply_to_file_handle(const std::uint8_t* buffer,
                                                        ReplacementList* list, std::FILE* out);
// The same for a list over a mapped file: the long gaps go from the file's
// descriptor to the output's in the kernel (at about the speed of cp), the
// rest is written directly; the stream is flushed first and must not be
// written through afterwards but by the descriptor.
[[nodiscard]] int replacement_list_apply_mapped_to_file_handle(const mapped_mem* mm,
                                                               ReplacementList* list,
                                                               std::FILE* out);
// Opens `path` for writing and writes the rewrite once.
[[nodiscard]] int replacement_list_apply_to_file(const std::uint8_t* buffer,
                                                 ReplacementList* list, const char* path);
// Writes the rewrite `copies` times one after the other; 0 or less fails.
[[nodiscard]] int replacement_list_apply_to_file_copies(const std::uint8_t* buffer,
                                                        ReplacementList* list, const char* path,
                                                        std::int64_t copies);

// The caller's input for the stream rewrite: read returns the bytes read (0
// at the end) or a negative value on error; reset returns non-zero when the
// input is back at its start. Write returns the bytes written or negative.
using replacement_reader = std::int64_t (*)(void* handle, void* buffer, std::uint64_t count);
using replacement_reader_reset = int (*)(void* handle);
using replacement_writer = std::int64_t (*)(void* handle, const void* bytes, std::uint64_t count);

// Stream form of the rewrite, repeated inline_copies times: each pass resets
// the reader and copies the gaps through one buffer of `transfer_size`
// bytes. An input that ends before buffer_len bytes fails.
[[nodiscard]] int replacement_list_apply_rw(ReplacementList* list, std::size_t transfer_size,
                                            replacement_reader reader,
                                            replacement_reader_reset reset, void* reader_handle,
                                            replacement_writer writer, void* writer_handle);
// Writes the rewrite of the input file (the list's own buffer file when
// replication made one) into a new temporary file that becomes the modified
// file. A list that already has one succeeds at once. On failure no file is
// left behind.
[[nodiscard]] int replacement_list_force_apply(ReplacementList* list, const char* in_path);
// gzip compression of the current rewrite when the parameters ask for
// compression method 1; the compressed file becomes the modified file. Other
// methods change nothing. A second call, or a failed compression, fails.
[[nodiscard]] int replacement_list_post_process(const watermark_params* params,
                                                ReplacementList* list, const char* in_path);
// Writes the rewrite inline_copies times into a new file and re-points the
// mapping at it (deleted when the mapping is released); the list becomes an
// empty list over the new length with one copy. Fewer than 2 copies over the
// whole mapping: nothing to do (a list over only the first bytes of the
// mapping is written out once). Refused when check_inline_copies_size (scan/inline_copies.h)
// refuses the copies.
[[nodiscard]] int replacement_list_replicate_inline(mapped_mem* mm, ReplacementList* list);

// ---- the modified file ----

// Stores the path of an existing non-empty file as the modified file; with
// `replace` an earlier one is deleted first, without it an earlier one fails.
[[nodiscard]] int replacement_list_set_modified_file_ex(ReplacementList* list, const char* path,
                                                        int replace);
[[nodiscard]] int replacement_list_set_modified_file(ReplacementList* list, const char* path);
[[nodiscard]] int replacement_list_has_modified_file(const ReplacementList* list);
// The path, or nullptr when there is none.
[[nodiscard]] const char* replacement_list_get_modified_file(const ReplacementList* list);
// Hands the modified file over to the caller: its path goes to `buffer` and
// the list forgets it, so freeing the list no longer deletes it. 0 when
// there is none or the path does not fit.
[[nodiscard]] int replacement_list_take_modified_file(ReplacementList* list, char* buffer,
                                                      std::size_t size);
// 1 when the list has a modified file or the input's size equals buffer_len.
[[nodiscard]] int replacement_list_check_in_path(const ReplacementList* list, const char* in_path);

// ---- fields ----

// 1 to 1000 is stored; any other value is logged and stored as 1.
void replacement_list_set_inline_copies(ReplacementList* list, std::int64_t copies);
// Stores the offset only when it is below buffer_len.
[[nodiscard]] int replacement_list_set_offset_in_main_file(ReplacementList* list,
                                                           std::uint64_t offset);
void get_msf_state(const ReplacementList* list, msf_state* state);
void set_msf_state(ReplacementList* list, const msf_state* state);
[[nodiscard]] int get_num_params_updated(const ReplacementList* list);
// Bytes of one written copy of a valid list: the buffer less the deleted
// bytes plus the insertions.
[[nodiscard]] std::uint64_t replacement_list_output_size(const ReplacementList* list);
// Count of requests, -1 for a missing list.
[[nodiscard]] std::int64_t replacement_list_size(const ReplacementList* list);
[[nodiscard]] std::uint64_t replacement_list_get_buffer_len(const ReplacementList* list);
void replacement_list_set_buffer_len(ReplacementList* list, std::uint64_t length);
// Names the file the offsets now refer to (see buffer_file): the rewrite is
// then read from it instead of the caller's input path. 0 when the path does
// not fit (the list is left unchanged).
[[nodiscard]] int replacement_list_set_buffer_file(ReplacementList* list, const char* path);
[[nodiscard]] std::int64_t replacement_list_get_end_of_pjl(const ReplacementList* list);
[[nodiscard]] const char* replacement_list_get_language_name(const ReplacementList* list);
[[nodiscard]] int replacement_list_is_modified_inline_copies(const ReplacementList* list);
[[nodiscard]] int replacement_list_is_post_processed(const ReplacementList* list);
void replacement_list_set_packet_adjuster(ReplacementList* list,
                                          replacement_packet_adjuster adjuster,
                                          replacement_packet_inserter inserter);
// Offset of request `index`, -1 for a missing request.
[[nodiscard]] std::int64_t replacement_list_get_offset(const ReplacementList* list,
                                                       std::int64_t index);
// Insertion of request `index`, nullptr for a missing request or none.
[[nodiscard]] const_bstring replacement_list_get_insertion(const ReplacementList* list,
                                                           std::int64_t index);
