// The server's documents, built and read field by field: exact request
// texts, and replies with fields missing or out of order.
#include "server/ServerMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestText.h"
#include "server/MessageFields.h"
#include "support/Helpers.h"

namespace {

// A request text: the declaration, then one element per line.
std::u16string Request(std::initializer_list<std::string_view> lines) {
  return U16(R"(<?xml version="1.0" encoding="utf-8"?>)") + CrLfLines(lines);
}

// A reply with status 1 and `data` holding `inner`.
std::u16string Reply(std::string_view inner, int status = 1) {
  return U16("<jxcapi><status>" + std::to_string(status) + "</status><info>ok</info><data>" +
             std::string(inner) + "</data></jxcapi>");
}

// ---- Requests -----------------------------------------------------------------

struct RequestCase {
  const char* name;
  std::u16string built;
  std::u16string expected;
};

TEST(ServerMessages, RequestsCarryTheirFieldsInTheServersOrder) {
  const std::vector<RequestCase> cases = {
      {"user login", BuildUserLoginRequest(u"cashier01", u"p<w&d"),
       Request({"<jxcapi>", "<account>cashier01</account>", "<password>p&lt;w&amp;d</password>",
                "</jxcapi>"})},
      {"café login", BuildNetbarLoginRequest(u"S1", u"secret", u"1001"),
       Request({"<jxcapi>", "<session_id>S1</session_id>", "<password>secret</password>",
                "<netbar_number>1001</netbar_number>", "</jxcapi>"})},
      {"probe", BuildProbeRequest(),
       Request({"<jxcapi>", "<session_id/>", "<password/>", "<netbar_number/>", "</jxcapi>"})},
      {"main configuration, empty bar", BuildMainConfigRequest(u"S1", u"1001", u""),
       Request({"<jxcapi>", "<session_id>S1</session_id>", "<netbar_number>1001</netbar_number>",
                "<bar_id/>", "</jxcapi>"})},
      {"work sections: café number first", BuildWorkSectionRequest(u"1001", u"S1"),
       Request({"<jxcapi>", "<netbar_number>1001</netbar_number>", "<session_id>S1</session_id>",
                "</jxcapi>"})},
      {"bars: café number first", BuildBarListRequest(u"1001", u"S1"),
       Request({"<jxcapi>", "<netbar_number>1001</netbar_number>", "<session_id>S1</session_id>",
                "</jxcapi>"})},
      {"ware types", BuildWareTypeRequest(u"S1", u"1001"),
       Request({"<jxcapi>", "<session_id>S1</session_id>", "<netbar_number>1001</netbar_number>",
                "</jxcapi>"})},
      {"goods: timestamp before bar", BuildWareRequest(u"S1", u"1001", 0, u"7"),
       Request({"<jxcapi>", "<session_id>S1</session_id>", "<netbar_number>1001</netbar_number>",
                "<timestamp>0</timestamp>", "<market_id>7</market_id>", "</jxcapi>"})},
      {"goods stock: bar before timestamp", BuildWareStockRequest(u"S1", u"1001", u"7", 42),
       Request({"<jxcapi>", "<session_id>S1</session_id>", "<netbar_number>1001</netbar_number>",
                "<market_id>7</market_id>", "<timestamp>42</timestamp>", "</jxcapi>"})},
      {"materials", BuildMaterialRequest(u"S1", u"1001", u"7", -1),
       Request({"<jxcapi>", "<session_id>S1</session_id>", "<netbar_number>1001</netbar_number>",
                "<market_id>7</market_id>", "<timestamp>-1</timestamp>", "</jxcapi>"})},
  };
  for (const RequestCase& c : cases) EXPECT_EQ(U8(c.built), U8(c.expected)) << c.name;
}

WareWorkSectionInfo CashierSection() {
  WareWorkSectionInfo s;
  s.uuid = u"0A1B2C3D-0000-1111-2222-333344445555";
  s.netbarid = u"1001";
  s.barid = u"7";
  s.barName = u"一楼吧台";
  s.sectionType = u"早班";
  s.nextSectionType = u"中班";
  s.sales = 35.5f;
  s.normalsales = 30.0f;
  s.manualsales = 5.5f;
  s.pre = 100.0f;
  s.save = 80.25f;
  s.upload = 55.0f;
  s.error = u"-0.25";
  s.endTime = 1700003600;
  s.beginTime = 1700000000;
  s.active = 2.0f;
  s.remarks = u"无";
  s.WareDetails =
      U16("<goods><item><goods_id>3</goods_id><properties_id>1</properties_id></item></goods>");
  return s;
}

TEST(ServerMessages, CashierHandoverUploadHasTheGroupThenTheGoodsFragment) {
  const WareWorkSectionInfo s = CashierSection();
  EXPECT_EQ(
      U8(BuildFinishWorkSectionRequest(s, u"S9")),
      U8(Request({"<jxcapi>", "<check_id>0A1B2C3D-0000-1111-2222-333344445555</check_id>",
                  "<session_id>S9</session_id>", "<netbar_number>1001</netbar_number>",
                  "<handover>", "<market_id>7</market_id>", "<market_name>一楼吧台</market_name>",
                  "<relief>早班</relief>", "<next_relief>中班</next_relief>",
                  "<sale_money>35.50</sale_money>", "<sale_normal_money>30.00</sale_normal_money>",
                  "<sale_nowdo_money>5.50</sale_nowdo_money>", "<pre_shelve>100.00</pre_shelve>",
                  "<this_shelve>80.25</this_shelve>", "<hand_money>55.00</hand_money>",
                  "<errors_price>-0.25</errors_price>",
                  "<handover_time>" + U8(Helpers::DateTimeText(s.endTime)) + "</handover_time>",
                  "<take_time>" + U8(Helpers::DateTimeText(s.beginTime)) + "</take_time>",
                  "<active_gift>2.00</active_gift>", "<remark>无</remark>", "</handover>",
                  "<goods><item><goods_id>3</goods_id><properties_id>1</properties_id></item>"
                  "</goods>",
                  "</jxcapi>"})));
}

TEST(ServerMessages, MaterialHandoverUploadWritesCountsInDecimal) {
  MaterialWorkSectionInfo s;
  s.uuid = u"U-1";
  s.netbarid = u"1001";
  s.barid = u"7";
  s.barName = u"吧台";
  s.totalStock = 120;
  s.totalSales = 12;
  s.totalActive = 1;
  s.totalScrap = 2;
  s.sectionType = u"晚班";
  s.cupStock = 50;
  s.cupSales = 9;
  s.cupScrap = 0;
  s.cupGive = 3;
  s.endTime = 1700003600;
  s.remark = u"";
  s.materialDetails = U16("<material_info><item><material_id>1</material_id></item>"
                          "</material_info>");
  EXPECT_EQ(U8(BuildFinishMetarialWorkSectionRequest(s, u"S9")),
            U8(Request({"<jxcapi>", "<check_id>U-1</check_id>", "<session_id>S9</session_id>",
                        "<netbar_number>1001</netbar_number>", "<materialcheck>",
                        "<market_id>7</market_id>", "<market_name>吧台</market_name>",
                        "<material_stock>120</material_stock>", "<material_used>12</material_used>",
                        "<material_active>1</material_active>",
                        "<material_scrap>2</material_scrap>", "<relief>晚班</relief>",
                        "<cup_num>50</cup_num>", "<sale_num>9</sale_num>", "<scrap_num>0</scrap_num>",
                        "<active_gift>3</active_gift>",
                        "<handover_time>" + U8(Helpers::DateTimeText(s.endTime)) +
                            "</handover_time>",
                        "<remark/>", "</materialcheck>",
                        "<material_info><item><material_id>1</material_id></item></material_info>",
                        "</jxcapi>"})));
}

// ---- Reply heads and uploads --------------------------------------------------

struct HeadCase {
  const char* name;
  std::string reply;
  bool succeeded;
  bool accepted;
  std::string info;  // "-" when absent
};

TEST(ServerMessages, ReplyHeadsTellSuccessAcceptanceAndInfo) {
  const std::vector<HeadCase> cases = {
      {"status 1", "<jxcapi><status>1</status><info>好</info><data/></jxcapi>", true, true, "好"},
      {"status 2 succeeds but is not accepted", "<jxcapi><status>2</status></jxcapi>", true,
       false, "-"},
      {"status 0", "<jxcapi><status>0</status><info>账号或者密码错误</info></jxcapi>", false,
       false, "账号或者密码错误"},
      {"info before status is still read", "<jxcapi><info>x</info><status>1</status></jxcapi>",
       true, true, "x"},
      {"no status", "<jxcapi><info>x</info></jxcapi>", false, false, "x"},
      {"other root", "<reply><status>1</status></reply>", false, false, "-"},
      {"undecodable", "false_false", false, false, "-"},
      {"empty", "", false, false, "-"},
      {"truncated", "<jxcapi><status>1</sta", false, false, "-"},
      {"status with text", "<jxcapi><status>1ok</status></jxcapi>", true, true, "-"},
  };
  for (const HeadCase& c : cases) {
    const ReplyHead head = ReadReplyHead(U16(c.reply));
    EXPECT_EQ(head.Succeeded(), c.succeeded) << c.name;
    EXPECT_EQ(head.Accepted(), c.accepted) << c.name;
    EXPECT_EQ(ReadUploadReply(U16(c.reply)), c.accepted) << c.name;
    EXPECT_EQ(head.hasInfo ? U8(head.info) : "-", c.info) << c.name;
  }
}

// ---- Logins ---------------------------------------------------------------------

TEST(ServerMessages, UserLoginReplyNeedsSessionThenIdentity) {
  struct Case {
    const char* name;
    std::u16string reply;
    bool hasFields;
    std::string fields;
  };
  const std::vector<Case> cases = {
      {"both", Reply("<session_id>S1</session_id><identity>user</identity>"), true, "S1|user"},
      {"identity first", Reply("<identity>user</identity><session_id>S1</session_id>"), false,
       ""},
      {"no identity", Reply("<session_id>S1</session_id>"), false, ""},
      {"status 0", Reply("<session_id>S1</session_id><identity>user</identity>", 0), false, ""},
  };
  for (const Case& c : cases) {
    const UserLoginReply r = ReadUserLoginReply(c.reply);
    EXPECT_EQ(r.hasFields, c.hasFields) << c.name;
    if (c.hasFields) {
      EXPECT_EQ(U8(r.sessionId + u"|" + r.identity), c.fields) << c.name;
    }
  }
}

constexpr std::string_view kNetbarData =
    "<session_id>S2</session_id><netbar_id>1001</netbar_id><netbar_name>星海网吧</netbar_name>"
    "<market><item><market_id>7</market_id><market_name>一楼</market_name></item>"
    "<item><market_name>无号</market_name></item>"
    "<item><market_id>8</market_id><market_name>二楼</market_name></item></market>"
    "<cashier>张三</cashier><job_list>1c,2c,3c</job_list><pre_shelve>100.00</pre_shelve>"
    "<job_order>1c</job_order>";

TEST(ServerMessages, CafeLoginReplyReadsTheEightFieldsInOrder) {
  const NetbarLoginReply r = ReadNetbarLoginReply(Reply(kNetbarData));
  ASSERT_TRUE(r.Complete());
  EXPECT_EQ(U8(r.sessionId + u"|" + r.netbarId + u"|" + r.netbarName + u"|" + r.cashier + u"|" +
               r.jobList + u"|" + r.preShelve + u"|" + r.jobOrder),
            "S2|1001|星海网吧|张三|1c,2c,3c|100.00|1c");
  ASSERT_EQ(r.markets.size(), 3u);
  EXPECT_EQ(U8(*r.markets[0].id + u"=" + r.markets[0].name), "7=一楼");
  EXPECT_FALSE(r.markets[1].id.has_value());
  EXPECT_EQ(U8(*r.markets[2].id + u"=" + r.markets[2].name), "8=二楼");
}

TEST(ServerMessages, CafeLoginReplyStopsAtTheFirstFieldOutOfPlace) {
  struct Case {
    const char* name;
    std::string data;
    int fieldsRead;
  };
  const std::vector<Case> cases = {
      {"cashier before market",
       "<session_id>S</session_id><netbar_id>1</netbar_id><netbar_name>n</netbar_name>"
       "<cashier>c</cashier><market/><job_list>1c</job_list><pre_shelve>0</pre_shelve>"
       "<job_order>1c</job_order>",
       4},  // the market after the cashier is found, the cashier after it is not
      {"no job_order",
       "<session_id>S</session_id><netbar_id>1</netbar_id><netbar_name>n</netbar_name>"
       "<market/><cashier>c</cashier><job_list>1c</job_list><pre_shelve>0</pre_shelve>",
       7},
      {"empty market is a market",
       "<session_id>S</session_id><netbar_id>1</netbar_id><netbar_name>n</netbar_name>"
       "<market/><cashier>c</cashier><job_list>1c</job_list><pre_shelve>0</pre_shelve>"
       "<job_order>1c</job_order>",
       8},
      {"nothing", "", 0},
  };
  for (const Case& c : cases) {
    const NetbarLoginReply r = ReadNetbarLoginReply(Reply(c.data));
    EXPECT_EQ(r.fieldsRead, c.fieldsRead) << c.name;
    EXPECT_EQ(r.Complete(), c.fieldsRead == 8) << c.name;
  }
}

// ---- Main configuration -----------------------------------------------------------

TEST(ServerMessages, MainConfigurationFieldsAreReadInAnyOrder) {
  const MainConfigReply r = ReadMainConfigReply(
      Reply("<jxc_relief_mode>2</jxc_relief_mode><jxc_taste_setting>少冰,多糖</jxc_taste_setting>"
            "<vcapi_material_stock>17</vcapi_material_stock><vcapi_goods>5</vcapi_goods>"
            "<vcapi_relief>1</vcapi_relief><jxc_manage_mode>1</jxc_manage_mode>"
            "<vcapi_goods_class>3</vcapi_goods_class><vcapi_market>2</vcapi_market>"));
  ASSERT_TRUE(r.read);
  auto version = [&](CatalogueList list) {
    return r.versions[Slot(list)] ? std::to_string(*r.versions[Slot(list)]) : "-";
  };
  EXPECT_EQ(version(CatalogueList::WorkSections), "1");
  EXPECT_EQ(version(CatalogueList::Bars), "2");
  EXPECT_EQ(version(CatalogueList::WareTypes), "3");
  EXPECT_EQ(version(CatalogueList::Goods), "5");
  EXPECT_EQ(version(CatalogueList::Materials), "-");
  EXPECT_EQ(version(CatalogueList::GoodsStock), "-");
  EXPECT_EQ(version(CatalogueList::MaterialStock), "17");
  EXPECT_EQ(r.manageMode, 1);
  EXPECT_EQ(r.reliefMode, 2);
  ASSERT_TRUE(r.tasteSetting.has_value());
  EXPECT_EQ(U8(*r.tasteSetting), "少冰,多糖");
}

TEST(ServerMessages, MainConfigurationWithoutDataOrWithStatusZeroIsNotRead) {
  EXPECT_FALSE(ReadMainConfigReply(Reply("<vcapi_goods>5</vcapi_goods>", 0)).read);
  EXPECT_FALSE(ReadMainConfigReply(u"<jxcapi><status>1</status></jxcapi>").read);
  EXPECT_FALSE(ReadMainConfigReply(u"false_false").read);
  const MainConfigReply empty = ReadMainConfigReply(Reply(""));
  EXPECT_TRUE(empty.read);
  EXPECT_FALSE(empty.manageMode.has_value());
  EXPECT_FALSE(empty.tasteSetting.has_value());
}

// ---- Lists ----------------------------------------------------------------------

TEST(ServerMessages, WorkSectionAndBarLists) {
  std::u16string jobs;
  EXPECT_TRUE(ReadWorkSectionReply(Reply("<job_list>早班,中班,晚班</job_list>"), jobs));
  EXPECT_EQ(U8(jobs), "早班,中班,晚班");
  EXPECT_FALSE(ReadWorkSectionReply(Reply(""), jobs));

  std::vector<MarketItem> bars;
  ASSERT_TRUE(ReadBarListReply(
      Reply("<item><market_id>7</market_id><market_name>一楼</market_name></item>"
            "<item><market_name>二楼</market_name><market_id>8</market_id></item>"),
      bars));
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(U8(*bars[0].id + u"=" + bars[0].name), "7=一楼");
  // Read forward: the name before the id is lost, the id still found.
  EXPECT_EQ(U8(*bars[1].id + u"=" + bars[1].name), "8=");
}

TEST(ServerMessages, WareTypesDefaultMissingFields) {
  std::vector<WareTypeInfo> types;
  ASSERT_TRUE(ReadWareTypeReply(
      Reply("<item><class_id>3</class_id><class_name>饮料</class_name></item>"
            "<item><class_name>零食</class_name></item><item><class_id>9</class_id></item>"),
      types));
  std::vector<std::string> rows;
  for (const WareTypeInfo& t : types)
    rows.push_back(std::to_string(t.id) + "|" + U8(t.name) + "|" + std::to_string(t.usable));
  EXPECT_EQ(rows, (std::vector<std::string>{"3|饮料|1", "0|零食|1", "9||1"}));
}

std::string WareItem(int id, std::string_view barcode = "690", bool withBarcode = true) {
  std::string item = "<item><goods_id>" + std::to_string(id) +
                     "</goods_id><goods_name>可乐</goods_name><number>1</number>"
                     "<properties_id>2</properties_id>";
  if (withBarcode) item += "<barcode>" + std::string(barcode) + "</barcode>";
  item +=
      "<rebate>3.5</rebate><class_id>4</class_id><is_del>0</is_del><is_use>5</is_use>"
      "<uint_name>瓶</uint_name><stock_num>12</stock_num><total_stock_num>40</total_stock_num>"
      "</item>";
  return item;
}

TEST(ServerMessages, GoodsItemsLackingAFieldAreSkipped) {
  std::vector<WareInfo> wares;
  ASSERT_TRUE(ReadWareReply(
      Reply("<goods>" + WareItem(1) + WareItem(2, "", false) + WareItem(3, "69") + "</goods>"),
      wares));
  ASSERT_EQ(wares.size(), 2u);
  const WareInfo& w = wares[1];
  EXPECT_EQ(w.id, 3);
  EXPECT_EQ(U8(w.name + u"|" + w.barcode + u"|" + w.unitName), "可乐|69|瓶");
  EXPECT_EQ(w.number, 1);
  EXPECT_EQ(w.properties, 2);
  EXPECT_FLOAT_EQ(w.price, 3.5f);
  EXPECT_EQ(w.typeId, 4);
  EXPECT_FALSE(w.isdel);
  EXPECT_TRUE(w.usable);
  EXPECT_EQ(w.stock, 12);
  EXPECT_EQ(w.total, 40);
  EXPECT_EQ(w.orderId, 0);
}

TEST(ServerMessages, NormalStockEndsAtTheFirstIncompleteItem) {
  std::map<int, int> stocks;
  ASSERT_TRUE(ReadWareStockNormalReply(
      Reply("<goods><item><goods_id>1</goods_id><stock_num>5</stock_num></item>"
            "<item><goods_id>2</goods_id></item>"
            "<item><goods_id>3</goods_id><stock_num>7</stock_num></item></goods>"),
      stocks));
  EXPECT_EQ(stocks, (std::map<int, int>{{1, 5}}));

  stocks.clear();
  ASSERT_TRUE(ReadWareStockNormalReply(
      Reply("<goods><item><goods_id>1</goods_id><stock_num>5</stock_num></item>"
            "<item><goods_id>1</goods_id><stock_num>6</stock_num></item></goods>"),
      stocks));
  EXPECT_EQ(stocks, (std::map<int, int>{{1, 6}}));
}

TEST(ServerMessages, QuickStockRowsAreNamedByPriceAndClass) {
  std::vector<CombinStockInfo> rows;
  ASSERT_TRUE(ReadWareStockQuickReply(
      Reply("<goods><item><class_id>4</class_id><rebate>3</rebate><stock_num>20</stock_num>"
            "<class_name>饮料</class_name></item>"
            "<item><class_id>5</class_id><rebate>2.5</rebate><class_name>零食</class_name></item>"
            "<item><class_id>6</class_id><rebate>1</rebate><stock_num>1</stock_num>"
            "<class_name>x</class_name></item></goods>"),
      rows));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].typeId, 4);
  EXPECT_FLOAT_EQ(rows[0].price, 3.0f);
  EXPECT_EQ(rows[0].stock, 20);
  EXPECT_EQ(U8(rows[0].type_name), "饮料");
  EXPECT_EQ(U8(rows[0].name), "3.00元饮料");
}

TEST(ServerMessages, MaterialsSeparateTheCupRecordAndSkipIncompleteItems) {
  MaterialReply r;
  ASSERT_TRUE(ReadMaterialReply(
      Reply("<goods>"
            "<item><material_id>1</material_id><is_special>0</is_special>"
            "<material_name>吸管</material_name><is_del>0</is_del><uint_name>根</uint_name>"
            "<stock_num>300</stock_num><total_stock_num>500</total_stock_num></item>"
            "<item><material_id>9</material_id><is_special>1</is_special>"
            "<stock_num>80</stock_num></item>"
            "<item><material_id>2</material_id><is_special>0</is_special>"
            "<material_name>杯盖</material_name><is_del>1</is_del><uint_name>个</uint_name>"
            "<stock_num>10</stock_num></item>"
            "<item><material_id>3</material_id><is_special>0</is_special>"
            "<material_name>纸巾</material_name><is_del>2</is_del><uint_name>包</uint_name>"
            "<stock_num>10</stock_num><total_stock_num>20</total_stock_num></item>"
            "</goods>"),
      r));
  ASSERT_TRUE(r.cup.has_value());
  EXPECT_EQ(r.cup->id, 9);
  EXPECT_EQ(r.cup->stock, 80);
  std::vector<std::string> rows;
  for (const MaterialInfo& m : r.materials)
    rows.push_back(std::to_string(m.id) + "|" + U8(m.name) + "|" + U8(m.unit_name) + "|" +
                   std::to_string(m.stock) + "|" + std::to_string(m.total) + "|" +
                   std::to_string(m.isdel));
  EXPECT_EQ(rows, (std::vector<std::string>{"1|吸管|根|300|500|0", "3|纸巾|包|10|20|1"}));
}

TEST(ServerMessages, ListsFailWithoutDataOrOnStatusZero) {
  std::vector<WareInfo> wares;
  std::map<int, int> stocks;
  std::vector<CombinStockInfo> rows;
  MaterialReply materials;
  std::vector<WareTypeInfo> types;
  std::vector<MarketItem> bars;
  for (const std::u16string& bad :
       {Reply("<goods>" + WareItem(1) + "</goods>", 0), std::u16string(u"false_false"),
        std::u16string(u"<jxcapi><status>1</status></jxcapi>"), std::u16string()}) {
    EXPECT_FALSE(ReadWareReply(bad, wares));
    EXPECT_FALSE(ReadWareStockNormalReply(bad, stocks));
    EXPECT_FALSE(ReadWareStockQuickReply(bad, rows));
    EXPECT_FALSE(ReadMaterialReply(bad, materials));
    EXPECT_FALSE(ReadWareTypeReply(bad, types));
    EXPECT_FALSE(ReadBarListReply(bad, bars));
  }
  EXPECT_TRUE(wares.empty());
  EXPECT_TRUE(ReadWareReply(Reply("<goods/>"), wares));
  EXPECT_TRUE(wares.empty());
}

TEST(ServerMessages, FloatsReadAsAWideDecimalConversion) {
  struct Case {
    std::u16string text;
    float value;
  };
  const std::vector<Case> cases = {{u"3.5", 3.5f},  {u"  -2.25x", -2.25f}, {u"+1e2", 100.0f},
                                   {u".5", 0.5f},   {u"7.", 7.0f},         {u"abc", 0.0f},
                                   {u"", 0.0f},     {u"1e", 1.0f},         {u"12,5", 12.0f},
                                   {u"-.", 0.0f}};
  for (const Case& c : cases)
    EXPECT_FLOAT_EQ(MessageFields::ParseFloat(c.text), c.value) << U8(c.text);
}

}  // namespace
