// Family 4 end to end: the sales list worker and disabling a sold unit.
#include <gtest/gtest.h>

#include <ctime>

#include "functions/FunctionsFixture.h"
#include "support/Helpers.h"

namespace {

constexpr std::string_view kItems = "/FUNCTION/ReturnValue/Sales";
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 24 * kHour;

class SalesFunctions : public FunctionsTest {
protected:
  // A current cashier section that began two hours ago, so sales can fall
  // on either side of its begin.
  void SetUp() override {
    FunctionsTest::SetUp();
    WareWorkSectionInfo section;
    section.id = 2;
    section.beginTime = Now() - 2 * kHour;
    ASSERT_TRUE(Store().InserWareWorkSection(section));
  }

  // Runs a sales query and returns the payload of its callback.
  std::u16string QuerySales(const std::string& attributes, std::string_view retId = "q") {
    const std::u16string reply = Call(4, 0, "<QuerySales " + attributes + "/>", retId);
    EXPECT_EQ(OpRet(reply), 1);
    const RecordedCall callback = AwaitCallback(++m_callbacks);
    EXPECT_EQ(callback.code, u"cb-1-6");
    return callback.payload;
  }

  // Local midnight `days` days ago.
  static std::int64_t MidnightDaysAgo(int days) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_mday -= days;
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
  }

  static std::string Range(std::int64_t start, std::int64_t end) {
    return "starttime=\"" + std::to_string(start) + "\" endtime=\"" + std::to_string(end) + "\"";
  }

private:
  size_t m_callbacks = 0;
};

TEST_F(SalesFunctions, EmptyTimesListUsableAndDisabledSalesOfTheLastTwoDaysNewestFirst) {
  WareSaleInfo described = MakeSale("1(1/1)", Now() - kHour);
  described.remark = U16("少冰");
  ASSERT_TRUE(Store().InserWareSale(
      {described, MakeSale("2(1/2)", Now() - 50 * 60, "雪碧", "饮料", "李四", false),
       MakeSale("3(1/1)", Now() - 3 * kHour), MakeSale("4(1/1)", Now() - 50 * kHour)}));
  const std::u16string payload = QuerySales(
      R"(id="" starttime="" endtime="" warename="" waretype="" cashier="")", "sales&amp;1");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/MainID"), "4");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/SubID"), "0");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/RetID"), "sales&1");
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/ReturnValue/ErrString"), "");
  EXPECT_EQ(Rows(payload, kItems, "Item", {"id", "bEnable", "istimeout"}),
            (Strings{"2(1/2)|0|0", "1(1/1)|1|0", "3(1/1)|1|1"}));
  EXPECT_EQ(AttrsAt(payload, "/FUNCTION/ReturnValue/Sales/Item",
                    {"id", "waretype", "warename", "count", "price", "cashier", "remark"}),
            "2(1/2)|饮料|雪碧|1|3.50|李四|");
  const Strings first =
      Rows(payload, kItems, "Item",
           {"time", "waretype", "warename", "count", "price", "cashier", "remark"});
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(first[1], U8(Helpers::DateTimeText(Now() - kHour)) + "|饮料|可乐|1|3.50|张三|少冰");
}

TEST_F(SalesFunctions, OneDayAsStartAndEndListsThatWholeDay) {
  const std::int64_t day = MidnightDaysAgo(3);
  ASSERT_TRUE(Store().InserWareSale({MakeSale("1(1/1)", day - 60), MakeSale("2(1/1)", day + 60),
                                     MakeSale("3(1/1)", day + 23 * kHour),
                                     MakeSale("4(1/1)", day + kDay + 60)}));
  EXPECT_EQ(Rows(QuerySales(Range(day, day)), kItems, "Item", {"id"}),
            (Strings{"3(1/1)", "2(1/1)"}));
}

TEST_F(SalesFunctions, ARangeOfThreeDaysListsOnlyItsFirstTwoDays) {
  const std::int64_t start = MidnightDaysAgo(6);
  ASSERT_TRUE(Store().InserWareSale(
      {MakeSale("1(1/1)", start + kHour), MakeSale("2(1/1)", start + 47 * kHour),
       MakeSale("3(1/1)", start + 49 * kHour), MakeSale("4(1/1)", start + 60 * kHour)}));
  EXPECT_EQ(Rows(QuerySales(Range(start, start + 2 * kDay)), kItems, "Item", {"id"}),
            (Strings{"2(1/1)", "1(1/1)"}));
}

TEST_F(SalesFunctions, FiltersMatchExactlyAndPageTextsInjectNothing) {
  const std::int64_t t = Now() - kHour;
  ASSERT_TRUE(Store().InserWareSale({MakeSale("7(1/2)", t, "可乐", "饮料", "张三"),
                                     MakeSale("7(2/2)", t - 1, "雪碧", "饮料", "张三"),
                                     MakeSale("17(1/1)", t - 2, "薯片", "零食", "李四"),
                                     MakeSale("70(1/1)", t - 3, "可乐", "饮料", "李四")}));
  struct Case {
    const char* name;
    const char* attributes;
    Strings ids;
  } cases[] = {
      {"no filter", "", {"7(1/2)", "7(2/2)", "17(1/1)", "70(1/1)"}},
      {"units of one checkout", R"(id="7(")", {"7(1/2)", "7(2/2)"}},
      {"ware name", R"(warename="可乐")", {"7(1/2)", "70(1/1)"}},
      {"ware type", R"(waretype="零食")", {"17(1/1)"}},
      {"cashier", R"(cashier="李四")", {"17(1/1)", "70(1/1)"}},
      {"name and cashier", R"(warename="可乐" cashier="李四")", {"70(1/1)"}},
      {"quote in the name", R"(warename="x' or '1'='1")", {}},
      {"quote in the cashier", R"(cashier="' or ''='")", {}},
      {"quote in the id", R"(id="7(' or '1'='1")", {}},
      {"percent id", R"(id="%")", {}},
      {"underscore id", R"(id="_(")", {}},
      {"statement in the type", R"(waretype="饮料'; delete from tbSalesWare; --")", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rows(QuerySales(c.attributes), kItems, "Item", {"id"}), c.ids) << c.name;
  }
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbSalesWare"), 4);
}

TEST_F(SalesFunctions, AQueryWithoutQuerySalesListsTheLastTwoDays) {
  ASSERT_TRUE(Store().InserWareSale({MakeSale("1(1/1)", Now() - kHour)}));
  ASSERT_EQ(OpRet(Call(4, 0)), 1);
  EXPECT_EQ(Rows(AwaitCallback(1).payload, kItems, "Item", {"id"}), Strings{"1(1/1)"});
}

TEST_F(SalesFunctions, DisableMarksExactlyTheNamedUnit) {
  const std::int64_t t = Now() - kHour;
  ASSERT_TRUE(Store().InserWareSale(
      {MakeSale("5(1/2)", t), MakeSale("5(2/2)", t - 1), MakeSale("6(1/1)", t - 2)}));
  struct Case {
    const char* name;
    const char* param;
    int result;
  } cases[] = {
      {"unknown id", R"x(<DisableSales id="9(1/1)"/>)x", 1},
      {"quote injection", R"(<DisableSales id="x' or '1'='1"/>)", 1},
      {"wildcard", R"(<DisableSales id="%"/>)", 1},
      {"prefix only", R"(<DisableSales id="5("/>)", 1},
      {"no DisableSales", R"x(<Other id="6(1/1)"/>)x", 0},
      {"no Param", "", 0},
  };
  for (const Case& c : cases) {
    const std::u16string reply = Call(4, 1, c.param, "d");
    EXPECT_EQ(OpRet(reply), c.result) << c.name;
    EXPECT_EQ(ValueAt(reply, "/FUNCTION/Head/SubID"), "1") << c.name;
    EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbSalesWare where usable = 0"), 0)
        << c.name;
  }
  EXPECT_EQ(OpRet(Call(4, 1, R"x(<DisableSales id="5(1/2)"/>)x")), 1);
  EXPECT_EQ(RawColumn(StorePath(), "select id || ':' || count from tbSalesWare where usable = 0"),
            Strings{"5(1/2):0"});
  EXPECT_EQ(Rows(QuerySales(""), kItems, "Item", {"id", "bEnable"}),
            (Strings{"5(1/2)|0", "5(2/2)|1", "6(1/1)|1"}));
}

TEST_F(SalesFunctions, UnknownSubIdsAnswerNothing) {
  for (int subId : {3, 4, -1}) EXPECT_EQ(Call(4, subId), u"") << subId;
}

}  // namespace
