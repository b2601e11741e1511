// DriverHost: what the driver offers the core in place of a window and a
// page: the host interface (window operations print JSON lines, posted jobs
// run on the page loop) and the page callback object (callbacks print JSON
// lines on the page loop while the worker waits). Owned by main.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "PageLoop.h"
#include "gateway/pexlune.h"

class DriverHost {
public:
  explicit DriverHost(PageLoop& loop);
  DriverHost(const DriverHost&) = delete;
  DriverHost& operator=(const DriverHost&) = delete;

  const PexluneHost* Host() const { return &m_host; }
  PexluneCallback* Callback() { return &m_callback.base; }
  // From now on callbacks return at once with an error: the page is gone.
  void DetachPage();
  // Waits until `count` callbacks with this code were delivered in all; false
  // when `timeout` passed first. Any thread but the page loop's.
  bool WaitForCallbacks(const std::string& code, int count, std::chrono::milliseconds timeout);

private:
  struct CallbackObject {
    PexluneCallback base;
    DriverHost* owner;
  };
  static DriverHost& Of(void* context) { return *static_cast<DriverHost*>(context); }
  static int Invoke(PexluneCallback* self, const char16_t* code, const char16_t* payload);

  PageLoop& m_loop;
  PexluneHost m_host{};
  CallbackObject m_callback{};
  PexluneRect m_window{0, 0, 1024, 768};  // page thread only
  std::atomic<bool> m_attached{true};

  std::mutex m_countMutex;  // guards m_delivered
  std::condition_variable m_deliveredSignal;
  std::map<std::string, int> m_delivered;  // callbacks delivered, by code

  void CountDelivery(const std::string& code);
};
