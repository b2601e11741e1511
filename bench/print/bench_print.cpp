// Checkout as the payment dialog makes it: CallFunction 4/2 with a basket of
// ten rows, until the page's "cb-1-1" arrives.
//
// - BM_CheckoutStored: printing off; the callback comes once the ten sale
//   lines are stored (one transaction). Target: under 10 ms.
// - BM_CheckoutReceipt: a 58 mm receipt on a cups-pdf queue of a private
//   cupsd (tests/grid/cups_fixture.sh, needs root); the callback comes once
//   the host thread has rendered the receipt and CUPS accepted the job.
//   Skipped with a message when the scheduler cannot start.
//
// The store is a real file in a temporary work directory, opened the way the
// café set-up (2/3) opens it; the spacing clock moves four seconds at every
// start so checkouts can follow each other at once. Each benchmark reports
// the median and 99th percentile of the single checkouts (p50_ms, p99_ms).
#include <benchmark/benchmark.h>
#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/CGlobalConfig.h"
#include "gateway/Dispatcher.h"
#include "operations/CheckoutSpacing.h"
#include "service/CMainWndMgr.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/TextCodec.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLines = 10;
constexpr const char* kQueue = "TilloraBench";

fs::path SourceDir() {
  const char* source = std::getenv("TILLORA_SOURCE_DIR");
  return fs::path(source ? source : TILLORA_SOURCE_DIR);
}

std::u16string U16(const std::string& text) { return TextCodec::Utf8ToUtf16(text); }

std::string RunCommand(const std::string& command, int& status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    status = -1;
    return output;
  }
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  status = ::pclose(pipe);
  return output;
}

// The page: records the last "cb-1-1" and wakes the waiting benchmark.
class Page {
public:
  Page() {
    m_base.add_ref = [](PexluneCallback*) {};
    m_base.release = [](PexluneCallback*) {};
    m_base.invoke = [](PexluneCallback* self, const char16_t* code, const char16_t* payload) {
      return reinterpret_cast<Page*>(self)->Deliver(code, payload);
    };
  }
  PexluneCallback* get() { return &m_base; }

  // Waits for callback number `count` (1-based); true when it came and its
  // OPRet was 1.
  bool AwaitStored(std::size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool came =
        m_arrived.wait_for(lock, std::chrono::minutes(2), [&] { return m_calls >= count; });
    return came && m_lastStored;
  }

private:
  int Deliver(const char16_t* code, const char16_t* payload) {
    const bool stored =
        std::u16string_view(payload).find(u"<OPRet>1</OPRet>") != std::u16string::npos;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_calls;
      m_lastStored = std::u16string_view(code) == u"cb-1-1" && stored;
    }
    m_arrived.notify_all();
    return 0;
  }

  PexluneCallback m_base{};  // first member: the core sees only this
  std::mutex m_mutex;
  std::condition_variable m_arrived;
  std::size_t m_calls = 0;  // guarded by m_mutex
  bool m_lastStored = false;
};

// The host's window thread: runs posted print jobs in order.
class Host {
public:
  Host() : m_thread([this] { Loop(); }) {
    m_host.context = this;
    m_host.post = [](void* context, void (*fn)(void*), void* arg) {
      Host& self = *static_cast<Host*>(context);
      std::lock_guard<std::mutex> lock(self.m_mutex);
      if (self.m_closed) return 1;
      self.m_jobs.emplace_back(fn, arg);
      self.m_wake.notify_all();
      return 0;
    };
  }
  ~Host() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_closed = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }
  const PexluneHost* host() const { return &m_host; }

private:
  void Loop() {
    for (;;) {
      std::pair<void (*)(void*), void*> job;
      {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [&] { return m_closed || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        job = m_jobs.front();
        m_jobs.pop_front();
      }
      job.first(job.second);
    }
  }

  PexluneHost m_host{};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<std::pair<void (*)(void*), void*>> m_jobs;  // guarded by m_mutex
  bool m_closed = false;                                 // guarded by m_mutex
  std::thread m_thread;
};

// A private scheduler with one cups-pdf queue, started by the print tests'
// fixture script in a folder of its own.
class PrivateCupsd {
public:
  PrivateCupsd() {
    if (::geteuid() != 0) {
      m_error = "the private cupsd needs root (cups-pdf reads /etc/cups)";
      return;
    }
    std::string pattern = "/tmp/tillora-bench-cupsd-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      m_error = "mkdtemp failed";
      return;
    }
    m_dir = pattern;
    int status = 0;
    const std::string output =
        RunCommand(Script() + " start '" + m_dir + "' " + kQueue + " 2>&1", status);
    if (status != 0) {
      m_error = "cups_fixture.sh start failed: " + output;
      return;
    }
    ::setenv("CUPS_SERVER", (m_dir + "/cups.sock").c_str(), 1);
    cupsSetServer(nullptr);
    m_running = true;
  }
  ~PrivateCupsd() {
    if (m_dir.empty()) return;
    int status = 0;
    RunCommand(Script() + " stop '" + m_dir + "' 2>&1", status);
  }
  bool Running() const { return m_running; }
  const std::string& Error() const { return m_error; }

private:
  static std::string Script() {
    return "'" + (SourceDir() / "tests/grid/cups_fixture.sh").string() + "'";
  }

  std::string m_dir;
  std::string m_error;
  bool m_running = false;
};

std::u16string Envelope(int mainId, int subId, const std::string& param) {
  return U16("<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
             std::to_string(subId) + "</SubID><RetID>bench</RetID></Head><Param>" + param +
             "</Param></FUNCTION>");
}

void FillCatalogue(CLocalDB& db) {
  std::vector<WareInfo> wares;
  for (int id = 1; id <= 2 * kLines; ++id) {
    WareInfo ware;
    ware.id = id;
    ware.name = U16("商品" + std::to_string(id));
    ware.typeId = id % 2 + 1;
    ware.usable = true;
    ware.price = static_cast<float>(id) + 0.5f;
    ware.properties = 1;
    ware.stock = 100;
    wares.push_back(ware);
  }
  if (!db.InserWareType({{1, u"饮料", true}, {2, u"小吃", true}}) || !db.InsertWare(wares)) {
    std::abort();
  }
}

// Ten rows, one unit each, as the payment dialog sends them.
std::string TenLineCheckout() {
  std::string param = R"(<Checkout SeatNo="A12" TotalPrice="60.00" Pay="100.00" Change="40.00" )"
                      R"(SubOrderCount="10">)";
  for (int id = 1; id <= kLines; ++id) {
    param += R"(<SubOrder wareid=")" + std::to_string(id) + R"(" count="1" price=")" +
             std::to_string(id) + R"(.50"/>)";
  }
  param += "<Taste>";
  for (int id = 1; id <= kLines; ++id)
    param += R"(<item wareid=")" + std::to_string(id) + R"(" taste=""/>)";
  return param + "</Taste></Checkout>";
}

void SetReceiptSettings(bool enabled) {
  CGlobalConfig& settings = *CServiceManager::GetInstance().GetGlobalConfig();
  std::u16string text;
  if (!settings.LoadGlobalConfig(text)) std::abort();
  CXmlDoc doc(text);
  if (!doc.Find(u"/Config/XiaoPiaoPrint")) std::abort();
  doc.SetAttr(u"Enable", enabled ? u"1" : u"0");
  doc.SetAttr(u"AutoPrint", enabled ? u"1" : u"0");
  doc.SetAttr(u"Number", u"1");
  doc.SetAttr(u"title", u"星海网吧");
  doc.SetAttr(u"tail", u"谢谢惠顾");
  doc.SetAttr(u"Printer", U16(kQueue));
  doc.SetAttr(u"PrinterPaperType", CGlobalConfig::kPaper58);
  text = doc.GetText();
  if (!settings.SaveGlobalConfig(text)) std::abort();
}

// The counter: a work directory with the configuration, the templates and a
// café store, a running service with its page and host; for the program.
class Counter {
public:
  Counter() {
    std::string pattern = (fs::temp_directory_path() / "tillora-bench-print-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    m_dir = pattern;
    fs::copy_file(SourceDir() / "config" / "ClientConfig.xml", m_dir / "ClientConfig.xml");
    fs::copy(SourceDir() / "templates", m_dir / "templates");
    ::setenv("CUPS_SERVER", (m_dir / "no-cupsd.sock").c_str(), 1);
    Helpers::SetWorkDir(m_dir.string() + "/");
    CheckoutSpacing::Instance().SetClock(
        [this] { return m_tick += CheckoutSpacing::kSpacingSeconds; });
    CServiceManager& service = CServiceManager::GetInstance();
    if (!service.Init()) std::abort();
    service.SetPageCallback(m_page.get());
    CMainWndMgr::GetInstance().SetHostWindow(m_host.host());
    const std::u16string opened = CallFunction(
        Envelope(2, 3,
                 R"(<SaveNetbarLogin id="1001" pw="pw" netbarname="星海网吧" barname="吧台" )"
                 R"(barid="7" cashier="张三" currentworksection="早班"/>)"));
    if (opened.find(u"<OPRet>1</OPRet>") == std::u16string::npos) std::abort();
    FillCatalogue(*service.GetLocalDB());
  }
  ~Counter() {
    CServiceManager::GetInstance().Stop();
    CServiceManager::DestroyInstance();
    CMainWndMgr::GetInstance().SetHostWindow(nullptr);
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  // One checkout, from the request to its callback; false unless stored.
  bool Checkout(const std::u16string& request) {
    if (OpRetOf(CallFunction(request)) != 1) return false;
    return m_page.AwaitStored(++m_checkouts);
  }

private:
  static int OpRetOf(const std::u16string& reply) {
    return reply.find(u"<OPRet>1</OPRet>") != std::u16string::npos ? 1 : 0;
  }

  fs::path m_dir;
  std::atomic<std::int64_t> m_tick{0};
  Page m_page;
  Host m_host;
  std::size_t m_checkouts = 0;
};

Counter& TheCounter() {
  static Counter counter;
  return counter;
}

double Percentile(std::vector<double>& samples, double fraction) {
  if (samples.empty()) return 0;
  const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(rank),
                   samples.end());
  return samples[rank];
}

void Checkouts(benchmark::State& state) {
  Counter& counter = TheCounter();
  const std::u16string request = Envelope(4, 2, TenLineCheckout());
  std::vector<double> millis;
  for (auto _ : state) {
    const auto begin = std::chrono::steady_clock::now();
    const bool stored = counter.Checkout(request);
    const auto end = std::chrono::steady_clock::now();
    if (!stored) {
      state.SkipWithError("a checkout was not stored");
      return;
    }
    const double elapsed = std::chrono::duration<double, std::milli>(end - begin).count();
    millis.push_back(elapsed);
    state.SetIterationTime(elapsed / 1000.0);
  }
  state.counters["p50_ms"] = Percentile(millis, 0.50);
  state.counters["p99_ms"] = Percentile(millis, 0.99);
  state.counters["lines"] = kLines;
}

void BM_CheckoutStored(benchmark::State& state) {
  TheCounter();
  SetReceiptSettings(false);
  Checkouts(state);
}

void BM_CheckoutReceipt(benchmark::State& state) {
  TheCounter();
  static PrivateCupsd cupsd;
  if (!cupsd.Running()) {
    state.SkipWithError(("no private cupsd: " + cupsd.Error()).c_str());
    return;
  }
  SetReceiptSettings(true);
  Checkouts(state);
  SetReceiptSettings(false);
}

}  // namespace

BENCHMARK(BM_CheckoutStored)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3.0);
BENCHMARK(BM_CheckoutReceipt)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

BENCHMARK_MAIN();
