// HostLoop: the host thread of the device tests. Its PexluneHost::post queues
// fn(arg) and its own thread runs the jobs in order, as the host's main loop
// does. It can also play a host that never runs what it was given (jobs are
// held until RunHeld) or one whose post fails.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "gateway/pexlune.h"

class HostLoop {
public:
  enum class Mode { kRun, kHold, kRefuse };

  HostLoop() : m_thread([this] { Loop(); }) {
    m_host.context = this;
    m_host.post = [](void* context, void (*fn)(void*), void* arg) {
      return static_cast<HostLoop*>(context)->Post(fn, arg);
    };
  }
  ~HostLoop() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_closed = true;
    }
    m_wake.notify_all();
    m_thread.join();
    RunHeld();  // a held request keeps itself alive until it has run
  }
  HostLoop(const HostLoop&) = delete;
  HostLoop& operator=(const HostLoop&) = delete;

  const PexluneHost* host() const { return &m_host; }
  std::thread::id id() const { return m_thread.get_id(); }
  void SetMode(Mode mode) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mode = mode;
  }
  size_t HeldCount() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_held.size();
  }
  // Runs the held jobs on the calling thread, late, as a host might.
  void RunHeld() {
    std::vector<Job> held;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      held.swap(m_held);
    }
    for (auto& [fn, arg] : held) fn(arg);
  }
  // The thread each job ran on, in order.
  std::vector<std::thread::id> RanOn() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ranOn;
  }

private:
  using Job = std::pair<void (*)(void*), void*>;

  int Post(void (*fn)(void*), void* arg) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode == Mode::kRefuse || m_closed) return 1;
    if (m_mode == Mode::kHold) {
      m_held.emplace_back(fn, arg);
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
        m_ranOn.push_back(std::this_thread::get_id());
      }
      job.first(job.second);
    }
  }

  PexluneHost m_host{};
  std::mutex m_mutex;  // guards everything below
  std::condition_variable m_wake;
  std::deque<Job> m_jobs;
  std::vector<Job> m_held;
  std::vector<std::thread::id> m_ranOn;
  Mode m_mode = Mode::kRun;
  bool m_closed = false;
  std::thread m_thread;
};
