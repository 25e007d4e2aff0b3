// Reads arbitrary bytes as a job meta-data file and as a printer settings
// file, and feeds them to the line-level parsers.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/ja.h"
#include "foundation/serialize_format.h"
#include "foundation/serialize_job.h"
#include "foundation/serialize_settings.h"

namespace {

const std::string& work_dir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/sw_fuzz_serialize_XXXXXX";
    return std::string(mkdtemp(pattern) != nullptr ? pattern : "/tmp");
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy so that an over-read is caught.
  std::unique_ptr<char[]> copy(new char[size]);
  if (size > 0) std::memcpy(copy.get(), data, size);
  std::string_view text(copy.get(), size);

  int number = 0;
  double real = 0;
  int fields[6] = {};
  (void)serialize_parse_int(text, &number);
  (void)serialize_parse_double(text, &real);
  (void)serialize_parse_date(text, fields);
  std::string unescaped = serialize_unescape_value(text);
  if (serialize_unescape_value(serialize_escape_value(text)) != text) abort();

  std::string path = work_dir() + "/fuzz.dat";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(copy.get(), 1, size, file);
  std::fclose(file);

  JobAttribsPtr ja(analyzer_create_job_attribs());
  if (ja != nullptr) {
    (void)serialize_job_readin(path.c_str(), ja.get());
    double_paper_size(ja.get());
  }
  PrinterSettings settings{};
  (void)serialize_settings_readin(work_dir().c_str(), "fuzz", &settings);
  return 0;
}
