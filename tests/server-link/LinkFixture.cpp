#include "server-link/LinkFixture.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "gateway/Dispatcher.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWhole(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The sample configuration with every address on the running server.
void WriteClientConfig(int port) {
  const std::string sample =
      ReadWhole(fs::path(TILLORA_TEST_SOURCE_DIR) / "config" / "ClientConfig.xml");
  WriteWhole(fs::path(LinkWorkDir()) / "ClientConfig.xml",
             ReplaceAll(sample, "127.0.0.1:18080", "127.0.0.1:" + std::to_string(port)));
}

// Settings, stores and logs of the previous test.
void RemoveRunFiles() {
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(LinkWorkDir(), ignored)) {
    if (entry.path().extension() == ".dat") fs::remove(entry.path(), ignored);
  }
  fs::remove_all(fs::path(LinkWorkDir()) / "LOG", ignored);
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

std::string Admin(int port, std::string_view path, const std::string* json) {
  CURL* curl = curl_easy_init();
  if (!curl) return "<failed>";
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + std::string(path);
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_slist* headers = nullptr;
  if (json) {
    headers = curl_slist_append(headers, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, json->c_str());
  }
  const CURLcode result = curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return result == CURLE_OK ? body : "<failed>";
}

class ServerEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ASSERT_FALSE(LinkWorkDir().empty());
    ASSERT_TRUE(TheServer().Start()) << "the demo server did not start";
  }
  void TearDown() override {
    TheServer().Stop();
    std::error_code ignored;
    fs::remove_all(LinkWorkDir(), ignored);
  }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

}  // namespace

const std::string& LinkWorkDir() {
  static const std::string dir = [] {
    std::string pattern = (fs::temp_directory_path() / "tillora-link-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return std::string();
    Helpers::SetWorkDir(pattern + "/");
    return pattern + "/";
  }();
  return dir;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

DemoServer& TheServer() {
  static DemoServer server;
  return server;
}

bool DemoServer::Start(int port) {
  if (Running()) return true;
  const fs::path out = fs::path(LinkWorkDir()) / "demo-server.out";
  std::error_code ignored;
  fs::remove(out, ignored);
  const std::string script =
      (fs::path(TILLORA_TEST_SOURCE_DIR) / "tools" / "tillora-demo-server" / "tillora-demo-server")
          .string();
  const std::string portText = std::to_string(port);
  const std::string outText = out.string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outText.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char* const argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                        const_cast<char*>("--port"), const_cast<char*>(portText.c_str()),
                        nullptr};
  const int spawned = posix_spawnp(&m_pid, "python3", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    m_pid = -1;
    return false;
  }
  const std::string marker = "listening on 127.0.0.1:";
  std::string text;
  const bool listening = WaitFor([&] {
    text = ReadWhole(out);
    return text.find('\n') != std::string::npos || ::waitpid(m_pid, nullptr, WNOHANG) != 0;
  });
  const size_t at = text.find(marker);
  if (!listening || at == std::string::npos) {
    Stop();
    return false;
  }
  m_port = std::stoi(text.substr(at + marker.size()));
  return true;
}

void DemoServer::Stop() {
  if (!Running()) return;
  ::kill(m_pid, SIGTERM);
  const bool ended = WaitFor([&] { return ::waitpid(m_pid, nullptr, WNOHANG) == m_pid; },
                             std::chrono::seconds(10));
  if (!ended) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  m_pid = -1;
}

std::string DemoServer::Get(std::string_view path) const { return Admin(m_port, path, nullptr); }

std::string DemoServer::Post(std::string_view path, std::string_view json) const {
  const std::string body(json);
  return Admin(m_port, path, &body);
}

// ---- The fixture ----------------------------------------------------------------

void ServerLinkTest::SetUp() {
  ASSERT_FALSE(LinkWorkDir().empty());
  // A test that stopped the server leaves it for the next one on its port.
  ASSERT_TRUE(TheServer().Start(TheServer().Port()));
  ASSERT_NE(TheServer().Post("/admin/reset", R"({"sessions": true})"), "<failed>");
  WriteClientConfig(TheServer().Port());
  RemoveRunFiles();
  ASSERT_TRUE(Service().Init());
  Service().SetPageCallback(page.get());
  Service().SetKeepAliveCycles({std::chrono::milliseconds(50), std::chrono::milliseconds(50)});
}

void ServerLinkTest::TearDown() { CServiceManager::DestroyInstance(); }

std::u16string ServerLinkTest::Call(int mainId, int subId, std::string_view param,
                                    std::string_view retId) {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID>" + std::string(retId) +
                     "</RetID></Head>";
  if (!param.empty()) text += "<Param>" + std::string(param) + "</Param>";
  text += "</FUNCTION>";
  return CallFunction(U16(text));
}

std::u16string ServerLinkTest::AwaitCode(std::u16string_view code, size_t skip) {
  std::u16string payload = u"<timeout>";
  WaitFor([&] {
    size_t seen = 0;
    for (const RecordedCall& call : page.Calls()) {
      if (call.code == code && seen++ == skip) {
        payload = call.payload;
        return true;
      }
    }
    return false;
  });
  return payload;
}

std::vector<std::u16string> ServerLinkTest::Codes() {
  std::vector<std::u16string> codes;
  for (const RecordedCall& call : page.Calls()) codes.push_back(call.code);
  return codes;
}

std::u16string ServerLinkTest::LoginUser(std::string_view account, std::string_view password,
                                         bool local) {
  size_t before = 0;
  for (const RecordedCall& call : page.Calls()) before += call.code == u"cb-1-2";
  const std::u16string reply =
      Call(2, 4,
           "<LoginUser id=\"" + std::string(account) + "\" pw=\"" + std::string(password) +
               "\" local=\"" + (local ? "1" : "0") + "\"/>",
           "login");
  EXPECT_EQ(OpRet(reply), 1);
  return AwaitCode(u"cb-1-2", before);
}

std::u16string ServerLinkTest::LoginNetbar(std::string_view number, std::string_view password) {
  size_t before = 0;
  for (const RecordedCall& call : page.Calls()) before += call.code == u"cb-1-3";
  const std::u16string reply = Call(
      2, 6,
      "<LoginNetbar id=\"" + std::string(number) + "\" pw=\"" + std::string(password) + "\"/>",
      "netbar");
  EXPECT_EQ(OpRet(reply), 1);
  return AwaitCode(u"cb-1-3", before);
}

void ServerLinkTest::BindCafe() {
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  // The page saves the user it logged in with (2/0) before it binds the bar.
  std::u16string text;
  ASSERT_TRUE(Settings().LoadGlobalConfig(text));
  CXmlDoc doc(text);
  ASSERT_TRUE(doc.Find(u"/Config/User"));
  doc.SetAttr(u"id", U16(kCashier));
  text = doc.GetText();
  ASSERT_TRUE(Settings().SaveGlobalConfig(text));
  ASSERT_EQ(Attr(LoginNetbar(kCafeNumber, kCafePassword), "LoginNetbar", "ret"), "1");
  ASSERT_EQ(OpRet(Call(2, 3,
                       R"(<SaveNetbarLogin id="10001" pw="666666" netbarname="星河网咖（演示店）" )"
                       R"(barname="一楼吧台" barid="101" cashier="张晓梅" currentworksection="早班"/>)")),
            1);
  ASSERT_TRUE(Store().IsOpen());
}

std::string Attr(std::u16string_view reply, std::string_view element, std::string_view attr) {
  CXmlDoc doc(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue") || !doc.Enter() || !doc.Find(U16(element)))
    return "<missing>";
  return U8(doc.GetAttr(U16(attr)));
}

int OpRet(std::u16string_view reply) {
  CXmlDoc doc(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue/OPRet")) return -1;
  return Helpers::ParseInt(doc.GetValue());
}
