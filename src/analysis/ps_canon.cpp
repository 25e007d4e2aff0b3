// PostScript wrapped in Canon CPCA blocks (language code 2): the 21-byte
// blocks are cut out into a temporary file, which is mapped and analysed as
// PostScript; the CPCA records of the original give copies, grayscale and
// duplex. The temporary file is removed on every path.
#include <cstdio>
#include <cstring>

#include "analysis/postscript.h"
#include "foundation/ja.h"
#include "foundation/log.h"
#include "foundation/mapped_mem.h"
#include "foundation/os_file.h"
#include "foundation/owned.h"
#include "scan/canon.h"

namespace {

constexpr std::uint64_t CPCA_BLOCK = 21;
constexpr std::size_t TEMP_PATH_SIZE = 4096;

// A CPCA block at p: CD CA, bytes 10 and 11 both 00 or both FF, 00 at 19
// and 01 at 20.
bool cpca_block_at(const std::uint8_t* d, std::uint64_t p, std::uint64_t length) {
  if (p + 20 >= length) return false;
  if (d[p] != 0xCD || d[p + 1] != 0xCA) return false;
  const bool marks = (d[p + 10] == 0x00 && d[p + 11] == 0x00) || (d[p + 10] == 0xFF && d[p + 11] == 0xFF);
  return marks && d[p + 19] == 0x00 && d[p + 20] == 0x01;
}

// Writes the job without its CPCA blocks; false when a write failed.
bool write_filtered(std::FILE* out, const std::uint8_t* d, std::uint64_t length) {
  std::uint64_t copied_to = 0;
  for (std::uint64_t p = 0; p < length;) {
    const void* hit = std::memchr(d + p, 0xCD, static_cast<std::size_t>(length - p));
    if (hit == nullptr) break;
    p = static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - d);
    if (!cpca_block_at(d, p, length)) {
      ++p;
      continue;
    }
    LOG_DEV("skipping canon junk at: %llu", static_cast<unsigned long long>(p));
    if (std::fwrite(d + copied_to, 1, p - copied_to, out) != p - copied_to) return false;
    p += CPCA_BLOCK;
    copied_to = p;
  }
  return std::fwrite(d + copied_to, 1, length - copied_to, out) == length - copied_to;
}

// The temporary file, deleted when this goes out of scope.
struct TempFile {
  char path[TEMP_PATH_SIZE] = {};
  bool made = false;
  ~TempFile() {
    if (made) (void)os_file_delete(path);
  }
};

void free_mapping(mapped_mem* mm) { free_mapped_mem(&mm); }
using MappedPtr = Owned<mapped_mem, free_mapping>;

void apply_cpca_settings(const std::uint8_t* data, std::uint64_t length, JobAttribs* ja) {
  if (canon_has_canon_cpca(data, length) == 0) return;
  const int copies = canon_get_cpca_copycount(data, length);
  if (copies > 1) {
    LOG_DEBUG("Setting Canon copy count");
    ja_set_copy_count(ja, copies);
  }
  int colour = 0;
  if (canon_has_cpca_grayscale(data, length, &colour) != 0) {
    ja_set_is_grayscale(ja, 1);
  } else if (colour != 0) {
    ja_set_is_grayscale(ja, 0);
  }
  if (canon_has_cpca_duplex(data, length) != 0) ja_set_is_duplex(ja, 1);
}

}  // namespace

int postscript_canon_process_job(const std::uint8_t* data, std::uint64_t length, int detect_color,
                                 JobAttribs* ja) {
  LOG_DEV("entering postscript_canon_process_job");
  LOG_DEBUG("Processing a canon PostScript file");
  if (ja == nullptr || (data == nullptr && length > 0)) return -1;
  TempFile temp;
  if (os_file_make_temp_ex(temp.path, sizeof temp.path, "ps") == 0) {
    LOG_ERROR("Unable to make temp file");
    return -1;
  }
  temp.made = true;
  {
    FilePtr out(os_fopen(temp.path, "wb"));
    if (out == nullptr) {
      LOG_ERROR("Unable to open temp file");
      return -1;
    }
    const bool written = write_filtered(out.get(), data, length);
    // The close flushes: a failure there is a failed write too.
    const bool closed = std::fclose(out.release()) == 0;
    if (!written || !closed) {
      LOG_LAST_SYSTEM_ERROR("Unable to write filtered Canon PS spool file '%s'", temp.path);
      return -1;
    }
  }
  LOG_DEBUG("Finished filtering canon Postscript file");
  MappedPtr mapped(create_mapped_mem(temp.path));
  if (mapped == nullptr) {
    LOG_ERROR("Unable to map filtered Canon PS spool file");
    return -1;
  }
  if (postscript_process_job_inner(mapped->data, mapped->size, detect_color, ja, 1) < 0) {
    LOG_ERROR("Unable analyse filtered Canon PS spool file.");
    return -1;
  }
  apply_cpca_settings(data, length, ja);
  return 0;
}
