// CupsServer: a private cupsd for the print tests (cups_fixture.sh): own folders,
// a domain socket named by CUPS_SERVER, one cups-pdf queue writing into its
// folder. Owned by a test suite; one thread; needs root (for /etc/cups).
#pragma once

#include <cups/cups.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "GridTestSupport.h"

class CupsServer {
public:
  static constexpr const char* kQueue = "TilloraTest";

  CupsServer() = default;
  ~CupsServer() { Stop(); }
  CupsServer(const CupsServer&) = delete;
  CupsServer& operator=(const CupsServer&) = delete;

  // False with a message when the scheduler or its queue cannot be set up.
  bool Start(std::string& message) {
    std::string pattern = "/tmp/tillora-cupsd-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      message = "mkdtemp failed";
      return false;
    }
    m_dir = pattern;
    GridTest::CommandResult started =
        GridTest::Run(Script() + " start " + GridTest::Quote(m_dir) + " " + kQueue + " 2>&1");
    if (started.exitCode != 0) {
      message = "cups_fixture.sh start failed: " + started.output;
      return false;
    }
    m_socket = m_dir + "/cups.sock";
    ::setenv("CUPS_SERVER", m_socket.c_str(), 1);
    cupsSetServer(nullptr);  // libcups reads CUPS_SERVER again at its next call
    return true;
  }

  void Stop() {
    if (m_dir.empty()) return;
    GridTest::Run(Script() + " stop " + GridTest::Quote(m_dir) + " 2>&1");
    m_dir.clear();
  }

  GridTest::fs::path OutDir() const { return GridTest::fs::path(m_dir) / "out"; }

  // The PDF cups-pdf wrote for the job, once the job has completed; empty before.
  std::string FinishedPdf(int jobId) const {
    std::string id = std::string(kQueue) + "-" + std::to_string(jobId) + " ";
    if (Lp("lpstat -W completed -o " + std::string(kQueue)).find(id) == std::string::npos)
      return {};
    std::string suffix = "job_" + std::to_string(jobId) + ".pdf";
    std::error_code error;
    for (const auto& entry : GridTest::fs::directory_iterator(OutDir(), error)) {
      std::string name = entry.path().filename().string();
      if (name.size() >= suffix.size() && name.ends_with(suffix)) return entry.path().string();
    }
    return {};
  }

  // The document the scheduler accepted for the job, as it was sent.
  std::string SubmittedDocument(int jobId) const {
    char name[32];
    std::snprintf(name, sizeof name, "d%05d-001", jobId);
    return (GridTest::fs::path(m_dir) / "spool" / name).string();
  }

  // Jobs not yet completed, cancelled or aborted, as lpstat lists them.
  std::string WaitingJobs() const { return Lp("lpstat -o " + std::string(kQueue)); }

  // Runs a CUPS command against this scheduler; its standard output.
  std::string Lp(const std::string& command) const {
    return GridTest::Run("CUPS_SERVER=" + GridTest::Quote(m_socket) + " " + command +
                         " 2>/dev/null")
        .output;
  }

private:
  static std::string Script() {
    return GridTest::Quote((GridTest::SourceDir() / "tests" / "grid" / "cups_fixture.sh").string());
  }

  std::string m_dir;
  std::string m_socket;
};
