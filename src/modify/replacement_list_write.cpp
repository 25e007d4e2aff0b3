// Writing a replacement list out: the rewrite of the buffer into memory, a
// stream or a file, the stream rewrite that the forced application uses,
// compression of the finished rewrite and inline replication.
//
// Every writer walks the requests in sort order and copies the gaps between
// them; each request is checked against the buffer's length first, so a list
// whose requests lie beyond its buffer fails instead of reading past it.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundation/gzip_wrapper.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/util.h"
#include "modify/replacement_list.h"
#include "scan/inline_copies.h"
#include "foundation/watermark.h"

namespace {

// Compression method of watermark_params that asks for gzip.
constexpr std::int32_t COMPRESSION_GZIP = 1;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// The requests in sort order, without reordering the list itself.
std::vector<const replacement_request*> sorted_view(const ReplacementList* list) {
  std::vector<const replacement_request*> view;
  view.reserve(list->replacements.size());
  for (const replacement_request& r : list->replacements) view.push_back(&r);
  std::sort(view.begin(), view.end(), [](const replacement_request* a, const replacement_request* b) {
    if (a->offset != b->offset) return a->offset < b->offset;
    if (a->priority != b->priority) return a->priority < b->priority;
    if (a->len != b->len) return a->len > b->len;
    return a->order < b->order;
  });
  return view;
}

// The checks every writer makes before it acts on request `index`: it lies
// within the buffer and does not go back behind the last gap.
bool request_fits(const replacement_request& r, std::size_t index, std::uint64_t buffer_len,
                  std::uint64_t last_gap_end) {
  if (r.offset > buffer_len || r.len > buffer_len - r.offset) {
    LOG_ERROR("Invalid ReplacementList entry %zu: offset=%" PRIu64 ",len=%" PRIu64
              " beyond buffer_len=%" PRIu64,
              index, r.offset, r.len, buffer_len);
    return false;
  }
  if (r.offset < last_gap_end) {
    LOG_ERROR("Invalid ReplacementList entry %zu: insertion_offset=%" PRIu64
              ",last_insertion_offset=%" PRIu64,
              index, r.offset, last_gap_end);
    return false;
  }
  return true;
}

// The rewrite of `buffer` (buffer_len bytes) handed to `sink(bytes, count,
// from_buffer)` piece by piece: the gaps between the requests (from_buffer
// true) and their insertions.
template <typename Sink>
bool write_rewrite(const std::uint8_t* buffer, const ReplacementList* list, Sink&& sink) {
  if (list->replacements.empty()) {
    LOG_DEBUG("apply_replacement_list_int with no replacements to apply");
  }
  const std::uint64_t n = list->buffer_len;
  std::uint64_t consumed = 0;  // end of the input consumed so far
  std::uint64_t gap_end = 0;   // end of the last gap copied
  const auto view = sorted_view(list);
  for (std::size_t i = 0; i < view.size(); ++i) {
    const replacement_request& r = *view[i];
    if (!request_fits(r, i, n, gap_end)) return false;
    if (r.offset > consumed) {
      if (!sink(buffer + consumed, r.offset - consumed, true)) return false;
      gap_end = r.offset;
    }
    const int inserted = blength(r.insertion.get());
    if (inserted > 0 && !sink(r.insertion->data, static_cast<std::uint64_t>(inserted), false)) {
      return false;
    }
    // A request at or inside an earlier deletion never brings deleted bytes back.
    consumed = std::max(consumed, r.offset + r.len);
  }
  return consumed >= n || sink(buffer + consumed, n - consumed, true);
}

// Writes `count` bytes to the stream in pieces of REPLACEMENT_WRITE_PIECE.
bool write_pieces(std::FILE* out, const std::uint8_t* bytes, std::uint64_t count) {
  while (count > 0) {
    const std::size_t piece = static_cast<std::size_t>(std::min(count, REPLACEMENT_WRITE_PIECE));
    const std::size_t written = std::fwrite(bytes, 1, piece, out);
    if (written != piece) {
      LOG_ERROR("replacement_list_apply_to_file write error %d:%s, bytes_to_write=%zu,"
                "bytes_written=%zu",
                errno, std::strerror(errno), piece, written);
      return false;
    }
    bytes += piece;
    count -= piece;
  }
  return true;
}

// The same straight to a descriptor.
bool write_pieces_fd(int fd, const std::uint8_t* bytes, std::uint64_t count) {
  while (count > 0) {
    const std::size_t piece = static_cast<std::size_t>(std::min(count, REPLACEMENT_WRITE_PIECE));
    if (!os_write_all(fd, bytes, piece)) return false;
    bytes += piece;
    count -= piece;
  }
  return true;
}

int write_to_stream(const std::uint8_t* buffer, ReplacementList* list, std::FILE* out) {
  if (list->modified_file[0] != '\0') return os_file_copy_path(list->modified_file, out);
  if (buffer == nullptr && list->buffer_len > 0) return 0;
  replacement_list_sort(list);
  return write_rewrite(buffer, list, [out](const std::uint8_t* bytes, std::uint64_t count, bool) {
           return write_pieces(out, bytes, count);
         })
             ? 1
             : 0;
}

// Moves `count` bytes of the input on through `transfer`: copied to the
// writer, or read and dropped. An input that ends early fails: the size was
// checked against buffer_len, so a short input was changed under us.
bool transfer_bytes(std::uint64_t count, bool copy, std::uint8_t* transfer, std::size_t size,
                    replacement_reader reader, void* reader_handle, replacement_writer writer,
                    void* writer_handle) {
  while (count > 0) {
    const std::uint64_t want = std::min<std::uint64_t>(count, size);
    const std::int64_t got = reader(reader_handle, transfer, want);
    if (got <= 0 || static_cast<std::uint64_t>(got) > want) {
      LOG_ERROR("replacement_list_apply_rw: input ended or failed with %" PRIu64
                " bytes still to %s (read result %" PRId64 ")",
                count, copy ? "copy" : "skip", got);
      return false;
    }
    const auto n = static_cast<std::uint64_t>(got);
    if (copy) {
      const std::int64_t put = writer(writer_handle, transfer, n);
      if (put < 0 || static_cast<std::uint64_t>(put) != n) return false;
    }
    count -= n;
  }
  return true;
}

// One pass of the stream rewrite (Algorithm of the forced application).
bool stream_pass(const ReplacementList* list, const std::vector<const replacement_request*>& view,
                 std::uint8_t* transfer, std::size_t size, replacement_reader reader,
                 void* reader_handle, replacement_writer writer, void* writer_handle) {
  const std::uint64_t n = list->buffer_len;
  std::uint64_t consumed = 0;  // a
  std::uint64_t position = 0;  // g: where the reader stands
  auto skip = [&](std::uint64_t count) {
    return transfer_bytes(count, false, transfer, size, reader, reader_handle, writer,
                          writer_handle);
  };
  auto copy = [&](std::uint64_t count) {
    return transfer_bytes(count, true, transfer, size, reader, reader_handle, writer,
                          writer_handle);
  };
  for (std::size_t i = 0; i < view.size(); ++i) {
    const replacement_request& r = *view[i];
    if (!request_fits(r, i, n, position)) return false;
    if (r.offset > consumed) {
      if (!skip(consumed - position) || !copy(r.offset - consumed)) return false;
      position = r.offset;
    }
    consumed = std::max(consumed, r.offset + r.len);
    const int inserted = blength(r.insertion.get());
    if (inserted > 0) {
      const std::int64_t put = writer(writer_handle, r.insertion->data, static_cast<std::uint64_t>(inserted));
      if (put < inserted) return false;
    }
  }
  if (consumed < n) return skip(consumed - position) && copy(n - consumed);
  return true;
}

std::int64_t private_reader(void* handle, void* buffer, std::uint64_t count) {
  auto* in = static_cast<std::FILE*>(handle);
  const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(count), in);
  if (n < count) {
    if (std::ferror(in)) {
      LOG_ERROR("private_reader error %d:%s", errno, std::strerror(errno));
      return -1;
    }
    if (std::feof(in)) {
      LOG_DEBUG("EOF");
    } else {
      LOG_ERROR("IMPOSSIBLE");
    }
  }
  return static_cast<std::int64_t>(n);
}

int private_reader_reset(void* handle) {
  return std::fseek(static_cast<std::FILE*>(handle), 0, SEEK_SET) == 0 ? 1 : 0;
}

std::int64_t private_writer(void* handle, const void* bytes, std::uint64_t count) {
  auto* out = static_cast<std::FILE*>(handle);
  const std::size_t n = std::fwrite(bytes, 1, static_cast<std::size_t>(count), out);
  if (n < count && std::ferror(out)) {
    LOG_ERROR("private_writer error %d:%s", errno, std::strerror(errno));
    return -1;
  }
  return static_cast<std::int64_t>(n);
}

// The stream rewrite from `in_path` into `out_path`.
bool apply_file_to_file(ReplacementList* list, const char* in_path, const char* out_path) {
  UniqueFile in(os_fopen(in_path, "rb"));
  if (!in) {
    LOG_ERROR("_private_apply_replacements: open failed in_path='%s'", in_path);
    return false;
  }
  // The fresh temporary file is empty: opened without truncation, which
  // ext4 would answer with a flush of the whole rewrite when it is closed.
  UniqueFile out(os_fopen(out_path, "r+b"));
  if (!out) {
    LOG_ERROR("_private_apply_replacements: open failed out_path='%s'", out_path);
    return false;
  }
  const int ok = replacement_list_apply_rw(list, REPLACEMENT_TRANSFER_BUFFER, private_reader,
                                           private_reader_reset, in.get(), private_writer,
                                           out.get());
  // Buffered output is only on disk once the close succeeded.
  const bool closed = std::fclose(out.release()) == 0;
  if (!closed) LOG_LAST_SYSTEM_ERROR("_private_apply_replacements: close failed '%s'", out_path);
  return ok == 1 && closed;
}

void delete_temp(const char* path, const char* caller) {
  if (!os_file_delete(path)) {
    LOG_LAST_SYSTEM_ERROR("%s: Could not delete temp_path='%s'", caller, path);
  }
}

}  // namespace

bstring replacement_list_flatten(const std::uint8_t* buffer, std::uint64_t length,
                                 const ReplacementList* list) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_flatten: replacement_list == NULL");
    return nullptr;
  }
  if ((buffer == nullptr && list->buffer_len > 0) || length < list->buffer_len) {
    LOG_ERROR("replacement_list_flatten: buffer of %" PRIu64 " bytes for a list over %" PRIu64,
              length, list->buffer_len);
    return nullptr;
  }
  BstringPtr out(bfromcstr(""));
  if (out == nullptr) return nullptr;
  const bool ok = write_rewrite(buffer, list, [&out](const std::uint8_t* bytes, std::uint64_t n,
                                                     bool) {
    if (n > REPLACEMENT_FLATTEN_MAX - static_cast<std::uint64_t>(blength(out.get()))) {
      LOG_ERROR("replacement_list_flatten: rewrite larger than %" PRIu64 " bytes",
                REPLACEMENT_FLATTEN_MAX);
      return false;
    }
    return bcatblk(out.get(), bytes, static_cast<int>(n)) == BSTR_OK;
  });
  if (!ok) {
    LOG_ERROR("replacement_list_flatten: apply_replacement_list_int() failed");
    return nullptr;
  }
  return out.release();
}

int replacement_list_apply_to_file_handle(const std::uint8_t* buffer, ReplacementList* list,
                                          std::FILE* out) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_apply_to_file_handle: replacement_list == NULL");
    return 0;
  }
  if (out == nullptr) return 0;
  return write_to_stream(buffer, list, out);
}

int replacement_list_apply_mapped_to_file_handle(const mapped_mem* mm, ReplacementList* list,
                                                 std::FILE* out) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_apply_mapped_to_file_handle: replacement_list == NULL");
    return 0;
  }
  if (mm == nullptr || out == nullptr || list->buffer_len > mm->size) return 0;
  if (list->modified_file[0] != '\0' || mm->file == nullptr) {
    return write_to_stream(mm->data, list, out);
  }
  // From here on the descriptor is written directly; nothing may wait in
  // the stream's buffer.
  if (std::fflush(out) != 0) return 0;
  const int fd = fileno(out);
  const int in_fd = mm->file->fd;
  replacement_list_sort(list);
  const bool ok = write_rewrite(mm->data, list, [&](const std::uint8_t* bytes, std::uint64_t count,
                                                    bool from_buffer) {
    if (from_buffer && count >= REPLACEMENT_KERNEL_COPY_MIN) {
      const auto offset = static_cast<std::uint64_t>(bytes - mm->data);
      return os_file_copy_range(in_fd, offset, count, fd) == 1;
    }
    return write_pieces_fd(fd, bytes, count);
  });
  if (!ok) {
    LOG_LAST_SYSTEM_ERROR("replacement_list_apply_mapped_to_file_handle: write failed");
  }
  return ok ? 1 : 0;
}

int replacement_list_apply_to_file_copies(const std::uint8_t* buffer, ReplacementList* list,
                                          const char* path, std::int64_t copies) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_apply_to_file: replacement_list == NULL");
    return 0;
  }
  if (copies <= 0) return 0;
  UniqueFile out(os_fopen(path, "wb"));
  if (!out) {
    LOG_LAST_SYSTEM_ERROR("replacement_list_apply_to_file() Could not open '%s'",
                          path != nullptr ? path : "");
    return 0;
  }
  for (std::int64_t i = 0; i < copies; ++i) {
    if (copies > 1) LOG_DEBUG("_apply_replacement_list_ex: copies=%" PRId64 ",i=%" PRId64, copies, i);
    if (!write_to_stream(buffer, list, out.get())) return 0;
  }
  if (std::fclose(out.release()) != 0) {
    LOG_LAST_SYSTEM_ERROR("replacement_list_apply_to_file() Could not close '%s'", path);
    return 0;
  }
  return 1;
}

int replacement_list_apply_to_file(const std::uint8_t* buffer, ReplacementList* list,
                                   const char* path) {
  return replacement_list_apply_to_file_copies(buffer, list, path, 1);
}

int replacement_list_apply_rw(ReplacementList* list, std::size_t transfer_size,
                              replacement_reader reader, replacement_reader_reset reset,
                              void* reader_handle, replacement_writer writer,
                              void* writer_handle) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_apply_rw: replacement_list == NULL");
    return 0;
  }
  if (reader == nullptr || reset == nullptr || writer == nullptr || transfer_size == 0) return 0;
  if (list->inline_copies < 1 || list->inline_copies > REPLACEMENT_INLINE_COPIES_MAX) {
    LOG_ERROR("replacement_list_apply_rw: Invalid inline_copies=%d", list->inline_copies);
    list->inline_copies = 1;
  }
  replacement_list_sort(list);
  std::unique_ptr<std::uint8_t[]> transfer(new (std::nothrow) std::uint8_t[transfer_size]);
  if (!transfer) return 0;
  if (list->replacements.empty()) {
    LOG_DEBUG("apply_replacement_list_rw with no replacements to apply");
  }
  const auto view = sorted_view(list);
  for (std::int32_t pass = 0; pass < list->inline_copies; ++pass) {
    if (reset(reader_handle) == 0) {
      LOG_ERROR("replacement_list_apply_rw: could not reset the input for copy %d", pass);
      return 0;
    }
    if (!stream_pass(list, view, transfer.get(), transfer_size, reader, reader_handle, writer,
                     writer_handle)) {
      return 0;
    }
  }
  return 1;
}

int replacement_list_force_apply(ReplacementList* list, const char* in_path) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_force_apply: replacement_list == NULL");
    return 0;
  }
  if (list->modified_file[0] != '\0') {
    LOG_DEBUG("Replacement list already applied to '%s'", list->modified_file);
    return 1;
  }
  // After replication the offsets refer to the list's own file.
  const char* input = list->buffer_file[0] != '\0' ? list->buffer_file : in_path;
  char temp[OS_PATH_BUFFER_SIZE];
  if (!os_file_make_temp(temp, sizeof temp)) {
    LOG_ERROR("Could not create temp file");
    return 0;
  }
  if (!replacement_list_check_in_path(list, input) || !apply_file_to_file(list, input, temp) ||
      !replacement_list_set_modified_file(list, temp)) {
    delete_temp(temp, "replacement_list_force_apply");
    return 0;
  }
  return 1;
}

int replacement_list_post_process(const watermark_params* params, ReplacementList* list,
                                  const char* in_path) {
  if (params == nullptr || list == nullptr || util_is_string_empty(in_path)) {
    LOG_ERROR("replacement_list_post_process: bad param(s)");
    return 0;
  }
  if (list->post_processed) {
    LOG_ERROR("replacement_list_post_process: Already post-processed");
    return 0;
  }
  if (params->gzip != COMPRESSION_GZIP) return 1;
  // The rewrite as it stands now (after replication, the list's own file).
  if (!replacement_list_force_apply(list, in_path)) return 0;
  char temp[OS_PATH_BUFFER_SIZE];
  if (!os_file_make_temp(temp, sizeof temp)) {
    LOG_ERROR("replacement_list_post_process: Could not create temp file");
    return 0;
  }
  // gzip output is created exclusively and never through a link: the name
  // is taken from the fresh temporary file, which is removed first.
  (void)os_file_delete(temp);
  if (!gzip_compress(list->modified_file, temp)) {
    LOG_ERROR("replacement_list_post_process: gzip_compress failed for '%s'", list->modified_file);
    delete_temp(temp, "replacement_list_post_process");
    return 0;
  }
  if (!replacement_list_set_modified_file_ex(list, temp, 1)) {
    delete_temp(temp, "replacement_list_post_process");
    return 0;
  }
  list->post_processed = 1;
  return 1;
}

int replacement_list_replicate_inline(mapped_mem* mm, ReplacementList* list) {
  if (list == nullptr) {
    LOG_ERROR("replacement_list_replicate_inline: replacement_list == NULL");
    return 0;
  }
  if (mm == nullptr || list->buffer_len > mm->size) return 0;
  const std::int32_t copies = list->inline_copies;
  // A list over the first of several copies in the file is written out even
  // once: the rest of the file must not follow it.
  if (copies < 2 && list->buffer_len == mm->size) {
    LOG_DEBUG("replacement_list_replicate_inline: copies=%d nothing to do", copies);
    return 1;
  }
  LOG_DEBUG("replacement_list_replicate_inline: inline_copies=%d", copies);
  if (!check_inline_copies_size(copies, list->buffer_len)) return 0;
  char temp[OS_PATH_BUFFER_SIZE];
  if (!os_file_make_temp(temp, sizeof temp)) {
    LOG_ERROR("_apply_replacement_list_copies: Could not create temp file");
    return 0;
  }
  if (!replacement_list_apply_to_file_copies(mm->data, list, temp, copies)) {
    LOG_ERROR("replacement_list_replicate_inline: _apply_replacement_list_copies() failed");
    delete_temp(temp, "replacement_list_replicate_inline");
    return 0;
  }
  if (!update_mapped_mem(mm, temp, 1)) {
    LOG_ERROR("replacement_list_replicate_inline: update_mapped_mem() failed");
    delete_temp(temp, "replacement_list_replicate_inline");
    return 0;
  }
  list->replacements.clear();
  list->inline_copies = 1;
  list->modified_inline_copies = 1;
  list->buffer_len = mm->size;
  util_safe_strncpy(list->buffer_file, temp, sizeof list->buffer_file);
  return 1;
}
