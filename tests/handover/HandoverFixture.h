// Fixture of the handover tests. Once per program: a work directory (the
// core fixes it once per process) with the templates and a ClientConfig.xml
// pointing at the demo inventory server, which the program starts on a free
// loopback port, and, when the program runs as root, a private cupsd with a
// cups-pdf queue. Per test: the server's state reset, a freshly started
// service with a recording page and a host thread that runs print jobs, and
// the store of the demo café (10001, bar 101) opened as the café set-up
// (2/3) opens it. Requests go through CallFunction, results come back
// through the callback channel.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/RecordingCallback.h"
#include "common/TestText.h"
#include "config/CGlobalConfig.h"
#include "gateway/pexlune.h"
#include "service/CServiceManager.h"

class CupsServer;

// The work directory of this test program, with a trailing "/".
const std::string& HandoverWorkDir();

// Polls `done` every 20 ms until it holds or `timeout` passes; its last answer.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::seconds(60));

// A JSON document flattened to "path" → value, e.g. "uploads.0.check_id";
// strings without quotes, other leaves as JSON writes them.
using Flat = std::map<std::string, std::string>;

// The demo inventory server as a child process.
class DemoServer {
public:
  ~DemoServer() { Stop(); }
  bool Start();
  void Stop();
  int Port() const { return m_port; }

  // Administration (JSON). The answer's body, or "<failed>".
  std::string Get(std::string_view path) const;
  std::string Post(std::string_view path, std::string_view json) const;
  Flat GetFlat(std::string_view path) const;

  // Faults on the two upload endpoints only, so logins keep working.
  void FailUploads(std::string_view mode) const;
  void HealUploads() const;

private:
  pid_t m_pid = -1;
  int m_port = 0;
};

DemoServer& TheDemoServer();
// The private scheduler; null when it could not start (not root).
CupsServer* ThePrinter();
std::string PrinterSkipReason();

// The host's thread: runs what the core posts to it, in order.
class HostThread {
public:
  HostThread();
  ~HostThread();
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;
  const PexluneHost* host() const { return &m_host; }

private:
  int Post(void (*fn)(void*), void* arg);
  void Loop();

  PexluneHost m_host{};
  std::mutex m_mutex;  // guards m_jobs and m_closed
  std::condition_variable m_wake;
  std::deque<std::pair<void (*)(void*), void*>> m_jobs;
  bool m_closed = false;
  std::thread m_thread;
};

// The demo café of the server's sample data.
inline constexpr std::string_view kCafe = "10001";
inline constexpr std::string_view kBar = "101";
inline constexpr std::string_view kSaveNetbar =
    R"(<SaveNetbarLogin id="10001" pw="666666" netbarname="星河网咖（演示店）" )"
    R"(barname="一楼吧台" barid="101" cashier="张晓梅" currentworksection="早班"/>)";

// ---- Reading replies ------------------------------------------------------

int OpRet(std::u16string_view reply);
std::string ErrString(std::u16string_view reply);
std::string ValueAt(std::u16string_view reply, std::string_view path);
std::string AttrAt(std::u16string_view reply, std::string_view path, std::string_view attr);

// ---- Store rows (read through a connection of their own) -----------------

using Row = std::vector<std::string>;
std::vector<Row> RawRows(const std::string& dbPath, std::string_view statement);
std::string RawText(const std::string& dbPath, std::string_view statement);
void RawExec(const std::string& dbPath, std::string_view statement);

class HandoverTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  virtual bool OpenStoreAtStart() const { return true; }

  CServiceManager& Service() { return CServiceManager::GetInstance(); }
  CLocalDB& Store() { return *Service().GetLocalDB(); }
  CGlobalConfig& Settings() { return *Service().GetGlobalConfig(); }
  static std::string StorePath();

  std::u16string Call(int mainId, int subId, std::string_view param = {},
                      std::string_view retId = "r1");
  // The payload of the `skip`+1-th callback with this code, or "<timeout>".
  std::u16string AwaitCode(std::u16string_view code, size_t skip = 0,
                           std::chrono::milliseconds timeout = std::chrono::seconds(60));
  size_t CountOf(std::u16string_view code);

  // The settings document changed through 2/1 and 2/0, as the page does.
  bool SaveSettings(std::string_view element,
                    const std::vector<std::pair<std::string, std::string>>& attrs);
  // The handover mode the server would hand down.
  bool SetHandoverMode(int mode);

  // ---- A shift's data ----
  // The demo catalogue's wares the tests sell, with their ware types: three
  // ordinary wares and one made to order; normal handover mode. The open
  // section is moved to have begun an hour ago.
  static WareInfo Cola();   // 1001, 饮料, 3.00, stock 24
  static WareInfo Chips();  // 1101, 零食, 7.50, stock 9
  static WareInfo Water();  // 1005, 饮料, 2.00, stock 30
  static WareInfo Tea();    // 1301, 奶茶, made to order, 10.00, stock 10
  void InsertShiftWares();
  // `count` units sold in the current cashier section (one row each).
  void Sell(const WareInfo& ware, int count, bool usable = true);
  // The cashier's and the café's login with the demo accounts (2/4, 2/6);
  // the café login's payload.
  std::u16string LoginCafe();
  // Starts 5/1 with `param` and waits for its "cb-1-4"; the payload.
  std::u16string FinishShift(const std::string& param);

  // What the event log holds today, as UTF-8.
  std::string EventLogToday() const;

  RecordingCallback page;
  HostThread hostThread;
};

// Waits for the PDF of the next job the private cupsd finishes after
// `before` (the PDFs present then) and returns its text and page size.
struct PrintedPdf {
  std::string text;
  std::string info;   // pdfinfo's output
  std::string title;  // the job's title: the template's file name
  bool found = false;
};
std::vector<std::string> PdfsNow();
PrintedPdf AwaitPdf(const std::vector<std::string>& before);
