#include "foundation/config.h"

SessionContext global_ctx{};
