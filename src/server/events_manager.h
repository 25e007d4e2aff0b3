// Server events: the application server tells print servers about things on
// its side (a job held, a job released). The event process long-polls the
// server with drainEvents and hands each event to the subscribed callbacks.
#pragma once

#include <cstddef>
#include <cstdint>

// Handles one event: its type and its value.
using EventCallback = void (*)(const char* event_type, const char* value);
// Asked after every drain call; non-zero ends the drain loop.
using EventsStopCallback = int (*)();

inline constexpr std::size_t EVENT_SUBSCRIPTION_COUNT = 20;
inline constexpr std::size_t EVENT_TYPE_SIZE = 255;  // 254 characters

struct EventSubscription {
  char event_type[EVENT_TYPE_SIZE];  // "*" for every type
  EventCallback callback;            // null: a free row
};

// The process-wide table, filled in order.
struct Subscriptions {
  EventSubscription rows[EVENT_SUBSCRIPTION_COUNT];
};
extern Subscriptions global_subscriptions;

// Shortest time from the start of one drain call to the start of the next,
// so a server that answers at once cannot make the loop spin.
inline constexpr std::int64_t EVENTS_MIN_CALL_INTERVAL_MS = 1000;
// Back-off after failed calls: 2 s up to the 4th, then n x 5 s, at most 300 s.
inline constexpr std::int64_t EVENTS_SHORT_FAILURE_SLEEP_MS = 2000;
inline constexpr int EVENTS_SHORT_FAILURE_COUNT = 4;
inline constexpr std::int64_t EVENTS_FAILURE_STEP_MS = 5000;
inline constexpr std::int64_t EVENTS_MAX_FAILURE_SLEEP_MS = 300000;

// The clock and sleep of the drain loop; tests replace them.
struct EventsClock {
  std::int64_t (*now_millis)();
  void (*sleep_millis)(std::int64_t millis);
};
// Replaces the drain loop's clock; null restores the system clock.
void events_manager_set_clock(const EventsClock* clock);

// The sleep after `failures` consecutive failed calls.
[[nodiscard]] std::int64_t events_manager_failure_sleep_ms(int failures);

// Adds a subscription (type cut at 254 characters). 1 when a free row took
// it, 0 when the table is full.
int events_manager_subscribe(const char* event_type, EventCallback callback);
// Empties the table.
void events_manager_clear_subscriptions();

// Polls the server for events until `stop` (may be null) returns non-zero,
// then 1. 0 at once when ServerEventsDisable is set.
int events_manager_start_drain(EventsStopCallback stop);

// One drainEvents call; each event of the reply goes to `callback`. The
// number of events, or -1 when the call failed.
[[nodiscard]] int rpc_drain_events(int connect_timeout_ms, int send_timeout_ms,
                                   const char* server_name, int wait_ms, EventCallback callback);

// Scans a drainEvents reply: each item type["value"] (optionally followed by
// a comma; the value may span lines) goes to `callback` (may be null), text
// between items is skipped. The number of items.
int events_scan_reply(const char* reply, EventCallback callback);

// Hands an event to every subscription of its type (exact) or of "*".
void process_event_callback(const char* event_type, const char* value);
