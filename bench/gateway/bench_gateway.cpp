// Round trips through CallFunction as the page makes them at the counter:
// the quick search (1/5) as the cashier types first letters or scans a
// barcode, and the ware list (1/0) the counter loads at start. The store is
// a real file of 20,000 wares in a temporary work directory, opened the way
// the café set-up (2/3) opens it; the directory is removed at exit.
//
// Besides the mean, each benchmark reports the median and the 99th
// percentile of the single calls as the counters p50_us and p99_us (wall
// clock) and p50_cpu_us and p99_cpu_us (CPU time of the calling thread).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gateway/Dispatcher.h"
#include "service/CServiceManager.h"
#include "support/Helpers.h"
#include "support/TextCodec.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWares = 20000;
constexpr int kTypes = 12;

// Common characters of snack and drink names, so first letters spread over
// the alphabet roughly as real names do.
const char16_t kChars[] =
    u"可乐雪碧绿茶红牛奶咖啡果汁冰糖薯片饼干面包方便香肠鸡蛋辣条矿泉水"
    u"橙柠檬椰子酸梅汤王老吉加多宝百事康师傅统一农夫山泉哇哈";

std::u16string WareName(std::mt19937& rng, int id) {
  constexpr std::size_t count = sizeof(kChars) / sizeof(char16_t) - 1;
  std::uniform_int_distribution<std::size_t> pick(0, count - 1);
  std::uniform_int_distribution<int> length(2, 5);
  std::u16string name;
  for (int k = length(rng); k > 0; --k) name += kChars[pick(rng)];
  return name + TextCodec::Ascii(std::to_string(id % 100));
}

std::u16string Envelope(int mainId, int subId, const std::string& param = {}) {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID></RetID></Head>";
  if (!param.empty()) text += "<Param>" + param + "</Param>";
  return TextCodec::Utf8ToUtf16(text + "</FUNCTION>");
}

std::string Barcode(int id) { return "69" + std::to_string(10000000000LL + id); }

void FillCatalogue(CLocalDB& db) {
  std::vector<WareTypeInfo> types;
  for (int t = 1; t <= kTypes; ++t)
    types.push_back({t, TextCodec::Utf8ToUtf16("类型" + std::to_string(t)), true});
  std::vector<WareInfo> wares;
  std::mt19937 rng(20240611);
  for (int id = 1; id <= kWares; ++id) {
    WareInfo ware;
    ware.id = id;
    ware.name = WareName(rng, id);
    ware.typeId = id % kTypes + 1;
    ware.usable = id % 20 != 0;
    ware.properties = id % 7 == 0 ? 2 : 1;
    ware.price = static_cast<float>(id % 50) + 0.5f;
    ware.stock = id % 100;
    ware.barcode = TextCodec::Ascii(Barcode(id));
    ware.orderId = id;
    wares.push_back(ware);
  }
  if (!db.InserWareType(types) || !db.InsertWare(wares)) std::abort();
}

// A work directory with the client configuration and a filled store; the
// service runs for the whole program.
class Counter {
public:
  Counter() {
    std::string pattern = (fs::temp_directory_path() / "tillora-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    m_dir = pattern;
    const char* source = std::getenv("TILLORA_SOURCE_DIR");
    fs::copy_file(fs::path(source ? source : TILLORA_SOURCE_DIR) / "config" / "ClientConfig.xml",
                  m_dir / "ClientConfig.xml");
    Helpers::SetWorkDir(m_dir.string() + "/");
    if (!CServiceManager::GetInstance().Init()) std::abort();
    const std::u16string opened = CallFunction(
        Envelope(2, 3,
                 R"(<SaveNetbarLogin id="1001" pw="pw" netbarname="星海" barname="吧台" barid="7" )"
                 R"(cashier="张三" currentworksection="早班"/>)"));
    if (opened.find(u"<OPRet>1</OPRet>") == std::u16string::npos) std::abort();
    FillCatalogue(*CServiceManager::GetInstance().GetLocalDB());
  }
  ~Counter() {
    CServiceManager::DestroyInstance();
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

private:
  fs::path m_dir;
};

void EnsureCounter() { static Counter counter; }

double Percentile(std::vector<double>& samples, double fraction) {
  if (samples.empty()) return 0;
  const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(rank),
                   samples.end());
  return samples[rank];
}

double ThreadCpuMicros() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Runs the requests in turn, one CallFunction per iteration, timing each by
// the wall clock and by this thread's CPU time (the second stays meaningful
// on a machine that other work keeps busy).
void RoundTrips(benchmark::State& state, const std::vector<std::u16string>& requests) {
  EnsureCounter();
  std::vector<double> micros;
  std::vector<double> cpuMicros;
  std::size_t next = 0;
  std::size_t replyUnits = 0;
  for (auto _ : state) {
    const double cpuBegin = ThreadCpuMicros();
    const auto begin = std::chrono::steady_clock::now();
    std::u16string reply = CallFunction(requests[next]);
    const auto end = std::chrono::steady_clock::now();
    cpuMicros.push_back(ThreadCpuMicros() - cpuBegin);
    micros.push_back(std::chrono::duration<double, std::micro>(end - begin).count());
    replyUnits += reply.size();
    benchmark::DoNotOptimize(reply);
    next = (next + 1) % requests.size();
  }
  state.counters["p50_us"] = Percentile(micros, 0.50);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["p50_cpu_us"] = Percentile(cpuMicros, 0.50);
  state.counters["p99_cpu_us"] = Percentile(cpuMicros, 0.99);
  state.counters["reply_chars"] = static_cast<double>(replyUnits) /
                                  static_cast<double>(std::max<std::size_t>(1, micros.size()));
}

// What a cashier types: two or three first letters that many names share,
// some that none has, and scanned barcodes that exist or do not.
std::vector<std::u16string> SearchRequests() {
  const char* const typed[] = {"KL", "NN", "XB", "KF", "MB", "GZ", "BGS", "NFS", "QQ", "ZZZ"};
  std::vector<std::u16string> requests;
  for (const char* text : typed) {
    requests.push_back(
        Envelope(1, 5, std::string(R"(<QueryWare byfirstchar=")") + text + R"(" bybarcode=""/>)"));
  }
  for (int id : {17, 4711, 19999, 99999}) {
    requests.push_back(
        Envelope(1, 5, R"(<QueryWare byfirstchar="" bybarcode=")" + Barcode(id) + R"("/>)"));
  }
  return requests;
}

void BM_Search(benchmark::State& state) {
  static const std::vector<std::u16string> requests = SearchRequests();
  RoundTrips(state, requests);
}

void BM_WareList(benchmark::State& state) {
  static const std::vector<std::u16string> requests = {Envelope(1, 0)};
  RoundTrips(state, requests);
}

}  // namespace

BENCHMARK(BM_Search)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_WareList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
