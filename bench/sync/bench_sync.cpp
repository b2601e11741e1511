// The catalogue synchronisation against the demo server: one full pass of
// 10,000 goods and 200 materials applied to the store, and the throughput of
// the sealed wire both ways. The server runs as a child process on a free
// loopback port; the café is bound through CallFunction as the page does.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "common/RecordingCallback.h"
#include "common/TestText.h"
#include "gateway/Dispatcher.h"
#include "server/CatalogueSync.h"
#include "server/WireCodec.h"
#include "service/CServiceManager.h"
#include "support/Helpers.h"

namespace {

namespace fs = std::filesystem;

// The demo server with a large catalogue, for the life of the program.
class LargeDemoServer {
public:
  bool Start() {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(pipeFds[1], STDOUT_FILENO);
      close(pipeFds[0]);
      std::string server = std::string(TILLORA_BENCH_SOURCE_DIR) +
                           "/tools/tillora-demo-server/tillora-demo-server";
      execlp("python3", "python3", server.c_str(), "--port", "0", "--extra-wares", "10000",
             "--extra-materials", "200", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(pipeFds[1]);
    FILE* out = fdopen(pipeFds[0], "r");
    char line[256];
    while (out && std::fgets(line, sizeof line, out)) {
      std::smatch match;
      std::string text(line);
      if (std::regex_search(text, match, std::regex("listening on 127\\.0\\.0\\.1:(\\d+)"))) {
        m_port = std::stoi(match[1]);
        return true;
      }
    }
    return false;
  }
  ~LargeDemoServer() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  int Port() const { return m_port; }

private:
  pid_t m_pid = -1;
  int m_port = 0;
};

std::string Envelope(int mainId, int subId, const std::string& param) {
  return "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
         std::to_string(subId) + "</SubID><RetID>b</RetID></Head><Param>" + param +
         "</Param></FUNCTION>";
}

// A work directory whose configuration points at the server.
bool PrepareWorkDir(const fs::path& dir, int port) {
  fs::create_directories(dir);
  std::ifstream in(std::string(TILLORA_BENCH_SOURCE_DIR) + "/config/ClientConfig.xml");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text = std::regex_replace(text, std::regex("127\\.0\\.0\\.1:18080"),
                            "127.0.0.1:" + std::to_string(port));
  std::ofstream(dir / "ClientConfig.xml") << text;
  return Helpers::SetWorkDir(dir.string());
}

// The page's first start: cashier login, café login, binding bar 101.
bool BindCafe(RecordingCallback& page) {
  CallFunction(U16(Envelope(2, 4, R"(<LoginUser id="cashier01" pw="123456" local="0"/>)")));
  if (!page.WaitForCalls(1, std::chrono::seconds(60))) return false;
  CallFunction(U16(Envelope(2, 6, R"(<LoginNetbar id="10001" pw="666666"/>)")));
  if (!page.WaitForCalls(2, std::chrono::seconds(60))) return false;
  std::u16string reply = CallFunction(U16(Envelope(
      2, 3,
      R"(<SaveNetbarLogin id="10001" pw="666666" netbarname="demo" barname="一楼吧台" )"
      R"(barid="101" cashier="张晓梅" currentworksection="早班"/>)")));
  return reply.find(u"<OPRet>1</OPRet>") != std::u16string::npos;
}

struct SyncSetup {
  LargeDemoServer server;
  RecordingCallback page;
  bool ready = false;

  SyncSetup() {
    fs::path dir = fs::temp_directory_path() / ("bench-sync-" + std::to_string(getpid()));
    ready = server.Start() && PrepareWorkDir(dir, server.Port()) &&
            CServiceManager::GetInstance().Init();
    if (ready) {
      CServiceManager::GetInstance().SetPageCallback(page.get());
      ready = BindCafe(page);
    }
  }
};

SyncSetup& Setup() {
  static SyncSetup setup;
  return setup;
}

// Every iteration is a first pass: all lists downloaded and applied.
void BM_FullSyncPass10000Goods(benchmark::State& state) {
  SyncSetup& setup = Setup();
  if (!setup.ready) {
    state.SkipWithError("the demo server or the café binding did not come up");
    return;
  }
  CServiceManager& service = CServiceManager::GetInstance();
  for (auto _ : state) {
    service.m_catalogueSync = CatalogueSyncState{};
    bool passed = Update_Data(service, [](std::u16string_view) {});
    if (!passed) state.SkipWithError("the pass did not get past the main configuration");
  }
}
BENCHMARK(BM_FullSyncPass10000Goods)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

std::u16string WireSample(size_t bytes) {
  std::u16string text = u"<jxcapi status=\"1\"><goods>";
  while (text.size() < bytes) text += u"<item><id>1001</id><name>可口可乐500ml</name></item>";
  return text + u"</goods></jxcapi>";
}

void BM_SealRequest(benchmark::State& state) {
  const std::u16string text = WireSample(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SealRequest(text));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(BM_SealRequest)->Arg(1 << 10)->Arg(1 << 20);

void BM_OpenReply(benchmark::State& state) {
  const std::u16string text = WireSample(static_cast<size_t>(state.range(0)));
  const auto sealed = SealRequest(text);
  for (auto _ : state) benchmark::DoNotOptimize(OpenReply(sealed));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size() * 2));
}
BENCHMARK(BM_OpenReply)->Arg(1 << 10)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
