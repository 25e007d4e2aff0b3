#include <gtest/gtest.h>

#include <cstring>

#include "foundation/config.h"
#include "foundation/gzip_wrapper.h"

TEST(GzipWrapper, PrinterListByNameOrWildcard) {
  char saved[sizeof global_ctx.gzip_compress];
  std::memcpy(saved, global_ctx.gzip_compress, sizeof saved);
  std::strcpy(global_ctx.gzip_compress, "LaserOne, color*,?");
  struct Case {
    const char* printer;
    int result;
  };
  const Case cases[] = {
      {"laserone", 1}, {"LASERONE", 1}, {"LaserOne2", 0}, {"Color-3", 1},
      {"mycolor", 0},  {"x", 1},        {"xy", 0},        {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(gzip_is_on_printer(c.printer), c.result) << c.printer;
  std::memcpy(global_ctx.gzip_compress, saved, sizeof saved);
}
