#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

#include "support/TextCodec.h"

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

HttpRequest ParseHead(std::string_view head) {
  HttpRequest request;
  size_t lineEnd = head.find("\r\n");
  std::string_view first = head.substr(0, lineEnd);
  const size_t space1 = first.find(' ');
  const size_t space2 = first.find(' ', space1 + 1);
  request.method = std::string(first.substr(0, space1));
  request.target = std::string(first.substr(space1 + 1, space2 - space1 - 1));
  while (lineEnd != std::string_view::npos && lineEnd + 2 < head.size()) {
    const size_t begin = lineEnd + 2;
    lineEnd = head.find("\r\n", begin);
    std::string_view line = head.substr(begin, lineEnd - begin);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  }
  return request;
}

}  // namespace

std::optional<std::string> HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (Lower(key) == Lower(name)) return value;
  return std::nullopt;
}

LoopbackServer::LoopbackServer(Handler handler) : m_handler(std::move(handler)) {}

LoopbackServer::~LoopbackServer() { Stop(); }

bool LoopbackServer::Start() {
  if (::pipe(m_stopPipe) != 0) return false;
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listenFd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_listenFd, 128) != 0 ||
      ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  m_port = ntohs(address.sin_port);
  m_acceptor = std::thread([this] { AcceptLoop(); });
  return true;
}

void LoopbackServer::Stop() {
  if (m_stopPipe[1] >= 0) {
    const char byte = 'x';
    [[maybe_unused]] ssize_t ignored = ::write(m_stopPipe[1], &byte, 1);
  }
  if (m_acceptor.joinable()) m_acceptor.join();
  std::list<Connection> threads;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    threads.swap(m_threads);
  }
  for (Connection& connection : threads) connection.thread.join();
  for (int* fd : {&m_listenFd, &m_stopPipe[0], &m_stopPipe[1]}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

std::string LoopbackServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

std::u16string LoopbackServer::Url16(std::string_view path) const {
  return TextCodec::Ascii(Url(path));
}

std::vector<HttpRequest> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

size_t LoopbackServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests.size();
}

std::string LoopbackServer::Response(std::string_view body, int status) {
  return "HTTP/1.1 " + std::to_string(status) +
         " Whatever\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + std::string(body);
}

// True when `fd` has data; false once Stop was asked for.
bool LoopbackServer::WaitReadable(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
  while (::poll(fds, 2, -1) < 0) {
  }
  return (fds[1].revents & POLLIN) == 0;
}

void LoopbackServer::AcceptLoop() {
  while (WaitReadable(m_listenFd)) {
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++m_connections;
    ReapFinished();
    std::lock_guard<std::mutex> lock(m_mutex);
    Connection& connection = m_threads.emplace_back();
    connection.thread = std::thread([this, fd, &connection] {
      Serve(fd);
      ::close(fd);
      connection.done = true;
    });
  }
}

// Busy tests open thousands of connections; finished threads are joined as
// new ones come rather than all at Stop.
void LoopbackServer::ReapFinished() {
  std::list<Connection> finished;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_threads.begin(); it != m_threads.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), m_threads, it);
      it = next;
    }
  }
  for (Connection& connection : finished) connection.thread.join();
}

bool LoopbackServer::ReadRequest(int fd, HttpRequest& request) {
  std::string data;
  size_t headEnd = std::string::npos;
  size_t wanted = 0;
  char buffer[16384];
  for (;;) {
    if (headEnd == std::string::npos) {
      headEnd = data.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        request = ParseHead(std::string_view(data).substr(0, headEnd + 2));
        const auto length = request.Header("Content-Length");
        wanted = headEnd + 4 + (length ? std::strtoul(length->c_str(), nullptr, 10) : 0);
      }
    }
    if (headEnd != std::string::npos && data.size() >= wanted) {
      request.body = data.substr(headEnd + 4, wanted - headEnd - 4);
      return true;
    }
    if (!WaitReadable(fd)) return false;
    const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
    if (got <= 0) return false;
    data.append(buffer, static_cast<size_t>(got));
  }
}

void LoopbackServer::Serve(int fd) {
  HttpRequest request;
  if (!ReadRequest(fd, request)) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
  }
  const std::optional<std::string> answer = m_handler(request);
  if (!answer) {
    // Hold the connection open, unanswered, until the test ends.
    while (WaitReadable(fd)) {
      char buffer[256];
      if (::recv(fd, buffer, sizeof(buffer), 0) <= 0) break;
    }
    return;
  }
  WriteAll(fd, *answer);
  ::shutdown(fd, SHUT_WR);
}

namespace {
constexpr const char* kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                           "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
}  // namespace

ScopedProxyEnvironment::ScopedProxyEnvironment() {
  for (const char* name : kProxyVariables) {
    const char* value = std::getenv(name);
    m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    ::unsetenv(name);
  }
}

ScopedProxyEnvironment::~ScopedProxyEnvironment() {
  for (const auto& [name, value] : m_saved) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
}

void ScopedProxyEnvironment::Set(const char* name, const std::string& value) {
  ::setenv(name, value.c_str(), 1);
}

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int DeadPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}
