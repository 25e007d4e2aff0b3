// pxl-strict-read FILE...: the strict PCL XL reader (pxl_strict.h) as a
// program, for the tests that do not run in GoogleTest (the end-to-end
// tests). One line per file: "ok streams=N pages=N entered=N exits=N
// user_streams=N" (entered: streams announced by ENTER LANGUAGE=PCLXL), or
// "error <where and why>". Exit status 1 when a file is not strict PCL XL
// or cannot be read.
#include <cstdio>

#include "support/files.h"
#include "support/pxl_strict.h"

int main(int argc, char** argv) {
  int status = argc > 1 ? 0 : 2;
  for (int i = 1; i < argc; ++i) {
    if (!sw_test::exists(argv[i])) {
      std::printf("error cannot read %s\n", argv[i]);
      status = 1;
      continue;
    }
    const std::string data = sw_test::read_file(argv[i]);
    const sw_test::PxlStrictRead read = sw_test::pxl_strict_read(data);
    if (!read.ok) {
      std::printf("error %s\n", read.error.c_str());
      status = 1;
      continue;
    }
    int entered = 0;
    for (const sw_test::PxlStrictStream& s : read.streams) entered += s.entered ? 1 : 0;
    std::printf("ok streams=%zu pages=%d entered=%d exits=%d user_streams=%zu\n",
                read.streams.size(), read.pages(), entered, read.universal_exits,
                read.stream_names.size());
  }
  return status;
}
