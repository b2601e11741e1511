// A scheduler that cannot be reached fails the print with a reason naming it.
#include "CupsPrinter.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "GridTestSupport.h"

namespace {

using namespace std::chrono_literals;

// Points libcups at another scheduler for the life of the object.
class ScopedCupsServer {
public:
  explicit ScopedCupsServer(const std::string& server) {
    if (const char* old = std::getenv("CUPS_SERVER")) m_old = old;
    ::setenv("CUPS_SERVER", server.c_str(), 1);
    cupsSetServer(nullptr);
  }
  ~ScopedCupsServer() {
    if (m_old) {
      ::setenv("CUPS_SERVER", m_old->c_str(), 1);
    } else {
      ::unsetenv("CUPS_SERVER");
    }
    cupsSetServer(nullptr);
  }
  ScopedCupsServer(const ScopedCupsServer&) = delete;
  ScopedCupsServer& operator=(const ScopedCupsServer&) = delete;

private:
  std::optional<std::string> m_old;
};

TEST(CupsPrinter, UnreachableSchedulerFailsAtOnce) {
  GridTest::TempDir dir;
  std::string socket = dir / "no-cupsd.sock";
  ScopedCupsServer server(socket);
  CupsPrinter::Result result = CupsPrinter::Print("", "%PDF-1.5\n", "test", 20s);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.jobId, 0);
  EXPECT_NE(result.message.find("cannot reach the print server"), std::string::npos)
      << result.message;
  EXPECT_NE(result.message.find(socket), std::string::npos) << result.message;
}

}  // namespace
