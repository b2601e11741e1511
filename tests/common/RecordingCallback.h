// RecordingCallback: a page callback for tests. It records every delivery
// with the thread it ran on, counts references, and can play a page that
// went away (invoke fails at once) or a page that is slow to answer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gateway/pexlune.h"

struct RecordedCall {
  std::u16string code;
  std::u16string payload;
  std::thread::id thread;
};

class RecordingCallback {
public:
  RecordingCallback() {
    m_base.add_ref = [](PexluneCallback* self) { Of(self).m_refs++; };
    m_base.release = [](PexluneCallback* self) { Of(self).m_refs--; };
    m_base.invoke = [](PexluneCallback* self, const char16_t* code, const char16_t* payload) {
      return Of(self).Record(code, payload);
    };
  }
  RecordingCallback(const RecordingCallback&) = delete;
  RecordingCallback& operator=(const RecordingCallback&) = delete;

  PexluneCallback* get() { return &m_base; }
  int References() const { return m_refs; }
  void SetDetached(bool detached) { m_detached = detached; }
  void SetDelay(std::chrono::milliseconds delay) { m_delay = delay; }

  std::vector<RecordedCall> Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
  }
  // Waits until `count` calls arrived; false when `timeout` passed first.
  bool WaitForCalls(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_arrived.wait_for(lock, timeout, [&] { return m_calls.size() >= count; });
  }
  // The most callbacks that ever ran at the same time.
  int MaxConcurrent() const { return m_maxConcurrent; }

private:
  static RecordingCallback& Of(PexluneCallback* self) {
    return *reinterpret_cast<RecordingCallback*>(self);
  }
  int Record(const char16_t* code, const char16_t* payload) {
    if (m_detached) return 1;
    int now = ++m_concurrent;
    int seen = m_maxConcurrent;
    while (now > seen && !m_maxConcurrent.compare_exchange_weak(seen, now)) {
    }
    if (m_delay.count() > 0) std::this_thread::sleep_for(m_delay);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_calls.push_back({code, payload, std::this_thread::get_id()});
    }
    --m_concurrent;
    m_arrived.notify_all();
    return 0;
  }

  PexluneCallback m_base{};  // first member: the core sees only this
  std::atomic<int> m_refs{0};
  std::atomic<bool> m_detached{false};
  std::chrono::milliseconds m_delay{0};
  std::atomic<int> m_concurrent{0};
  std::atomic<int> m_maxConcurrent{0};
  std::mutex m_mutex;  // guards m_calls
  std::condition_variable m_arrived;
  std::vector<RecordedCall> m_calls;
};
