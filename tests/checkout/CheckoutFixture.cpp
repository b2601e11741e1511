#include "checkout/CheckoutFixture.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "config/CGlobalConfig.h"
#include "gateway/Dispatcher.h"
#include "operations/CheckoutSpacing.h"
#include "service/CMainWndMgr.h"
#include "service/CServiceManager.h"
#include "store/sqlite3x.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace fs = std::filesystem;

namespace {

std::string MakeWorkDir() {
  std::string pattern = (fs::temp_directory_path() / "tillora-checkout-XXXXXX").string();
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
    ASSERT_FALSE(CheckoutWorkDir().empty());
    ASSERT_TRUE(fs::exists(CheckoutWorkDir() + "ClientConfig.xml"));
    ASSERT_TRUE(fs::exists(CheckoutWorkDir() + "templates/Xiaopiao58.grid"));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(CheckoutWorkDir(), ignored);
  }
};

[[maybe_unused]] ::testing::Environment* const g_workDir =
    ::testing::AddGlobalTestEnvironment(new WorkDirEnvironment);

void RemoveDataFiles() {
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(CheckoutWorkDir(), ignored)) {
    if (entry.path().extension() == ".dat") fs::remove(entry.path(), ignored);
  }
}

std::string Attr(std::string_view name, std::string_view value) {
  return " " + std::string(name) + "=\"" + std::string(value) + "\"";
}

WareInfo MakeWare(int id, int typeId, std::string_view name, float price, int properties,
                  bool deleted = false) {
  WareInfo ware;
  ware.id = id;
  ware.typeId = typeId;
  ware.name = U16(name);
  ware.usable = true;
  ware.price = price;
  ware.properties = properties;
  ware.isdel = deleted;
  ware.stock = 20;
  return ware;
}

bool FillCatalogue(CLocalDB& db) {
  const bool types = db.InserWareType({{1, u"饮料", true}, {2, u"小吃", true}});
  return types && db.InsertWare({MakeWare(Ware::kCola, 1, "可乐", 3.5f, 1),
                                 MakeWare(Ware::kMilkTea, 1, "奶茶", 6.0f, 2),
                                 MakeWare(Ware::kNoodles, 2, "泡面", 5.0f, 1),
                                 MakeWare(Ware::kDeleted, 1, "旧果汁", 4.0f, 1, true),
                                 MakeWare(Ware::kNoType, 77, "散装糖", 1.0f, 1),
                                 MakeWare(Ware::kFriedRice, 2, "炒饭", 12.0f, 2)});
}

}  // namespace

const std::string& CheckoutWorkDir() {
  static const std::string dir = [] {
    std::string made = MakeWorkDir();
    if (!made.empty()) Helpers::SetWorkDir(made);
    return made;
  }();
  return dir;
}

// ---- Requests and replies -------------------------------------------------

std::u16string Call(int mainId, int subId, std::string_view param, std::string_view retId) {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID>" + std::string(retId) +
                     "</RetID></Head>";
  if (!param.empty()) text += "<Param>" + std::string(param) + "</Param>";
  return CallFunction(U16(text + "</FUNCTION>"));
}

int OpRet(std::u16string_view reply) {
  CXmlDoc doc(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue/OPRet")) return -1;
  return Helpers::ParseInt(doc.GetValue());
}

std::string ValueAt(std::u16string_view reply, std::string_view path) {
  CXmlDoc doc(reply);
  return doc.Find(U16(path)) ? U8(doc.GetValue()) : "<missing>";
}

std::string CheckoutParam(const std::vector<BasketRow>& rows, std::string_view seat,
                          std::string_view total, std::string_view pay, std::string_view change) {
  std::string text = "<Checkout" + Attr("SeatNo", seat) + Attr("TotalPrice", total) +
                     Attr("Pay", pay) + Attr("Change", change) +
                     Attr("SubOrderCount", std::to_string(rows.size())) + ">";
  for (const BasketRow& row : rows) {
    text += "<SubOrder" + Attr("wareid", std::to_string(row.wareId)) +
            Attr("count", std::to_string(row.count)) + Attr("price", row.price) + "/>";
  }
  text += "<Taste>";
  for (const BasketRow& row : rows) {
    text += "<item" + Attr("wareid", std::to_string(row.wareId)) + Attr("taste", row.taste) + "/>";
  }
  return text + "</Taste></Checkout>";
}

// ---- The fixture ------------------------------------------------------------

void CheckoutTest::SetUp() {
  ASSERT_FALSE(CheckoutWorkDir().empty());
  RemoveDataFiles();
  std::error_code ignored;
  fs::remove(CheckoutWorkDir() + "Global.dat", ignored);
  CheckoutSpacing::Instance().SetClock([this] { return m_clock.load(); });
  ASSERT_TRUE(CServiceManager::GetInstance().Init());
  CServiceManager::GetInstance().SetPageCallback(page.get());
  CMainWndMgr::GetInstance().SetHostWindow(printHost.host());
  ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
  ASSERT_TRUE(Store().IsOpen());
  ASSERT_TRUE(FillCatalogue(Store()));
}

void CheckoutTest::TearDown() {
  CServiceManager::GetInstance().Stop();
  CServiceManager::DestroyInstance();
  CMainWndMgr::GetInstance().SetHostWindow(nullptr);
  CheckoutSpacing::Instance().SetClock({});
}

CLocalDB& CheckoutTest::Store() { return *CServiceManager::GetInstance().GetLocalDB(); }

std::u16string CheckoutTest::StorePath() const { return U16(CheckoutWorkDir() + "1001-7.dat"); }

std::u16string CheckoutTest::StartCheckout(const std::string& param, std::string_view retId) {
  Advance(CheckoutSpacing::kSpacingSeconds);
  return Call(4, 2, param, retId);
}

std::u16string CheckoutTest::Checkout(const std::string& param, std::string_view retId) {
  EXPECT_EQ(OpRet(StartCheckout(param, retId)), 1);
  const RecordedCall callback = AwaitCallback(++m_callbacks);
  EXPECT_EQ(U8(callback.code), "cb-1-1");
  return callback.payload;
}

RecordedCall CheckoutTest::AwaitCallback(size_t n) {
  if (!page.WaitForCalls(n, std::chrono::seconds(60))) return {u"<timeout>", u"", {}};
  return page.Calls()[n - 1];
}

bool CheckoutTest::AwaitWorkersDone() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (CServiceManager::GetInstance().TaskCount() != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void CheckoutTest::SetSettings(
    std::string_view section,
    std::initializer_list<std::pair<std::string_view, std::string_view>> attrs) {
  CGlobalConfig& settings = *CServiceManager::GetInstance().GetGlobalConfig();
  std::u16string text;
  ASSERT_TRUE(settings.LoadGlobalConfig(text));
  CXmlDoc doc(text);
  ASSERT_TRUE(doc.Find(u"/Config/" + U16(section))) << section;
  for (const auto& [name, value] : attrs) ASSERT_TRUE(doc.SetAttr(U16(name), U16(value)));
  text = doc.GetText();
  ASSERT_TRUE(settings.SaveGlobalConfig(text));
}

void CheckoutTest::EnableReceipts(std::string_view paper, std::string_view printer,
                                  std::string_view copies) {
  SetSettings("XiaoPiaoPrint", {{"Enable", "1"},
                                {"AutoPrint", "1"},
                                {"Number", copies},
                                {"title", "星海网吧欢迎您"},
                                {"tail", "谢谢惠顾"},
                                {"FontSize", "9"},
                                {"Printer", printer},
                                {"PrinterPaperType", paper}});
}

void CheckoutTest::EnableLabels(std::string_view printer) {
  SetSettings("BuGanJiaoPrint", {{"Enable", "1"}, {"FontSize", "10"}, {"Printer", printer}});
}

Strings CheckoutTest::StoredSales(std::string_view columns) {
  sqlite3x::connection connection;
  connection.open(StorePath());
  const std::string statement =
      "select " + std::string(columns) + " from tbSalesWare order by rowid";
  sqlite3x::command command(connection, statement);
  sqlite3x::reader reader = command.execute_reader();
  const int width = 1 + static_cast<int>(std::count(columns.begin(), columns.end(), ','));
  Strings rows;
  while (reader.read()) {
    std::string row;
    for (int column = 0; column < width; ++column) {
      if (column > 0) row += "|";
      row += U8(reader.get_wstring(column));
    }
    rows.push_back(row);
  }
  return rows;
}

int CheckoutTest::StoredCount() { return static_cast<int>(StoredSales().size()); }
