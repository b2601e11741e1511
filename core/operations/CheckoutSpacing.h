// CheckoutSpacing: the rule that keeps checkout starts at least four seconds
// apart (a double press of the pay button must not sell the basket twice).
// One process-wide instance for the whole run; its clock is a seam so tests
// can move time instead of sleeping.
// Thread-safety: every method may be called from any thread; one mutex makes
// the check and the recording of a start a single step, so two requests that
// arrive together can never both be accepted.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

class CheckoutSpacing {
public:
  // Seconds on any scale that only moves forward; the default is the steady
  // clock, so setting the wall clock back cannot block checkouts for hours.
  using Clock = std::function<std::int64_t()>;
  static constexpr std::int64_t kSpacingSeconds = 4;

  static CheckoutSpacing& Instance();

  CheckoutSpacing();
  CheckoutSpacing(const CheckoutSpacing&) = delete;
  CheckoutSpacing& operator=(const CheckoutSpacing&) = delete;

  // True, recording the start, when no start was accepted in the last four
  // seconds; false (nothing recorded) otherwise.
  bool TryStart();
  // Replaces the clock (empty: the steady clock) and forgets the last start.
  void SetClock(Clock clock);

private:
  std::mutex m_mutex;
  Clock m_clock;                            // guarded by m_mutex
  std::optional<std::int64_t> m_lastStart;  // guarded by m_mutex; none before the first
};
