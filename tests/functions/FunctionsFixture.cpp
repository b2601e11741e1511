#include "functions/FunctionsFixture.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "gateway/Dispatcher.h"
#include "operations/QueryWaits.h"
#include "service/CServiceManager.h"
#include "store/sqlite3x.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace fs = std::filesystem;

namespace {

std::string MakeWorkDir() {
  std::string pattern = (fs::temp_directory_path() / "tillora-functions-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return {};
  const char* source = std::getenv("TILLORA_SOURCE_DIR");
  if (source) {
    std::error_code ignored;
    fs::copy_file(fs::path(source) / "config" / "ClientConfig.xml",
                  fs::path(pattern) / "ClientConfig.xml", ignored);
  }
  return pattern + "/";
}

// Removes the work directory once every test of the program has run.
class WorkDirEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    ASSERT_FALSE(TestWorkDir().empty());
    ASSERT_TRUE(fs::exists(TestWorkDir() + "ClientConfig.xml"))
        << "TILLORA_SOURCE_DIR must name the source tree";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(TestWorkDir(), ignored);
  }
};

[[maybe_unused]] ::testing::Environment* const g_workDir =
    ::testing::AddGlobalTestEnvironment(new WorkDirEnvironment);

void RemoveDataFiles() {
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::directory_iterator(TestWorkDir(), ignored)) {
    if (entry.path().extension() == ".dat") fs::remove(entry.path(), ignored);
  }
}

bool FindPath(CXmlDoc& doc, std::string_view path) { return doc.Find(U16(path)); }

}  // namespace

const std::string& TestWorkDir() {
  static const std::string dir = [] {
    std::string made = MakeWorkDir();
    if (!made.empty()) Helpers::SetWorkDir(made);
    return made;
  }();
  return dir;
}

// ---- Requests -------------------------------------------------------------

std::u16string Envelope(int mainId, int subId, std::string_view param, std::string_view retId) {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID>" + std::string(retId) +
                     "</RetID></Head>";
  if (!param.empty()) text += "<Param>" + std::string(param) + "</Param>";
  text += "</FUNCTION>";
  return U16(text);
}

std::u16string Call(int mainId, int subId, std::string_view param, std::string_view retId) {
  return CallFunction(Envelope(mainId, subId, param, retId));
}

// ---- Reading replies ------------------------------------------------------

int OpRet(std::u16string_view reply) {
  CXmlDoc doc(reply);
  if (!doc.Find(u"/FUNCTION/ReturnValue/OPRet")) return -1;
  return Helpers::ParseInt(doc.GetValue());
}

std::string ValueAt(std::u16string_view reply, std::string_view path) {
  CXmlDoc doc(reply);
  return FindPath(doc, path) ? U8(doc.GetValue()) : "<missing>";
}

bool HasElement(std::u16string_view reply, std::string_view path) {
  CXmlDoc doc(reply);
  return FindPath(doc, path);
}

std::string AttrAt(std::u16string_view reply, std::string_view path, std::string_view attr) {
  CXmlDoc doc(reply);
  return FindPath(doc, path) ? U8(doc.GetAttr(U16(attr))) : "<missing>";
}

namespace {
std::string JoinAttrs(const CXmlDoc& doc, std::initializer_list<std::string_view> attrs) {
  std::string joined;
  bool first = true;
  for (std::string_view attr : attrs) {
    if (!first) joined += "|";
    first = false;
    joined += U8(doc.GetAttr(U16(attr)));
  }
  return joined;
}
}  // namespace

std::string AttrsAt(std::u16string_view reply, std::string_view path,
                    std::initializer_list<std::string_view> attrs) {
  CXmlDoc doc(reply);
  return FindPath(doc, path) ? JoinAttrs(doc, attrs) : "<missing>";
}

Strings Rows(std::u16string_view reply, std::string_view path, std::string_view name,
             std::initializer_list<std::string_view> attrs) {
  CXmlDoc doc(reply);
  Strings rows;
  if (!FindPath(doc, path) || !doc.Enter()) return {"<missing " + std::string(path) + ">"};
  while (doc.Find(U16(name))) rows.push_back(JoinAttrs(doc, attrs));
  return rows;
}

// ---- Arranging data -------------------------------------------------------

WareInfo MakeWare(int id, int typeId, std::string_view name, bool usable, int properties,
                  float price, std::string_view barcode) {
  WareInfo ware;
  ware.id = id;
  ware.typeId = typeId;
  ware.name = U16(name);
  ware.usable = usable;
  ware.properties = properties;
  ware.price = price;
  ware.barcode = U16(barcode);
  ware.stock = 10;
  return ware;
}

WareSaleInfo MakeSale(std::string_view id, std::int64_t time, std::string_view wareName,
                      std::string_view typeName, std::string_view cashier, bool usable) {
  WareSaleInfo sale;
  sale.id = U16(id);
  sale.time = time;
  sale.wareName = U16(wareName);
  sale.wareTypeName = U16(typeName);
  sale.cashier = U16(cashier);
  sale.usable = usable;
  sale.wareProp = 1;
  sale.price = 3.5f;
  sale.count = 1;
  sale.sectionId = 1;
  return sale;
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

Strings RawColumn(const std::u16string& dbPath, std::string_view statement) {
  sqlite3x::connection con;
  con.open(dbPath);
  sqlite3x::command cmd(con, statement);
  Strings values;
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) values.push_back(U8(r.get_wstring(0)));
  return values;
}

int RawInt(const std::u16string& dbPath, std::string_view statement) {
  Strings values = RawColumn(dbPath, statement);
  return values.empty() ? -1 : std::stoi(values.front());
}

void RawExec(const std::u16string& dbPath, std::string_view statement) {
  sqlite3x::connection con;
  con.open(dbPath);
  con.execute(statement);
}

// ---- The fixture ----------------------------------------------------------

void FunctionsTest::SetUp() {
  ASSERT_FALSE(TestWorkDir().empty());
  QueryWaits::SetScale(0);
  RemoveDataFiles();
  ASSERT_TRUE(CServiceManager::GetInstance().Init());
  if (RegisterPageAtStart()) CServiceManager::GetInstance().SetPageCallback(page.get());
  if (OpenStoreAtStart()) {
    ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
    ASSERT_TRUE(Store().IsOpen());
  }
}

void FunctionsTest::TearDown() {
  CServiceManager::DestroyInstance();
  QueryWaits::SetScale(0);
}

void FunctionsTest::Restart(bool registerPage) {
  CServiceManager::DestroyInstance();
  ASSERT_TRUE(CServiceManager::GetInstance().Init());
  if (registerPage) CServiceManager::GetInstance().SetPageCallback(page.get());
}

CLocalDB& FunctionsTest::Store() { return *CServiceManager::GetInstance().GetLocalDB(); }

CGlobalConfig& FunctionsTest::Settings() {
  return *CServiceManager::GetInstance().GetGlobalConfig();
}

std::u16string FunctionsTest::StorePath() const { return U16(TestWorkDir() + "1001-7.dat"); }

RecordedCall FunctionsTest::AwaitCallback(size_t n) {
  if (!page.WaitForCalls(n)) return {u"<timeout>", u"", {}};
  return page.Calls()[n - 1];
}
