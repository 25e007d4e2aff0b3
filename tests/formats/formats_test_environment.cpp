// The walks take their time limit from the configuration. A test run on its
// own (as ctest runs each) would otherwise see the zeroed context, a limit
// of no time at all, and its walk would stop wherever the clock first
// ticked over: the suite starts from the configured defaults instead.
#include <gtest/gtest.h>

#include "foundation/config.h"

namespace {

class ConfiguredDefaults : public ::testing::Environment {
 public:
  void SetUp() override { config_init_session_defaults(&global_ctx); }
};

[[maybe_unused]] ::testing::Environment* const CONFIGURED_DEFAULTS =
    ::testing::AddGlobalTestEnvironment(new ConfiguredDefaults);

}  // namespace
