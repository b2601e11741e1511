#include "server/KeepAlive.h"

#include <chrono>
#include <thread>

#include "operations/CallbackCodes.h"
#include "server/CHttpClientMgr.h"
#include "server/CatalogueSync.h"
#include "server/HandoverResend.h"
#include "server/ServerMessages.h"
#include "service/CServiceManager.h"
#include "service/WorkerTask.h"
#include "support/Trace.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kProbePoll = 1000ms;
constexpr std::chrono::milliseconds kLogoutGrace = 200ms;
// The re-sends run when the counter is a multiple of the first, the
// synchronisation when it is a multiple of the second; it grows by the step.
constexpr int kResendEvery = 5;
constexpr int kSyncEvery = 10;
constexpr int kCounterStep = 5;

// Offline: probe until the server answers, then tell the page once.
void WaitForServer(CServiceManager& service, WorkerTask& task,
                   std::chrono::milliseconds interval) {
  while (!service.m_keepAliveStop) {
    if (ProbeServer(service)) {
      if (!service.m_keepAliveStop) task.NotifyPage(CallbackCode::kServerReachable, u"");
      return;
    }
    if (service.WaitOrStop(service.m_keepAliveStop, interval)) return;
  }
}

void KeepSessionAlive(CServiceManager& service, WorkerTask& task,
                      std::chrono::milliseconds interval) {
  const std::atomic<bool>* stop = &service.m_keepAliveStop;
  const SyncNotify notify = [&task](std::u16string_view code) { task.NotifyPage(code, u""); };
  int counter = 0;
  while (!*stop) {
    if (counter % kResendEvery == 0) {
      ResendWareWorkSections(service, stop);
      ResendMaterialWorkSections(service, stop);
    }
    if (counter % kSyncEvery == 0 && !*stop) {
      Update_Data(service, notify, stop);
      counter = 0;
    }
    if (service.WaitOrStop(*stop, interval)) return;
    counter += kCounterStep;
  }
}

}  // namespace

void keep_alive_thread(CServiceManager& service, WorkerTask& task) {
  Trace::Write("start keep_alive_thread");
  const CServiceManager::KeepAliveCycles cycles = service.GetKeepAliveCycles();
  if (service.m_localMode) {
    WaitForServer(service, task, cycles.probe);
    return;
  }
  if (service.GetSessionId().empty()) {
    Trace::Write("Session id is empty");
    return;
  }
  KeepSessionAlive(service, task, cycles.cycle);
}

bool ProbeServer(CServiceManager& service) {
  const CClientConfig* config = service.GetConfig();
  CHttpClientMgr* http = service.GetHttpMgr();
  const std::u16string url = config ? config->GetNetbarLoginURL() : u"";
  if (url.empty() || !http) {
    Trace::Write("login addr is empty: [%s][%s]", url, service.GetSessionId());
    return false;
  }
  std::u16string reply;
  return http->PostAndWait(url, BuildProbeRequest(), reply, kProbePoll);
}

void Logout(CServiceManager& service) {
  if (service.GetSessionId().empty()) return;
  const CClientConfig* config = service.GetConfig();
  CHttpClientMgr* http = service.GetHttpMgr();
  const std::u16string url = config ? config->GetLogoutURL() : u"";
  if (url.empty() || !http) {
    Trace::Write("logout addr is empty: [%s]", url);
    return;
  }
  std::u16string jobId;
  if (http->PostNoWait(url, u"", jobId)) std::this_thread::sleep_for(kLogoutGrace);
}
