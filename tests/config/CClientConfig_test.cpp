#include "config/CClientConfig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/TestText.h"
#include "config/ConfigTestDir.h"

namespace {

using Key = CClientConfig::Key;

struct Element {
  std::string name;
  std::string value;
};

Key KeyAt(std::size_t i) { return static_cast<Key>(i); }

// A distinct value for every key: paths for the server functions, file names
// for the templates.
std::vector<Element> StandardElements() {
  std::vector<Element> elements;
  for (std::size_t i = 0; i < CClientConfig::kKeyCount; ++i) {
    std::string name = U8(CClientConfig::KeyName(KeyAt(i)));
    std::string value = i < CClientConfig::kServerKeyCount ? "api/" + name : name + ".cel";
    elements.push_back({name, value});
  }
  elements[0].value = "http://127.0.0.1:18080/";
  return elements;
}

std::string Group(const std::string& name, const std::vector<Element>& elements, size_t from,
                  size_t to) {
  std::string text = "<" + name + ">\n";
  for (size_t i = from; i < to; ++i) {
    text += "  <" + elements[i].name + ">" + elements[i].value + "</" + elements[i].name + ">\n";
  }
  return text + "</" + name + ">\n";
}

std::string Document(const std::vector<Element>& elements, bool templatesFirst = false) {
  const size_t split = CClientConfig::kServerKeyCount;
  std::string server = Group("ServerInterface", elements, 0, split);
  std::string templates = Group("PrintTemplate", elements, split, elements.size());
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Config>\n" +
         (templatesFirst ? templates + server : server + templates) + "</Config>\n";
}

size_t IndexOf(const std::vector<Element>& elements, const std::string& name) {
  auto it = std::find_if(elements.begin(), elements.end(),
                         [&](const Element& e) { return e.name == name; });
  return static_cast<size_t>(it - elements.begin());
}

class CClientConfigTest : public ConfigTestDir {
protected:
  void WriteConfig(const std::string& text) { WriteBytes("ClientConfig.xml", text); }
};

struct LoadCase {
  const char* name;
  std::function<std::string()> file;  // nullptr: no file at all
  bool loads;
  size_t loadedPrefix;  // keys [0, loadedPrefix) hold the standard values, the rest are empty
};

TEST_F(CClientConfigTest, LoadFollowsTheFixedElementOrder) {
  const auto standard = StandardElements();
  const size_t ilogout = IndexOf(standard, "ilogout");
  const size_t buGanJiao = IndexOf(standard, "BuGanJiao");
  const LoadCase cases[] = {
      {"well formed", [&] { return Document(standard); }, true, CClientConfig::kKeyCount},
      {"unknown elements between",
       [&] {
         auto text = Document(standard);
         text.insert(text.find("<iGetBar>"), "<Note>x</Note><iGetWare>wrong</iGetWare>\n");
         text.insert(text.find("<BuGanJiao>"), "<!-- c --><Spare/>\n");
         return text;
       },
       true, CClientConfig::kKeyCount},
      {"ilogout before ilogin",
       [&] {
         auto moved = standard;
         Element logout = moved[ilogout];
         moved.erase(moved.begin() + static_cast<std::ptrdiff_t>(ilogout));
         moved.insert(moved.begin() + static_cast<std::ptrdiff_t>(IndexOf(moved, "ilogin")),
                      logout);
         return Document(moved);
       },
       false, ilogout},
      {"PrintTemplate before ServerInterface", [&] { return Document(standard, true); }, false,
       CClientConfig::kServerKeyCount},
      {"BuGanJiao missing",
       [&] {
         auto less = standard;
         less.erase(less.begin() + static_cast<std::ptrdiff_t>(buGanJiao));
         return Document(less);
       },
       false, buGanJiao},
      {"second top-level element", [&] { return Document(standard) + "<Config/>\n"; }, false, 0},
      {"unclosed tag",
       [&] {
         auto text = Document(standard);
         text.erase(text.find("</Update>"), 9);
         return text;
       },
       false, 0},
      {"no Config", [] { return std::string("<Settings><Host>x</Host></Settings>"); }, false, 0},
      {"missing file", nullptr, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(PathOf("ClientConfig.xml"));
    if (c.file) WriteConfig(c.file());
    CClientConfig config;
    EXPECT_EQ(config.Load(Dir()), c.loads);
    for (size_t i = 0; i < CClientConfig::kKeyCount; ++i) {
      std::string expected = i < c.loadedPrefix ? standard[i].value : "";
      EXPECT_EQ(U8(config.Value(KeyAt(i))), expected) << standard[i].name;
    }
  }
}

TEST_F(CClientConfigTest, AddressesAndPathsAreConcatenatedVerbatim) {
  auto elements = StandardElements();
  elements[IndexOf(elements, "Host")].value = "http://h:1/x ";
  elements[IndexOf(elements, "iGetBar")].value = "";
  elements[IndexOf(elements, "WareCheck80")].value = "";
  elements[IndexOf(elements, "ModifyPW")].value = " http://h:1/pw?a=1&amp;b=2";
  elements[IndexOf(elements, "Xiaopiao58")].value = "  模板/小票&lt;58&gt;.cel\n";
  WriteConfig(Document(elements));

  CClientConfig config;
  ASSERT_TRUE(config.Load(Dir()));
  const std::u16string dir = U16(Dir());
  EXPECT_EQ(config.GetWorkDir(), dir);
  EXPECT_EQ(config.GetLoginURL(), u"http://h:1/x api/ilogin");
  EXPECT_EQ(config.GetBarURL(), u"http://h:1/x ");
  EXPECT_EQ(config.GetWareCheck80Path(), dir);
  EXPECT_EQ(config.GetModifyPWURL(), u" http://h:1/pw?a=1&b=2");
  EXPECT_EQ(config.GetXiaopiao58Path(), dir + U16("  模板/小票<58>.cel\n"));
}

TEST_F(CClientConfigTest, WorkDirectoryGainsTrailingSlash) {
  WriteConfig(Document(StandardElements()));
  CClientConfig config;
  std::string dir = Dir();
  dir.pop_back();
  ASSERT_TRUE(config.Load(dir));
  EXPECT_EQ(config.GetWorkDir(), U16(Dir()));
  EXPECT_EQ(config.GetBuGanJiaoPath(), U16(Dir() + "BuGanJiao.cel"));
}

TEST_F(CClientConfigTest, EveryAccessorReadsItsOwnElement) {
  WriteConfig(Document(StandardElements()));
  CClientConfig config;
  ASSERT_TRUE(config.Load(Dir()));
  using Accessor = std::u16string (CClientConfig::*)() const;
  const std::pair<Key, Accessor> servers[] = {
      {Key::ilogin, &CClientConfig::GetLoginURL},
      {Key::iNetbarLogin, &CClientConfig::GetNetbarLoginURL},
      {Key::iMainConfig, &CClientConfig::GetMainConfigURL},
      {Key::iGetWorkSection, &CClientConfig::GetWorkSectionURL},
      {Key::iGetBar, &CClientConfig::GetBarURL},
      {Key::iGetWareType, &CClientConfig::GetWareTypeURL},
      {Key::iGetWare, &CClientConfig::GetWareURL},
      {Key::iGetMaterial, &CClientConfig::GetMaterialURL},
      {Key::iFinishWorkSection, &CClientConfig::GetFinishWorkSectionURL},
      {Key::iFinishMetarialWorkSection, &CClientConfig::GetFinishMetarialWorkSectionURL},
      {Key::ilogout, &CClientConfig::GetLogoutURL},
      {Key::iWareStockNormal, &CClientConfig::GetWareStockNormalURL},
      {Key::iWareStockQuick, &CClientConfig::GetWareStockQuickURL},
  };
  const std::u16string host = u"http://127.0.0.1:18080/";
  for (const auto& [key, accessor] : servers) {
    const std::u16string name = CClientConfig::KeyName(key);
    EXPECT_EQ((config.*accessor)(), host + u"api/" + name) << U8(name);
  }
  const std::pair<Key, Accessor> templates[] = {
      {Key::Xiaopiao58, &CClientConfig::GetXiaopiao58Path},
      {Key::Xiaopiao80, &CClientConfig::GetXiaopiao80Path},
      {Key::WorkSection58, &CClientConfig::GetWorkSection58Path},
      {Key::WorkSectionA4, &CClientConfig::GetWorkSectionA4Path},
      {Key::WorkSection80, &CClientConfig::GetWorkSection80Path},
      {Key::MaterialWorkSection58, &CClientConfig::GetMaterialWorkSection58Path},
      {Key::MaterialWorkSection80, &CClientConfig::GetMaterialWorkSection80Path},
      {Key::MaterialWorkSectionA4, &CClientConfig::GetMaterialWorkSectionA4Path},
      {Key::BuGanJiao, &CClientConfig::GetBuGanJiaoPath},
      {Key::WareCheckA4, &CClientConfig::GetWareCheckA4Path},
      {Key::MaterialCheckA4, &CClientConfig::GetMaterialCheckA4Path},
      {Key::WareCheck58, &CClientConfig::GetWareCheck58Path},
      {Key::WareCheck80, &CClientConfig::GetWareCheck80Path},
      {Key::MaterialCheck58, &CClientConfig::GetMaterialCheck58Path},
      {Key::MaterialCheck80, &CClientConfig::GetMaterialCheck80Path},
  };
  for (const auto& [key, accessor] : templates) {
    const std::u16string name = CClientConfig::KeyName(key);
    EXPECT_EQ((config.*accessor)(), U16(Dir()) + name + u".cel") << U8(name);
  }
  EXPECT_EQ(config.GetHost(), host);
  EXPECT_EQ(config.GetModifyPWURL(), u"api/ModifyPW");
  EXPECT_EQ(config.GetUpdateURL(), u"api/Update");
}

TEST_F(CClientConfigTest, FileWithoutMarkOrDeclarationIsReadAsUtf8) {
  auto elements = StandardElements();
  elements[IndexOf(elements, "WorkSectionA4")].value = "交班单A4.cel";
  std::string text = Document(elements);
  text.erase(0, text.find("<Config>"));
  WriteConfig(text);
  CClientConfig config;
  ASSERT_TRUE(config.Load(Dir()));
  EXPECT_EQ(config.GetWorkSectionA4Path(), U16(Dir() + "交班单A4.cel"));
}

TEST_F(CClientConfigTest, ReloadStartsFromEmptyValues) {
  WriteConfig(Document(StandardElements()));
  CClientConfig config;
  ASSERT_TRUE(config.Load(Dir()));
  std::filesystem::remove(PathOf("ClientConfig.xml"));
  EXPECT_FALSE(config.Load(Dir()));
  EXPECT_EQ(config.GetHost(), u"");
  EXPECT_EQ(config.GetMaterialCheck80Path(), U16(Dir()));
}

// The sample shipped for the demo must load and point at the demo server.
TEST_F(CClientConfigTest, ShippedSampleLoads) {
  const char* source = std::getenv("TILLORA_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "TILLORA_SOURCE_DIR is not set";
  std::filesystem::copy_file(std::filesystem::path(source) / "config" / "ClientConfig.xml",
                             PathOf("ClientConfig.xml"));
  CClientConfig config;
  ASSERT_TRUE(config.Load(Dir()));
  EXPECT_EQ(config.GetHost(), u"http://127.0.0.1:18080/");
  EXPECT_EQ(config.GetLoginURL(), u"http://127.0.0.1:18080/api/login");
  EXPECT_EQ(config.GetXiaopiao58Path(), U16(Dir() + "templates/Xiaopiao58.grid"));
  EXPECT_EQ(config.GetMaterialCheck80Path(), U16(Dir() + "templates/MaterialCheck80.grid"));
}

}  // namespace
