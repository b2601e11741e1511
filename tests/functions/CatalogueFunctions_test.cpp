// Family 1 end to end: requests through CallFunction on a real store.
#include <gtest/gtest.h>

#include "functions/FunctionsFixture.h"

namespace {

class CatalogueFunctions : public FunctionsTest {};

class CatalogueFunctionsWithoutStore : public FunctionsTest {
protected:
  bool OpenStoreAtStart() const override { return false; }
};

constexpr std::string_view kWares = "/FUNCTION/ReturnValue/WareList/Wares";
constexpr std::string_view kTypes = "/FUNCTION/ReturnValue/WareList/WareType";

TEST_F(CatalogueFunctions, WareListAnswersInTheFixedLayout) {
  ASSERT_TRUE(Store().InserWareType({{1, U16("饮料"), true}}));
  ASSERT_TRUE(Store().InsertWare({MakeWare(1, 1, "可乐")}));
  EXPECT_EQ(
      Call(1, 0, {}, "r1"),
      CrLfLines({"<FUNCTION>", "<Head>", "<MainID>1</MainID>", "<SubID>0</SubID>",
                 "<RetID>r1</RetID>", "</Head>", "<ReturnValue>", "<OPRet>1</OPRet>", "<WareList>",
                 "<WareType>", R"(<type id="1" name="饮料"/>)", "</WareType>", "<Wares>",
                 R"(<Ware id="1" typeid="1" name="可乐" count="1" price="3.50"/>)", "</Wares>",
                 "</WareList>", "<ErrString/>", "</ReturnValue>", "</FUNCTION>"}));
}

// Twelve usable types and one unusable: the counter shows nine.
TEST_F(CatalogueFunctions, WareListAndTypeListShowTheFirstNineUsableTypesOnly) {
  std::vector<WareTypeInfo> types;
  for (int id = 1; id <= 12; ++id) types.push_back({id, U16("类型" + std::to_string(id)), true});
  types.insert(types.begin(), {20, U16("停用"), false});
  ASSERT_TRUE(Store().InserWareType(types));
  ASSERT_TRUE(Store().InsertWare({MakeWare(10, 1, "可乐"), MakeWare(11, 1, "雪碧", false),
                                  MakeWare(12, 9, "奶茶", true, 2), MakeWare(13, 10, "薯片"),
                                  MakeWare(14, 20, "旧货")}));
  Strings nine;
  for (int id = 1; id <= 9; ++id) nine.push_back(std::to_string(id) + "|类型" + std::to_string(id));

  const std::u16string list = Call(1, 0);
  EXPECT_EQ(OpRet(list), 1);
  EXPECT_EQ(Rows(list, kTypes, "type", {"id", "name"}), nine);
  EXPECT_EQ(Rows(list, kWares, "Ware", {"id", "typeid", "name", "count", "price"}),
            (Strings{"10|1|可乐|1|3.50", "12|9|奶茶|1|3.50"}));

  const std::u16string typeList = Call(1, 1);
  EXPECT_EQ(OpRet(typeList), 1);
  EXPECT_EQ(Rows(typeList, "/FUNCTION/ReturnValue/WareTypeList", "type", {"id", "name"}), nine);
}

TEST_F(CatalogueFunctions, WareCountListsUsableWaresOfExactlyThatName) {
  ASSERT_TRUE(Store().InsertWare({MakeWare(1, 1, "可乐"), MakeWare(2, 1, "可乐", false),
                                  MakeWare(3, 1, "可乐罐"), MakeWare(4, 1, R"(A<&"'B)")}));
  struct Case {
    const char* name;
    std::string param;
    Strings ids;
  } cases[] = {
      {"exact name", R"(<QueryWareCount name="可乐"/>)", {"1"}},
      {"escaped markup in the name", R"(<QueryWareCount name="A&lt;&amp;&quot;&apos;B"/>)", {"4"}},
      {"quote injection", R"(<QueryWareCount name="x' or '1'='1"/>)", {}},
      {"no element", "<Other/>", {}},
  };
  for (const Case& c : cases) {
    const std::u16string reply = Call(1, 2, c.param);
    EXPECT_EQ(OpRet(reply), 1) << c.name;
    EXPECT_EQ(Rows(reply, "/FUNCTION/ReturnValue/QueryWareCount", "Ware", {"id"}), c.ids) << c.name;
  }
  const std::u16string markup = Call(1, 2, R"(<QueryWareCount name="A&lt;&amp;&quot;&apos;B"/>)");
  EXPECT_NE(markup.find(uR"(name="A&lt;&amp;&quot;&apos;B")"), std::u16string::npos);
}

// 可乐 and 口粮 have the first letters KL; 口粮 also carries the barcode "kl".
TEST_F(CatalogueFunctions, SearchFollowsTheFirstLetterAndBarcodeRules) {
  ASSERT_TRUE(Store().InsertWare({MakeWare(1, 1, "可乐", true, 1, 3.5f, "690001"),
                                  MakeWare(2, 1, "口粮", true, 1, 3.5f, "kl"),
                                  MakeWare(3, 1, "可乐罐", false, 1, 3.5f, "690003"),
                                  MakeWare(4, 1, "雪碧", true, 1, 3.5f, "kl"),
                                  MakeWare(5, 1, "Cola", true, 1, 3.5f, "690005")}));
  struct Case {
    const char* name;
    const char* firstChars;
    const char* barcode;
    Strings ids;
  } cases[] = {
      {"letters, then the same text as barcode", "kl", "", {"1", "2", "2", "4"}},
      {"letters in upper case", "KL", "", {"1", "2"}},
      {"latin name", "co", "", {"5"}},
      {"one letter searches nothing", "k", "", {}},
      {"one letter leaves the barcode", "k", "690001", {"1"}},
      {"barcode only", "", "690005", {"5"}},
      {"unusable ware by barcode", "", "690003", {}},
      {"nothing asked", "", "", {}},
      {"unknown barcode", "", "999", {}},
      {"quote injection in letters", "' or '1'='1", "", {}},
      {"percent wildcards", "%%", "", {}},
      {"underscore wildcards", "__", "", {}},
      {"wildcard after a letter", "k%", "", {}},
      {"quote injection in barcode", "", "' or '1'='1", {}},
      {"wildcard barcode", "", "%", {}},
  };
  for (const Case& c : cases) {
    const std::string param = std::string(R"(<QueryWare byfirstchar=")") + c.firstChars +
                              R"(" bybarcode=")" + c.barcode + R"("/>)";
    const std::u16string reply = Call(1, 5, param);
    EXPECT_EQ(OpRet(reply), 1) << c.name;
    EXPECT_EQ(Rows(reply, "/FUNCTION/ReturnValue/QueryWare", "Ware", {"id"}), c.ids) << c.name;
  }
  EXPECT_EQ(Rows(Call(1, 5), "/FUNCTION/ReturnValue/QueryWare", "Ware", {"id"}), Strings{});
}

TEST_F(CatalogueFunctions, SetWareStockWritesTheCountOfOneWare) {
  ASSERT_TRUE(
      Store().InsertWare({MakeWare(0, 1, "零号"), MakeWare(1, 1, "可乐"), MakeWare(2, 1, "雪碧")}));
  struct Case {
    const char* name;
    std::string param;
    int ware0, ware1, ware2;
  } cases[] = {
      {"id and count", R"(<SetWareCount id="1" count="100"/>)", 10, 100, 10},
      {"unknown id changes nothing", R"(<SetWareCount id="999" count="5"/>)", 10, 100, 10},
      {"count without digits reads 0", R"(<SetWareCount id="2" count="abc"/>)", 10, 100, 0},
      {"trailing text after the id", R"(<SetWareCount id="1 or 1=1" count="7"/>)", 10, 7, 0},
      {"no element reads id 0 and count 0", "<Other/>", 0, 7, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpRet(Call(1, 4, c.param)), 1) << c.name;
    EXPECT_EQ(Store().GetWareByID(0)->stock, c.ware0) << c.name;
    EXPECT_EQ(Store().GetWareByID(1)->stock, c.ware1) << c.name;
    EXPECT_EQ(Store().GetWareByID(2)->stock, c.ware2) << c.name;
  }
}

TEST_F(CatalogueFunctions, OrderListShowsUsablePackagedWaresInDisplayOrder) {
  ASSERT_TRUE(Store().InserWareType({{1, U16("饮料"), true}}));
  std::vector<WareInfo> wares = {MakeWare(1, 1, "可乐"), MakeWare(2, 1, "奶茶", true, 2),
                                 MakeWare(3, 99, "雪碧", true, 1, 2.0f),
                                 MakeWare(4, 1, "停售", false)};
  const int orders[] = {3, 1, 2, 0};
  for (size_t i = 0; i < wares.size(); ++i) wares[i].orderId = orders[i];
  ASSERT_TRUE(Store().InsertWare(wares));
  const std::u16string reply = Call(1, 6);
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_EQ(Rows(reply, "/FUNCTION/ReturnValue/OrderWareList", "Ware",
                 {"id", "orderid", "typename", "name", "price"}),
            (Strings{"3|2||雪碧|2.00", "1|3|饮料|可乐|3.50"}));
}

TEST_F(CatalogueFunctions, SetWareOrderStoresEveryItemAndCallsBackWithItsHead) {
  ASSERT_TRUE(Store().InsertWare({MakeWare(1, 1, "可乐"), MakeWare(2, 1, "雪碧")}));
  const std::u16string reply = Call(
      1, 3,
      R"(<SetWareOrder><Item wareid="1" order="5"/><Item wareid="2" order="4"/></SetWareOrder>)",
      "order-1");
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_FALSE(HasElement(reply, "/FUNCTION/ReturnValue/SetWareOrder"));
  const RecordedCall callback = AwaitCallback(1);
  EXPECT_EQ(callback.code, u"cb-1-8");
  EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/MainID"), "1");
  EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/SubID"), "3");
  EXPECT_EQ(ValueAt(callback.payload, "/FUNCTION/Head/RetID"), "order-1");
  EXPECT_EQ(OpRet(callback.payload), 1);
  EXPECT_EQ(Store().GetWareByID(1)->orderId, 5);
  EXPECT_EQ(Store().GetWareByID(2)->orderId, 4);
}

TEST_F(CatalogueFunctions, SetWareOrderAnswersTheOutcomeOfTheLastItem) {
  ASSERT_TRUE(
      Store().InsertWare({MakeWare(1, 1, "可乐"), MakeWare(2, 1, "雪碧"), MakeWare(3, 1, "奶茶")}));
  RawExec(StorePath(),
          "CREATE TRIGGER refuse_ware_3 BEFORE UPDATE ON tbWare WHEN NEW.id = 3 "
          "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  struct Case {
    const char* name;
    std::string param;
    int result;
  } cases[] = {
      {"last item fails",
       R"(<SetWareOrder><Item wareid="1" order="7"/><Item wareid="2" order="8"/><Item wareid="3" order="9"/></SetWareOrder>)",
       0},
      {"a failure before the last item",
       R"(<SetWareOrder><Item wareid="3" order="9"/><Item wareid="2" order="6"/></SetWareOrder>)",
       1},
      {"no item", "<SetWareOrder/>", 0},
      {"no SetWareOrder", "<Other/>", 0},
  };
  size_t calls = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(OpRet(Call(1, 3, c.param)), 1) << c.name;
    EXPECT_EQ(OpRet(AwaitCallback(++calls).payload), c.result) << c.name;
  }
  EXPECT_EQ(Store().GetWareByID(1)->orderId, 7);
  EXPECT_EQ(Store().GetWareByID(2)->orderId, 6);
  EXPECT_EQ(Store().GetWareByID(3)->orderId, 0);
}

TEST_F(CatalogueFunctions, TastesAnswerAnEmptyTasteWhileNoneIsStored) {
  const std::u16string none = Call(1, 7);
  EXPECT_EQ(OpRet(none), 1);
  EXPECT_NE(none.find(u"<QueryTaste taste=\"\"/>"), std::u16string::npos);
  ASSERT_TRUE(Store().InserTaste(U16("少冰,去冰,热")));
  const std::u16string stored = Call(1, 7);
  EXPECT_EQ(OpRet(stored), 1);
  EXPECT_EQ(AttrAt(stored, "/FUNCTION/ReturnValue/QueryTaste", "taste"), "少冰,去冰,热");
}

TEST_F(CatalogueFunctionsWithoutStore, StoreFailuresShowAsOpRetZero) {
  const std::u16string list = Call(1, 0);
  EXPECT_EQ(OpRet(list), 0);
  EXPECT_TRUE(HasElement(list, std::string(kTypes)));
  EXPECT_FALSE(HasElement(list, std::string(kWares)));
  struct Case {
    int subId;
    const char* param;
    int result;
  } cases[] = {
      {1, "", 0},
      {2, R"(<QueryWareCount name="可乐"/>)", 0},
      {4, R"(<SetWareCount id="1" count="1"/>)", 0},
      {5, R"(<QueryWare byfirstchar="kl" bybarcode=""/>)", 1},
      {6, "", 0},
      {7, "", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(OpRet(Call(1, c.subId, c.param)), c.result) << c.subId;
  EXPECT_EQ(AttrAt(Call(1, 7), "/FUNCTION/ReturnValue/QueryTaste", "taste"), "");
  EXPECT_EQ(Call(1, 7).find(u"taste="), std::u16string::npos);
}

TEST_F(CatalogueFunctions, UnknownSubIdsAnswerNothing) {
  for (int subId : {8, 9, -1, 100}) EXPECT_EQ(Call(1, subId), u"") << subId;
}

}  // namespace
