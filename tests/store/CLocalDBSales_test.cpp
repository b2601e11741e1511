// Sale lines, the sales query with its 48-hour window, and the sales counter.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "StoreTestDir.h"
#include "store/CLocalDB.h"

namespace {

constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 24 * kHour;

WareSaleInfo Sale(std::string_view id, std::int64_t time, std::string_view wareName = "可乐") {
  WareSaleInfo s;
  s.id = U16(id);
  s.time = time;
  s.wareId = 1;
  s.wareTypeName = U16("饮料");
  s.wareName = U16(wareName);
  s.wareProp = 1;
  s.count = 1;
  s.price = 3.5f;
  s.usable = true;
  s.sectionId = 1;
  s.cashier = u"amy";
  return s;
}

std::vector<std::string> IdsOf(const std::vector<WareSaleInfo>& sales) {
  std::vector<std::string> ids;
  for (const WareSaleInfo& s : sales) ids.push_back(U8(s.id));
  return ids;
}

class StoreSales : public OpenStore {
 protected:
  // The sales query with only a window and, optionally, an id prefix.
  std::vector<std::string> Window(std::int64_t start, std::int64_t end, bool disabled = false,
                                  std::u16string prefix = u"") {
    std::vector<WareSaleInfo> sales;
    EXPECT_TRUE(
        Db().QueryWareSaleById(sales, prefix, start, end, u"", u"", u"", -1.0f, u"", disabled));
    return IdsOf(sales);
  }
  void Store(const std::vector<WareSaleInfo>& sales) { ASSERT_TRUE(Db().InserWareSale(sales)); }
};

int NumberOf(const std::u16string& id) { return std::stoi(U8(id)); }

}  // namespace

TEST_F(StoreSales, CheckoutIdsRunFromOneToNAndTheCounterSurvivesARestart) {
  std::u16string a, b, c, d;
  ASSERT_TRUE(Db().MakeWareSalesId(1, 3, a, true));
  ASSERT_TRUE(Db().MakeWareSalesId(2, 3, b, false));
  ASSERT_TRUE(Db().MakeWareSalesId(3, 3, c, false));
  ASSERT_TRUE(Db().MakeWareSalesId(1, 1, d, true));
  EXPECT_EQ(U8(a) + " " + U8(b) + " " + U8(c) + " " + U8(d), "1(1/3) 1(2/3) 1(3/3) 2(1/1)");

  Restart();
  ASSERT_TRUE(Db().MakeWareSalesId(1, 2, a, true));
  ASSERT_TRUE(Db().MakeWareSalesId(2, 2, b, false));
  EXPECT_EQ(U8(a) + " " + U8(b), "3(1/2) 3(2/2)");
  EXPECT_EQ(Raw().Int("select curWareSalesId from tbGlobal where id=0"), 3);
}

// Two checkouts on two workers at once: every unit of one checkout carries
// that checkout's number, and no number is handed out twice.
TEST_F(StoreSales, ConcurrentCheckoutsNeverShareANumber) {
  constexpr int kCheckouts = 40;
  constexpr int kUnits = 3;
  auto checkouts = [&](std::vector<std::vector<std::u16string>>& out) {
    for (int k = 0; k < kCheckouts; ++k) {
      std::vector<std::u16string> ids(kUnits);
      for (int i = 1; i <= kUnits; ++i) {
        if (!Db().MakeWareSalesId(i, kUnits, ids[i - 1], i == 1)) return;
      }
      out.push_back(ids);
    }
  };
  std::vector<std::vector<std::u16string>> first, second;
  std::thread t1(checkouts, std::ref(first));
  std::thread t2(checkouts, std::ref(second));
  t1.join();
  t2.join();
  ASSERT_EQ(first.size() + second.size(), 2u * kCheckouts);

  std::set<int> numbers;
  for (const auto* list : {&first, &second}) {
    for (const std::vector<std::u16string>& ids : *list) {
      const int n = NumberOf(ids[0]);
      for (int i = 0; i < kUnits; ++i) {
        EXPECT_EQ(U8(ids[i]), std::to_string(n) + "(" + std::to_string(i + 1) + "/3)");
      }
      EXPECT_TRUE(numbers.insert(n).second) << "number " << n << " handed out twice";
    }
  }
  EXPECT_EQ(*numbers.rbegin(), 2 * kCheckouts);
}

TEST_F(StoreSales, ConcurrentBatchesNeverInterleave) {
  auto batches = [&](char tag, int& stored) {
    for (int k = 0; k < 20; ++k) {
      std::vector<WareSaleInfo> units;
      for (int i = 1; i <= 5; ++i) units.push_back(Sale(std::string(1, tag), Now()));
      if (Db().InserWareSale(units)) ++stored;
    }
  };
  int a = 0, b = 0;
  std::thread t1(batches, 'a', std::ref(a));
  std::thread t2(batches, 'b', std::ref(b));
  t1.join();
  t2.join();
  EXPECT_EQ(a + b, 40);
  EXPECT_EQ(Raw().Int("select count(*) from tbSalesWare"), 200);
  EXPECT_TRUE(Db().InserWareSale({Sale("z", Now())}));  // no batch failed and closed the store
}

TEST_F(StoreSales, EveryRowIsStoredWithCountOne) {
  WareSaleInfo s = Sale("1(1/1)", Now());
  s.count = 5;
  Store({s});
  EXPECT_EQ(Raw().Int("select count from tbSalesWare"), 1);
}

TEST_F(StoreSales, DefaultWindowListsTheLast48HoursNewestFirst) {
  const std::int64_t now = Now();
  WareSaleInfo disabled = Sale("5(1/1)", now - 20);
  disabled.usable = false;
  Store({Sale("1(1/1)", now - 2 * kDay - kHour), Sale("2(1/1)", now - 2 * kDay + 600),
         Sale("4(1/1)", now - 10), Sale("3(1/1)", now - kHour), disabled});
  EXPECT_EQ(Window(0, 0), (std::vector<std::string>{"4(1/1)", "3(1/1)", "2(1/1)"}));
  EXPECT_EQ(Window(0, 0, true),
            (std::vector<std::string>{"4(1/1)", "5(1/1)", "3(1/1)", "2(1/1)"}));
}

TEST_F(StoreSales, StartZeroWithAnEndLeavesOutTheTimeCondition) {
  const std::int64_t now = Now();
  Store({Sale("1(1/1)", now - 10 * kDay), Sale("2(1/1)", now - 10)});
  EXPECT_EQ(Window(0, now - 5 * kDay), (std::vector<std::string>{"2(1/1)", "1(1/1)"}));
}

TEST_F(StoreSales, LongerRangesAreCutTo48HoursAfterTheirStart) {
  const std::int64_t start = 1700000000;
  Store({Sale("1(1/1)", start + kHour), Sale("2(1/1)", start + 47 * kHour),
         Sale("3(1/1)", start + 49 * kHour), Sale("4(1/1)", start + 4 * kDay)});
  EXPECT_EQ(Window(start, start + 5 * kDay), (std::vector<std::string>{"2(1/1)", "1(1/1)"}));
}

// The sales list asks for one day as its midnight and the day's last second.
TEST_F(StoreSales, OneDayRangeKeepsTheWholeDay) {
  const std::int64_t midnight = 1700006400;  // a day boundary in UTC
  Store({Sale("1(1/1)", midnight - 1), Sale("2(1/1)", midnight + 1),
         Sale("3(1/1)", midnight + 12 * kHour), Sale("4(1/1)", midnight + kDay - 2),
         Sale("5(1/1)", midnight + kDay)});
  EXPECT_EQ(Window(midnight, midnight + kDay - 1),
            (std::vector<std::string>{"4(1/1)", "3(1/1)", "2(1/1)"}));
}

TEST_F(StoreSales, SalesAtOrBeforeTheCurrentSectionBeginAreTimedOut) {
  const std::int64_t begin = Now() - kHour;
  WareWorkSectionInfo section;
  section.id = 1;
  section.beginTime = begin - kDay;
  ASSERT_TRUE(Db().InserWareWorkSection(section));
  section.id = 2;
  section.beginTime = begin;
  ASSERT_TRUE(Db().InserWareWorkSection(section));
  Store({Sale("1(1/1)", begin - 100), Sale("2(1/1)", begin), Sale("3(1/1)", begin + 1)});

  std::vector<WareSaleInfo> sales;
  ASSERT_TRUE(Db().QueryWareSaleById(sales, u"", 0, 0, u"", u"", u"", -1.0f, u"", false));
  ASSERT_EQ(IdsOf(sales), (std::vector<std::string>{"3(1/1)", "2(1/1)", "1(1/1)"}));
  EXPECT_FALSE(sales[0].istimeout);
  EXPECT_TRUE(sales[1].istimeout);
  EXPECT_TRUE(sales[2].istimeout);
}

TEST_F(StoreSales, IdPrefixWithParenthesisFindsOneCheckout) {
  const std::int64_t now = Now();
  Store({Sale("1(1/2)", now - 1), Sale("1(2/2)", now - 2), Sale("11(1/1)", now - 3),
         Sale("12(1/1)", now - 4)});
  EXPECT_EQ(Window(0, 0, false, u"1("), (std::vector<std::string>{"1(1/2)", "1(2/2)"}));
  EXPECT_EQ(Window(0, 0, false, u"1").size(), 4u);
}

TEST_F(StoreSales, EachFilterNarrowsTheList) {
  const std::int64_t now = Now();
  WareSaleInfo tea = Sale("2(1/1)", now - 2, "绿茶");
  tea.wareTypeName = U16("茶");
  tea.cashier = u"bob";
  tea.price = 2.5f;
  tea.wareProp = 2;
  Store({Sale("1(1/1)", now - 1), tea});

  struct Case {
    const char* what;
    std::u16string name, type, cashier;
    float price;
    std::u16string prop;
    std::vector<std::string> ids;
  } cases[] = {
      {"ware name", U16("绿茶"), u"", u"", -1.0f, u"", {"2(1/1)"}},
      {"type name", u"", U16("饮料"), u"", -1.0f, u"", {"1(1/1)"}},
      {"cashier", u"", u"", u"bob", -1.0f, u"", {"2(1/1)"}},
      {"price", u"", u"", u"", 3.5f, u"", {"1(1/1)"}},
      {"property", u"", u"", u"", -1.0f, u"2", {"2(1/1)"}},
      {"all at once", U16("绿茶"), U16("茶"), u"bob", 2.5f, u"2", {"2(1/1)"}},
      {"contradicting", U16("绿茶"), U16("饮料"), u"", -1.0f, u"", {}},
  };
  for (const Case& c : cases) {
    std::vector<WareSaleInfo> sales;
    ASSERT_TRUE(Db().QueryWareSaleById(sales, u"", 0, 0, c.name, c.type, c.cashier, c.price,
                                       c.prop, false));
    EXPECT_EQ(IdsOf(sales), c.ids) << c.what;
  }
}

TEST_F(StoreSales, DisabledSalesStayButCountNothing) {
  const std::int64_t now = Now();
  Store({Sale("1(1/2)", now - 2), Sale("1(2/2)", now - 1), Sale("2(1/1)", now - 1)});
  EXPECT_EQ(Db().QueryWareSalesCountInCurrentWorkSection(1, 1), 3);
  ASSERT_TRUE(Db().DisableWareSaleById(u"1(2/2)"));
  EXPECT_TRUE(Db().DisableWareSaleById(u"99(1/1)"));  // no such sale: still true

  EXPECT_EQ(Db().QueryWareSalesCountInCurrentWorkSection(1, 1), 2);
  EXPECT_EQ(Db().QueryWareSalesCountInCurrentWorkSection(1, 7), 0);
  EXPECT_EQ(Window(0, 0), (std::vector<std::string>{"2(1/1)", "1(1/2)"}));
  EXPECT_EQ(Raw().Text("select usable || '/' || count from tbSalesWare where id='1(2/2)'"), "0/0");
}

// Sale ids and the query's texts come from the page.
TEST_F(StoreSales, HostileTextsMatchNothingAndChangeNothing) {
  const std::int64_t now = Now();
  Store({Sale("1(1/1)", now - 2), Sale("2(1/1)", now - 1)});
  const char* const hostile[] = {
      "1(1/1)' OR '1'='1", "x' OR 1=1 --", "'; DROP TABLE tbSalesWare; --",
      R"(x" OR "1"="1)",   "wareName",
  };
  for (const char* text : hostile) {
    const std::u16string t = U16(text);
    EXPECT_TRUE(Db().DisableWareSaleById(t)) << text;
    for (int field = 0; field < 4; ++field) {
      std::vector<WareSaleInfo> sales;
      ASSERT_TRUE(Db().QueryWareSaleById(sales, field == 0 ? t : u"", 0, 0, field == 1 ? t : u"",
                                         field == 2 ? t : u"", field == 3 ? t : u"", -1.0f,
                                         u"", true));
      EXPECT_TRUE(sales.empty()) << text << " in field " << field;
    }
  }
  EXPECT_EQ(Raw().Int("select count(*) from tbSalesWare where usable=1 and count=1"), 2);
}
