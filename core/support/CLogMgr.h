// The event log: business records (sales, handovers, server replies) appended
// to one file per day by a writer thread of its own. Owned by the service
// manager; Post may be called from any thread, Start/Stop only by the owner.
#pragma once

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class CLogMgr {
public:
  using Clock = std::function<std::time_t()>;

  // Wake-ups the writer can owe at most; posts beyond it are still queued and
  // written at later wake-ups or discarded at stop.
  static constexpr int kMaxWakeUps = 1024;

  // logDir: the folder of the daily files; empty means the work directory's
  // "LOG" folder, looked up at Start so that SetWorkDir may come after
  // construction. clock: the moment of each entry; empty means time(nullptr).
  explicit CLogMgr(std::string logDir = {}, Clock clock = {});
  // Stops the writer if it still runs, then frees what is left queued.
  ~CLogMgr();
  CLogMgr(const CLogMgr&) = delete;
  CLogMgr& operator=(const CLogMgr&) = delete;

  // Creates the log folder if missing and starts the writer. False only when
  // the thread cannot be created, or after Stop (a stopped log stays stopped).
  // A second Start while running does nothing and returns true.
  bool Start();
  // Writes at most the message the writer takes at its next wake-up and
  // discards everything else queued. Waits for the writer; idempotent.
  void Stop();

  // Queues a copy of the text (up to its first NUL) and wakes the writer.
  // A null text is ignored. Waits while the writer is appending an entry.
  void Post(const char16_t* text);
  void Post(std::u16string_view text);

private:
  // A counting semaphore whose release is refused at the maximum instead of
  // being undefined, so a burst of posts can never block or crash.
  class WakeUps {
  public:
    void Release();
    void Acquire();

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count = 0;  // guarded by m_mutex
  };

  void WriterLoop();
  void WriteEntry(const std::u16string& message);  // caller holds m_lock

  // Guards m_queue, and is held while an entry is appended so that a post made
  // during a write waits until the file is closed.
  std::mutex m_lock;
  std::deque<std::u16string> m_queue;  // guarded by m_lock; oldest first

  WakeUps m_wakeUps;
  std::atomic<bool> m_stop{false};  // read by the writer after each wake-up
  std::thread m_writer;             // touched only by the owner's Start/Stop
  std::string m_logDir;             // fixed before the writer starts
  Clock m_clock;
};
