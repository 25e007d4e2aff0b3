#include "foundation/redirect_state.h"

RedirectState global_redirect_state{};

void redirect_state_clear(RedirectState* state) {
  if (state == nullptr) return;
  state->active = 0;
  state->start_time = 0;
  state->host[0] = '\0';
}
