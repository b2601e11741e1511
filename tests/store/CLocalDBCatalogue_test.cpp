// Wares, ware types, combined-mode stock, materials and tastes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "StoreTestDir.h"
#include "store/CLocalDB.h"

namespace {

WareInfo Ware(int id, std::string_view name, std::string_view barcode, int order = 0) {
  WareInfo w;
  w.id = id;
  w.name = U16(name);
  w.unitName = U16("瓶");
  w.usable = true;
  w.typeId = 1;
  w.barcode = U16(barcode);
  w.price = 3.5f;
  w.properties = 1;
  w.stock = 10;
  w.total = 20;
  w.orderId = order;
  w.number = id * 10;
  return w;
}

std::vector<int> Ids(const std::vector<WareInfo>& wares) {
  std::vector<int> ids;
  for (const WareInfo& w : wares) ids.push_back(w.id);
  return ids;
}

class StoreCatalogue : public OpenStore {
 protected:
  void SetUp() override {
    OpenStore::SetUp();
    WareInfo hidden = Ware(4, "雪碧", "6900000000004", 1);
    hidden.isdel = true;
    WareInfo unusable = Ware(5, "红茶", "6900000000005", 2);
    unusable.usable = false;
    ASSERT_TRUE(Db().InsertWare({Ware(1, "可乐", "ABC123", 3), Ware(2, "Cola可乐", "6900000000002", 2),
                                 Ware(3, "绿茶", "6900000000003", 1), hidden, unusable}));
  }
};

}  // namespace

TEST_F(StoreCatalogue, InsertedWareReadsBackFieldForField) {
  std::optional<WareInfo> w = Db().GetWareByID(2);
  ASSERT_TRUE(w.has_value());
  const WareInfo expected = Ware(2, "Cola可乐", "6900000000002", 2);
  EXPECT_EQ(w->name, expected.name);
  EXPECT_EQ(w->unitName, expected.unitName);
  EXPECT_TRUE(w->usable);
  EXPECT_EQ(w->typeId, 1);
  EXPECT_EQ(w->barcode, expected.barcode);
  EXPECT_EQ(w->price, 3.5f);
  EXPECT_EQ(w->properties, 1);
  EXPECT_EQ(w->stock, 10);
  EXPECT_EQ(w->total, 20);
  EXPECT_EQ(w->orderId, 2);
  EXPECT_FALSE(w->isdel);
  EXPECT_EQ(w->number, 20);
  EXPECT_EQ(Raw().Text("select firstLetter from tbWare where id=2"), "ColaKL");
  EXPECT_FALSE(Db().GetWareByID(99).has_value());
}

TEST_F(StoreCatalogue, FirstLetterSearchIsAPrefixMatchInEitherCase) {
  struct Case {
    const char* text;
    std::vector<int> ids;
  } cases[] = {
      {"kl", {1}}, {"KL", {1}}, {"Kl", {1}}, {"l", {3}},  // 绿茶 is LC; 可乐's L is not first
      {"cola", {2}}, {"COLAK", {2}}, {"x", {}}, {"", {1, 2, 3, 5}},
  };
  for (const Case& c : cases) {
    std::vector<WareInfo> found;
    ASSERT_TRUE(Db().QueryWareByFirstLetter(found, U16(c.text))) << c.text;
    std::vector<int> ids = Ids(found);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, c.ids) << "text " << c.text;
  }
}

TEST_F(StoreCatalogue, BarcodeSearchMatchesExactCaseOnly) {
  struct Case {
    const char* barcode;
    std::vector<int> ids;
  } cases[] = {{"ABC123", {1}}, {"abc123", {}}, {"ABC12", {}}, {"6900000000004", {}}};
  for (const Case& c : cases) {
    std::vector<WareInfo> found;
    ASSERT_TRUE(Db().QueryWareByBarCode(found, U16(c.barcode)));
    EXPECT_EQ(Ids(found), c.ids) << c.barcode;
  }
}

TEST_F(StoreCatalogue, SearchesReturnAtMostSevenWares) {
  std::vector<WareInfo> many;
  for (int id = 10; id < 20; ++id) many.push_back(Ware(id, "可口" + std::to_string(id), "SAME"));
  ASSERT_TRUE(Db().InsertWare(many));
  std::vector<WareInfo> byLetters, byBarcode;
  ASSERT_TRUE(Db().QueryWareByFirstLetter(byLetters, u"kk"));
  ASSERT_TRUE(Db().QueryWareByBarCode(byBarcode, u"SAME"));
  EXPECT_EQ(byLetters.size(), 7u);
  EXPECT_EQ(byBarcode.size(), 7u);
}

// A deleted ware never comes back; an unusable one only stays out of the
// display order.
TEST_F(StoreCatalogue, DeletedWaresAreHiddenFromEveryQuery) {
  std::vector<WareInfo> byId4, byName, byType, byOrder, byId5;
  ASSERT_TRUE(Db().QueryWareByID(byId4, 4));
  ASSERT_TRUE(Db().QueryWareByName(byName, U16("雪碧")));
  ASSERT_TRUE(Db().QueryWareByType(byType, 1));
  ASSERT_TRUE(Db().QueryWareByOrder(byOrder));
  ASSERT_TRUE(Db().QueryWareByID(byId5, 5));
  EXPECT_TRUE(byId4.empty());
  EXPECT_TRUE(byName.empty());
  EXPECT_EQ(Ids(byType), (std::vector<int>{1, 2, 3, 5}));
  EXPECT_EQ(Ids(byOrder), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(Ids(byId5), (std::vector<int>{5}));
}

TEST_F(StoreCatalogue, ListQueriesAppendToTheCallersList) {
  std::vector<WareInfo> list = {Ware(77, "x", "y")};
  ASSERT_TRUE(Db().QueryWareByID(list, 1));
  EXPECT_EQ(Ids(list), (std::vector<int>{77, 1}));
}

TEST_F(StoreCatalogue, WareTypesWithoutNameAreSkipped) {
  ASSERT_TRUE(Db().InserWareType({{1, u"", true}, {2, U16("饮料"), true}, {3, U16("停用"), false}}));
  std::vector<WareTypeInfo> types;
  ASSERT_TRUE(Db().QueryWareType(types, 10));
  ASSERT_EQ(types.size(), 1u);
  EXPECT_EQ(types[0].id, 2);
  EXPECT_EQ(types[0].name, U16("饮料"));

  std::u16string name = u"unchanged";
  ASSERT_TRUE(Db().QueryWareTypeNameById(1, name));
  EXPECT_EQ(name, u"unchanged");
  ASSERT_TRUE(Db().QueryWareTypeNameById(3, name));
  EXPECT_EQ(name, U16("停用"));
}

TEST_F(StoreCatalogue, StockWritesChangeOnlyTheirWare) {
  EXPECT_TRUE(Db().SetWareCount(99, 5));  // no such ware: nothing changed, still true
  ASSERT_TRUE(Db().SetWareCount(1, 7));
  ASSERT_TRUE(Db().SetWareCount(U16("Cola可乐"), 8));
  ASSERT_TRUE(Db().SetWareOrder(3, 30));
  RawDb raw = Raw();
  EXPECT_EQ(raw.Column("select stock from tbWare order by id"),
            (std::vector<std::string>{"7", "8", "10", "10", "10"}));
  EXPECT_EQ(raw.Int("select orderId from tbWare where id=3"), 30);
}

TEST_F(StoreCatalogue, StockMapIsWrittenWholeOrNotAtAll) {
  ASSERT_TRUE(Db().SetWareCount(std::map<int, int>{{1, 1}, {2, 2}}));
  EXPECT_EQ(Raw().Column("select stock from tbWare where id in (1,2) order by id"),
            (std::vector<std::string>{"1", "2"}));

  Raw().Exec(
      "create trigger refuse before update of stock on tbWare when new.id = 3 "
      "begin select raise(abort, 'refused'); end");
  EXPECT_FALSE(Db().SetWareCount(std::map<int, int>{{1, 100}, {3, 300}}));
  EXPECT_EQ(Raw().Int("select stock from tbWare where id=1"), 1);
  EXPECT_TRUE(Db().SetWareCount(1, 9));  // rolled back only: the store stays open
}

TEST_F(StoreCatalogue, CombinedStockByNameAndAll) {
  ASSERT_TRUE(Db().InserCombinStock({{1, 3.5f, 40, U16("3.5元饮料"), U16("饮料")},
                                     {1, 5.0f, 12, U16("5元饮料"), U16("饮料")}}));
  CombinStockInfo info;
  ASSERT_TRUE(Db().QueryWare(U16("5元饮料"), info));
  EXPECT_EQ(info.typeId, 1);
  EXPECT_EQ(info.price, 5.0f);
  EXPECT_EQ(info.stock, 12);
  EXPECT_EQ(info.type_name, U16("饮料"));

  CombinStockInfo untouched;
  untouched.stock = -3;
  EXPECT_FALSE(Db().QueryWare(U16("无此名"), untouched));
  EXPECT_EQ(untouched.stock, -3);

  ASSERT_TRUE(Db().SetCombinStockCount(U16("3.5元饮料"), 39));
  std::vector<CombinStockInfo> all;
  ASSERT_TRUE(Db().QueryWare(all));
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].stock, 39);

  Db().ClearCombinStock();
  all.clear();
  ASSERT_TRUE(Db().QueryWare(all));
  EXPECT_TRUE(all.empty());
}

TEST_F(StoreCatalogue, MaterialsAndTastes) {
  ASSERT_TRUE(Db().InserMaterial({{1, U16("杯子"), U16("个"), 50, 60, false, 3, 1, 2},
                                  {2, U16("吸管"), U16("根"), 5, 5, true, 0, 0, 0}}));
  std::vector<MaterialInfo> materials;
  ASSERT_TRUE(Db().QueryMaterial(materials));
  ASSERT_EQ(materials.size(), 1u);
  EXPECT_EQ(materials[0].name, U16("杯子"));
  EXPECT_EQ(materials[0].give, 2);

  ASSERT_TRUE(Db().SetMaterialCount(1, 44));
  std::optional<MaterialInfo> cup = Db().QueryMaterialByID(1);
  ASSERT_TRUE(cup.has_value());
  EXPECT_EQ(cup->stock, 44);
  EXPECT_FALSE(Db().QueryMaterialByID(2).has_value());

  std::u16string taste = u"stale";
  ASSERT_TRUE(Db().QueryTaste(taste));
  EXPECT_EQ(taste, u"");
  ASSERT_TRUE(Db().InserTaste(U16("少糖,多糖,去冰")));
  ASSERT_TRUE(Db().QueryTaste(taste));
  EXPECT_EQ(taste, U16("少糖,多糖,去冰"));
}

// Every page-supplied text that reaches a statement is bound: hostile names
// match nothing and change nothing, and real names holding quotes work.
TEST_F(StoreCatalogue, HostileNamesMatchNothingAndChangeNothing) {
  ASSERT_TRUE(Db().InserCombinStock({{1, 3.5f, 40, U16("3.5元饮料"), U16("饮料")}}));
  const char* const hostile[] = {
      R"(x" OR "1"="1)", "x' OR '1'='1", "'; DROP TABLE tbWare; --",
      R"("; DROP TABLE tbWare; --)", "name", "可乐\"",
  };
  for (const char* text : hostile) {
    const std::u16string name = U16(text);
    std::vector<WareInfo> wares;
    CombinStockInfo stock;
    EXPECT_TRUE(Db().SetWareCount(name, 0)) << text;
    EXPECT_TRUE(Db().SetCombinStockCount(name, 0)) << text;
    EXPECT_FALSE(Db().QueryWare(name, stock)) << text;
    ASSERT_TRUE(Db().QueryWareByName(wares, name));
    ASSERT_TRUE(Db().QueryWareByBarCode(wares, name));
    ASSERT_TRUE(Db().QueryWareByFirstLetter(wares, name));
    EXPECT_TRUE(wares.empty()) << text;
  }
  RawDb raw = Raw();
  EXPECT_EQ(raw.Int("select count(*) from tbWare where stock = 10"), 5);
  EXPECT_EQ(raw.Int("select stock from tbCombinModeWareStock"), 40);
}

TEST_F(StoreCatalogue, NamesWithQuotesAndLongNamesAreMatchedExactly) {
  const std::u16string quoted = U16(R"(Tom's "Cola")");
  const std::u16string longName = U16(std::string(300, 'n') + "可乐");
  ASSERT_TRUE(Db().InsertWare({Ware(30, U8(quoted), "Q"), Ware(31, U8(longName), "L")}));
  ASSERT_TRUE(Db().InserCombinStock({{2, 1.0f, 5, quoted, u"t"}, {3, 1.0f, 6, longName, u"t"}}));

  ASSERT_TRUE(Db().SetWareCount(quoted, 1));
  ASSERT_TRUE(Db().SetWareCount(longName, 2));
  ASSERT_TRUE(Db().SetCombinStockCount(longName, 3));
  CombinStockInfo info;
  ASSERT_TRUE(Db().QueryWare(quoted, info));
  EXPECT_EQ(info.stock, 5);
  RawDb raw = Raw();
  EXPECT_EQ(raw.Int("select stock from tbWare where id=30"), 1);
  EXPECT_EQ(raw.Int("select stock from tbWare where id=31"), 2);
  EXPECT_EQ(raw.Int("select stock from tbCombinModeWareStock where typeid=3"), 3);
}
