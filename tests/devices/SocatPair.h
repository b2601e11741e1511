// SocatPair: two linked pseudo-terminals made by socat, standing in for a
// serial scanner on a cable: the core opens one end (Port) as its serial
// port, the test writes the scanner's bytes into the other (Scanner). The
// socat process is owned by the object and ended by its id.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "grid/GridTestSupport.h"

extern char** environ;

class SocatPair {
public:
  // The two links are made in `dir` as <name>-port and <name>-scanner.
  SocatPair(const std::string& dir, const std::string& name)
      : m_port(dir + "/" + name + "-port"), m_scanner(dir + "/" + name + "-scanner") {
    const std::string a = "pty,raw,echo=0,link=" + m_port;
    const std::string b = "pty,raw,echo=0,link=" + m_scanner;
    const char* argv[] = {"socat", "-d", "-d", a.c_str(), b.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&m_pid, "socat", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
      m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SocatPair() {
    if (m_scannerFd >= 0) ::close(m_scannerFd);
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  SocatPair(const SocatPair&) = delete;
  SocatPair& operator=(const SocatPair&) = delete;

  // Both ends exist (socat made them); false when socat did not start.
  bool Ready() {
    if (m_pid <= 0) return false;
    return GridTest::waitFor([&] { return Exists(m_port) && Exists(m_scanner); },
                             std::chrono::seconds(10));
  }

  const std::string& Port() const { return m_port; }
  const std::string& Scanner() const { return m_scanner; }

  // Writes the bytes as the scanner sends them.
  bool Send(std::string_view bytes) {
    if (m_scannerFd < 0) m_scannerFd = ::open(m_scanner.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_scannerFd < 0) return false;
    return ::write(m_scannerFd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

private:
  static bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  }

  std::string m_port;
  std::string m_scanner;
  pid_t m_pid = -1;
  int m_scannerFd = -1;
};

// Whether this process holds the device behind `link` open (the barcode
// monitor runs in the test's own process).
inline bool ProcessHolds(const std::string& link) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path device = fs::canonical(link, error);
  if (error) return false;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd", error)) {
    std::error_code ignored;
    if (fs::read_symlink(entry.path(), ignored) == device) return true;
  }
  return false;
}
