#include "operations/QueryWaits.h"

#include <atomic>

#include "service/CServiceManager.h"

namespace QueryWaits {

namespace {
std::atomic<double> g_scale{1.0};
}  // namespace

void SetScale(double scale) { g_scale.store(scale < 0 ? 0 : scale); }

// Stop raises both stop flags together; the keep-alive one stands for "the
// service is going down", so a worker never holds up the shut-down's join.
void Pause(std::chrono::milliseconds duration) {
  const auto scaled = std::chrono::milliseconds(
      static_cast<long long>(static_cast<double>(duration.count()) * g_scale.load()));
  if (scaled.count() <= 0) return;
  CServiceManager& manager = CServiceManager::GetInstance();
  manager.WaitOrStop(manager.m_keepAliveStop, scaled);
}

}  // namespace QueryWaits
