// The spool file made from what CUPS hands the backend: copied as it is, or
// inflated when it is gzip data, with bounds on how far inflation may grow.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_dir.h"
#include "foundation/os_file.h"
#include "foundation/os_stop.h"
#include "job/backend_run.h"
#include "job/cups_intake.h"

namespace {

// Pieces read after the first one: large enough that a big job is copied at
// the speed of the page cache, small enough to keep memory flat.
constexpr std::size_t BULK_READ_SIZE = 256 * 1024;
constexpr std::size_t INFLATE_OUT_SIZE = 256 * 1024;
// The most the kernel copies at once from CUPS's file into the spool file.
constexpr std::size_t KERNEL_COPY_CHUNK = 64 * 1024 * 1024;

// Creates the spool file exclusively at a name nobody can guess, never
// through a link; the descriptor, or -1.
int create_spool_file(char* path, std::size_t size, const char* dir) {
  const int fd = os_file_create_unique(dir, CUPS_INTAKE_SPOOL_PREFIX, 0600, path, size);
  if (fd >= 0) LOG_DEBUG("created spool file: \"%s\"", path);
  return fd;
}

// Reads up to `want` bytes (fewer only at the end of the input or on error).
std::size_t read_piece(FILE* in, std::uint8_t* buffer, std::size_t want, bool* failed) {
  std::size_t got = std::fread(buffer, 1, want, in);
  if (got < want && std::ferror(in) != 0) *failed = true;
  if (got > 0) LOG_DEV("Read in %d bytes of data for spool file", static_cast<int>(got));
  return got;
}

enum class Outcome { OK, WRITE_FAILED, READ_FAILED, INFLATE_FAILED, TOO_LARGE };

// The inflater of one job with its running totals and limits.
class Inflater {
 public:
  explicit Inflater(const CupsIntakeLimits& limits) : limits_(limits) {}
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  ~Inflater() {
    if (started_) inflateEnd(&stream_);
  }

  bool start() {
    started_ = inflateInit2(&stream_, 31) == Z_OK;
    if (started_) out_ = std::make_unique<std::uint8_t[]>(INFLATE_OUT_SIZE);
    return started_;
  }
  bool finished() const { return finished_; }
  std::uint64_t written() const { return stream_.total_out; }

  // Inflates one piece into `fd`.
  Outcome feed(int fd, std::uint8_t* data, std::size_t count) {
    stream_.next_in = data;
    stream_.avail_in = static_cast<uInt>(count);
    while (!finished_ && stream_.avail_in > 0) {
      stream_.next_out = out_.get();
      stream_.avail_out = static_cast<uInt>(INFLATE_OUT_SIZE);
      int rc = inflate(&stream_, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        LOG_DEBUG("Zlib inflate error: [%d] %s", rc, stream_.msg != nullptr ? stream_.msg : "");
        return Outcome::INFLATE_FAILED;
      }
      std::size_t produced = INFLATE_OUT_SIZE - stream_.avail_out;
      if (exceeds_limits()) return Outcome::TOO_LARGE;
      if (os_write_all(fd, out_.get(), produced) == 0) {
        LOG_LAST_SYSTEM_ERROR("Unable to write the spool file");
        return Outcome::WRITE_FAILED;
      }
      finished_ = rc == Z_STREAM_END;
      if (rc == Z_BUF_ERROR && produced == 0) break;
    }
    return Outcome::OK;
  }

 private:
  bool exceeds_limits() const {
    std::uint64_t out = stream_.total_out;
    std::uint64_t in = stream_.total_in;
    if (limits_.max_inflated_bytes != 0 && out > limits_.max_inflated_bytes) {
      LOG_ERROR("Inflated spool data exceeds the limit of %" PRIu64 " bytes",
                limits_.max_inflated_bytes);
      return true;
    }
    if (limits_.max_ratio != 0 && out > limits_.ratio_floor_bytes &&
        out / limits_.max_ratio > in) {
      LOG_ERROR("Inflated spool data is more than %" PRIu64
                " times its compressed size (%" PRIu64 " bytes from %" PRIu64 ")",
                limits_.max_ratio, out, in);
      return true;
    }
    return false;
  }

  CupsIntakeLimits limits_;
  z_stream stream_{};
  std::unique_ptr<std::uint8_t[]> out_;
  bool started_ = false;
  bool finished_ = false;
};

bool is_gzip(const std::uint8_t* data, std::size_t count) {
  return count >= 2 && data[0] == 0x1F && data[1] == 0x8B;
}

// The rest of a plain file after what was read through `in`, copied by the
// kernel (copy_file_range: no pass through this process, a reflink where the
// file system has them), in chunks between which a cancel is noticed.
enum class KernelCopy { DONE, UNSUPPORTED, FAILED, STOPPED };

KernelCopy copy_rest_in_kernel(FILE* in, int fd, std::uint64_t* total) {
  struct stat info {};
  const int from = fileno(in);
  if (from < 0 || fstat(from, &info) != 0 || !S_ISREG(info.st_mode)) return KernelCopy::UNSUPPORTED;
  off_t offset = ftello(in);
  if (offset < 0) return KernelCopy::UNSUPPORTED;
  bool any = false;
  for (;;) {
    if (os_stop_requested()) return KernelCopy::STOPPED;
    const ssize_t n = copy_file_range(from, &offset, fd, nullptr, KERNEL_COPY_CHUNK, 0);
    if (n == 0) return KernelCopy::DONE;
    if (n > 0) {
      any = true;
      *total += static_cast<std::uint64_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    const bool unsupported = errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                             errno == EOPNOTSUPP || errno == EBADF;
    if (unsupported && !any) return KernelCopy::UNSUPPORTED;
    LOG_LAST_SYSTEM_ERROR("Unable to write the spool file");
    return KernelCopy::FAILED;
  }
}

// Copies or inflates the whole input into `fd`; `*written` gets the bytes
// written.
Outcome fill_spool_file(int fd, FILE* in, const CupsIntakeLimits& limits, std::uint64_t* written) {
  auto buffer = std::make_unique<std::uint8_t[]>(BULK_READ_SIZE);
  bool read_failed = false;
  std::size_t got = read_piece(in, buffer.get(), CUPS_INTAKE_READ_SIZE, &read_failed);
  Inflater inflater(limits);
  bool inflating = false;
  if (is_gzip(buffer.get(), got)) {
    LOG_DEBUG("Detected gzip data - attempting decompress");
    inflating = inflater.start();
    if (!inflating) LOG_DEBUG("Unable to inflateInit2 - will not decompress");
  }
  std::uint64_t total = 0;
  bool tried_kernel = false;
  while (got > 0) {
    // The job was cancelled (SIGTERM): stop copying, nothing is kept.
    if (os_stop_requested()) {
      LOG_INFO("Copying the print data was stopped: the job was cancelled");
      return Outcome::READ_FAILED;
    }
    if (inflating) {
      Outcome outcome = inflater.feed(fd, buffer.get(), got);
      total = inflater.written();
      if (outcome != Outcome::OK) return outcome;
      if (inflater.finished()) break;  // anything after the stream is not print data
    } else {
      if (os_write_all(fd, buffer.get(), got) == 0) {
        LOG_LAST_SYSTEM_ERROR("Unable to write the spool file");
        return Outcome::WRITE_FAILED;
      }
      total += got;
      // CUPS's own file: the rest goes from file to file in the kernel.
      const KernelCopy kernel = tried_kernel ? KernelCopy::UNSUPPORTED
                                             : copy_rest_in_kernel(in, fd, &total);
      tried_kernel = true;
      switch (kernel) {
        case KernelCopy::DONE: *written = total; return Outcome::OK;
        case KernelCopy::FAILED: return Outcome::WRITE_FAILED;
        case KernelCopy::STOPPED:
          LOG_INFO("Copying the print data was stopped: the job was cancelled");
          return Outcome::READ_FAILED;
        case KernelCopy::UNSUPPORTED: break;
      }
    }
    got = read_piece(in, buffer.get(), BULK_READ_SIZE, &read_failed);
  }
  *written = total;
  if (read_failed) {
    LOG_ERROR("Error reading the print data for the spool file");
    return Outcome::READ_FAILED;
  }
  if (inflating && !inflater.finished()) {
    LOG_DEBUG("Zlib inflate error: [%d] %s", Z_BUF_ERROR, "compressed data ends early");
    return Outcome::INFLATE_FAILED;
  }
  return Outcome::OK;
}

CupsIntakeFailure failure_of(Outcome outcome) {
  switch (outcome) {
    case Outcome::OK: return CUPS_INTAKE_NO_FAILURE;
    case Outcome::WRITE_FAILED: return CUPS_INTAKE_WRITE_FAILED;
    case Outcome::READ_FAILED: return CUPS_INTAKE_READ_FAILED;
    case Outcome::INFLATE_FAILED: return CUPS_INTAKE_BAD_GZIP;
    case Outcome::TOO_LARGE: return CUPS_INTAKE_TOO_LARGE;
  }
  return CUPS_INTAKE_WRITE_FAILED;
}

}  // namespace

const char* common_get_temp_spool_dir() {
  const char* dir = global_ctx.tmp_cups_spool_dir;
  struct stat st {};
  if (dir[0] != '\0') {
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) {
      LOG_DEBUG("Using configured tmp spool directory: \"%s\"\n", dir);
      return dir;
    }
  }
  // Never a shared directory such as /tmp: what root writes there can be
  // aimed at by anyone who plants a name first.
  static char private_dir[CONFIG_TEXT_SIZE];
  if (!os_cat_path(private_dir, sizeof private_dir, global_ctx.spool_dir_path,
                   CUPS_INTAKE_PRIVATE_DIR_NAME) ||
      global_ctx.spool_dir_path[0] == '\0') {
    LOG_ERROR("No spool directory is configured for the spool files");
    return nullptr;
  }
  if (dir[0] == '\0') {
    LOG_DEBUG("Using default tmp spool directory for CUPS spool files: %s", private_dir);
  } else {
    LOG_SYSTEM_ERROR_AS_DEBUG(
        errno != 0 ? errno : ENOTDIR,
        "Using tmp spool directory of \"%s\" as unable to use the configured tmp spool "
        "directory \"%s\"",
        private_dir, dir);
  }
  if (!os_make_private_dir(private_dir, CUPS_INTAKE_PRIVATE_DIR_MODE, cups_run_group())) {
    LOG_ERROR("Unable to use the private spool directory \"%s\"", private_dir);
    return nullptr;
  }
  return private_dir;
}

int common_make_spool_file_ex(char* path, std::size_t size, FILE* in,
                              const CupsIntakeLimits& limits, CupsIntakeFailure* failure) {
  CupsIntakeFailure ignored = CUPS_INTAKE_NO_FAILURE;
  if (failure == nullptr) failure = &ignored;
  *failure = CUPS_INTAKE_CREATE_FAILED;
  if (!TV_ASSERT(path != nullptr && size > 0 && in != nullptr)) return 0;
  const char* dir = common_get_temp_spool_dir();
  const int fd = dir != nullptr ? create_spool_file(path, size, dir) : -1;
  if (fd < 0) return 0;
  std::uint64_t written = 0;
  Outcome outcome = fill_spool_file(fd, in, limits, &written);
  if (close(fd) != 0 && outcome == Outcome::OK) outcome = Outcome::WRITE_FAILED;
  if (outcome == Outcome::WRITE_FAILED) LOG_DEBUG("unable to write to temporary file");
  *failure = failure_of(outcome);
  if (outcome != Outcome::OK) {
    LOG_ERROR("Unable to make the spool file \"%s\"; it was removed", path);
    unlink(path);
    return 0;
  }
  LOG_DEBUG("just wrote spool file of size: %lu", static_cast<unsigned long>(written));
  return 1;
}

int common_make_spool_file(char* path, std::size_t size, FILE* in) {
  return common_make_spool_file_ex(path, size, in, CUPS_INTAKE_DEFAULT_LIMITS);
}

namespace {

// 1 when the file at `source` begins with the gzip magic; -1 when it cannot
// be read.
int starts_as_gzip(const char* source) {
  const int fd = open(source, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  std::uint8_t magic[2] = {};
  const ssize_t got = pread(fd, magic, sizeof magic, 0);
  close(fd);
  if (got < 0) return -1;
  return is_gzip(magic, static_cast<std::size_t>(got)) ? 1 : 0;
}

// The spool file as a second name of CUPS's own plain file, in the spool
// directory: no byte is copied. Nothing writes into a spool file (rewrites
// go to new files, and the spool file is only ever unlinked), so CUPS's
// file stays as it was. 1 with the name in `path`; 0 when no link can be
// made (another file system): the caller copies instead.
int link_spool_file(const char* source, const char* dir, char* path, std::size_t size) {
  // A fresh unguessable name, freed again for the link; link() never
  // follows or replaces whatever might appear at it in between.
  const int fd = os_file_create_unique(dir, CUPS_INTAKE_SPOOL_PREFIX, 0600, path, size);
  if (fd < 0) return 0;
  close(fd);
  unlink(path);
  if (link(source, path) != 0) {
    LOG_LAST_SYSTEM_ERROR_AS_DEBUG("Copying the print data as it cannot be linked: %s", source);
    path[0] = '\0';
    return 0;
  }
  LOG_DEBUG("created spool file: \"%s\" (a link to %s)", path, source);
  return 1;
}

}  // namespace

int common_make_spool_file_from_path(char* path, std::size_t size, const char* source,
                                     const CupsIntakeLimits& limits,
                                     CupsIntakeFailure* failure) {
  CupsIntakeFailure ignored = CUPS_INTAKE_NO_FAILURE;
  if (failure == nullptr) failure = &ignored;
  *failure = CUPS_INTAKE_READ_FAILED;
  if (!TV_ASSERT(path != nullptr && size > 0 && source != nullptr)) return 0;
  const int gzip = starts_as_gzip(source);
  if (gzip < 0) {
    LOG_LAST_SYSTEM_ERROR("Unable to read the print data: %s", source);
    return 0;
  }
  const char* dir = common_get_temp_spool_dir();
  if (dir == nullptr) {
    *failure = CUPS_INTAKE_CREATE_FAILED;
    return 0;
  }
  if (gzip == 0 && link_spool_file(source, dir, path, size)) {
    *failure = CUPS_INTAKE_NO_FAILURE;
    return 1;
  }
  FILE* in = std::fopen(source, "rbe");
  if (in == nullptr) {
    LOG_LAST_SYSTEM_ERROR("Unable to read the print data: %s", source);
    return 0;
  }
  const int made = common_make_spool_file_ex(path, size, in, limits, failure);
  std::fclose(in);
  return made;
}
