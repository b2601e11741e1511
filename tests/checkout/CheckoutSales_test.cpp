// Checkout (4/2) end to end, the sale lines: one row per unit under one
// checkout number, the catalogue's price, the tastes in turn, rows of wares
// the store lacks left out, the failures that store nothing, and the event
// log record.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "checkout/CheckoutFixture.h"
#include "store/sqlite3x.h"
#include "support/TextCodec.h"

namespace {

using CheckoutSales = CheckoutTest;

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

TEST_F(CheckoutSales, ThreeUnitsOfOneRowAreNumberedOneToThreeUnderOneNewNumber) {
  const std::u16string payload =
      Checkout(CheckoutParam({{Ware::kCola, 3, "3.50", ""}}), "pay&amp;1");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/MainID"), "4");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/SubID"), "2");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/RetID"), "pay&1");
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/ReturnValue/ErrString"), "");
  EXPECT_EQ(StoredSales("id, count, wareId, wareName, wareTypeName, wareProp, usable, "
                        "sectionId, cashier"),
            (Strings{"1(1/3)|1|11|可乐|饮料|1|1|1|张三", "1(2/3)|1|11|可乐|饮料|1|1|1|张三",
                     "1(3/3)|1|11|可乐|饮料|1|1|1|张三"}));
  for (const std::string& time : StoredSales("time"))
    EXPECT_LE(std::abs(std::stoll(time) - Now()), 5);

  Checkout(CheckoutParam({{Ware::kNoodles, 1, "5.00", ""}, {Ware::kCola, 1, "3.50", ""}}));
  EXPECT_EQ(StoredSales(), (Strings{"1(1/3)", "1(2/3)", "1(3/3)", "2(1/2)", "2(2/2)"}));
}

TEST_F(CheckoutSales, NumbersContinueFromTheStoredCounter) {
  sqlite3x::connection raw;
  raw.open(StorePath());
  raw.execute("update tbGlobal set curWareSalesId=6 where ID=0");
  Checkout(CheckoutParam({{Ware::kCola, 2, "3.50", ""}, {Ware::kMilkTea, 1, "6.00", ""}}));
  EXPECT_EQ(StoredSales(), (Strings{"7(1/3)", "7(2/3)", "7(3/3)"}));
}

TEST_F(CheckoutSales, RowsCarryTheCataloguePriceWhateverThePageShowed) {
  struct Case {
    const char* name;
    int ware;
    const char* pagePrice;
    const char* stored;
  };
  const Case cases[] = {
      {"dearer on the page", Ware::kCola, "4.00", "3.5"},
      {"cheaper on the page", Ware::kNoodles, "0.50", "5.0"},
      {"no price on the page", Ware::kFriedRice, "", "12.0"},
      {"not a number", Ware::kMilkTea, "abc", "6.0"},
  };
  for (const Case& c : cases) {
    const size_t before = StoredSales().size();
    Checkout(CheckoutParam({{c.ware, 1, c.pagePrice, ""}}));
    const Strings prices = StoredSales("price");
    ASSERT_EQ(prices.size(), before + 1) << c.name;
    EXPECT_EQ(prices.back(), c.stored) << c.name;
  }
}

TEST_F(CheckoutSales, RowsOfOneWareTakeItsTastesInTurn) {
  struct Case {
    const char* name;
    std::vector<BasketRow> rows;
    Strings remarks;
  };
  const Case cases[] = {
      {"two rows of one ware",
       {{Ware::kMilkTea, 2, "6.00", "少糖"}, {Ware::kMilkTea, 1, "6.00", "多糖"}},
       {"少糖", "少糖", "多糖"}},
      {"one row, one taste",
       {{Ware::kMilkTea, 2, "6.00", "去冰,少糖"}},
       {"去冰,少糖", "去冰,少糖"}},
      {"no taste", {{Ware::kCola, 1, "3.50", ""}}, {""}},
      {"another ware between restarts the tastes",
       {{Ware::kMilkTea, 1, "6.00", "少糖"},
        {Ware::kCola, 1, "3.50", "冰"},
        {Ware::kMilkTea, 1, "6.00", "多糖"}},
       {"少糖", "冰", "少糖"}},
  };
  for (const Case& c : cases) {
    const size_t before = StoredSales().size();
    Checkout(CheckoutParam(c.rows));
    Strings remarks = StoredSales("remark");
    remarks.erase(remarks.begin(), remarks.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(remarks, c.remarks) << c.name;
  }
}

TEST_F(CheckoutSales, RowsMoreThanTheTasteListHaveNoTaste) {
  std::string param = CheckoutParam({{Ware::kMilkTea, 1, "6.00", "少糖"}});
  param.insert(param.find("<Taste>"), R"(<SubOrder wareid="12" count="1" price="6.00"/>)");
  Checkout(param);
  EXPECT_EQ(StoredSales("id, remark"), (Strings{"1(1/2)|少糖", "1(2/2)|"}));
}

// A row whose ware the store lacks produces no line, and its units do not
// count: the ids of the rest still run 1..n without a gap.
TEST_F(CheckoutSales, RowsOfDeletedOrUnknownWaresAreLeftOut) {
  const std::u16string payload = Checkout(CheckoutParam({{Ware::kCola, 1, "3.50", ""},
                                                         {Ware::kDeleted, 2, "4.00", ""},
                                                         {Ware::kUnknown, 1, "1.00", ""},
                                                         {Ware::kNoodles, 1, "5.00", ""},
                                                         {Ware::kNoType, 1, "1.00", ""}}));
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(StoredSales("id, wareName, wareTypeName"),
            (Strings{"1(1/3)|可乐|饮料", "1(2/3)|泡面|小吃", "1(3/3)|散装糖|"}));
}

// Nothing is stored and the callback reports 0; a failed checkout may use up
// its number, never hand it out twice.
TEST_F(CheckoutSales, OrdersThatSellNothingFailAndStoreNothing) {
  struct Case {
    const char* name;
    std::string param;
  };
  const Case cases[] = {
      {"no Checkout element", "<Basket/>"},
      {"no Param at all", ""},
      {"no SubOrder", CheckoutParam({})},
      {"only deleted wares", CheckoutParam({{Ware::kDeleted, 1, "4.00", ""}})},
      {"first sold row without units",
       CheckoutParam({{Ware::kCola, 0, "3.50", ""}, {Ware::kNoodles, 1, "5.00", ""}})},
      {"negative count", CheckoutParam({{Ware::kCola, -2, "3.50", ""}})},
      {"absurd count", CheckoutParam({{Ware::kCola, 2000000, "3.50", ""}})},
  };
  EnableReceipts("58mm热敏纸");
  for (const Case& c : cases) {
    const std::u16string payload = Checkout(c.param);
    EXPECT_EQ(OpRet(payload), 0) << c.name;
    EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/SubID"), "2") << c.name;
  }
  EXPECT_EQ(StoredCount(), 0);
  EXPECT_TRUE(printHost.Posted().empty()) << "paper for a sale that was not stored";
  Checkout(CheckoutParam({{Ware::kCola, 1, "3.50", ""}}));
  const Strings ids = StoredSales();
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_TRUE(ids[0].ends_with("(1/1)")) << ids[0];
}

TEST_F(CheckoutSales, LaterRowsWithoutUnitsAreSkipped) {
  Checkout(CheckoutParam({{Ware::kCola, 1, "3.50", ""},
                          {Ware::kNoodles, 0, "5.00", ""},
                          {Ware::kMilkTea, 1, "6.00", ""}}));
  EXPECT_EQ(StoredSales("id, wareName"), (Strings{"1(1/2)|可乐", "1(2/2)|奶茶"}));
}

// The store refuses the lines (a trigger plays a full disk): the callback
// reports 0, nothing is printed, and the number is used up.
TEST_F(CheckoutSales, AStoreThatRefusesTheLinesReportsFailureAndPrintsNothing) {
  {
    sqlite3x::connection raw;
    raw.open(StorePath());
    raw.execute(
        "create trigger refuse before insert on tbSalesWare "
        "begin select raise(abort, 'disk full'); end");
  }
  EnableReceipts("58mm热敏纸");
  EnableLabels();
  const std::u16string payload = Checkout(CheckoutParam({{Ware::kMilkTea, 2, "6.00", ""}}));
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(StoredCount(), 0);
  EXPECT_TRUE(printHost.Posted().empty());
}

TEST_F(CheckoutSales, TheEventLogRecordsTheWholeRequest) {
  const std::string param = CheckoutParam({{Ware::kCola, 1, "3.50", "冰"}}, "B07");
  Checkout(param);
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char name[16];
  std::strftime(name, sizeof name, "%Y%m%d.log", &local);
  const std::string expected = TextCodec::Utf16ToAnsi(U16("销售商品: " + param));
  const std::string path = CheckoutWorkDir() + "LOG/" + name;
  std::string text;
  for (int attempt = 0; attempt < 500 && text.find(expected) == std::string::npos; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream file(path, std::ios::binary);
    std::ostringstream read;
    read << file.rdbuf();
    text = read.str();
  }
  EXPECT_NE(text.find(expected), std::string::npos) << path;
}

}  // namespace
