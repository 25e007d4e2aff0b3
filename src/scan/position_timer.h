// The time limit of a whole-file walk: a ParseTimeout started when the walk
// begins, asked at the first position and then whenever the walk has moved
// another POSITION_TIMER_STRIDE positions on. Walks that jump (memchr, skipped
// data blocks) ask with the position they reached, so the clock is read at
// most once per stride however the walk moves.
#pragma once

#include <cstdint>

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
