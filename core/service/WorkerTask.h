// WorkerTask: one worker thread with its procedure, its argument and the page
// callback captured when it started. The service manager owns every task and
// joins its thread; the procedure may call NotifyPage from its own thread only.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>
#include <thread>

#include "gateway/PageCallback.h"

class WorkerTask {
public:
  using Procedure = std::function<void(WorkerTask&)>;

  explicit WorkerTask(PageCallback callback) : m_callback(std::move(callback)) {}
  ~WorkerTask();
  WorkerTask(const WorkerTask&) = delete;
  WorkerTask& operator=(const WorkerTask&) = delete;

  // Starts the thread running procedure(*this); false when it could not be created.
  bool StartWorker(Procedure procedure);
  // Sends a callback code and payload to the page captured at start. Returns
  // 0 when the page ran it; otherwise it was dropped (no callback registered
  // when the worker started, or the page is gone) and the worker goes on.
  int NotifyPage(std::u16string_view code, std::u16string_view payload);

  bool Finished() const { return m_finished.load(std::memory_order_acquire); }
  void Join();

private:
  PageCallback m_callback;
  std::thread m_thread;
  std::atomic<bool> m_finished{false};
};
