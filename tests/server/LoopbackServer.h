// LoopbackServer: a small real HTTP/1.1 server on 127.0.0.1 for the server
// link's tests. Each connection runs on a thread of its own and carries one
// request; a handler decides the raw bytes of the answer, or that no answer
// ever comes. Stop (or destruction) closes every connection and joins every
// thread. Requests() and the counters may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct HttpRequest {
  std::string method;
  std::string target;  // absolute-form when the request came through as a proxy
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // Value of the first header of that name (any case), or nullopt.
  std::optional<std::string> Header(std::string_view name) const;
};

class LoopbackServer {
 public:
  // Raw response bytes, or nullopt to keep the connection open unanswered
  // until Stop. Called on the connection's thread.
  using Handler = std::function<std::optional<std::string>(const HttpRequest&)>;

  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Listens on a free port of 127.0.0.1; false when it cannot.
  bool Start();
  void Stop();

  int Port() const { return m_port; }
  std::string Url(std::string_view path = "/") const;
  std::u16string Url16(std::string_view path = "/") const;

  std::vector<HttpRequest> Requests() const;
  size_t RequestCount() const;
  size_t ConnectionCount() const { return m_connections; }

  // A complete answer with Content-Length and "Connection: close".
  static std::string Response(std::string_view body, int status = 200);

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool ReadRequest(int fd, HttpRequest& request);
  bool WaitReadable(int fd);

  Handler m_handler;
  int m_listenFd = -1;
  int m_stopPipe[2] = {-1, -1};
  int m_port = 0;
  std::thread m_acceptor;
  std::atomic<size_t> m_connections{0};

  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void ReapFinished();

  mutable std::mutex m_mutex;
  std::vector<HttpRequest> m_requests;  // guarded by m_mutex
  std::list<Connection> m_threads;      // guarded by m_mutex
};

// Clears the proxy variables libcurl reads for the life of the object, so a
// test sees the network it builds, and puts the old values back afterwards.
class ScopedProxyEnvironment {
 public:
  ScopedProxyEnvironment();
  ~ScopedProxyEnvironment();
  ScopedProxyEnvironment(const ScopedProxyEnvironment&) = delete;
  ScopedProxyEnvironment& operator=(const ScopedProxyEnvironment&) = delete;
  static void Set(const char* name, const std::string& value);

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A latch the test opens; handlers wait on it to answer late.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_open = true;
    }
    m_cv.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [&] { return m_open; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_open = false;
};

// Polls `predicate` until it holds; false when `limit` (a hang guard, not a
// measurement) passes first.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds limit = std::chrono::seconds(30));

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int DeadPort();
