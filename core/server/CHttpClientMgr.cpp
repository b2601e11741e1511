#include "server/CHttpClientMgr.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

#include "server/HttpJob.h"
#include "server/WinHttpClient.h"
#include "server/WireCodec.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

constexpr std::u16string_view kReplyRecord = u"HTTP 返回:";

// A counting semaphore that refuses a release at its maximum instead of
// blocking or overflowing, and that a stop can open for every waiter.
class WakeUps {
 public:
  void Release() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_count >= CHttpClientMgr::kMaxWakeUps) return;
      ++m_count;
    }
    m_cv.notify_one();
  }
  // False once stopped.
  bool Acquire() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return m_stopped || m_count > 0; });
    if (m_stopped) return false;
    --m_count;
    return true;
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopped = true;
    }
    m_cv.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_count = 0;         // guarded by m_mutex
  bool m_stopped = false;  // guarded by m_mutex
};

}  // namespace

struct CHttpClientMgr::Shared {
  explicit Shared(Timeouts limits) : timeouts(limits) {}

  const Timeouts timeouts;
  std::atomic<bool> accepting{false};  // posts are taken; cleared first by Shutdown
  std::atomic<bool> stopping{false};   // workers leave; set once the drain is over
  WakeUps wakeUps;

  std::mutex queueLock;
  std::condition_variable drained;  // pairs with queueLock; inFlight reached 0
  std::deque<HttpJob> queue;        // guarded by queueLock
  size_t inFlight = 0;              // guarded by queueLock; queued or in exchange

  mutable std::mutex resultLock;
  std::condition_variable replyArrived;              // pairs with resultLock
  std::map<std::u16string, std::u16string> results;  // guarded by resultLock
  std::set<std::u16string> awaited;                  // guarded by resultLock

  std::mutex activeLock;
  std::set<WinHttpClient*> active;  // guarded by activeLock; aborted by Shutdown

  std::mutex exitLock;
  std::condition_variable workerExited;  // pairs with exitLock
  std::vector<bool> exited;              // guarded by exitLock, one per worker

  std::optional<HttpJob> TakeJob();
  void FinishJob();
  void Exchange(const HttpJob& job);
  void StoreReply(const std::u16string& id, std::u16string reply);
  void Work(size_t index);
};

std::optional<HttpJob> CHttpClientMgr::Shared::TakeJob() {
  std::lock_guard<std::mutex> lock(queueLock);
  if (queue.empty()) return std::nullopt;
  HttpJob job = std::move(queue.front());
  queue.pop_front();
  return job;
}

void CHttpClientMgr::Shared::FinishJob() {
  std::lock_guard<std::mutex> lock(queueLock);
  if (--inFlight == 0) drained.notify_all();
}

void CHttpClientMgr::Shared::Exchange(const HttpJob& job) {
  WinHttpClient client(job.url);
  Trace::Write("http request url: %s", job.url);
  if (!job.body.empty()) {
    // Request texts carry the cashier's password: only their size is traced.
    Trace::Write("http send: %s", u"(" + Helpers::IntText(static_cast<int>(job.body.size())) +
                                      u" characters withheld)");
    const std::string sealed = SealRequest(job.body);
    client.SetBody(sealed.data(), sealed.size());
    client.SetExtraHeaders(u"Content-Length: " + Helpers::IntText(static_cast<int>(sealed.size())) +
                           u"\r\nContent-Type: application/x-www-form-urlencoded\r\n");
  }
  client.SetTimeoutValues(timeouts.resolveMs, timeouts.connectMs, timeouts.sendMs,
                          timeouts.receiveMs);
  {
    std::lock_guard<std::mutex> lock(activeLock);
    if (stopping) return;
    active.insert(&client);
  }
  const bool received = client.Perform(job.verb, false);
  {
    std::lock_guard<std::mutex> lock(activeLock);
    active.erase(&client);
  }
  std::u16string reply;
  if (received) {
    reply = OpenReply(client.GetResponseBody());
    Trace::Write("http recv: %s", reply);
  } else {
    Trace::Write("[CHttpClientMgr::svc] Send http request failed, GLE:%d",
                 client.GetLastErrorCode());
  }
  StoreReply(job.id, std::move(reply));
}

// Only a caller still polling gets its reply stored; anything else would
// stay in the store for ever.
void CHttpClientMgr::Shared::StoreReply(const std::u16string& id, std::u16string reply) {
  {
    std::lock_guard<std::mutex> lock(resultLock);
    if (!awaited.contains(id)) return;
    results[id] = std::move(reply);
  }
  replyArrived.notify_all();
}

// CHttpClientMgr::svc. After each wake-up the worker keeps taking jobs until
// the queue is empty, so a job whose wake-up was refused is not stranded.
void CHttpClientMgr::Shared::Work(size_t index) {
  Trace::Write("[CHttpClientMgr::svc] thread is started");
  while (wakeUps.Acquire()) {
    while (!stopping) {
      std::optional<HttpJob> job = TakeJob();
      if (!job) break;
      Exchange(*job);
      FinishJob();
    }
  }
  Trace::Write("[CHttpClientMgr::svc] thread is exited");
  {
    std::lock_guard<std::mutex> lock(exitLock);
    exited[index] = true;
  }
  workerExited.notify_all();
}

CHttpClientMgr::CHttpClientMgr(LogSink eventLog)
    : CHttpClientMgr(std::move(eventLog), Timeouts{}) {}

CHttpClientMgr::CHttpClientMgr(LogSink eventLog, Timeouts timeouts)
    : m_shared(std::make_shared<Shared>(timeouts)), m_eventLog(std::move(eventLog)) {}

CHttpClientMgr::~CHttpClientMgr() { Shutdown(); }

bool CHttpClientMgr::open() {
  if (m_shared->stopping) return false;
  if (!m_workers.empty()) return true;
  {
    std::lock_guard<std::mutex> lock(m_shared->exitLock);
    m_shared->exited.assign(kWorkers, false);
  }
  m_shared->accepting = true;
  Trace::Write("[CHttpClientMgr::open] start 5 work threads");
  try {
    for (size_t i = 0; i < kWorkers; ++i)
      m_workers.emplace_back([shared = m_shared, i] { shared->Work(i); });
  } catch (const std::system_error&) {
    Shutdown();
    return false;
  }
  return true;
}

bool CHttpClientMgr::Shutdown(std::chrono::milliseconds deadline) {
  Shared& shared = *m_shared;
  shared.accepting = false;
  {
    // A caller between testing `accepting` and starting to wait holds this
    // lock; taking it here means the notification cannot slip past it.
    std::lock_guard<std::mutex> lock(shared.resultLock);
  }
  shared.replyArrived.notify_all();
  {
    // Jobs already queued (a logout at shut-down) still go out until the deadline.
    std::unique_lock<std::mutex> lock(shared.queueLock);
    shared.drained.wait_for(lock, deadline, [&] { return shared.inFlight == 0; });
  }
  StopWorkers();
  return JoinWorkers();
}

void CHttpClientMgr::StopWorkers() {
  Shared& shared = *m_shared;
  shared.stopping = true;
  shared.wakeUps.Stop();
  {
    std::lock_guard<std::mutex> lock(shared.activeLock);
    for (WinHttpClient* client : shared.active) client->Abort();
  }
  std::lock_guard<std::mutex> lock(shared.queueLock);
  shared.inFlight -= shared.queue.size();
  shared.queue.clear();
}

// An aborted exchange ends within moments; a worker that still has not left
// after kAbortGrace is detached rather than allowed to hang the owner.
bool CHttpClientMgr::JoinWorkers() {
  Shared& shared = *m_shared;
  std::vector<bool> exited;
  {
    std::unique_lock<std::mutex> lock(shared.exitLock);
    shared.workerExited.wait_for(lock, kAbortGrace, [&] {
      return std::all_of(shared.exited.begin(), shared.exited.end(), [](bool e) { return e; });
    });
    exited = shared.exited;
  }
  bool allJoined = true;
  for (size_t i = 0; i < m_workers.size(); ++i) {
    if (!m_workers[i].joinable()) continue;
    if (exited[i]) {
      m_workers[i].join();
    } else {
      Trace::Write("[CHttpClientMgr::Shutdown] worker %d left running", static_cast<int>(i));
      m_workers[i].detach();
      allJoined = false;
    }
  }
  return allJoined;
}

bool CHttpClientMgr::Enqueue(std::u16string id, std::u16string_view url, std::u16string_view text) {
  {
    std::lock_guard<std::mutex> lock(m_shared->queueLock);
    if (!m_shared->accepting) return false;
    m_shared->queue.push_back(
        HttpJob{std::move(id), u"POST", std::u16string(url), std::u16string(text)});
    ++m_shared->inFlight;
  }
  m_shared->wakeUps.Release();
  return true;
}

bool CHttpClientMgr::PostAndWait(std::u16string_view url, std::u16string_view text,
                                 std::u16string& reply, std::chrono::milliseconds interval) {
  reply.clear();
  bool answered = false;
  Shared& shared = *m_shared;
  if (url.empty()) {
    Trace::Write("URL is empty");
  } else {
    const std::u16string id = Helpers::NewGuidText();
    {
      std::lock_guard<std::mutex> lock(shared.resultLock);
      shared.awaited.insert(id);
    }
    const bool queued = Enqueue(id, url, text);
    std::unique_lock<std::mutex> lock(shared.resultLock);
    // Each poll waits first, and the wait ends as soon as the reply lands.
    for (int poll = 0; queued && poll < kPolls && shared.accepting; ++poll) {
      shared.replyArrived.wait_for(
          lock, interval, [&] { return shared.results.contains(id) || !shared.accepting; });
      auto found = shared.results.find(id);
      if (found == shared.results.end()) continue;
      reply = std::move(found->second);
      shared.results.erase(found);
      if (!reply.empty()) {
        answered = true;
        break;
      }
    }
    shared.awaited.erase(id);
    shared.results.erase(id);
  }
  if (m_eventLog) m_eventLog(std::u16string(kReplyRecord) + reply);
  return answered;
}

bool CHttpClientMgr::PostNoWait(std::u16string_view url, std::u16string_view text,
                                std::u16string& jobId) {
  jobId.clear();
  if (url.empty()) {
    Trace::Write("URL is empty");
    return false;
  }
  std::u16string id = Helpers::NewGuidText();
  if (!Enqueue(id, url, text)) return false;
  jobId = std::move(id);
  return true;
}

size_t CHttpClientMgr::StoredReplies() const {
  std::lock_guard<std::mutex> lock(m_shared->resultLock);
  return m_shared->results.size();
}

size_t CHttpClientMgr::JobsInFlight() const {
  std::lock_guard<std::mutex> lock(m_shared->queueLock);
  return m_shared->inFlight;
}
