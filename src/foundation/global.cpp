#include "foundation/global.h"

#include <cstdlib>
#include <ctime>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/redirect_state.h"

void global_init() {
  log_init_lock();
  redirect_state_clear(&global_redirect_state);
  config_init_session_defaults(&global_ctx);
  // The random sleeps of the platform layer only need variety between runs.
  std::srand(static_cast<unsigned>(std::time(nullptr)));
}
