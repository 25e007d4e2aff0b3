// The time limit of a whole-file walk: a ParseTimeout started when the walk
// begins, asked at the first position and then whenever the walk has moved
// another POSITION_TIMER_STRIDE positions on. Walks that jump (memchr, skipped
// data blocks) ask with the position they reached, so the clock is read at
// most once per stride however the walk moves.
#pragma once

#include <cstdint>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/timeout.h"

inline constexpr std::uint64_t POSITION_TIMER_STRIDE = 10000;

class PositionTimer {
 public:
  explicit PositionTimer(int seconds) {
    TimeoutSetLimit(&timeout_, seconds);
    TimeoutStart(&timeout_);
  }

  // true once the limit has run out; the clock is read only when `position`
  // is at least a stride past the position of the last reading.
  [[nodiscard]] bool expired(std::uint64_t position) {
    if (expired_) return true;
    if (started_ && position < next_poll_) return false;
    started_ = true;
    next_poll_ = position + POSITION_TIMER_STRIDE;
    expired_ = TimeoutIsTimeUp(&timeout_) != 0;
    return expired_;
  }
  [[nodiscard]] bool has_expired() const { return expired_; }

 private:
  Timeout timeout_{};
  std::uint64_t next_poll_ = 0;
  bool started_ = false;
  bool expired_ = false;
};

// The time limit of one walk with its two log lines, written once when the
// limit runs out. `language` names the format in the ERROR line.
class WalkTimer {
 public:
  explicit WalkTimer(const char* language)
      : timer_(global_ctx.parse_timeout), language_(language) {}

  // true once the limit has run out (the clock is read once per stride).
  [[nodiscard]] bool expired(std::uint64_t pos) {
    if (timer_.has_expired()) return true;
    if (!timer_.expired(pos)) return false;
    LOG_DEBUG("parse timeout exceeded at position: %llu", static_cast<unsigned long long>(pos));
    LOG_ERROR("Parse timeout exceeded. Language: %s", language_);
    return true;
  }
  [[nodiscard]] bool has_expired() const { return timer_.has_expired(); }

 private:
  PositionTimer timer_;
  const char* language_;
};
