// A stand-in for the host's page thread: one thread that runs requests and
// page callbacks one at a time, as the host's main loop does. Its callback
// object hands each delivery to that thread and waits until it ran there,
// recording it in `recorder`; once closed it refuses deliveries at once, as a
// page that went away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "common/RecordingCallback.h"

class PageThread {
public:
  PageThread() : m_thread([this] { Loop(); }) {
    m_link.owner = this;
    m_link.base.add_ref = [](PexluneCallback*) {};
    m_link.base.release = [](PexluneCallback*) {};
    m_link.base.invoke = [](PexluneCallback* self, const char16_t* code, const char16_t* payload) {
      return reinterpret_cast<Link*>(self)->owner->Deliver(code, payload);
    };
  }
  ~PageThread() {
    Close();
    m_thread.join();
  }
  PageThread(const PageThread&) = delete;
  PageThread& operator=(const PageThread&) = delete;

  PexluneCallback* get() { return &m_link.base; }
  std::thread::id id() const { return m_thread.get_id(); }

  // Runs a request on the page thread and waits for it.
  void RunRequest(const std::function<void()>& request) {
    Post([&] {
      m_inRequest = true;
      request();
      m_inRequest = false;
    }).wait();
  }

  // Callbacks that ran while a request was running.
  int CallbacksDuringRequests() const { return m_overlaps; }

  void Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_wake.notify_all();
  }

  RecordingCallback recorder;

private:
  int Deliver(const char16_t* code, const char16_t* payload) {
    std::future<void> done = Post([&] {
      if (m_inRequest) ++m_overlaps;
      recorder.get()->invoke(recorder.get(), code, payload);
    });
    if (!done.valid()) return 1;
    done.wait();
    return 0;
  }

  std::future<void> Post(std::function<void()> job) {
    std::packaged_task<void()> task(std::move(job));
    std::future<void> done = task.get_future();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return {};
    m_jobs.push_back(std::move(task));
    m_wake.notify_all();
    return done;
  }

  void Loop() {
    for (;;) {
      std::packaged_task<void()> job;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [&] { return m_closed || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
      }
      job();
    }
  }

  struct Link {
    PexluneCallback base;  // first member: the core sees only this
    PageThread* owner;
  };

  Link m_link{};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::packaged_task<void()>> m_jobs;  // guarded by m_mutex
  bool m_closed = false;                          // guarded by m_mutex
  bool m_inRequest = false;                       // page thread only
  std::atomic<int> m_overlaps{0};
  std::thread m_thread;
};
