// PrintHost: the host program's window thread as the checkout tests need it.
// Its PexluneHost::post queues fn(arg) and its own thread runs the jobs in
// order, as the host's main loop does. It also writes down every print job
// the device manager hands it (kind and record), so tests can see what a
// checkout asked to print whether or not the printer took it; and it can play
// a host that refuses jobs or never gets round to running them.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "devices/PrintRequest.h"
#include "gateway/pexlune.h"

struct PostedJob {
  PrintKind kind = PrintKind::kReceipt58;
  std::optional<ReceiptJob> receipt;
  std::optional<LabelJob> label;
};

class PrintHost {
public:
  enum class Mode { kRun, kNeverRun, kRefuse };

  PrintHost() : m_thread([this] { Loop(); }) {
    m_host.context = this;
    m_host.post = [](void* context, void (*fn)(void*), void* arg) {
      return static_cast<PrintHost*>(context)->Post(fn, arg);
    };
  }
  // Jobs never run are run last, so their requests are released.
  ~PrintHost() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_closed = true;
    }
    m_wake.notify_all();
    m_thread.join();
    for (auto& [fn, arg] : m_parked) fn(arg);
  }
  PrintHost(const PrintHost&) = delete;
  PrintHost& operator=(const PrintHost&) = delete;

  const PexluneHost* host() const { return &m_host; }
  void SetMode(Mode mode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = mode;
  }
  std::vector<PostedJob> Posted() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_posted;
  }
  std::vector<PostedJob> Receipts() {
    std::vector<PostedJob> chosen;
    for (PostedJob& job : Posted()) {
      if (job.receipt) chosen.push_back(job);
    }
    return chosen;
  }
  std::vector<PostedJob> Labels() {
    std::vector<PostedJob> chosen;
    for (PostedJob& job : Posted()) {
      if (job.label) chosen.push_back(job);
    }
    return chosen;
  }

private:
  using Job = std::pair<void (*)(void*), void*>;

  static PostedJob Describe(const PrintRequest& request) {
    PostedJob job;
    job.kind = request.kind;
    if (request.kind == PrintKind::kReceipt58 || request.kind == PrintKind::kReceipt80) {
      job.receipt = *static_cast<const ReceiptJob*>(request.job.get());
    } else if (request.kind == PrintKind::kLabel) {
      job.label = *static_cast<const LabelJob*>(request.job.get());
    }
    return job;
  }

  int Post(void (*fn)(void*), void* arg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted.push_back(Describe(*static_cast<const PrintRequest*>(arg)));
    if (m_mode == Mode::kRefuse || m_closed) return 1;
    if (m_mode == Mode::kNeverRun) {
      m_parked.emplace_back(fn, arg);
    } else {
      m_jobs.emplace_back(fn, arg);
      m_wake.notify_all();
    }
    return 0;
  }

  void Loop() {
    for (;;) {
      Job job;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [&] { return m_closed || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        job = m_jobs.front();
        m_jobs.pop_front();
      }
      job.first(job.second);
    }
  }

  PexluneHost m_host{};
  std::mutex m_mutex;  // guards everything below
  std::condition_variable m_wake;
  std::deque<Job> m_jobs;
  std::vector<Job> m_parked;
  std::vector<PostedJob> m_posted;
  Mode m_mode = Mode::kRun;
  bool m_closed = false;
  std::thread m_thread;
};
