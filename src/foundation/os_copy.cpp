// File copies: path to path, stream to path, path to stream, stream to
// stream, and a file repeated n times.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

#include "foundation/log.h"
#include "foundation/os_file.h"
#include "foundation/util.h"

namespace {

constexpr std::size_t kStreamBlock = 65536;  // stream-to-stream copies
constexpr std::size_t kRepeatBlock = 8192;   // repeated copies

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
};


// Opens the destination without truncating it, so that a destination that
// turns out to be the source itself (another name, a link) is refused before
// any byte of the source is lost; then truncates. -1 on failure.
int open_destination(const char* to_path, const struct stat& source, const char* from_path,
                     const char* caller) {
  int fd = open(to_path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat dest {};
  if (fstat(fd, &dest) != 0) {
    close(fd);
    return -1;
  }
  if (dest.st_dev == source.st_dev && dest.st_ino == source.st_ino) {
    LOG_ERROR("%s: refusing to copy file: %s onto itself: %s", caller, from_path, to_path);
    close(fd);
    errno = EINVAL;
    return -1;
  }
  if (ftruncate(fd, 0) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Copies the rest of `in` to `out` from the current positions; 0 when a read
// or a write fails.
int copy_fd(int in, int out, char* block, std::size_t block_size) {
  for (;;) {
    ssize_t n = read(in, block, block_size);
    if (n == 0) return 1;
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    if (!os_write_all(out, block, static_cast<std::size_t>(n))) return 0;
  }
}

}  // namespace

int os_file_copy(const char* from_path, const char* to_path) {
  if (!TV_ASSERT(!util_equal_str(from_path, to_path))) return 0;
  if (from_path == nullptr || to_path == nullptr) return 0;
  Fd in(open(from_path, O_RDONLY | O_CLOEXEC));
  struct stat source {};
  if (in.fd < 0 || fstat(in.fd, &source) != 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Errored opening file: %s for copying.", from_path);
    return 0;
  }
  Fd out(open_destination(to_path, source, from_path, "os_file_copy"));
  if (out.fd < 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Errored opening file: %s for copying.", to_path);
    return 0;
  }
  std::unique_ptr<char[]> block(new (std::nothrow) char[kStreamBlock]);
  if (!block || !copy_fd(in.fd, out.fd, block.get(), kStreamBlock)) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Failed to copy data to file: %s", to_path);
    return 0;
  }
  int fd = out.fd;
  out.fd = -1;
  if (close(fd) != 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy: Failed to copy data to file: %s", to_path);
    return 0;
  }
  return 1;
}

int os_file_copy_handle_handle(FILE* in, FILE* out) {
  if (in == nullptr || out == nullptr) return 0;
  std::unique_ptr<char[]> block(new (std::nothrow) char[kStreamBlock]);
  if (!block) return 0;
  for (;;) {
    std::size_t n = std::fread(block.get(), 1, kStreamBlock, in);
    if (n > 0 && std::fwrite(block.get(), 1, n, out) != n) {
      LOG_ERROR("os_file_copy_handle_handle: Failed to copy data to file.");
      return 0;
    }
    if (n < kStreamBlock) break;
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
  FilePtr out(os_fopen(to_path, "wb"));
  if (!out) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_handle: Errored opening file: %s as copy destination.",
                          to_path);
    return 0;
  }
  int ok = os_file_copy_handle_handle(in, out.get());
  // Data still buffered is only written by the close.
  if (std::fclose(out.release()) != 0) ok = 0;
  if (!ok) LOG_ERROR("os_file_copy_handle: Failed to copy data to file: %s", to_path);
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

int os_file_copy_repeats(const char* from_path, const char* to_path, int n_repeats) {
  if (!TV_ASSERT(n_repeats >= 1)) return 0;
  if (from_path == nullptr || to_path == nullptr) return 0;
  Fd in(open(from_path, O_RDONLY | O_CLOEXEC));
  struct stat source {};
  if (in.fd < 0 || fstat(in.fd, &source) != 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Errored opening file: %s for copying.", from_path);
    return 0;
  }
  Fd out(open_destination(to_path, source, from_path, "os_file_copy_repeats"));
  if (out.fd < 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Errored opening file: %s as copy destination.",
                          to_path);
    return 0;
  }
  char block[kRepeatBlock];
  for (int i = 0; i < n_repeats; ++i) {
    if (lseek(in.fd, 0, SEEK_SET) != 0 || !copy_fd(in.fd, out.fd, block, sizeof block)) {
      LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Failed to copy data to file: %s,i=%d", to_path,
                            i);
      return 0;
    }
  }
  int fd = out.fd;
  out.fd = -1;
  if (close(fd) != 0) {
    LOG_LAST_SYSTEM_ERROR("os_file_copy_repeats: Failed to copy data to file: %s,i=%d", to_path,
                          n_repeats);
    return 0;
  }
  return 1;
}
