// Catalogue synchronisation passes against the demo server: the callback
// codes of each pass in their exact order, what each list's reply does to
// the store and the settings, and passes whose exchanges fail.
#include "server/CatalogueSync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server-link/LinkFixture.h"
#include "store/sqlite3x.h"

namespace {

using CodeList = std::vector<std::string>;

const CodeList kFirstPass = {"cb-4",   "cb-3-1", "cb-3-2", "cb-3-3", "cb-5-1", "cb-5-2",
                          "cb-5-3", "cb-6-1", "cb-6-2", "cb-6-3", "cb-6-5", "cb-6-4",
                          "cb-7-1", "cb-7-2", "cb-7-3", "cb-6-6", "cb-8"};
const CodeList kQuietPass = {"cb-4",   "cb-5-1", "cb-5-3", "cb-6-1",
                          "cb-6-3", "cb-7-1", "cb-7-3", "cb-8"};

class CatalogueSync : public ServerLinkTest {
protected:
  // One pass; its codes.
  CodeList Pass() {
    CodeList codes;
    Update_Data(Service(), [&](std::u16string_view code) { codes.push_back(U8(code)); });
    return codes;
  }
  void Admin(std::string_view path, std::string_view json) {
    ASSERT_NE(TheServer().Post(path, json), "<failed>") << path;
  }
  // The newest request the server logged for an endpoint.
  std::string LastRequest(std::string_view endpoint) {
    const std::string log = TheServer().Get("/admin/requests?endpoint=" + std::string(endpoint));
    const size_t at = log.rfind("\"endpoint\": \"" + std::string(endpoint) + "\"");
    return at == std::string::npos ? "<none>" : log.substr(log.rfind("{", at));
  }
  static bool Has(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
  }
  // One integer read from the café's store through a connection of its own.
  int RawInt(std::string_view statement) {
    sqlite3x::connection con;
    con.open(Settings().GetDBFilePath(U16(kCafeNumber), u"101"));
    sqlite3x::command cmd(con, statement);
    sqlite3x::reader r = cmd.execute_reader();
    return r.read() ? r.get_int(0) : -1;
  }
  WareInfo Ware(int id) {
    std::vector<WareInfo> found;
    EXPECT_TRUE(Store().QueryWareByID(found, id));
    return found.empty() ? WareInfo{} : found.front();
  }
};

TEST_F(CatalogueSync, PassesSendTheirCodesInOrder) {
  BindCafe();
  struct Step {
    const char* name;
    const char* path;  // administration change before the pass, or none
    const char* json;
    CodeList codes;
  };
  const std::vector<Step> steps = {
      {"first pass: everything", nullptr, nullptr, kFirstPass},
      {"nothing changed", nullptr, nullptr, kQuietPass},
      {"a ware's price", "/admin/ware", R"({"goods_id": 1001, "rebate": 3.5})",
       {"cb-4", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-2", "cb-6-3", "cb-7-1", "cb-7-3", "cb-8"}},
      {"a ware's stock", "/admin/ware", R"({"goods_id": 1001, "stock": 77})",
       {"cb-4", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-3", "cb-6-5", "cb-7-1", "cb-7-3", "cb-8"}},
      {"a new ware type", "/admin/ware_type", R"({"class_id": 7, "class_name": "水果"})",
       {"cb-4", "cb-5-1", "cb-5-2", "cb-5-3", "cb-6-1", "cb-6-2", "cb-6-3", "cb-7-1", "cb-7-3",
        "cb-8"}},
      {"the cup stock", "/admin/material", R"({"material_id": 9001, "stock": 321})",
       {"cb-4", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-3", "cb-7-1", "cb-7-2", "cb-7-3", "cb-6-6",
        "cb-8"}},
      {"a bar's name", "/admin/bar", R"({"market_id": "101", "market_name": "一楼新吧台"})",
       {"cb-4", "cb-3-3", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-3", "cb-7-1", "cb-7-3", "cb-8"}},
      {"the shifts", "/admin/config", R"({"job_list": "早班,晚班"})",
       {"cb-4", "cb-3-2", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-3", "cb-7-1", "cb-7-3", "cb-8"}},
      {"the handover mode and tastes", "/admin/config",
       R"({"jxc_relief_mode": 2, "jxc_taste_setting": "去冰"})",
       {"cb-4", "cb-3-1", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-3", "cb-6-4", "cb-7-1", "cb-7-3",
        "cb-8"}},
  };
  for (const Step& step : steps) {
    if (step.path) Admin(step.path, step.json);
    EXPECT_EQ(Pass(), step.codes) << step.name;
  }
}

TEST_F(CatalogueSync, FirstPassFillsAnEmptyStoreAndTheSettings) {
  BindCafe();
  ASSERT_EQ(Pass(), kFirstPass);
  // Every request of a full download asks from timestamp 0.
  EXPECT_TRUE(Has(LastRequest("iGetWare"), "\"timestamp\": \"0\"")) << LastRequest("iGetWare");
  EXPECT_TRUE(Has(LastRequest("iGetMaterial"), "\"timestamp\": \"0\""));

  const WareInfo cola = Ware(1001);
  EXPECT_EQ(U8(cola.name + u"|" + cola.unitName), "可口可乐500ml|瓶");
  EXPECT_FLOAT_EQ(cola.price, 3.0f);
  EXPECT_EQ(cola.typeId, 1);
  EXPECT_EQ(cola.stock, 20 + 1001 * 7 % 31);
  EXPECT_EQ(Ware(1301).properties, 2);
  EXPECT_EQ(RawInt("select isdel from tbWare where id = 1013"), 1);
  EXPECT_FALSE(Ware(1014).usable);
  EXPECT_EQ(RawInt("select count(*) from tbWare"), 39);

  std::vector<WareTypeInfo> types;
  ASSERT_TRUE(Store().QueryWareType(types, 100));
  EXPECT_EQ(types.size(), 6u);
  std::vector<MaterialInfo> materials;
  ASSERT_TRUE(Store().QueryMaterial(materials));
  EXPECT_EQ(materials.size(), 12u);
  EXPECT_EQ(RawInt("select isdel from tbMaterial where id = 3013"), 1);
  MaterialWorkSectionInfo section;
  ASSERT_TRUE(Store().QueryCurrentMaterialWorkSection(section));
  EXPECT_EQ(section.cupID, 9001);
  EXPECT_EQ(section.cupStock, 500);
  std::u16string taste;
  ASSERT_TRUE(Store().QueryTaste(taste));
  EXPECT_EQ(U8(taste), "少糖,半糖,多糖,去冰,少冰,常温,加热");

  SystemModeInfo modes;
  ASSERT_TRUE(Settings().GetSystemMode(modes));
  EXPECT_EQ(modes.barmode, 1);
  EXPECT_EQ(modes.finishworksectionmode, 1);
  std::u16string text;
  ASSERT_TRUE(Settings().LoadGlobalConfig(text));
  EXPECT_TRUE(Has(U8(text), "worksectionlist=\"早班,中班,晚班\""));

  const CatalogueSyncState& state = Service().m_catalogueSync;
  EXPECT_FALSE(state.fullDownload);
  EXPECT_EQ(state.Version(CatalogueList::Goods), 1001);
  EXPECT_EQ(state.Version(CatalogueList::MaterialStock), 7001);
}

TEST_F(CatalogueSync, LaterDownloadsAskFromTheNewVersionAndKeepTheLocalOrder) {
  BindCafe();
  ASSERT_EQ(Pass(), kFirstPass);
  ASSERT_TRUE(Store().SetWareOrder(1001, 42));
  ASSERT_TRUE(Store().SetWareOrder(1014, 7));  // not on sale
  Admin("/admin/ware", R"({"goods_id": 1001, "rebate": 4.5})");
  Admin("/admin/material", R"({"material_id": 3001, "stock": 5})");
  Pass();
  EXPECT_TRUE(Has(LastRequest("iGetWare"), "\"timestamp\": \"1002\"")) << LastRequest("iGetWare");
  // Only the material stock moved: its version is the timestamp.
  EXPECT_TRUE(Has(LastRequest("iGetMaterial"), "\"timestamp\": \"7002\""))
      << LastRequest("iGetMaterial");
  const WareInfo cola = Ware(1001);
  EXPECT_FLOAT_EQ(cola.price, 4.5f);
  EXPECT_EQ(cola.orderId, 42);
  EXPECT_EQ(Ware(1014).orderId, 7);
  const std::optional<MaterialInfo> pearls = Store().QueryMaterialByID(3001);
  ASSERT_TRUE(pearls.has_value());
  EXPECT_EQ(pearls->stock, 5);

  Admin("/admin/ware", R"({"goods_id": 1003, "stock": 77})");
  Pass();
  EXPECT_TRUE(Has(LastRequest("iWareStockNormal"), "\"timestamp\": \"1002\""));
  EXPECT_EQ(Ware(1003).stock, 77);
}

TEST_F(CatalogueSync, ABarRenameReachesTheIdentityAndTheCafeRecord) {
  BindCafe();
  // The next run's login makes the bound record the active one.
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "bindbar"), "1");
  ASSERT_EQ(Pass(), kFirstPass);
  Admin("/admin/bar", R"({"market_id": "101", "market_name": "一楼新吧台"})");
  Pass();
  NetbarInfo identity;
  ASSERT_TRUE(Store().QueryNetbarInfo(identity));
  EXPECT_EQ(U8(identity.barName), "一楼新吧台");
  ActiveNetbarInfo record;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(U16(kCashier), record));
  EXPECT_EQ(U8(record.barname), "一楼新吧台");
}

TEST_F(CatalogueSync, TheBarListIsReadNoFurtherThanTheIdentitysBar) {
  BindCafe();
  ActiveNetbarInfo record;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(U16(kCashier), record));
  record.barid = u"102";
  record.barname = u"二楼吧台";
  ASSERT_TRUE(Settings().SetActiveNetbar(record));
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "barid"), "102");
  ASSERT_EQ(Pass(), kFirstPass);
  Admin("/admin/bar", R"({"market_id": "102", "market_name": "二楼新吧台"})");
  Pass();
  // Bar 101, the store's own, comes first in the list and ends it.
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(U16(kCashier), record));
  EXPECT_EQ(U8(record.barname), "二楼吧台");
}

TEST_F(CatalogueSync, NewTypesRetireOnlyTheFirstNineUsableOnes) {
  BindCafe();
  std::vector<WareTypeInfo> local;
  for (int id = 50; id < 62; ++id) local.push_back({id, U16("本地" + std::to_string(id)), true});
  ASSERT_TRUE(Store().InserWareType(local));
  ASSERT_EQ(Pass(), kFirstPass);
  std::vector<WareTypeInfo> usable;
  ASSERT_TRUE(Store().QueryWareType(usable, 100));
  std::vector<int> ids;
  for (const WareTypeInfo& type : usable) ids.push_back(type.id);
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5, 6, 59, 60, 61}));
}

TEST_F(CatalogueSync, QuickModeFillsTheCombinedStockAndLeavesWareStocks) {
  Admin("/admin/config", R"({"jxc_relief_mode": 2})");
  BindCafe();
  ASSERT_EQ(Pass(), kFirstPass);
  const int colaStock = Ware(1001).stock;
  std::vector<CombinStockInfo> rows;
  ASSERT_TRUE(Store().QueryWare(rows));
  ASSERT_FALSE(rows.empty());
  CombinStockInfo drinks;
  ASSERT_TRUE(Store().QueryWare(u"3.00元饮料", drinks));
  EXPECT_EQ(drinks.typeId, 1);
  EXPECT_GT(drinks.stock, 0);

  Admin("/admin/combined_stock", R"({"class_id": 1, "rebate": 3.0, "stock": 5})");
  EXPECT_EQ(Pass(), (CodeList{"cb-4", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-3", "cb-6-5", "cb-7-1",
                           "cb-7-3", "cb-8"}));
  ASSERT_TRUE(Store().QueryWare(u"3.00元饮料", drinks));
  EXPECT_EQ(drinks.stock, 5);
  EXPECT_EQ(Ware(1001).stock, colaStock);
}

TEST_F(CatalogueSync, NoAnswerToTheMainConfigurationSendsOnlyTheFirstCode) {
  BindCafe();
  for (const char* mode : {"drop", "slow"}) {
    Admin("/admin/faults",
          std::string(R"({"mode": ")") + mode + R"(", "endpoints": ["iMainConfig"]})");
    EXPECT_EQ(Pass(), (CodeList{"cb-4"})) << mode;
  }
  EXPECT_TRUE(Service().m_catalogueSync.fullDownload);
  EXPECT_EQ(Ware(1001).id, 0);
  Admin("/admin/faults", R"({"mode": "none"})");
  EXPECT_EQ(Pass(), kFirstPass);
}

TEST_F(CatalogueSync, StatusZeroMainConfigurationGoesOnWithTheFlagsAsTheyWere) {
  BindCafe();
  Admin("/admin/faults", R"({"mode": "status0", "endpoints": ["iMainConfig"]})");
  // Every list whose flag starts set is fetched; the goods stock's does not.
  EXPECT_EQ(Pass(), (CodeList{"cb-4", "cb-3-1", "cb-3-2", "cb-3-3", "cb-5-1", "cb-5-2", "cb-5-3",
                           "cb-6-1", "cb-6-2", "cb-6-3", "cb-6-4", "cb-7-1", "cb-7-2", "cb-7-3",
                           "cb-6-6", "cb-8"}));
  EXPECT_EQ(Ware(1001).id, 1001);
}

TEST_F(CatalogueSync, AFailedDownloadIsFetchedAgainAtTheNextPass) {
  BindCafe();
  Admin("/admin/faults", R"({"mode": "garbage", "endpoints": ["iGetWare"]})");
  CodeList first = Pass();
  EXPECT_EQ(std::count(first.begin(), first.end(), "cb-6-2"), 0);
  EXPECT_EQ(Ware(1001).id, 0);
  Admin("/admin/faults", R"({"mode": "none"})");
  // The server's version did not move, yet the goods come now.
  EXPECT_EQ(Pass(), (CodeList{"cb-4", "cb-5-1", "cb-5-3", "cb-6-1", "cb-6-2", "cb-6-3", "cb-7-1",
                           "cb-7-3", "cb-8"}));
  EXPECT_EQ(Ware(1001).id, 1001);
  EXPECT_EQ(Pass(), kQuietPass);
}

TEST_F(CatalogueSync, WithoutASessionNothingIsSent) {
  EXPECT_EQ(Pass(), (CodeList{"cb-4"}));
  EXPECT_TRUE(Has(TheServer().Get("/admin/state"), "\"iMainConfig\": 0"));
}

}  // namespace
