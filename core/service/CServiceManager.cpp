#include "service/CServiceManager.h"

#include "devices/BarcodeMonitor.h"
#include "server/CHttpClientMgr.h"
#include "server/KeepAlive.h"
#include "server/UpdateCheck.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {
// Written only by GetInstance and DestroyInstance, both on the host thread.
CServiceManager* g_instance = nullptr;
}  // namespace

CServiceManager& CServiceManager::GetInstance() {
  if (!g_instance) g_instance = new CServiceManager();
  return *g_instance;
}

void CServiceManager::DestroyInstance() {
  delete g_instance;
  g_instance = nullptr;
}

// Workers still running hold references to the manager: raise the stop
// flags and wait for every one of them before the members go away.
CServiceManager::~CServiceManager() {
  {
    std::lock_guard<std::mutex> lock(m_stopMutex);
    m_keepAliveStop = true;
    m_barcodeStop = true;
  }
  m_stopSignal.notify_all();
  // Devices: release workers waiting on print jobs, then end the monitor.
  if (m_pDevMgr) m_pDevMgr->Stop();
  {
    std::lock_guard<std::mutex> lock(m_barcodeTaskMutex);
    m_pBarcodeTask.reset();
  }
  // Workers waiting on a server reply return at once, so the joins below are short.
  if (m_pHttpMgr) m_pHttpMgr->Shutdown();
  JoinAllTasks();
}

bool CServiceManager::Init() {
  if (!Trace::OpenTraceFile()) return false;
  Trace::Write("CServiceManager::Init");
  m_pConfig = std::make_unique<CClientConfig>();
  if (!m_pConfig->Load()) {
    Trace::Write("new CClientConfig failed");
    return false;
  }
  if (!Helpers::IsHostedInBrowser()) RunUpdateCheck(Helpers::WorkDirA(), m_pConfig->GetUpdateURL());
  m_pLocalDB = std::make_unique<CLocalDB>();
  m_pLocalDB->SetNetbarInfoOverride([this](NetbarInfo& info) { ApplyOfflineIdentity(info); });
  m_pGlobalConfig = std::make_unique<CGlobalConfig>();
  if (!m_pGlobalConfig->InitGlobalConfig(m_pConfig->GetModifyPWURL())) {
    Trace::Write("new CLocalDB failed");
    return false;
  }
  // The HTTP request pool starts here.
  m_pHttpMgr = std::make_unique<CHttpClientMgr>(
      [this](std::u16string_view record) { m_logMgr.Post(record); });
  if (!m_pHttpMgr->open()) {
    Trace::Write("new CHttpClientMgr failed");
    return false;
  }
  m_pDevMgr = CDevMgr::Create();
  if (!m_pDevMgr->Init()) {
    Trace::Write("new CDevMgr failed");
    return false;
  }
  Trace::Write("CServiceManager::Init finish");
  return m_logMgr.Start();
}

void CServiceManager::Stop() {
  Trace::Write("CServiceManager::Stop");
  Logout(*this);
  Trace::Write("KeepAliveThread::Stop");
  Trace::Write("BarCodeMonitorThread::Stop");
  {
    std::lock_guard<std::mutex> lock(m_stopMutex);
    m_keepAliveStop = true;
    m_barcodeStop = true;
  }
  m_stopSignal.notify_all();
  Trace::Write("m_pDevMgr::Stop");
  if (m_pDevMgr) m_pDevMgr->Stop();
  Trace::Write("m_pHttpMgr::Stop");
  Trace::Write("m_pLogMgr::Stop");
  m_logMgr.Stop();
}

void CServiceManager::SetPageCallback(PexluneCallback* callback) {
  Trace::Write("SetJSCallBack: %p", static_cast<void*>(callback));
  if (!callback) return;
  std::lock_guard<std::mutex> lock(m_callbackMutex);
  m_pageCallback = PageCallback(callback);
}

PageCallback CServiceManager::GetPageCallback() const {
  std::lock_guard<std::mutex> lock(m_callbackMutex);
  return m_pageCallback;
}

bool CServiceManager::StartRequestWorker(RequestProcedure procedure, const CallHead& head,
                                         std::u16string param) {
  ReapFinishedTasks();
  auto task = std::make_unique<WorkerTask>(GetPageCallback());
  WorkerTask* taskPointer = task.get();
  auto args = std::make_shared<TaskArgs>(TaskArgs{std::move(param), head, taskPointer});
  std::lock_guard<std::mutex> lock(m_tasksMutex);
  if (!task->StartWorker([procedure, args](WorkerTask&) { procedure(*args); })) return false;
  m_tasks.push_back(std::move(task));
  return true;
}

bool CServiceManager::WaitOrStop(const std::atomic<bool>& flag,
                                 std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> lock(m_stopMutex);
  m_stopSignal.wait_for(lock, duration, [&] { return flag.load(); });
  return flag.load();
}

size_t CServiceManager::TaskCount() {
  ReapFinishedTasks();
  std::lock_guard<std::mutex> lock(m_tasksMutex);
  return m_tasks.size();
}

void CServiceManager::ReapFinishedTasks() {
  std::list<std::unique_ptr<WorkerTask>> finished;
  {
    std::lock_guard<std::mutex> lock(m_tasksMutex);
    for (auto it = m_tasks.begin(); it != m_tasks.end();) {
      auto next = std::next(it);
      if ((*it)->Finished()) finished.splice(finished.end(), m_tasks, it);
      it = next;
    }
  }
  // Joined outside the lock: a finished thread may still be returning.
}

void CServiceManager::JoinAllTasks() {
  std::list<std::unique_ptr<WorkerTask>> tasks;
  {
    std::lock_guard<std::mutex> lock(m_tasksMutex);
    tasks.swap(m_tasks);
  }
  tasks.clear();  // each task joins its thread as it is destroyed
}

// ---- Devices ----------------------------------------------------------------

bool CServiceManager::StartBarcodeMonitor() {
  std::lock_guard<std::mutex> lock(m_barcodeTaskMutex);
  // One monitor at a time: two would share the port and the flags.
  if (m_pBarcodeTask && !m_pBarcodeTask->Finished()) return false;
  m_pBarcodeTask.reset();  // joins a monitor that already ended
  auto task = std::make_unique<WorkerTask>(GetPageCallback());
  if (!task->StartWorker([this](WorkerTask& self) { barcode_monitor_thread(*this, self); }))
    return false;
  m_pBarcodeTask = std::move(task);
  return true;
}

// ---- Server link --------------------------------------------------------------

std::u16string CServiceManager::GetSessionId() const {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  return m_sessionId;
}

void CServiceManager::SetSessionId(std::u16string id) {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  m_sessionId = std::move(id);
}

std::u16string CServiceManager::GetCurrentAccount() const {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  return m_currentAccount;
}

void CServiceManager::SetCurrentAccount(std::u16string account) {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  m_currentAccount = std::move(account);
}

std::u16string CServiceManager::GetActiveNetbarUser() const {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  return m_activeNetbarUser;
}

void CServiceManager::SetActiveNetbarUser(std::u16string userid) {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  m_activeNetbarUser = std::move(userid);
}

std::u16string CServiceManager::GetOpeningAmount() const {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  return m_openingAmount;
}

void CServiceManager::SetOpeningAmount(std::u16string amount) {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  m_openingAmount = std::move(amount);
}

void CServiceManager::SetKeepAliveCycles(KeepAliveCycles cycles) {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  m_keepAliveCycles = cycles;
}

CServiceManager::KeepAliveCycles CServiceManager::GetKeepAliveCycles() const {
  std::lock_guard<std::mutex> lock(m_sessionMutex);
  return m_keepAliveCycles;
}

bool CServiceManager::StartKeepAlive() {
  bool idle = false;
  if (!m_keepAliveRunning.compare_exchange_strong(idle, true)) return false;
  ReapFinishedTasks();
  auto task = std::make_unique<WorkerTask>(GetPageCallback());
  std::lock_guard<std::mutex> lock(m_tasksMutex);
  // Kept with the request workers, so the destructor joins it like them.
  const bool started = task->StartWorker([this](WorkerTask& self) {
    keep_alive_thread(*this, self);
    m_keepAliveRunning = false;
  });
  if (!started) {
    m_keepAliveRunning = false;
    return false;
  }
  m_tasks.push_back(std::move(task));
  return true;
}

void CServiceManager::ApplyOfflineIdentity(NetbarInfo& info) const {
  if (!m_localMode || !m_pGlobalConfig) return;
  const std::u16string account = GetCurrentAccount();
  ActiveNetbarInfo record;
  if (account.empty() || !m_pGlobalConfig->GetNetbarInfoByUser(account, record) ||
      record.userid != account) {
    return;
  }
  info.cashier = record.cashier;
  info.netbarpw = record.pw;
}
