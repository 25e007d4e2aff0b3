// Former home of the shared test helpers, kept for tests written against it
// before they moved; new tests include "support/test_support.h".
#pragma once

#include "support/test_support.h"

namespace platform_test = sw_test;
