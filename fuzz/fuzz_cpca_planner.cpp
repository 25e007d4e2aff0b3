// The CPCA planner and the packet fix-up over arbitrary bytes: the planner
// either fails or leaves a re-wrapping that gives back a sound stream;
// edits placed in the inner data by the input's own bytes are fixed up, and
// a fixed-up list always passes the final check and unwraps to the inner
// data with the edits.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/ja.h"
#include "foundation/ja_languages.h"
#include "foundation/mapped_mem.h"
#include "foundation/watermark.h"
#include "fuzz_input.h"
#include "modify/cpca_packet_structure.h"
#include "modify/cpca_rewrite_check.h"
#include "modify/planner_canon_cpca.h"
#include "modify/replacement_list.h"

SW_FUZZ_SESSION_DEFAULTS()

namespace {

std::string input_path() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/fuzz_cpca_planner." +
         std::to_string(getpid());
}

bool write_input(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// A few edits of the inner data chosen by the input's first bytes.
void add_edits(const std::uint8_t* data, std::size_t size, ReplacementList* list) {
  const std::uint64_t n = list->buffer_len;
  if (n == 0) return;
  const std::string text(size > 0 ? 1 + data[0] * 40 : 1, 'e');
  for (std::size_t i = 1; i + 1 < size && i < 12; i += 2) {
    const std::uint64_t at = (static_cast<std::uint64_t>(data[i]) << 8 | data[i + 1]) * 7 % n;
    const std::uint64_t len = (i % 4 == 1) ? std::min<std::uint64_t>(n - at, data[i] * 13) : 0;
    (void)replacement_list_append2(list, static_cast<std::int64_t>(at), len, text.data(),
                                   text.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = input_path();
  if (!write_input(path, data, size)) return 0;
  MappedMemPtr mm(create_mapped_mem(path.c_str()));
  std::remove(path.c_str());
  if (mm == nullptr || mm->size == 0) return 0;
  ReplacementListPtr list(replacement_list_create(mm->size, -1, nullptr));
  JobAttribsPtr job(analyzer_create_job_attribs());
  if (list == nullptr || job == nullptr) return 0;
  job->language = size > 0 && (data[size - 1] & 1) ? LANG_PCL5 : LANG_PCL6;
  watermark_params request{};
  request.force_duplex = 1;
  request.copies = 70000;
  int allow = 1;
  int is_cpca = 0;
  if (plan_replacements_canon_cpca(&request, job.get(), mm.get(), list.get(), &allow, &is_cpca) !=
          1 ||
      is_cpca == 0) {
    return 0;
  }
  if (list->packet_adjuster == nullptr) return 0;  // not unwrapped
  add_edits(data, size, list.get());
  if (replacement_list_adjust_packet_structure(mm->data, mm->size, list.get()) == 1 &&
      cpca_is_valid(mm->data, mm->size, list.get()) != 1) {
    std::abort();
  }
  return 0;
}
