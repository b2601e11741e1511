// Fixture of the server-link tests: the demo inventory server on loopback
// (started by the test program, restarted when a test stopped it), one work
// directory for the whole program (the core fixes it once per process)
// whose ClientConfig.xml points at the server, and per test a freshly
// started service with a recording page callback. Requests go through
// CallFunction and results come back through the callback channel.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/RecordingCallback.h"
#include "common/TestText.h"
#include "config/CGlobalConfig.h"
#include "service/CServiceManager.h"

// The work directory of this test program, with a trailing "/".
const std::string& LinkWorkDir();

// Polls `done` until it holds or `timeout` passes.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The demo inventory server as a child process.
class DemoServer {
public:
  ~DemoServer() { Stop(); }

  // Starts it on `port` (0: any free one) and waits until it listens.
  bool Start(int port = 0);
  // SIGTERM, then waits for the process.
  void Stop();
  bool Running() const { return m_pid > 0; }
  int Port() const { return m_port; }

  // The administration interface (JSON); the body of the answer, or
  // "<failed>" when the server did not answer.
  std::string Get(std::string_view path) const;
  std::string Post(std::string_view path, std::string_view json) const;

private:
  pid_t m_pid = -1;
  int m_port = 0;
};

DemoServer& TheServer();

// The café, accounts and bars of the demo server's sample data.
inline constexpr std::string_view kCafeNumber = "10001";
inline constexpr std::string_view kCafePassword = "666666";
inline constexpr std::string_view kCashier = "cashier01";
inline constexpr std::string_view kCashierPassword = "123456";
inline constexpr std::string_view kManager = "manager01";
inline constexpr std::string_view kManagerPassword = "888888";

class ServerLinkTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  CServiceManager& Service() { return CServiceManager::GetInstance(); }
  CGlobalConfig& Settings() { return *Service().GetGlobalConfig(); }
  CLocalDB& Store() { return *Service().GetLocalDB(); }

  // CallFunction with an envelope of (mainId, subId) around `param`.
  std::u16string Call(int mainId, int subId, std::string_view param = {},
                      std::string_view retId = "r1");

  // Waits for the next callback with `code` after the `skip` earlier ones
  // of that code; its payload, or "<timeout>".
  std::u16string AwaitCode(std::u16string_view code, size_t skip = 0);
  std::vector<std::u16string> Codes();

  // 2/4 and the "cb-1-2" payload.
  std::u16string LoginUser(std::string_view account, std::string_view password, bool local);
  // 2/6 and the "cb-1-3" payload.
  std::u16string LoginNetbar(std::string_view number, std::string_view password);
  // What the page does on a first start: the cashier logs in online, the
  // settings remember the user, the café logs in and the bar is bound
  // (2/3), which opens the store of café 10001, bar 101.
  void BindCafe();

  RecordingCallback page;
};

// Reading page replies: an attribute of the first `element` in a reply
// envelope's body, or "<missing>".
std::string Attr(std::u16string_view reply, std::string_view element, std::string_view attr);
int OpRet(std::u16string_view reply);
