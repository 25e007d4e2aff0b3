// gzip output of whole files through zlib.
#include "foundation/gzip_wrapper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <memory>

#include "foundation/log.h"
#include "foundation/os_file.h"

namespace {

constexpr std::size_t READ_BLOCK = 16384;

// Copies `in` into the gzip stream; 1 when every block was written.
int compress_blocks(FILE* in, gzFile out, const char* in_path, const char* out_path) {
  char block[READ_BLOCK];
  for (;;) {
    std::size_t n = std::fread(block, 1, sizeof block, in);
    if (n > 0 && gzwrite(out, block, static_cast<unsigned>(n)) != static_cast<int>(n)) {
      int error = 0;
      const char* message = gzerror(out, &error);
      LOG_ERROR("gzip_compress: gzwrite: in_path='%s',out_path='%s',err=%d,msg='%s'", in_path,
                out_path, error, message != nullptr ? message : "");
      return 0;
    }
    if (n < sizeof block) break;
  }
  if (std::ferror(in)) {
    LOG_ERROR("gzip_compress: fread: in_path='%s',out_path='%s'", in_path, out_path);
    return 0;
  }
  return 1;
}

// Opens a new output file for gzip writing: refused when anything exists at
// its name (a link planted there is never followed, the input is never
// truncated).
gzFile open_output(const char* out_path) {
  const int fd = open(out_path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  gzFile out = gzdopen(fd, "wb6 ");
  if (out == nullptr) {
    close(fd);
    unlink(out_path);
  }
  return out;
}

}  // namespace

int gzip_compress(const char* in_path, const char* out_path) {
  if (in_path == nullptr || out_path == nullptr) return 0;
  const FilePtr in(os_fopen(in_path, "rb"));
  if (!in) {
    LOG_ERROR("gzip_compress: Can't open in_path='%s'", in_path);
    return 0;
  }
  gzFile out = open_output(out_path);
  if (out == nullptr) {
    LOG_ERROR("gzip_compress: Can't gzopen '%s'", out_path);
    return 0;
  }
  int ok = compress_blocks(in.get(), out, in_path, out_path);
  // The close writes the last compressed block and the trailer: without it
  // the file is cut short.
  if (gzclose(out) != Z_OK) {
    LOG_ERROR("gzip_compress: Can't gzclose '%s'", out_path);
    ok = 0;
  }
  // Half a compressed file is no print data.
  if (!ok) unlink(out_path);
  return ok;
}
