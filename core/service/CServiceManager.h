// CServiceManager: the one service object of the core. It owns the
// components, the session state the operations share, the registered page
// callback, the long-running workers' stop flags and every worker task.
// Created on first use (GetInstance) on the host thread; its members say
// which lock guards them, or that they are atomic.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "config/CClientConfig.h"
#include "config/CGlobalConfig.h"
#include "devices/CDevMgr.h"
#include "devices/CSerialPort.h"
#include "gateway/PageCallback.h"
#include "server/CatalogueState.h"
#include "store/CLocalDB.h"
#include "support/CLogMgr.h"
#include "service/TaskArgs.h"
#include "service/WorkerTask.h"

class CHttpClientMgr;

class CServiceManager {
public:
  static CServiceManager& GetInstance();
  // Stops the workers, waits for them, and deletes the instance; the next
  // GetInstance creates a fresh one. Host thread only.
  static void DestroyInstance();

  // Start-up: trace file, client configuration, settings upgrade, event log,
  // in that order; false at the first component that does not come up.
  bool Init();
  // Shut-down: raises the stop flags and stops the event log.
  void Stop();

  CClientConfig* GetConfig() { return m_pConfig.get(); }
  CGlobalConfig* GetGlobalConfig() { return m_pGlobalConfig.get(); }
  // The local store; open only once a café login (or 2/3) chose its file.
  CLocalDB* GetLocalDB() { return m_pLocalDB.get(); }
  CLogMgr* GetLogMgr() { return &m_logMgr; }
  // The request pool to the inventory server; null until Init opened it.
  CHttpClientMgr* GetHttpMgr() { return m_pHttpMgr.get(); }

  // The page callback; workers capture the one registered when they start.
  void SetPageCallback(PexluneCallback* callback);
  PageCallback GetPageCallback() const;

  using RequestProcedure = void (*)(TaskArgs& args);
  // Starts a request worker with copies of the head and parameter text.
  bool StartRequestWorker(RequestProcedure procedure, const CallHead& head,
                          std::u16string param = {});

  // Sleeps up to `duration`, waking early when `flag` is raised by Stop;
  // returns the flag.
  bool WaitOrStop(const std::atomic<bool>& flag, std::chrono::milliseconds duration);

  std::atomic<bool> m_keepAliveStop{false};
  std::atomic<bool> m_barcodeStop{false};
  std::mutex m_uploadLock;  // serialises the re-sending of pending handovers

  // Number of worker tasks not yet reaped (for tests and diagnostics).
  size_t TaskCount();

  // ---- Devices: the device manager and the barcode monitor ----------------
  // Null before Init created it.
  CDevMgr* GetDevMgr() { return m_pDevMgr.get(); }
  // Starts barcode_monitor_thread with the page callback; false when it could
  // not start or a monitor already runs.
  bool StartBarcodeMonitor();
  CSerialPort m_barcodePort;                 // the barcode monitor's thread only
  std::atomic<bool> m_barcodeReopen{true};  // raised by 2/0, taken by the monitor

  // ---- Server link: session state and the keep-alive worker -------------
  // Written by the login workers, read by every later server exchange and by
  // the keep-alive worker; the texts are guarded by m_sessionMutex.
  std::atomic<bool> m_localMode{false};  // the last user login was offline
  std::u16string GetSessionId() const;   // empty: no server session
  void SetSessionId(std::u16string id);
  std::u16string GetCurrentAccount() const;  // the account that logged in offline
  void SetCurrentAccount(std::u16string account);
  std::u16string GetActiveNetbarUser() const;  // `userid` of the chosen café record
  void SetActiveNetbarUser(std::u16string userid);
  // `pre_shelve` of the last café login: the next cashier handover's opening amount.
  std::u16string GetOpeningAmount() const;
  void SetOpeningAmount(std::u16string amount);

  // The catalogue synchronisation's versions and flags: the keep-alive
  // worker's own while it runs; other threads read them only after it ended.
  CatalogueSyncState m_catalogueSync;

  // How long the keep-alive worker sleeps between cycles online and between
  // reachability probes offline; tests shorten them before starting it.
  struct KeepAliveCycles {
    std::chrono::milliseconds cycle{10000};
    std::chrono::milliseconds probe{60000};
  };
  void SetKeepAliveCycles(KeepAliveCycles cycles);
  KeepAliveCycles GetKeepAliveCycles() const;
  // Starts keep_alive_thread with the page callback; false when it could not
  // start or one already runs (two would share the versions and flags).
  bool StartKeepAlive();
  bool KeepAliveRunning() const { return m_keepAliveRunning; }

private:
  CServiceManager() = default;
  ~CServiceManager();
  void ReapFinishedTasks();
  void JoinAllTasks();

  // Created by Init on the host thread before any worker exists, then only read.
  std::unique_ptr<CClientConfig> m_pConfig;
  std::unique_ptr<CGlobalConfig> m_pGlobalConfig;
  std::unique_ptr<CLocalDB> m_pLocalDB;
  CLogMgr m_logMgr;
  // After m_logMgr: the pool posts its replies to the event log, so it must go first.
  std::unique_ptr<CHttpClientMgr> m_pHttpMgr;

  mutable std::mutex m_callbackMutex;
  PageCallback m_pageCallback;  // guarded by m_callbackMutex

  std::mutex m_tasksMutex;
  std::list<std::unique_ptr<WorkerTask>> m_tasks;  // guarded by m_tasksMutex

  // Created by Init; shared with the print requests in flight.
  std::shared_ptr<CDevMgr> m_pDevMgr;
  std::mutex m_barcodeTaskMutex;
  std::unique_ptr<WorkerTask> m_pBarcodeTask;  // guarded by m_barcodeTaskMutex

  // ---- Server link ----
  mutable std::mutex m_sessionMutex;
  std::u16string m_sessionId;          // guarded by m_sessionMutex
  std::u16string m_currentAccount;     // guarded by m_sessionMutex
  std::u16string m_activeNetbarUser;   // guarded by m_sessionMutex
  std::u16string m_openingAmount;      // guarded by m_sessionMutex
  KeepAliveCycles m_keepAliveCycles;   // guarded by m_sessionMutex
  std::atomic<bool> m_keepAliveRunning{false};
  // Puts the offline login's cashier and café password into the identity
  // the store reads (installed on the store by Init).
  void ApplyOfflineIdentity(NetbarInfo& info) const;

  std::mutex m_stopMutex;               // pairs with m_stopSignal
  std::condition_variable m_stopSignal;  // wakes WaitOrStop when a stop flag rises
};
