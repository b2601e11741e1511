// GridTestSupport: what the grid tests share — a temporary folder that cleans
// itself up, running a command and reading its output, the PDF text through
// pdftotext, and waitFor instead of fixed sleeps. Test code, one thread.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

namespace GridTest {

namespace fs = std::filesystem;

inline fs::path SourceDir() {
  return fs::path(TILLORA_TEST_SOURCE_DIR);
}

inline fs::path TemplateDir() { return SourceDir() / "templates"; }

inline std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

inline void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tillora-grid-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return (m_path / name).string(); }

private:
  fs::path m_path;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output only
};

inline CommandResult Run(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, n);
  }
  int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::string PdfText(const std::string& path) {
  return Run("pdftotext -enc UTF-8 " + Quote(path) + " - 2>/dev/null").output;
}

inline std::string PdfInfo(const std::string& path) {
  return Run("pdfinfo " + Quote(path) + " 2>/dev/null").output;
}

// Polls the predicate until it holds or the timeout passes; the result is the
// predicate's last answer. For things that happen in other processes.
inline bool waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return predicate();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace GridTest
