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
constexpr std::size_t kBulkReadSize = 256 * 1024;
constexpr std::size_t kInflateOutSize = 256 * 1024;

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

enum class Outcome { kOk, kWriteFailed, kReadFailed, kInflateFailed, kTooLarge };

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
    if (started_) out_ = std::make_unique<std::uint8_t[]>(kInflateOutSize);
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
      stream_.avail_out = static_cast<uInt>(kInflateOutSize);
      int rc = inflate(&stream_, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        LOG_DEBUG("Zlib inflate error: [%d] %s", rc, stream_.msg != nullptr ? stream_.msg : "");
        return Outcome::kInflateFailed;
      }
      std::size_t produced = kInflateOutSize - stream_.avail_out;
      if (exceeds_limits()) return Outcome::kTooLarge;
      if (os_write_all(fd, out_.get(), produced) == 0) {
        LOG_LAST_SYSTEM_ERROR("Unable to write the spool file");
        return Outcome::kWriteFailed;
      }
      finished_ = rc == Z_STREAM_END;
      if (rc == Z_BUF_ERROR && produced == 0) break;
    }
    return Outcome::kOk;
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

// Copies or inflates the whole input into `fd`; `*written` gets the bytes
// written.
Outcome fill_spool_file(int fd, FILE* in, const CupsIntakeLimits& limits, std::uint64_t* written) {
  auto buffer = std::make_unique<std::uint8_t[]>(kBulkReadSize);
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
  while (got > 0) {
    // The job was cancelled (SIGTERM): stop copying, nothing is kept.
    if (os_stop_requested()) {
      LOG_INFO("Copying the print data was stopped: the job was cancelled");
      return Outcome::kReadFailed;
    }
    if (inflating) {
      Outcome outcome = inflater.feed(fd, buffer.get(), got);
      total = inflater.written();
      if (outcome != Outcome::kOk) return outcome;
      if (inflater.finished()) break;  // anything after the stream is not print data
    } else {
      if (os_write_all(fd, buffer.get(), got) == 0) {
        LOG_LAST_SYSTEM_ERROR("Unable to write the spool file");
        return Outcome::kWriteFailed;
      }
      total += got;
    }
    got = read_piece(in, buffer.get(), kBulkReadSize, &read_failed);
  }
  *written = total;
  if (read_failed) {
    LOG_ERROR("Error reading the print data for the spool file");
    return Outcome::kReadFailed;
  }
  if (inflating && !inflater.finished()) {
    LOG_DEBUG("Zlib inflate error: [%d] %s", Z_BUF_ERROR, "compressed data ends early");
    return Outcome::kInflateFailed;
  }
  return Outcome::kOk;
}

CupsIntakeFailure failure_of(Outcome outcome) {
  switch (outcome) {
    case Outcome::kOk: return CUPS_INTAKE_NO_FAILURE;
    case Outcome::kWriteFailed: return CUPS_INTAKE_WRITE_FAILED;
    case Outcome::kReadFailed: return CUPS_INTAKE_READ_FAILED;
    case Outcome::kInflateFailed: return CUPS_INTAKE_BAD_GZIP;
    case Outcome::kTooLarge: return CUPS_INTAKE_TOO_LARGE;
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
  if (close(fd) != 0 && outcome == Outcome::kOk) outcome = Outcome::kWriteFailed;
  if (outcome == Outcome::kWriteFailed) LOG_DEBUG("unable to write to temporary file");
  *failure = failure_of(outcome);
  if (outcome != Outcome::kOk) {
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
