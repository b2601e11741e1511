// Failure paths: a batch that fails part way stores nothing and closes the
// store, and every method then answers with its failure value.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "StoreTestDir.h"
#include "store/CLocalDB.h"

namespace {

WareSaleInfo NamedSale(std::u16string name) {
  WareSaleInfo s;
  s.id = u"1(1/1)";
  s.wareName = std::move(name);
  return s;
}

struct BatchCase {
  const char* what;
  const char* trigger;  // refuses the second record (or the one statement)
  const char* rows;     // counts what the batch left behind
  std::function<bool(CLocalDB&)> batch;
};

const char* const kRefuse = " begin select raise(abort, 'refused'); end";

std::vector<BatchCase> BatchCases() {
  return {
      {"InsertWare", "before insert on tbWare when new.name = 'bad'", "select count(*) from tbWare",
       [](CLocalDB& db) {
         WareInfo good, bad;
         good.id = 1;
         good.name = u"good";
         bad.id = 2;
         bad.name = u"bad";
         return db.InsertWare({good, bad});
       }},
      {"InserWareType", "before insert on tbWareType when new.name = 'bad'",
       "select count(*) from tbWareType",
       [](CLocalDB& db) { return db.InserWareType({{1, u"good", true}, {2, u"bad", true}}); }},
      {"InserCombinStock", "before insert on tbCombinModeWareStock when new.name = 'bad'",
       "select count(*) from tbCombinModeWareStock",
       [](CLocalDB& db) {
         return db.InserCombinStock({{1, 1.0f, 1, u"good", u""}, {2, 1.0f, 1, u"bad", u""}});
       }},
      {"InserMaterial", "before insert on tbMaterial when new.name = 'bad'",
       "select count(*) from tbMaterial",
       [](CLocalDB& db) {
         MaterialInfo good, bad;
         good.id = 1;
         good.name = u"good";
         bad.id = 2;
         bad.name = u"bad";
         return db.InserMaterial({good, bad});
       }},
      {"InserWareSale", "before insert on tbSalesWare when new.wareName = 'bad'",
       "select count(*) from tbSalesWare",
       [](CLocalDB& db) { return db.InserWareSale({NamedSale(u"good"), NamedSale(u"bad")}); }},
      {"InserNetbarInfo", "before update on tbGlobal",
       "select count(*) from tbGlobal where netbarid <> ''",
       [](CLocalDB& db) {
         NetbarInfo info;
         info.netbarid = u"1001";
         return db.InserNetbarInfo(info);
       }},
      {"update_ware_sales_id_to_db", "before update on tbGlobal",
       "select count(*) from tbGlobal where curWareSalesId <> 0",
       [](CLocalDB& db) { return db.update_ware_sales_id_to_db(5); }},
  };
}

class StoreFailures : public StoreTestDir {};

}  // namespace

TEST_F(StoreFailures, FailedBatchStoresNothingAndClosesTheStore) {
  for (const BatchCase& c : BatchCases()) {
    const std::u16string path = FilePath(std::string(c.what) + ".dat");
    CLocalDB db;
    ASSERT_TRUE(db.InitDB(path)) << c.what;
    RawDb raw(path);
    raw.Exec(std::string("create trigger refuse ") + c.trigger + kRefuse);

    EXPECT_FALSE(c.batch(db)) << c.what;
    EXPECT_EQ(raw.Int(c.rows), 0) << c.what;
    std::u16string taste;
    EXPECT_FALSE(db.QueryTaste(taste)) << c.what << ": the store should be closed";
    EXPECT_TRUE(db.IsOpen()) << c.what;
  }
}

// With the store closed behind them, every method reports failure and leaves
// the caller's data as it was.
TEST_F(StoreFailures, ClosedStoreAnswersEveryMethodWithItsFailureValue) {
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  WareInfo ware;
  ware.id = 1;
  ware.name = u"ware";
  ware.barcode = u"B";
  ASSERT_TRUE(db.InsertWare({ware}));
  WareWorkSectionInfo section;
  section.id = 3;
  ASSERT_TRUE(db.InserWareWorkSection(section));
  ASSERT_TRUE(db.InserTaste(u"taste"));
  Raw().Exec(std::string("create trigger refuse before insert on tbSalesWare") + kRefuse);
  ASSERT_FALSE(db.InserWareSale({NamedSale(u"x")}));

  std::vector<WareInfo> wares;
  std::vector<WareTypeInfo> types;
  std::vector<CombinStockInfo> stocks;
  std::vector<MaterialInfo> materials;
  std::vector<WareSaleInfo> sales;
  std::vector<WareWorkSectionInfo> wareSections;
  std::vector<MaterialWorkSectionInfo> materialSections;
  std::u16string text = u"kept";
  CombinStockInfo stock;
  WareWorkSectionInfo wareSection;
  MaterialWorkSectionInfo materialSection;
  NetbarInfo netbar;
  int value = -7;
  std::u16string id = u"kept";

  const std::pair<const char*, std::function<bool()>> cases[] = {
      {"IsTableExist", [&] { return !db.IsTableExist(); }},
      {"GetDBVersion", [&] { return db.GetDBVersion() == 0; }},
      {"SetDBVersion", [&] { return !db.SetDBVersion(8); }},
      {"QueryWareByBarCode", [&] { return !db.QueryWareByBarCode(wares, u"B"); }},
      {"QueryWareByFirstLetter", [&] { return !db.QueryWareByFirstLetter(wares, u"w"); }},
      {"QueryWareByID", [&] { return !db.QueryWareByID(wares, 1); }},
      {"QueryWareByName", [&] { return !db.QueryWareByName(wares, u"ware"); }},
      {"QueryWareByType", [&] { return !db.QueryWareByType(wares, 0); }},
      {"QueryWareByOrder", [&] { return !db.QueryWareByOrder(wares); }},
      {"GetWareByID", [&] { return !db.GetWareByID(1).has_value(); }},
      {"QueryWareType", [&] { return !db.QueryWareType(types, 5); }},
      {"QueryWareTypeNameById", [&] { return !db.QueryWareTypeNameById(1, text); }},
      {"QueryWare by name", [&] { return !db.QueryWare(u"x", stock); }},
      {"QueryWare all", [&] { return !db.QueryWare(stocks); }},
      {"InserCombinStock", [&] { return !db.InserCombinStock({stock}); }},
      {"SetCombinStockCount", [&] { return !db.SetCombinStockCount(u"x", 1); }},
      {"InsertWare", [&] { return !db.InsertWare({ware}); }},
      {"InserWareType", [&] { return !db.InserWareType({{1, u"t", true}}); }},
      {"SetWareCount by id", [&] { return !db.SetWareCount(1, 1); }},
      {"SetWareCount by name", [&] { return !db.SetWareCount(u"ware", 1); }},
      {"SetWareCount map", [&] { return !db.SetWareCount(std::map<int, int>{{1, 1}}); }},
      {"SetWareOrder", [&] { return !db.SetWareOrder(1, 1); }},
      {"QueryMaterial", [&] { return !db.QueryMaterial(materials); }},
      {"QueryMaterialByID", [&] { return !db.QueryMaterialByID(1).has_value(); }},
      {"InserMaterial", [&] { return !db.InserMaterial({MaterialInfo{}}); }},
      {"SetMaterialCount", [&] { return !db.SetMaterialCount(1, 1); }},
      {"QueryTaste", [&] { return !db.QueryTaste(text); }},
      {"InserTaste", [&] { return !db.InserTaste(u"t"); }},
      {"InserWareSale", [&] { return !db.InserWareSale({NamedSale(u"y")}); }},
      {"QueryWareSaleById",
       [&] { return !db.QueryWareSaleById(sales, u"", 0, 0, u"", u"", u"", -1.0f, u"", true); }},
      {"DisableWareSaleById", [&] { return !db.DisableWareSaleById(u"1(1/1)"); }},
      {"QueryWareSalesCountInCurrentWorkSection",
       [&] { return db.QueryWareSalesCountInCurrentWorkSection(1, 3) == 0; }},
      {"get_ware_sales_id_from_db", [&] { return !db.get_ware_sales_id_from_db(value); }},
      {"update_ware_sales_id_to_db", [&] { return !db.update_ware_sales_id_to_db(1); }},
      {"MakeWareSalesId", [&] { return !db.MakeWareSalesId(1, 1, id, true); }},
      {"GetCurWareWorkSectionID", [&] { return db.GetCurWareWorkSectionID() == 0; }},
      {"GetCurMaterialWorkSectionID", [&] { return db.GetCurMaterialWorkSectionID() == 0; }},
      {"NeedNewWareWorkSection", [&] { return !db.NeedNewWareWorkSection(); }},
      {"NeedNewMaterialWorkSection", [&] { return !db.NeedNewMaterialWorkSection(); }},
      {"QueryCurrentWareWorkSection", [&] { return !db.QueryCurrentWareWorkSection(wareSection); }},
      {"QueryCurrentMaterialWorkSection",
       [&] { return !db.QueryCurrentMaterialWorkSection(materialSection); }},
      {"QueryUploadWareWorkSection", [&] { return !db.QueryUploadWareWorkSection(wareSections); }},
      {"QueryUploadMaterialWorkSection",
       [&] { return !db.QueryUploadMaterialWorkSection(materialSections); }},
      {"InserWareWorkSection", [&] { return !db.InserWareWorkSection(section); }},
      {"InserMaterialWorkSection", [&] { return !db.InserMaterialWorkSection(materialSection); }},
      {"InserCup", [&] { return !db.InserCup(MaterialInfo{}, 3); }},
      {"QueryNetbarInfo", [&] { return !db.QueryNetbarInfo(netbar); }},
      {"InserNetbarInfo", [&] { return !db.InserNetbarInfo(netbar); }},
      {"GetCurrentCashierName", [&] { return db.GetCurrentCashierName(text); }},
  };
  for (const auto& [what, call] : cases) EXPECT_TRUE(call()) << what;

  EXPECT_TRUE(wares.empty() && types.empty() && stocks.empty() && materials.empty() &&
              sales.empty() && wareSections.empty() && materialSections.empty());
  EXPECT_EQ(text, u"kept");
  EXPECT_EQ(value, -7);
  EXPECT_EQ(id, u"kept");
  EXPECT_EQ(wareSection.id, 0);
  EXPECT_TRUE(db.IsOpen());
}

TEST_F(StoreFailures, StoreNeverOpenedFailsEveryCall) {
  CLocalDB db;
  std::vector<WareInfo> wares;
  std::u16string id;
  EXPECT_FALSE(db.IsOpen());
  EXPECT_FALSE(db.QueryWareByOrder(wares));
  EXPECT_FALSE(db.InsertWare({WareInfo{}}));
  EXPECT_FALSE(db.MakeWareSalesId(1, 1, id, true));
  EXPECT_FALSE(db.SetWareCount(std::map<int, int>{{1, 1}}));
}
