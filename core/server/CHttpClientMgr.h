// CHttpClientMgr: the request worker pool in front of the inventory server.
// Callers on any thread post a URL and a request text; five workers seal it,
// send it with a WinHttpClient, open the reply and leave it in a result store
// under the job's id, where PostAndWait finds its own.
//
// Owned by the service manager: open once, and Shutdown (or destruction)
// stops the workers, aborts the exchanges in flight, releases waiting callers
// and joins the threads within a deadline. Posts, Shutdown and the counters
// are safe from any thread; open and destruction belong to the owner, who
// must not destroy the pool while a caller is still inside a post (Shutdown
// first: it sends every waiting caller home).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class CHttpClientMgr {
 public:
  // Receives each event-log record ("HTTP 返回:" and the reply); called on the
  // posting caller's thread, so it must be thread-safe.
  using LogSink = std::function<void(std::u16string_view)>;

  // The transport's limits per exchange, in milliseconds (0: no limit).
  struct Timeouts {
    int resolveMs = 0;
    int connectMs = 5000;
    int sendMs = 5000;
    int receiveMs = 5000;
  };

  static constexpr int kWorkers = 5;
  static constexpr int kPolls = 6;
  // Wake-ups the workers can owe at most; a post beyond it still queues its
  // job, which the next worker to finish a job picks up.
  static constexpr int kMaxWakeUps = 1024;
  // How long Shutdown lets queued jobs go out, and how long it then gives
  // aborted exchanges to end.
  static constexpr std::chrono::milliseconds kShutdownDeadline{1000};
  static constexpr std::chrono::milliseconds kAbortGrace{1000};

  explicit CHttpClientMgr(LogSink eventLog = {});
  CHttpClientMgr(LogSink eventLog, Timeouts timeouts);
  // Shutdown with kShutdownDeadline.
  ~CHttpClientMgr();
  CHttpClientMgr(const CHttpClientMgr&) = delete;
  CHttpClientMgr& operator=(const CHttpClientMgr&) = delete;

  // Starts the five workers. True when they run (also on a second call);
  // false when a thread cannot be made or after Shutdown.
  bool open();

  // Idempotent. Refuses further posts and wakes waiting callers (they return
  // false at once); lets the workers send what is queued until `deadline`;
  // then drops what is left, aborts exchanges in flight and joins the
  // workers. A worker still busy kAbortGrace later is left to end on its own:
  // it touches nothing of this object but state it shares. True when all
  // were joined.
  bool Shutdown(std::chrono::milliseconds deadline = kShutdownDeadline);

  // Queues the request and takes its reply within kPolls polls `interval`
  // apart. True with a non-empty reply ("false_false" for a body that does
  // not decode); false with an empty reply when the URL is empty, the pool is
  // not running, or no answer came in time. Every outcome is posted to the
  // event log as "HTTP 返回:" and the reply. A reply that comes later is
  // discarded.
  bool PostAndWait(std::u16string_view url, std::u16string_view text, std::u16string& reply,
                   std::chrono::milliseconds interval);
  // Queues the request; its reply is discarded. False for an empty URL or a
  // pool that is not running.
  bool PostNoWait(std::u16string_view url, std::u16string_view text, std::u16string& jobId);

  // Replies waiting for their caller, and jobs queued or in exchange.
  size_t StoredReplies() const;
  size_t JobsInFlight() const;

 private:
  struct Shared;

  bool Enqueue(std::u16string id, std::u16string_view url, std::u16string_view text);
  void StopWorkers();
  bool JoinWorkers();

  // Everything the workers touch lives here, so a worker that outlives the
  // shutdown deadline never reaches into a destroyed pool.
  std::shared_ptr<Shared> m_shared;
  std::vector<std::thread> m_workers;  // owner's thread only
  LogSink m_eventLog;
};
