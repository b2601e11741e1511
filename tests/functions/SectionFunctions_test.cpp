// Families 3 and 5, SubID 0 each: the workers that fill the two handover forms.
#include <gtest/gtest.h>

#include "functions/FunctionsFixture.h"
#include "support/Helpers.h"

namespace {

constexpr std::string_view kWorkSection = "/FUNCTION/ReturnValue/WorkSection";
constexpr std::string_view kMaterials = "/FUNCTION/ReturnValue/Materials";
constexpr std::int64_t kHour = 3600;

class SectionFunctions : public FunctionsTest {
protected:
  // A current cashier section that began two hours ago.
  void OpenEarlierSection(int id) {
    WareWorkSectionInfo section;
    section.id = id;
    section.beginTime = Now() - 2 * kHour;
    section.pre = 12.5f;
    ASSERT_TRUE(Store().InserWareWorkSection(section));
  }

  WareSaleInfo SaleOf(int wareId, int sectionId, bool usable = true) {
    WareSaleInfo sale = MakeSale("1(1/1)", Now() - kHour);
    sale.wareId = wareId;
    sale.sectionId = sectionId;
    sale.usable = usable;
    return sale;
  }

  std::u16string WorkSectionPayload() {
    EXPECT_EQ(OpRet(Call(5, 0, {}, "ws")), 1);
    const RecordedCall callback = AwaitCallback(1);
    EXPECT_EQ(callback.code, u"cb-1-7");
    EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/MainID"), "5");
    EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/RetID"), "ws");
    return callback.payload;
  }

  static Strings WareLines(const std::u16string& payload) {
    return Rows(payload, kWorkSection, "Ware", {"prop", "name", "price", "beforecount", "sales"});
  }
};

TEST_F(SectionFunctions, NormalHandoverCountsEachWareInTheCurrentSection) {
  ASSERT_TRUE(Settings().SetSystemMode(0, 1));
  OpenEarlierSection(2);
  std::vector<WareInfo> wares = {MakeWare(1, 1, "可乐"), MakeWare(2, 1, "奶茶", true, 2, 8.0f),
                                 MakeWare(3, 1, "停售", false)};
  wares[0].orderId = 2;
  wares[1].orderId = 1;
  wares[1].stock = 5;
  ASSERT_TRUE(Store().InsertWare(wares));
  ASSERT_TRUE(Store().InserWareSale(
      {SaleOf(1, 2), SaleOf(1, 2), SaleOf(2, 2), SaleOf(1, 2, false), SaleOf(1, 1)}));

  const std::u16string payload = WorkSectionPayload();
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(AttrsAt(payload, kWorkSection,
                    {"bar", "type", "cashier", "begitime", "presectioncash", "mode"}),
            "一楼吧台|早班|张三|" + U8(Helpers::DateTimeText(Now() - 2 * kHour)) + "|12.50|1");
  EXPECT_EQ(WareLines(payload), (Strings{"2|奶茶|8.00|5|1", "1|可乐|3.50|10|2"}));
}

TEST_F(SectionFunctions, QuickHandoverListsMadeToOrderWaresThenEachCombinedStockRowOnce) {
  ASSERT_TRUE(Settings().SetSystemMode(0, 2));
  OpenEarlierSection(2);
  std::vector<WareInfo> wares = {MakeWare(1, 1, "可乐"), MakeWare(2, 3, "奶茶", true, 2, 8.0f),
                                 MakeWare(3, 3, "咖啡", true, 2, 9.0f)};
  wares[1].orderId = 1;
  wares[2].orderId = 2;
  ASSERT_TRUE(Store().InsertWare(wares));
  ASSERT_TRUE(Store().InserCombinStock(
      {{1, 3.5f, 20, U16("3.5元饮料"), U16("饮料")}, {2, 5.0f, 8, U16("5元零食"), U16("零食")}}));
  auto combined = [](std::string_view type, float price, std::int64_t time, bool usable) {
    WareSaleInfo sale = MakeSale("1(1/1)", time, "某物", type, "张三", usable);
    sale.price = price;
    return sale;
  };
  const std::int64_t inSection = Now() - kHour;
  WareSaleInfo madeToOrder = SaleOf(2, 2);
  madeToOrder.wareProp = 2;
  ASSERT_TRUE(Store().InserWareSale(
      {combined("饮料", 3.5f, inSection, true), combined("饮料", 3.5f, inSection - 1, true),
       combined("饮料", 3.5f, inSection - 2, false),
       combined("饮料", 3.5f, Now() - 3 * kHour, true), combined("零食", 5.0f, inSection, true),
       combined("饮料", 5.0f, inSection, true), madeToOrder}));

  const std::u16string payload = WorkSectionPayload();
  EXPECT_EQ(WareLines(payload), (Strings{"2|奶茶|8.00|10|1", "2|咖啡|9.00|10|0",
                                         "1|3.5元饮料|3.50|20|2", "1|5元零食|5.00|8|1"}));
}

TEST_F(SectionFunctions, OtherModesListNoWares) {
  ASSERT_TRUE(Store().InsertWare({MakeWare(1, 1, "可乐")}));
  size_t callbacks = 0;
  for (int mode : {0, 3}) {
    ASSERT_TRUE(Settings().SetSystemMode(0, mode));
    ASSERT_EQ(OpRet(Call(5, 0)), 1);
    const std::u16string payload = AwaitCallback(++callbacks).payload;
    EXPECT_EQ(AttrAt(payload, kWorkSection, "mode"), std::to_string(mode));
    EXPECT_EQ(WareLines(payload), Strings{}) << mode;
  }
}

TEST_F(SectionFunctions, MaterialListShowsTheCurrentSectionAndMaterialsNotDeleted) {
  MaterialWorkSectionInfo section;
  section.id = 2;
  section.beginTime = Now();
  section.cupStock = 35;
  ASSERT_TRUE(Store().InserMaterialWorkSection(section));
  MaterialInfo cup{1, U16("纸杯"), U16("个"), 50, 60};
  MaterialInfo straw{2, U16("吸管"), U16("根"), 100, 100};
  MaterialInfo gone{3, U16("旧杯"), U16("个"), 5, 5, true};
  ASSERT_TRUE(Store().InserMaterial({cup, straw, gone}));

  ASSERT_EQ(OpRet(Call(3, 0, {}, "m")), 1);
  const RecordedCall callback = AwaitCallback(1);
  EXPECT_EQ(callback.code, u"cb-1-9");
  EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/MainID"), "3");
  EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/RetID"), "m");
  EXPECT_EQ(OpRet(callback.payload), 1);
  EXPECT_EQ(AttrsAt(callback.payload, kMaterials, {"bar", "type", "cupstock"}), "一楼吧台|早班|35");
  EXPECT_EQ(Rows(callback.payload, kMaterials, "Item", {"id", "name", "unit_name", "stock"}),
            (Strings{"1|纸杯|个|50", "2|吸管|根|100"}));
}

TEST_F(SectionFunctions, AnEmptyMaterialTableStillAnswersMaterials) {
  ASSERT_EQ(OpRet(Call(3, 0)), 1);
  const std::u16string payload = AwaitCallback(1).payload;
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(AttrsAt(payload, kMaterials, {"bar", "cupstock"}), "一楼吧台|0");
  EXPECT_EQ(Rows(payload, kMaterials, "Item", {"id"}), Strings{});
}

TEST_F(SectionFunctions, UnknownSubIdsAnswerNothing) {
  EXPECT_EQ(Call(3, 5), u"");
  EXPECT_EQ(Call(3, -1), u"");
  EXPECT_EQ(Call(5, 4), u"");
  EXPECT_EQ(Call(5, -1), u"");
}

class SectionFunctionsWithoutStore : public FunctionsTest {
protected:
  bool OpenStoreAtStart() const override { return false; }
};

// Without a café record or section the forms get no body.
TEST_F(SectionFunctionsWithoutStore, WorkersAnswerWithoutABody) {
  ASSERT_EQ(OpRet(Call(5, 0)), 1);
  ASSERT_EQ(OpRet(Call(3, 0)), 1);
  ASSERT_TRUE(page.WaitForCalls(2));
  for (const RecordedCall& call : page.Calls()) {
    EXPECT_EQ(OpRet(call.payload), 0) << U8(call.code);
    EXPECT_FALSE(HasElement(call.payload, std::string(kWorkSection)));
    EXPECT_FALSE(HasElement(call.payload, std::string(kMaterials)));
  }
}

}  // namespace
