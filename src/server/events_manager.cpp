#include "server/events_manager.h"

#include <cstring>
#include <string_view>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/os_stop.h"
#include "foundation/os_time.h"
#include "foundation/regex.h"
#include "foundation/util.h"
#include "server/rpc_internal.h"
#include "server/rpc_redirect.h"

Subscriptions global_subscriptions{};

namespace {

std::int64_t system_now_millis() { return os_current_time_millis(); }
void system_sleep_millis(std::int64_t millis) { os_sleep_millis(millis); }

constexpr EventsClock SYSTEM_CLOCK{system_now_millis, system_sleep_millis};
EventsClock drain_clock = SYSTEM_CLOCK;

// An event item: type["value"], optionally followed by a comma.
constexpr const char EVENT_PATTERN[] = "(\\w+?)\\[\\\"(.*?)\\\"\\],?";

// Both time-outs of a drain call: the wait plus a fifth of it.
int drain_call_timeout_ms(int wait_ms) {
  const std::int64_t wait = wait_ms < 0 ? 0 : wait_ms;
  return rpc_detail::saturate_int(wait + static_cast<std::int64_t>(wait * 0.2));
}

}  // namespace

int events_scan_reply(const char* reply, EventCallback callback) {
  if (reply == nullptr) return 0;
  const RegexPtr regex(regex_compile(EVENT_PATTERN, PCRE_DOTALL));
  if (!regex) return 0;
  const std::string_view text(reply);
  int count = 0;
  std::size_t offset = 0;
  while (offset < text.size()) {
    // A match clears the record without freeing its texts: one per event.
    ScopedMatchInfo info;
    if (!regex_match_with_info(regex.get(), text.data() + offset, text.size() - offset, &info)) {
      break;
    }
    const char* type = info.texts[1] != nullptr ? info.texts[1] : "";
    const char* value = info.texts[2] != nullptr ? info.texts[2] : "";
    if (callback != nullptr) callback(type, value);
    ++count;
    offset += static_cast<std::size_t>(info.ends[0]);
  }
  return count;
}

void events_manager_set_clock(const EventsClock* clock) {
  drain_clock = clock != nullptr ? *clock : SYSTEM_CLOCK;
}

std::int64_t events_manager_failure_sleep_ms(int failures) {
  if (failures <= EVENTS_SHORT_FAILURE_COUNT) return EVENTS_SHORT_FAILURE_SLEEP_MS;
  const std::int64_t sleep = static_cast<std::int64_t>(failures) * EVENTS_FAILURE_STEP_MS;
  return sleep < EVENTS_MAX_FAILURE_SLEEP_MS ? sleep : EVENTS_MAX_FAILURE_SLEEP_MS;
}

int events_manager_subscribe(const char* event_type, EventCallback callback) {
  if (event_type == nullptr) event_type = "";
  for (EventSubscription& row : global_subscriptions.rows) {
    if (row.callback != nullptr) continue;
    util_safe_strncpy(row.event_type, event_type, sizeof row.event_type);
    row.callback = callback;
    return 1;
  }
  LOG_ERROR("Unable to add new subscription for type: %s.  It's full!", event_type);
  return 0;
}

void events_manager_clear_subscriptions() { global_subscriptions = Subscriptions{}; }

void process_event_callback(const char* event_type, const char* value) {
  if (event_type == nullptr) event_type = "";
  if (value == nullptr) value = "";
  LOG_DEBUG("process_event_callback called with %s => %s", event_type, value);
  int number = 0;
  for (const EventSubscription& row : global_subscriptions.rows) {
    if (row.callback == nullptr) break;
    if (std::strcmp(row.event_type, event_type) == 0 || std::strcmp(row.event_type, "*") == 0) {
      LOG_DEBUG("Calling event subscription number %d with event type %s", number, event_type);
      row.callback(event_type, value);
    }
    ++number;
  }
}

int rpc_drain_events(int connect_timeout_ms, int send_timeout_ms, const char* server_name,
                     int wait_ms, EventCallback callback) {
  rpc_detail::Params params = rpc_detail::new_params();
  if (!params || XMLRPCParameterListAddString(params.get(), server_name) != 0 ||
      XMLRPCParameterListAddInt(params.get(), wait_ms) != 0) {
    return -1;
  }
  XMLRPCParameterList* raw = nullptr;
  if (rpc_call_method_wrapper2("spoolwarden.drainEvents", params.get(), &raw, 0,
                               connect_timeout_ms, send_timeout_ms) != 0) {
    return -1;
  }
  rpc_detail::Params result(raw);
  const char* reply = nullptr;
  if (rpc_detail::reply_type(result) != rpc_detail::TYPE_STRING ||
      XMLRPCParameterListReadString(result.get(), 0, &reply) != 0 || reply == nullptr) {
    return 0;
  }
  return events_scan_reply(reply, callback);
}

int events_manager_start_drain(EventsStopCallback stop) {
  if (global_ctx.server_events_disable) {
    LOG_DEBUG("Server events is disabled");
    return 0;
  }
  const int wait_ms = global_ctx.server_events_poll_timeout_ms;
  const int timeout_ms = drain_call_timeout_ms(wait_ms);
  int failures = 0;
  for (;;) {
    const std::int64_t started = drain_clock.now_millis();
    const int events = rpc_drain_events(timeout_ms, timeout_ms, global_ctx.server_name, wait_ms,
                                        process_event_callback);
    std::int64_t pause = 0;
    if (events < 0) {
      LOG_DEBUG("Drain events call raised an error: %d", events);
      if (failures < INT32_MAX) ++failures;
      pause = events_manager_failure_sleep_ms(failures);
    } else {
      LOG_DEBUG("Processed %d events.", events);
      failures = 0;
      // A server that answers at once (no long poll) must not make this loop
      // spin: keep a minimum time between the starts of two calls.
      const std::int64_t elapsed = drain_clock.now_millis() - started;
      if (elapsed < EVENTS_MIN_CALL_INTERVAL_MS) pause = EVENTS_MIN_CALL_INTERVAL_MS - elapsed;
    }
    // A stop request (os_stop.h) also ends the call and the pause at once.
    if ((stop != nullptr && stop()) || os_stop_requested()) return 1;
    if (pause > 0) drain_clock.sleep_millis(pause);
  }
}
