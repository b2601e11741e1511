#include "DevicesFixture.h"

#include <cstdlib>
#include <filesystem>

#include "gateway/Dispatcher.h"
#include "service/CMainWndMgr.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace fs = std::filesystem;

namespace {

std::string MakeWorkDir() {
  std::string pattern = (fs::temp_directory_path() / "tillora-devices-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return {};
  const fs::path source(TILLORA_TEST_SOURCE_DIR);
  std::error_code error;
  fs::copy_file(source / "config" / "ClientConfig.xml", fs::path(pattern) / "ClientConfig.xml",
                error);
  fs::copy(source / "templates", fs::path(pattern) / "templates", error);
  // Until a test starts its own scheduler, no print may reach a real one.
  ::setenv("CUPS_SERVER", (pattern + "/no-cupsd.sock").c_str(), 1);
  return pattern + "/";
}

class WorkDirEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ASSERT_FALSE(DevicesWorkDir().empty());
    ASSERT_TRUE(fs::exists(DevicesWorkDir() + "templates/Xiaopiao58.grid"));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(DevicesWorkDir(), ignored);
  }
};

[[maybe_unused]] ::testing::Environment* const g_workDir =
    ::testing::AddGlobalTestEnvironment(new WorkDirEnvironment);

}  // namespace

const std::string& DevicesWorkDir() {
  static const std::string dir = [] {
    std::string made = MakeWorkDir();
    if (!made.empty()) Helpers::SetWorkDir(made);
    return made;
  }();
  return dir;
}

std::u16string TemplatePath(std::string_view file) {
  return U16(DevicesWorkDir() + "templates/" + std::string(file));
}

std::u16string Call(int mainId, int subId, std::string_view param) {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID>t</RetID></Head>";
  if (!param.empty()) text += "<Param>" + std::string(param) + "</Param>";
  text += "</FUNCTION>";
  return CallFunction(U16(text));
}

int OpRet(std::u16string_view reply) {
  CXmlDoc doc(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue/OPRet")) return -1;
  return Helpers::ParseInt(doc.GetValue());
}

std::string SettingsWith(std::string_view element, std::string_view attr, std::string_view value) {
  CXmlDoc reply(Call(2, 1));
  if (!reply.Find(u"/FUNCTION/ReturnValue/Config")) return {};
  CXmlDoc settings(u"<Config>" + reply.GetInner() + u"</Config>");
  if (!settings.Find(u"/Config/" + U16(element))) return {};
  settings.SetAttr(U16(attr), U16(value));
  return U8(settings.GetText());
}

bool SaveSetting(std::string_view element, std::string_view attr, std::string_view value) {
  const std::string text = SettingsWith(element, attr, value);
  return !text.empty() && OpRet(Call(2, 0, text)) == 1;
}

void DevicesTest::SetUp() {
  ASSERT_FALSE(DevicesWorkDir().empty());
  std::error_code ignored;
  fs::remove(DevicesWorkDir() + "Global.dat", ignored);
  fs::remove(DevicesWorkDir() + CDevMgr::kFilledCopyName, ignored);
  ASSERT_TRUE(CServiceManager::GetInstance().Init());
  CServiceManager::GetInstance().SetPageCallback(page.get());
  CMainWndMgr::GetInstance().SetHostWindow(host.host());
}

void DevicesTest::TearDown() {
  CServiceManager::GetInstance().Stop();
  CServiceManager::DestroyInstance();
  CMainWndMgr::GetInstance().SetHostWindow(nullptr);
}

CDevMgr& DevicesTest::Devices() { return *CServiceManager::GetInstance().GetDevMgr(); }
