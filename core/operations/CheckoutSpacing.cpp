#include "operations/CheckoutSpacing.h"

#include <chrono>
#include <utility>

namespace {

std::int64_t SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

CheckoutSpacing& CheckoutSpacing::Instance() {
  static CheckoutSpacing instance;
  return instance;
}

CheckoutSpacing::CheckoutSpacing() : m_clock(SteadySeconds) {}

bool CheckoutSpacing::TryStart() {
  std::lock_guard<std::mutex> lock(m_mutex);
  const std::int64_t now = m_clock();
  if (m_lastStart && now - *m_lastStart < kSpacingSeconds) return false;
  m_lastStart = now;
  return true;
}

void CheckoutSpacing::SetClock(Clock clock) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_clock = clock ? std::move(clock) : Clock(SteadySeconds);
  m_lastStart.reset();
}
