// PageLoop: the driver's page thread. Requests, callbacks and posted host
// jobs run here one at a time, in arrival order, like on the host's main loop.
// Post may be called from any thread; Run only from the thread that owns it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class PageLoop {
public:
  using Job = std::function<void()>;

  // False once the loop has been closed: the job will never run.
  bool Post(Job job);
  // Runs jobs until Quit, or until `deadline` once LingerUntil was called.
  void Run();
  // Makes Run return when the queue is empty at `deadline` or later.
  void LingerUntil(std::chrono::steady_clock::time_point deadline);
  void Quit();
  // Refuses every later Post and drops what is queued.
  void Close();

private:
  bool NextJob(Job& job);

  std::mutex m_mutex;  // guards everything below
  std::condition_variable m_wake;
  std::deque<Job> m_jobs;
  bool m_quit = false;
  bool m_closed = false;
  bool m_lingering = false;
  std::chrono::steady_clock::time_point m_deadline{};
};
