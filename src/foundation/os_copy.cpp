// File copies: path to path, stream to path, path to stream, stream to
// stream, and a file repeated n times. Every copy writes into a file it
// creates itself (exclusively, never through a link), so that no copy run as
// root can be turned against a file that someone planted at its name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <new>

#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/util.h"

namespace {

constexpr std::size_t STREAM_BLOCK = 65536;  // stream-to-stream copies
// The most the kernel is asked to copy at once: large enough that a copy
// costs a handful of system calls, small enough to stay responsive.
constexpr std::size_t KERNEL_COPY_CHUNK = std::size_t{1} << 30;
// Mode of a new destination; the caller's umask takes from it.
constexpr mode_t DESTINATION_MODE = 0666;

// Closes a descriptor on scope exit.
struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int value) : fd(value) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  int release() {
    const int value = fd;
    fd = -1;
    return value;
  }
};


// A new destination file: refused when anything exists at the name.
int create_destination(const char* to_path) {
  return open(to_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, DESTINATION_MODE);
}

// Copies the rest of `in` to `out` with read and write; 0 when a read or a
// write fails.
int copy_by_blocks(int in, int out) {
  std::unique_ptr<char[]> block(new (std::nothrow) char[STREAM_BLOCK]);
  if (!block) return 0;
  for (;;) {
    const ssize_t n = read(in, block.get(), STREAM_BLOCK);
    if (n == 0) return 1;
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (!os_write_all(out, block.get(), static_cast<std::size_t>(n))) return 0;
  }
}

// Copies the rest of `in` to `out` from their current positions, in the
// kernel (copy_file_range: no copy through user space, a reflink where the
// file system has them) and else by blocks. 0 when a read or a write fails.
int copy_fd(int in, int out) {
  bool copied_any = false;
  for (;;) {
    const ssize_t n = copy_file_range(in, nullptr, out, nullptr, KERNEL_COPY_CHUNK, 0);
    if (n == 0) return 1;
    if (n > 0) {
      copied_any = true;
      continue;
    }
    if (errno == EINTR) continue;
    // Not possible between these files (other file systems, special files,
    // an old kernel): the plain way, from where the kernel stopped.
    const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                             errno == EOPNOTSUPP || errno == EBADF;
    if (!unsupported || (copied_any && errno != EXDEV)) return 0;
    return copy_by_blocks(in, out);
  }
}

// Closes a finished destination; a failed close is a failed copy (the data
// may never reach the disk).
int finish_destination(Fd& out) { return close(out.release()) == 0 ? 1 : 0; }

}  // namespace

int os_file_copy(const char* from_path, const char* to_path) {
  if (!TV_ASSERT(!util_equal_str(from_path, to_path))) return 0;
  if (from_path == nullptr || to_path == nullptr) return 0;
  Fd in(open(from_path, O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Errored opening file: %s for copying.", from_path);
    return 0;
  }
  Fd out(create_destination(to_path));
  if (out.fd < 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Errored opening file: %s for copying.", to_path);
    return 0;
  }
  if (!copy_fd(in.fd, out.fd) || !finish_destination(out)) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Failed to copy data to file: %s", to_path);
    unlink(to_path);
    return 0;
  }
  return 1;
}

int os_file_copy_handle_handle(FILE* in, FILE* out) {
  if (in == nullptr || out == nullptr) return 0;
  std::unique_ptr<char[]> block(new (std::nothrow) char[STREAM_BLOCK]);
  if (!block) return 0;
  for (;;) {
    std::size_t n = std::fread(block.get(), 1, STREAM_BLOCK, in);
    if (n > 0 && std::fwrite(block.get(), 1, n, out) != n) {
      LOG_ERROR("os_file_copy_handle_handle: Failed to copy data to file.");
      return 0;
    }
    if (n < STREAM_BLOCK) break;
  }
  // A read error is not the end of the data.
  if (std::ferror(in)) {
    LOG_ERROR("os_file_copy_handle_handle: Failed to read data from file.");
    return 0;
  }
  if (std::fflush(out) != 0) {
    LOG_ERROR("os_file_copy_handle_handle: Failed to copy data to file.");
    return 0;
  }
  return 1;
}

int os_file_copy_handle(FILE* in, const char* to_path) {
  if (to_path == nullptr) return 0;
  Fd fd(create_destination(to_path));
  FilePtr out(fd.fd >= 0 ? fdopen(fd.fd, "wb") : nullptr);
  if (!out) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_handle: Errored opening file: %s as copy destination.",
                          to_path);
    if (fd.fd >= 0) unlink(to_path);
    return 0;
  }
  (void)fd.release();  // the stream owns it now
  int ok = os_file_copy_handle_handle(in, out.get());
  // Data still buffered is only written by the close.
  if (std::fclose(out.release()) != 0) ok = 0;
  if (!ok) {
    LOG_ERROR("os_file_copy_handle: Failed to copy data to file: %s", to_path);
    unlink(to_path);
  }
  return ok;
}

int os_file_copy_path(const char* from_path, FILE* out) {
  FilePtr in(os_fopen(from_path, "rb"));
  if (!in) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_path: Errored opening file: %s as copy source.", from_path);
    return 0;
  }
  if (!os_file_copy_handle_handle(in.get(), out)) {
    LOG_ERROR("os_file_copy_handle: Failed to copy data from file: %s", from_path);
    return 0;
  }
  return 1;
}

int os_file_copy_repeats_fd(int from_fd, int to_fd, int n_repeats) {
  if (!TV_ASSERT(n_repeats >= 1)) return 0;
  for (int i = 0; i < n_repeats; ++i) {
    if (lseek(from_fd, 0, SEEK_SET) != 0 || !copy_fd(from_fd, to_fd)) return 0;
  }
  return 1;
}

int os_file_copy_repeats(const char* from_path, const char* to_path, int n_repeats) {
  if (!TV_ASSERT(n_repeats >= 1)) return 0;
  if (from_path == nullptr || to_path == nullptr) return 0;
  Fd in(open(from_path, O_RDONLY | O_CLOEXEC));
  if (in.fd < 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Errored opening file: %s for copying.", from_path);
    return 0;
  }
  Fd out(create_destination(to_path));
  if (out.fd < 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Errored opening file: %s as copy destination.",
                          to_path);
    return 0;
  }
  for (int i = 0; i < n_repeats; ++i) {
    if (!os_file_copy_repeats_fd(in.fd, out.fd, 1)) {
      LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Failed to copy data to file: %s,i=%d", to_path,
                            i);
      unlink(to_path);
      return 0;
    }
  }
  if (!finish_destination(out)) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Failed to copy data to file: %s,i=%d", to_path,
                          n_repeats);
    unlink(to_path);
    return 0;
  }
  return 1;
}

int os_file_copy_range(int from_fd, std::uint64_t offset, std::uint64_t count, int to_fd) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
      count > static_cast<std::uint64_t>(INT64_MAX) - offset) {
    return 0;
  }
  auto position = static_cast<off_t>(offset);
  bool in_kernel = true;
  std::unique_ptr<char[]> block;
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(
        count, in_kernel ? KERNEL_COPY_CHUNK : STREAM_BLOCK));
    if (in_kernel) {
      const ssize_t n = copy_file_range(from_fd, &position, to_fd, nullptr, want, 0);
      if (n > 0) {
        count -= static_cast<std::uint64_t>(n);
        continue;
      }
      if (n == 0) return 0;  // the source ended early
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
          errno != EBADF) {
        return 0;
      }
      in_kernel = false;  // these files cannot: by blocks from where it stopped
      block.reset(new (std::nothrow) char[STREAM_BLOCK]);
      if (!block) return 0;
      continue;
    }
    const ssize_t n = pread(from_fd, block.get(), want, position);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !os_write_all(to_fd, block.get(), static_cast<std::size_t>(n))) return 0;
    position += n;
    count -= static_cast<std::uint64_t>(n);
  }
  return 1;
}
