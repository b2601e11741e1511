#include "PageLoop.h"

bool PageLoop::Post(Job job) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed) return false;
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_one();
  return true;
}

void PageLoop::Run() {
  Job job;
  while (NextJob(job)) {
    job();
    job = nullptr;
  }
}

bool PageLoop::NextJob(Job& job) {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    if (!m_jobs.empty()) {
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
      return true;
    }
    if (m_quit) return false;
    if (m_lingering) {
      if (m_wake.wait_until(lock, m_deadline) == std::cv_status::timeout && m_jobs.empty())
        return false;
    } else {
      m_wake.wait(lock);
    }
  }
}

void PageLoop::LingerUntil(std::chrono::steady_clock::time_point deadline) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lingering = true;
    m_deadline = deadline;
  }
  m_wake.notify_one();
}

void PageLoop::Quit() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
  }
  m_wake.notify_one();
}

void PageLoop::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_closed = true;
  m_jobs.clear();
}
