#include <gtest/gtest.h>

#include <cstring>

#include "foundation/config.h"
#include "foundation/gzip_wrapper.h"
#include "support/test_support.h"

TEST(GzipWrapper, PrinterListByNameOrWildcard) {
  const sw_test::ScopedGlobalContext context;
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
}
