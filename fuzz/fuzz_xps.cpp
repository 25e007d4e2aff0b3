// Zip packages and the XPS analyzer over arbitrary bytes: the memory stream,
// the directory walk, reading every part (joined pieces, UTF-16 text) and the
// analysis with colour detection stay inside the buffer and within the part
// limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "analysis/xps.h"
#include "scan/xps_zip.h"
#include "foundation/ja.h"

#include "fuzz_input.h"

SW_FUZZ_SESSION_DEFAULTS()

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> input = fuzz_exact_copy(data, size);
  {
    XpsZipPtr zip(unzip_open(input.data(), size));
    if (zip) {
      const std::optional<XpsFileList> list = unzip_get_filenames(zip.get());
      if (list) {
        std::string text;
        for (const XpsPart& part : list->parts) {
          if (get_data_from_full_string(zip.get(), part, true, &text) &&
              text.size() > XPS_ZIP_PART_MAX_BYTES * 3 / 2) {
            std::abort();
          }
        }
      }
    }
  }
  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja == nullptr) return 0;
  const int result = xps_process_job(input.data(), size, 1, ja.get());
  if (result == 0 && (ja->pages <= 0 || ja->color_pages > ja->pages)) std::abort();
  return 0;
}
