#include "handover/HandoverFixture.h"

#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "gateway/Dispatcher.h"
#include "grid/CupsServer.h"
#include "operations/QueryWaits.h"
#include "service/CMainWndMgr.h"
#include "store/sqlite3x.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/TextCodec.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The crash test runs a handover in a child copy of this program, which
// finds the parent's work directory and server here instead of making its own.
constexpr const char* kChildDirVariable = "TILLORA_HANDOVER_CHILD_DIR";
constexpr const char* kChildPortVariable = "TILLORA_HANDOVER_CHILD_PORT";

bool IsChild() { return std::getenv(kChildDirVariable) != nullptr; }

std::string MakeWorkDir() {
  if (const char* given = std::getenv(kChildDirVariable)) return given;
  std::string pattern = (fs::temp_directory_path() / "tillora-handover-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return {};
  std::error_code error;
  fs::copy(fs::path(TILLORA_TEST_SOURCE_DIR) / "templates", fs::path(pattern) / "templates", error);
  // Until the private cupsd runs, no print may reach a real scheduler.
  ::setenv("CUPS_SERVER", (pattern + "/no-cupsd.sock").c_str(), 1);
  return pattern + "/";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Quote(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Run(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "<failed>";
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "<failed>";
  return output;
}

// The sample configuration with every address moved to the demo server's port.
void WriteClientConfig(int port) {
  std::string text = ReadAll(fs::path(TILLORA_TEST_SOURCE_DIR) / "config" / "ClientConfig.xml");
  const std::string sample = "127.0.0.1:18080";
  const std::string actual = "127.0.0.1:" + std::to_string(port);
  for (std::size_t at; (at = text.find(sample)) != std::string::npos;) text.replace(at, sample.size(), actual);
  std::ofstream(HandoverWorkDir() + "ClientConfig.xml", std::ios::binary | std::ios::trunc) << text;
}

constexpr const char* kFlatten = R"PY(
import json, sys
def walk(path, value):
    if isinstance(value, dict):
        for key, item in value.items(): walk(path + [str(key)], item)
    elif isinstance(value, list):
        for index, item in enumerate(value): walk(path + [str(index)], item)
    else:
        text = value if isinstance(value, str) else json.dumps(value)
        print(".".join(path) + "\t" + text.replace("\\", "\\\\").replace("\n", "\\n"))
walk([], json.load(sys.stdin))
)PY";

std::unique_ptr<CupsServer> g_printer;
std::string g_printerSkip;

class HandoverEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ASSERT_FALSE(HandoverWorkDir().empty());
    if (IsChild()) return;
    ASSERT_TRUE(TheDemoServer().Start()) << "the demo server did not start";
    WriteClientConfig(TheDemoServer().Port());
    if (::geteuid() != 0) {
      g_printerSkip = "the private cupsd needs root (cups-pdf reads /etc/cups)";
      return;
    }
    g_printer = std::make_unique<CupsServer>();
    if (!g_printer->Start(g_printerSkip)) g_printer.reset();
  }
  void TearDown() override {
    if (IsChild()) return;
    g_printer.reset();
    TheDemoServer().Stop();
    std::error_code ignored;
    fs::remove_all(HandoverWorkDir(), ignored);
  }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new HandoverEnvironment);

}  // namespace

const std::string& HandoverWorkDir() {
  static const std::string dir = [] {
    std::string made = MakeWorkDir();
    if (!made.empty()) Helpers::SetWorkDir(made);
    return made;
  }();
  return dir;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// ---- The demo server --------------------------------------------------------

bool DemoServer::Start() {
  if (const char* port = std::getenv(kChildPortVariable)) {
    m_port = std::atoi(port);
    return m_port > 0;
  }
  const std::string out = HandoverWorkDir() + "demo-server.out";
  const std::string script =
      (fs::path(TILLORA_TEST_SOURCE_DIR) / "tools" / "tillora-demo-server" / "tillora-demo-server")
          .string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> args = {script, "--port", "0"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&m_pid, script.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    m_pid = -1;
    return false;
  }
  const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
  std::smatch match;
  std::string text;
  WaitFor([&] {
    text = ReadAll(out);
    return std::regex_search(text, match, listening);
  }, std::chrono::seconds(30));
  if (match.empty()) return false;
  m_port = std::stoi(match[1].str());
  return true;
}

void DemoServer::Stop() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGTERM);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
  m_pid = -1;
}

std::string DemoServer::Get(std::string_view path) const {
  return Run("curl -s -f -m 20 " + Quote("http://127.0.0.1:" + std::to_string(m_port) +
                                           std::string(path)));
}

std::string DemoServer::Post(std::string_view path, std::string_view json) const {
  return Run("curl -s -f -m 20 -X POST -H 'Content-Type: application/json' --data-binary " +
             Quote(json) + " " +
             Quote("http://127.0.0.1:" + std::to_string(m_port) + std::string(path)));
}

Flat DemoServer::GetFlat(std::string_view path) const {
  const std::string command = "curl -s -f -m 20 " +
                              Quote("http://127.0.0.1:" + std::to_string(m_port) +
                                    std::string(path)) +
                              " | PYTHONIOENCODING=utf-8 python3 -c " + Quote(kFlatten);
  Flat flat;
  std::istringstream lines(Run(command));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) flat[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return flat;
}

void DemoServer::FailUploads(std::string_view mode) const {
  Post("/admin/faults", R"({"mode": ")" + std::string(mode) +
                            R"(", "endpoints": ["iFinishWorkSection", "iFinishMetarialWorkSection"]})");
}

void DemoServer::HealUploads() const { Post("/admin/faults", R"({"mode": "none"})"); }

DemoServer& TheDemoServer() {
  static DemoServer server;
  return server;
}

CupsServer* ThePrinter() { return g_printer.get(); }
std::string PrinterSkipReason() { return g_printerSkip; }

// ---- The host thread -----------------------------------------------------------

HostThread::HostThread() : m_thread([this] { Loop(); }) {
  m_host.context = this;
  m_host.post = [](void* context, void (*fn)(void*), void* arg) {
    return static_cast<HostThread*>(context)->Post(fn, arg);
  };
}

HostThread::~HostThread() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

int HostThread::Post(void (*fn)(void*), void* arg) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_closed) return 1;
  m_jobs.emplace_back(fn, arg);
  m_wake.notify_all();
  return 0;
}

void HostThread::Loop() {
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

// ---- Reading replies ---------------------------------------------------------------

int OpRet(std::u16string_view reply) {
  CXmlDoc doc(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue/OPRet")) return -1;
  return Helpers::ParseInt(doc.GetValue());
}

std::string ValueAt(std::u16string_view reply, std::string_view path) {
  CXmlDoc doc(reply);
  return doc.Find(U16(path)) ? U8(doc.GetValue()) : "<missing>";
}

std::string ErrString(std::u16string_view reply) {
  return ValueAt(reply, "/FUNCTION/ReturnValue/ErrString");
}

std::string AttrAt(std::u16string_view reply, std::string_view path, std::string_view attr) {
  CXmlDoc doc(reply);
  return doc.Find(U16(path)) ? U8(doc.GetAttr(U16(attr))) : "<missing>";
}

std::vector<Row> RawRows(const std::string& dbPath, std::string_view statement) {
  sqlite3x::connection con;
  con.open(U16(dbPath));
  sqlite3x::command cmd(con, statement);
  std::vector<Row> rows;
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) {
    Row row;
    for (int i = 0; i < cmd.column_count(); ++i) row.push_back(U8(r.get_wstring(i)));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string RawText(const std::string& dbPath, std::string_view statement) {
  const std::vector<Row> rows = RawRows(dbPath, statement);
  return rows.empty() || rows.front().empty() ? "<none>" : rows.front().front();
}

void RawExec(const std::string& dbPath, std::string_view statement) {
  sqlite3x::connection con;
  con.open(U16(dbPath));
  con.execute(statement);
}

// ---- The fixture ---------------------------------------------------------------------

void HandoverTest::SetUp() {
  ASSERT_FALSE(HandoverWorkDir().empty());
  QueryWaits::SetScale(0);
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(HandoverWorkDir(), ignored)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".dat" || name.starts_with("10001-101.dat"))
      fs::remove(entry.path(), ignored);
  }
  fs::remove_all(HandoverWorkDir() + "LOG", ignored);
  if (!IsChild()) {
    ASSERT_NE(TheDemoServer().Post("/admin/reset", R"({"sessions": true})"), "<failed>");
    TheDemoServer().HealUploads();
  }
  ASSERT_TRUE(Service().Init());
  Service().SetPageCallback(page.get());
  CMainWndMgr::GetInstance().SetHostWindow(hostThread.host());
  if (OpenStoreAtStart()) {
    ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
    ASSERT_TRUE(Store().IsOpen());
  }
}

void HandoverTest::TearDown() {
  CServiceManager::DestroyInstance();
  CMainWndMgr::GetInstance().SetHostWindow(nullptr);
}

std::string HandoverTest::StorePath() { return HandoverWorkDir() + "10001-101.dat"; }

std::u16string HandoverTest::Call(int mainId, int subId, std::string_view param,
                                  std::string_view retId) {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID>" + std::string(retId) +
                     "</RetID></Head>";
  if (!param.empty()) text += "<Param>" + std::string(param) + "</Param>";
  text += "</FUNCTION>";
  return CallFunction(U16(text));
}

std::u16string HandoverTest::AwaitCode(std::u16string_view code, size_t skip,
                                       std::chrono::milliseconds timeout) {
  std::u16string payload = u"<timeout>";
  WaitFor([&] {
    size_t seen = 0;
    for (const RecordedCall& call : page.Calls()) {
      if (call.code != code) continue;
      if (seen++ == skip) {
        payload = call.payload;
        return true;
      }
    }
    return false;
  }, timeout);
  return payload;
}

size_t HandoverTest::CountOf(std::u16string_view code) {
  size_t count = 0;
  for (const RecordedCall& call : page.Calls()) count += call.code == code;
  return count;
}

bool HandoverTest::SaveSettings(std::string_view element,
                                const std::vector<std::pair<std::string, std::string>>& attrs) {
  CXmlDoc reply(Call(2, 1));
  if (!reply.Find(u"/FUNCTION/ReturnValue/Config")) return false;
  CXmlDoc settings(u"<Config>" + reply.GetInner() + u"</Config>");
  if (!settings.Find(u"/Config/" + U16(element))) return false;
  for (const auto& [name, value] : attrs) settings.SetAttr(U16(name), U16(value));
  return OpRet(Call(2, 0, U8(settings.GetText()))) == 1;
}

bool HandoverTest::SetHandoverMode(int mode) { return Settings().SetSystemMode(0, mode); }

std::string HandoverTest::EventLogToday() const {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char name[32];
  std::snprintf(name, sizeof name, "%04d%02d%02d.log", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  return U8(TextCodec::AnsiToUtf16(ReadAll(fs::path(HandoverWorkDir()) / "LOG" / name)));
}

// ---- A shift's data -------------------------------------------------------------------

namespace {
WareInfo DemoWare(int id, std::string_view name, std::string_view unit, int type, int properties,
                  float price, int stock, int order) {
  WareInfo ware;
  ware.id = id;
  ware.name = U16(name);
  ware.unitName = U16(unit);
  ware.usable = true;
  ware.typeId = type;
  ware.price = price;
  ware.properties = properties;
  ware.stock = stock;
  ware.orderId = order;
  ware.number = id % 100;
  return ware;
}
}  // namespace

WareInfo HandoverTest::Cola() { return DemoWare(1001, "可口可乐500ml", "瓶", 1, 1, 3.0f, 24, 1); }
WareInfo HandoverTest::Chips() { return DemoWare(1101, "乐事原味薯片70g", "袋", 2, 1, 7.5f, 9, 2); }
WareInfo HandoverTest::Water() { return DemoWare(1005, "农夫山泉550ml", "瓶", 1, 1, 2.0f, 30, 3); }
WareInfo HandoverTest::Tea() { return DemoWare(1301, "珍珠奶茶", "杯", 4, 2, 10.0f, 10, 4); }

void HandoverTest::InsertShiftWares() {
  ASSERT_TRUE(Store().InserWareType({{1, U16("饮料"), true}, {2, U16("零食"), true},
                                     {4, U16("奶茶"), true}}));
  ASSERT_TRUE(Store().InsertWare({Cola(), Chips(), Water(), Tea()}));
  ASSERT_TRUE(SetHandoverMode(1));
  // The shift began an hour ago, so every sale falls inside it.
  WareWorkSectionInfo section;
  ASSERT_TRUE(Store().QueryCurrentWareWorkSection(section));
  section.beginTime -= 3600;
  ASSERT_TRUE(Store().InserWareWorkSection(section));
}

void HandoverTest::Sell(const WareInfo& ware, int count, bool usable) {
  static int checkout = 0;
  const int section = Store().GetCurWareWorkSectionID();
  std::vector<WareSaleInfo> lines;
  for (int i = 1; i <= count; ++i) {
    WareSaleInfo sale;
    sale.id = U16(std::to_string(++checkout) + "(1/1)");
    // A second back: the form's count of combined rows ends before "now".
    sale.time = static_cast<std::int64_t>(std::time(nullptr)) - 1;
    sale.wareId = ware.id;
    sale.wareTypeName = ware.typeId == 1 ? U16("饮料") : ware.typeId == 2 ? U16("零食") : U16("奶茶");
    sale.wareName = ware.name;
    sale.wareProp = ware.properties;
    sale.count = 1;
    sale.price = ware.price;
    sale.usable = usable;
    sale.sectionId = section;
    sale.cashier = U16("张晓梅");
    lines.push_back(sale);
  }
  ASSERT_TRUE(Store().InserWareSale(lines));
  if (!usable) {
    for (const WareSaleInfo& sale : lines) ASSERT_TRUE(Store().DisableWareSaleById(sale.id));
  }
}

std::u16string HandoverTest::LoginCafe() {
  const size_t users = CountOf(u"cb-1-2");
  const size_t cafes = CountOf(u"cb-1-3");
  EXPECT_EQ(OpRet(Call(2, 4, R"(<LoginUser id="cashier01" pw="123456" local="0"/>)")), 1);
  const std::u16string user = AwaitCode(u"cb-1-2", users);
  EXPECT_EQ(AttrAt(user, "/FUNCTION/ReturnValue/LoginUser", "ret"), "1") << U8(user);
  EXPECT_EQ(OpRet(Call(2, 6, R"(<LoginNetbar id="10001" pw="666666"/>)")), 1);
  const std::u16string cafe = AwaitCode(u"cb-1-3", cafes);
  EXPECT_EQ(AttrAt(cafe, "/FUNCTION/ReturnValue/LoginNetbar", "ret"), "1") << U8(cafe);
  return cafe;
}

std::u16string HandoverTest::FinishShift(const std::string& param) {
  const size_t seen = CountOf(u"cb-1-4");
  const std::u16string reply = Call(5, 1, param, "shift");
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_EQ(ValueAt(reply, "/FUNCTION/ReturnValue/remark"), "结果通过回调返回");
  return AwaitCode(u"cb-1-4", seen);
}

// ---- Printed PDFs ---------------------------------------------------------------------

std::vector<std::string> PdfsNow() {
  std::vector<std::string> names;
  if (!ThePrinter()) return names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(ThePrinter()->OutDir(), error))
    names.push_back(entry.path().filename().string());
  return names;
}

PrintedPdf AwaitPdf(const std::vector<std::string>& before) {
  PrintedPdf printed;
  if (!ThePrinter()) return printed;
  const std::regex job("job_([0-9]+)\\.pdf$");
  std::string path;
  printed.found = WaitFor([&] {
    for (const std::string& name : PdfsNow()) {
      std::smatch match;
      if (std::find(before.begin(), before.end(), name) != before.end() ||
          !std::regex_search(name, match, job))
        continue;
      path = ThePrinter()->FinishedPdf(std::stoi(match[1].str()));
      if (!path.empty()) return true;
    }
    return false;
  });
  if (!printed.found) return printed;
  printed.text = GridTest::PdfText(path);
  printed.info = GridTest::PdfInfo(path);
  std::smatch title;
  const std::regex titleLine("Title: *\\(?([^)\n]*)\\)?");
  if (std::regex_search(printed.info, title, titleLine)) printed.title = title[1].str();
  return printed;
}
