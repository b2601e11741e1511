// The cashier handover end to end: a shift's sales through the checkout
// (4/2, 4/1) or the store, 5/1 through CallFunction, "cb-1-4" on the page,
// the closed and the new section in the store, the stocks, the café
// identity and record, the event log, and the upload the demo server
// received, field by field.
#include <gtest/gtest.h>

#include <set>

#include "handover/HandoverFixture.h"
#include "operations/CashierHandover.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace {

struct Figures {
  std::string pre = "50";
  std::string sales;
  std::string active = "0";
  std::string odd;
  std::string upload;
  std::string save = "100";
  std::string error;
  std::string remark;
  std::string next = "中班";
};

struct Item {
  std::string id;
  int type = 1;
  std::string price;
  int count = 0;
  int sales = 0;
  int odd = 0;
};

std::string Param(const Figures& f, const std::vector<Item>& items) {
  std::string text = "<FinshWorkSection pre=\"" + f.pre + "\" sales=\"" + f.sales +
                     "\" active=\"" + f.active + "\" odd=\"" + f.odd + "\" upload=\"" + f.upload +
                     "\" save=\"" + f.save + "\" error=\"" + f.error + "\" remark=\"" + f.remark +
                     "\" nextsectiontype=\"" + f.next + "\"><Ware>";
  for (const Item& i : items) {
    text += "<Item id=\"" + i.id + "\" type=\"" + std::to_string(i.type) + "\" price=\"" +
            i.price + "\" count=\"" + std::to_string(i.count) + "\" sales=\"" +
            std::to_string(i.sales) + "\" odd=\"" + std::to_string(i.odd) + "\"/>";
  }
  return text + "</Ware></FinshWorkSection>";
}

// The lines of the 5/0 form, as the page turns them into handover lines:
// each remainder is what was there minus what was sold, less `missing`.
std::vector<Item> LinesFromForm(const std::u16string& payload,
                                const std::map<std::string, int>& missing = {}) {
  std::vector<Item> items;
  CXmlDoc doc(payload);
  if (!doc.Find(u"/FUNCTION/ReturnValue/WorkSection") || !doc.Enter()) return items;
  while (doc.Find(u"Ware")) {
    Item item;
    item.id = U8(doc.GetAttr(u"name"));
    item.type = Helpers::ParseInt(doc.GetAttr(u"prop"));
    item.price = U8(doc.GetAttr(u"price"));
    item.count = Helpers::ParseInt(doc.GetAttr(u"beforecount"));
    item.sales = Helpers::ParseInt(doc.GetAttr(u"sales"));
    auto gone = missing.find(item.id);
    item.odd = item.count - item.sales - (gone == missing.end() ? 0 : gone->second);
    items.push_back(item);
  }
  return items;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

void ExpectFields(const Flat& flat, const std::string& prefix, const Fields& expected) {
  for (const auto& [key, value] : expected) {
    auto found = flat.find(prefix + key);
    EXPECT_TRUE(found != flat.end() && found->second == value)
        << prefix + key << ": expected " << value << ", got "
        << (found == flat.end() ? "<missing>" : found->second);
  }
}

size_t CountPrefix(const Flat& flat, const std::string& prefix) {
  size_t count = 0;
  for (const auto& [key, value] : flat) count += key.starts_with(prefix);
  return count;
}

class CashierHandover : public HandoverTest {
protected:
  std::u16string FormPayload() {
    const size_t seen = CountOf(u"cb-1-7");
    EXPECT_EQ(OpRet(Call(5, 0, {}, "form")), 1);
    return AwaitCode(u"cb-1-7", seen);
  }

  std::vector<Row> Sections() {
    return RawRows(StorePath(),
                   "select id, bFinish, bSaveToServer, pre, sales, normalsales, manualsales, "
                   "error, sectionType, nextSectionType, cashier, uuid from tbWareWorkSection "
                   "order by id");
  }

  std::string StockOf(const WareInfo& ware) {
    return RawText(StorePath(), "select stock from tbWare where id=" + std::to_string(ware.id));
  }

  std::string StoredUuid(int id) {
    return RawText(StorePath(),
                   "select uuid from tbWareWorkSection where id=" + std::to_string(id));
  }
};

TEST_F(CashierHandover, AWholeShiftArrivesAtTheServerWithTheShiftsFigures) {
  InsertShiftWares();
  LoginCafe();  // the server's opening amount is 200.00
  // One checkout at the counter, then one cola taken back: cancelled units
  // are not in the figures.
  ASSERT_EQ(OpRet(Call(4, 2,
                       R"(<Checkout SeatNo="A12" TotalPrice="49.50" Pay="50" Change="0.50" )"
                       R"(SubOrderCount="3"><SubOrder wareid="1001" count="4" price="3.00"/>)"
                       R"(<SubOrder wareid="1101" count="1" price="7.50"/>)"
                       R"(<SubOrder wareid="1301" count="2" price="10.00"/>)"
                       R"(<Taste><item wareid="1301" taste="少糖"/></Taste></Checkout>)")),
            1);
  ASSERT_EQ(OpRet(AwaitCode(u"cb-1-1")), 1);
  const std::string unit = RawText(StorePath(), "select id from tbSalesWare where wareId=1001");
  ASSERT_EQ(OpRet(Call(4, 1, "<DisableSales id=\"" + unit + "\"/>")), 1);
  const WareWorkSectionInfo before = [&] {
    WareWorkSectionInfo section;
    Store().QueryCurrentWareWorkSection(section);
    return section;
  }();

  std::vector<Item> items = LinesFromForm(FormPayload(), {{"乐事原味薯片70g", 1}});
  ASSERT_EQ(items.size(), 4u);
  Figures figures;
  figures.sales = "36.50";
  figures.active = "1.00";
  figures.odd = "236.50";
  figures.upload = "136.50";
  figures.error = "少了2";
  figures.remark = "交接正常";
  const std::string param = Param(figures, items);
  const std::u16string payload = FinishShift(param);
  ASSERT_EQ(OpRet(payload), 1) << U8(payload);
  EXPECT_EQ(ErrString(payload), "交班成功");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/MainID"), "5");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/SubID"), "1");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/RetID"), "shift");

  // The store: the closed section, sent; the next one open with the till float.
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 2u);
  const std::string uuid = sections[0][11];
  EXPECT_FALSE(uuid.empty());
  EXPECT_EQ(sections[0], (Row{"1", "1", "1", "200.0", "36.5", "16.5", "20.0", "-2.00", "早班",
                              "中班", "张晓梅", uuid}));
  EXPECT_EQ(sections[1][0], "2");
  EXPECT_EQ(sections[1][1], "0");
  EXPECT_EQ(sections[1][3], "100.0");
  EXPECT_EQ(sections[1][8], "中班");
  EXPECT_EQ(sections[1][10], "张晓梅");
  EXPECT_NE(sections[1][11], uuid);
  EXPECT_EQ(StockOf(Cola()), "21");
  EXPECT_EQ(StockOf(Chips()), "7");
  EXPECT_EQ(StockOf(Water()), "30");
  EXPECT_EQ(RawText(StorePath(), "select currentworksection from tbGlobal where ID=0"), "中班");
  // The café record's entry is what the next café login reads.
  ActiveNetbarInfo record;
  ASSERT_TRUE(Settings().GetActiveNetbar(record));
  ActiveNetbarInfo entry;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(record.userid, entry));
  EXPECT_EQ(U8(entry.fixedworksection), "中班");

  // The next shift's form starts from the counted figures.
  const std::u16string form = FormPayload();
  EXPECT_EQ(AttrAt(form, "/FUNCTION/ReturnValue/WorkSection", "type"), "中班");
  EXPECT_EQ(AttrAt(form, "/FUNCTION/ReturnValue/WorkSection", "presectioncash"), "100.00");
  EXPECT_EQ(LinesFromForm(form)[0].count, 21);
  EXPECT_EQ(LinesFromForm(form)[0].sales, 0);

  // The server: what it received, field by field.
  const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
  EXPECT_EQ(uploads.count("uploads.1.check_id"), 0u) << "uploaded more than once";
  EXPECT_EQ(CountPrefix(uploads, "uploads.0.problems."), 0u) << "the layout departs";
  const std::string end = RawText(StorePath(), "select endtime from tbWareWorkSection where id=1");
  ExpectFields(uploads, "accepted.cashier.0.",
               {{"check_id", uuid},
                {"netbar_number", "10001"},
                {"handover.market_id", "101"},
                {"handover.market_name", "一楼吧台"},
                {"handover.relief", "早班"},
                {"handover.next_relief", "中班"},
                {"handover.sale_money", "36.50"},
                {"handover.sale_normal_money", "16.50"},
                {"handover.sale_nowdo_money", "20.00"},
                {"handover.pre_shelve", "200.00"},
                {"handover.this_shelve", "100.00"},
                {"handover.hand_money", "136.50"},
                {"handover.errors_price", "-2.00"},
                {"handover.handover_time", U8(Helpers::DateTimeText(std::stoll(end)))},
                {"handover.take_time", U8(Helpers::DateTimeText(before.beginTime))},
                {"handover.active_gift", "1.00"},
                {"handover.remark", "交接正常"},
                {"duplicates", "0"}});
  // Goods in name order (by UTF-16 code unit): 乐, 农, 可, 珍.
  const Fields goods[] = {
      {{"goods_id", "1101"}, {"properties_id", "1"}, {"class_id", "2"}, {"class_name", "零食"},
       {"goods_name", "乐事原味薯片70g"}, {"unit_name", "袋"}, {"rebate", "7.50"},
       {"take_num", "9"}, {"handover_num", "7"}, {"this_sale", "1"}, {"number", "1"}},
      {{"goods_id", "1005"}, {"properties_id", "1"}, {"class_id", "1"}, {"class_name", "饮料"},
       {"goods_name", "农夫山泉550ml"}, {"unit_name", "瓶"}, {"rebate", "2.00"},
       {"take_num", "30"}, {"handover_num", "30"}, {"this_sale", "0"}, {"number", "5"}},
      {{"goods_id", "1001"}, {"properties_id", "1"}, {"class_id", "1"}, {"class_name", "饮料"},
       {"goods_name", "可口可乐500ml"}, {"unit_name", "瓶"}, {"rebate", "3.00"},
       {"take_num", "24"}, {"handover_num", "21"}, {"this_sale", "3"}, {"number", "1"}},
      {{"goods_id", "1301"}, {"properties_id", "2"}, {"class_id", "4"}, {"class_name", "奶茶"},
       {"goods_name", "珍珠奶茶"}, {"unit_name", "杯"}, {"rebate", "10.00"}, {"take_num", "10"},
       {"handover_num", "8"}, {"this_sale", "2"}, {"number", "1"}},
  };
  for (size_t i = 0; i < std::size(goods); ++i) {
    SCOPED_TRACE("goods item " + std::to_string(i));
    ExpectFields(uploads, "accepted.cashier.0.goods." + std::to_string(i) + ".", goods[i]);
  }
  EXPECT_EQ(uploads.count("accepted.cashier.0.goods.4.goods_id"), 0u);

  // The event log: the request as sent, the upload and the outcome.
  EXPECT_TRUE(WaitFor([&] { return EventLogToday().find("收银交班结果:交班成功") != std::string::npos; }))
      << EventLogToday();
  const std::string log = EventLogToday();
  EXPECT_NE(log.find("收银交班:" + param), std::string::npos);
  EXPECT_NE(log.find("http 上传 [收银交班]:"), std::string::npos);
}

TEST_F(CashierHandover, ANegativeRemainderIsRefusedWithNothingStored) {
  InsertShiftWares();
  Figures figures;
  figures.sales = "9.00";
  const std::string param = Param(figures, {{"可口可乐500ml", 1, "3.00", 24, 3, 21},
                                           {"乐事原味薯片70g", 1, "7.50", 9, 0, 9},
                                           {"珍珠奶茶", 2, "10.00", 0, 0, 0},
                                           {"农夫山泉550ml", 1, "2.00", 30, 0, -1}});
  const std::u16string payload = FinishShift(param);
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(ErrString(payload), "剩余数量不能为负数, 交接班失败");
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0][1], "0") << "the open section was closed";
  EXPECT_EQ(StockOf(Cola()), "24");
  EXPECT_EQ(StockOf(Water()), "30");
  EXPECT_EQ(RawText(StorePath(), "select currentworksection from tbGlobal where ID=0"), "早班");
  EXPECT_EQ(TheDemoServer().GetFlat("/admin/uploads").count("uploads.0.check_id"), 0u);
  EXPECT_TRUE(WaitFor([&] {
    return EventLogToday().find("收银交班结果:剩余数量不能为负数, 交接班失败") != std::string::npos;
  }));
  EXPECT_NE(EventLogToday().find("收银交班:" + param), std::string::npos);
}

TEST_F(CashierHandover, MissingRequestOrSettingsEndInTheUnknownFailure) {
  const std::u16string payload = FinishShift("<Other/>");
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(ErrString(payload), "未知异常");
  EXPECT_EQ(Sections().size(), 1u);
}

// Without a café login the page's opening amount stands; the difference is
// converted to the signed amount, whichever way the page wrote it.
TEST_F(CashierHandover, TheCashDifferenceIsStoredAndSentAsASignedAmount) {
  struct Case {
    const char* shown;
    const char* stored;
  } const cases[] = {{"多了1.5", "1.50"}, {"少了2", "-2.00"}, {"", "0"}, {"差不多", "0"},
                     {"多了", "0.00"}};
  InsertShiftWares();
  int section = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    Figures figures;
    figures.error = c.shown;
    figures.sales = "3.00";
    const std::u16string payload =
        FinishShift(Param(figures, {{"可口可乐500ml", 1, "3.00", 24, 1, 23}}));
    ASSERT_EQ(OpRet(payload), 1) << U8(payload);
    const std::string id = std::to_string(section);
    EXPECT_EQ(RawText(StorePath(), "select error from tbWareWorkSection where id=" + id), c.stored);
    EXPECT_EQ(RawText(StorePath(), "select pre from tbWareWorkSection where id=" + id), "50.0");
    const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
    ExpectFields(uploads, "accepted.cashier." + std::to_string(section - 1) + ".",
                 {{"check_id", StoredUuid(section)},
                  {"handover.errors_price", c.stored},
                  {"handover.pre_shelve", "50.00"}});
    ++section;
  }
}

TEST_F(CashierHandover, DifferenceTextTable) {
  struct Case {
    const char* shown;
    const char* stored;
  } const cases[] = {{"多了1.5", "1.50"}, {"少了2", "-2.00"},  {"", "0"},
                     {"多了 3", "3.00"},  {"少了0.004", "-0.00"}, {"少了-2", "2.00"},
                     {"多", "0"},         {"x多了1", "0"}};
  for (const Case& c : cases) EXPECT_EQ(U8(DifferenceText(U16(c.shown))), c.stored) << c.shown;
}

// A store whose latest section was finished by an older run (and sent)
// first gets the open successor, which the handover then closes; the
// finished section is not closed a second time.
TEST_F(CashierHandover, AStoreWithoutAnOpenSectionGetsOneBeforeTheHandover) {
  InsertShiftWares();
  RawExec(StorePath(),
          "update tbWareWorkSection set bFinish=1, bSaveToServer=1, save=80, "
          "nextSectionType='晚班', uuid='OLD-UUID', sales=9 where id=1");
  Figures figures;
  figures.sales = "3.00";
  const std::u16string payload =
      FinishShift(Param(figures, {{"可口可乐500ml", 1, "3.00", 24, 1, 23}}));
  ASSERT_EQ(OpRet(payload), 1) << U8(payload);
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0][4], "9.0") << "the finished section was closed again";
  EXPECT_EQ(sections[0][11], "OLD-UUID");
  EXPECT_EQ(sections[1][1], "1");
  EXPECT_EQ(sections[1][4], "3.0");
  EXPECT_EQ(sections[1][8], "晚班") << "the successor did not take the next shift";
  EXPECT_EQ(sections[2][1], "0");
  ExpectFields(TheDemoServer().GetFlat("/admin/uploads"), "accepted.cashier.0.",
               {{"check_id", sections[1][11]}, {"handover.relief", "晚班"}});
}

// Two handovers started together: whichever way they interleave, no
// section is closed twice and every success is one finished section.
TEST_F(CashierHandover, TwoHandoversAtOnceNeverCloseOneSectionTwice) {
  InsertShiftWares();
  Figures figures;
  figures.sales = "3.00";
  const std::string param = Param(figures, {{"可口可乐500ml", 1, "3.00", 24, 1, 23}});
  ASSERT_EQ(OpRet(Call(5, 1, param, "a")), 1);
  ASSERT_EQ(OpRet(Call(5, 1, param, "b")), 1);
  AwaitCode(u"cb-1-4", 1);
  int succeeded = 0;
  for (const RecordedCall& call : page.Calls()) {
    if (call.code == u"cb-1-4") succeeded += OpRet(call.payload);
  }
  ASSERT_GE(succeeded, 1);
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), static_cast<size_t>(succeeded) + 1);
  std::set<std::string> uuids;
  for (size_t i = 0; i < sections.size(); ++i) {
    EXPECT_EQ(sections[i][1], i + 1 < sections.size() ? "1" : "0");
    uuids.insert(sections[i][11]);
  }
  EXPECT_EQ(uuids.size(), sections.size());
  EXPECT_EQ(TheDemoServer().GetFlat("/admin/uploads").count(
                "accepted.cashier." + std::to_string(succeeded - 1) + ".check_id"),
            1u);
}

// What keeps two racing handovers apart: the store closes only the latest
// open section, and the whole handover rolls back when it is not.
TEST_F(CashierHandover, TheStoreClosesOnlyTheLatestOpenSection) {
  InsertShiftWares();
  WareWorkSectionInfo closed;
  ASSERT_TRUE(Store().QueryCurrentWareWorkSection(closed));
  closed.bFinish = true;
  closed.sales = 3.0f;
  WareWorkSectionInfo next;
  next.id = closed.id + 1;
  next.sectionType = U16("中班");
  ASSERT_TRUE(Store().FinishWareWorkSection(closed, {{U16("可口可乐500ml"), 20, false}}, next));
  closed.sales = 99.0f;
  next.sectionType = U16("晚班");
  EXPECT_FALSE(Store().FinishWareWorkSection(closed, {{U16("可口可乐500ml"), 1, false}}, next));
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[0][4], "3.0");
  EXPECT_EQ(sections[1][8], "中班");
  EXPECT_EQ(StockOf(Cola()), "20");
  EXPECT_EQ(RawText(StorePath(), "select currentworksection from tbGlobal where ID=0"), "中班");
  EXPECT_TRUE(Store().IsOpen()) << "a refused handover closed the store";
}

// Repeated names: the map keeps the last line, both enter the sums.
TEST_F(CashierHandover, ARepeatedLineIsSummedTwiceAndHandedOverOnce) {
  InsertShiftWares();
  Figures figures;
  figures.sales = "18.00";
  const std::u16string payload = FinishShift(Param(figures, {{"可口可乐500ml", 1, "3.00", 24, 2, 22},
                                                            {"珍珠奶茶", 2, "10.00", 10, 1, 9},
                                                            {"可口可乐500ml", 1, "3.00", 24, 3, 20}}));
  ASSERT_EQ(OpRet(payload), 1) << U8(payload);
  EXPECT_EQ(Sections()[0][5], "15.0");  // 2 × 3.00 + 3 × 3.00
  EXPECT_EQ(Sections()[0][6], "10.0");
  EXPECT_EQ(StockOf(Cola()), "20");
  const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
  ExpectFields(uploads, "accepted.cashier.0.goods.0.",
               {{"goods_name", "可口可乐500ml"}, {"handover_num", "20"}, {"this_sale", "3"}});
  ExpectFields(uploads, "accepted.cashier.0.goods.1.", {{"goods_name", "珍珠奶茶"}});
  EXPECT_EQ(uploads.count("accepted.cashier.0.goods.2.goods_name"), 0u);
}

// Quick mode: ordinary wares are counted per type and price in the
// combined stock; made-to-order wares still one by one.
TEST_F(CashierHandover, QuickModeHandsOverCombinedStockRows) {
  InsertShiftWares();
  ASSERT_TRUE(SetHandoverMode(2));
  ASSERT_TRUE(Store().InserCombinStock({{1, 3.0f, 40, U16("3.00元饮料"), U16("饮料")},
                                        {2, 7.5f, 12, U16("7.50元零食"), U16("零食")}}));
  Sell(Cola(), 4);
  Sell(Chips(), 2);
  Sell(Tea(), 1);
  std::vector<Item> items = LinesFromForm(FormPayload(), {{"7.50元零食", 1}});
  ASSERT_EQ(items.size(), 3u);  // the tea, then the two combined rows
  // A line the combined stock does not know: only in the sums.
  items.push_back({"农夫山泉550ml", 1, "2.00", 30, 2, 28});
  Figures figures;
  figures.sales = "41.00";
  const std::u16string payload = FinishShift(Param(figures, items));
  ASSERT_EQ(OpRet(payload), 1) << U8(payload);

  EXPECT_EQ(Sections()[0][5], "31.0");  // 4 × 3.00 + 2 × 7.50 + 2 × 2.00
  EXPECT_EQ(Sections()[0][6], "10.0");
  EXPECT_EQ(RawText(StorePath(), "select stock from tbCombinModeWareStock where typeid=1"), "36");
  EXPECT_EQ(RawText(StorePath(), "select stock from tbCombinModeWareStock where typeid=2"), "9");
  EXPECT_EQ(StockOf(Tea()), "9");
  EXPECT_EQ(StockOf(Water()), "30") << "quick mode counts ordinary wares in the combined stock";
  EXPECT_EQ(StockOf(Cola()), "24");

  const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
  const Fields goods[] = {
      {{"goods_id", "0"}, {"properties_id", "1"}, {"class_id", "1"}, {"class_name", "饮料"},
       {"goods_name", "3.00元饮料"}, {"unit_name", ""}, {"rebate", "3.00"}, {"take_num", "40"},
       {"handover_num", "36"}, {"this_sale", "4"}, {"number", "0"}},
      {{"goods_id", "0"}, {"properties_id", "1"}, {"class_id", "2"}, {"class_name", "零食"},
       {"goods_name", "7.50元零食"}, {"unit_name", ""}, {"rebate", "7.50"}, {"take_num", "12"},
       {"handover_num", "9"}, {"this_sale", "2"}, {"number", "0"}},
      {{"goods_id", "1301"}, {"properties_id", "2"}, {"class_id", "4"}, {"class_name", "奶茶"},
       {"goods_name", "珍珠奶茶"}, {"take_num", "10"}, {"handover_num", "9"}, {"this_sale", "1"}},
  };
  for (size_t i = 0; i < std::size(goods); ++i) {
    SCOPED_TRACE("goods item " + std::to_string(i));
    ExpectFields(uploads, "accepted.cashier.0.goods." + std::to_string(i) + ".", goods[i]);
  }
  EXPECT_EQ(uploads.count("accepted.cashier.0.goods.3.goods_id"), 0u);
  ExpectFields(uploads, "accepted.cashier.0.handover.",
               {{"sale_normal_money", "31.00"}, {"sale_nowdo_money", "10.00"}});
}

// The server unreachable or refusing: the handover is stored and reported
// done, the next one waits until the keep-alive worker has sent it, with the
// same check id, and then goes through.
TEST_F(CashierHandover, AnUnsentHandoverHoldsBackTheNextUntilTheKeepAliveSendsIt) {
  struct Case {
    const char* name;
    const char* fault;
    const char* duplicates;  // a garbled answer hid that the server kept it
  } const cases[] = {{"refused", "reject_uploads", "0"}, {"answer garbled", "garbage", "1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    InsertShiftWares();
    LoginCafe();
    TheDemoServer().FailUploads(c.fault);
    Figures figures;
    figures.sales = "3.00";
    const std::string param = Param(figures, {{"可口可乐500ml", 1, "3.00", 24, 1, 23}});
    std::u16string payload = FinishShift(param);
    ASSERT_EQ(OpRet(payload), 1) << U8(payload);
    EXPECT_EQ(ErrString(payload), "交班成功");
    EXPECT_EQ(Sections()[0][2], "0") << "marked sent without the server's yes";
    const std::string uuid = StoredUuid(1);

    payload = FinishShift(param);
    EXPECT_EQ(OpRet(payload), 0);
    EXPECT_EQ(ErrString(payload), "本地有未提交的交班记录，暂时不能交班，请稍后再试或检查网络情况");
    EXPECT_EQ(Sections().size(), 2u);
    EXPECT_EQ(StockOf(Cola()), "23");

    TheDemoServer().HealUploads();
    Service().SetKeepAliveCycles({std::chrono::milliseconds(100), std::chrono::milliseconds(100)});
    EXPECT_EQ(OpRet(Call(2, 7)), 1);
    EXPECT_TRUE(WaitFor([&] { return Sections()[0][2] == "1"; })) << "the keep-alive did not send it";
    Service().m_keepAliveStop = true;
    EXPECT_TRUE(WaitFor([&] { return !Service().KeepAliveRunning(); }));

    const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
    ExpectFields(uploads, "accepted.cashier.0.", {{"check_id", uuid}, {"duplicates", c.duplicates}});
    EXPECT_EQ(uploads.count("accepted.cashier.1.check_id"), 0u);
    for (const auto& [key, value] : uploads) {
      if (key.starts_with("uploads.") && key.ends_with(".check_id")) {
        EXPECT_EQ(value, uuid) << key;
      }
    }

    payload = FinishShift(Param(figures, {{"可口可乐500ml", 1, "3.00", 23, 1, 22}}));
    EXPECT_EQ(OpRet(payload), 1) << U8(payload);
    EXPECT_EQ(Sections().size(), 3u);
  }
}

}  // namespace
