// The count checks: the remainder checks the handover screens run as the
// cashier types (5/3, 3/4), and the two stock-take sheets (5/2 with
// "cb-1-10", 3/3 with "cb-1-11") printed through the host thread on the
// private cupsd's PDF queue.
#include <gtest/gtest.h>

#include "grid/CupsServer.h"
#include "handover/HandoverFixture.h"
#include "support/Helpers.h"

namespace {

constexpr std::string_view kWareCheck = "/FUNCTION/ReturnValue/CheckWareCountFromUser";
constexpr std::string_view kMaterialCheck = "/FUNCTION/ReturnValue/CheckMaterialCountFromUser";

class CountChecks : public HandoverTest {
protected:
  void InsertMaterials() {
    MaterialInfo straw{1, U16("吸管"), U16("根"), 10, 5, false, 0, 0, 0};
    MaterialInfo lid{2, U16("杯盖"), U16("个"), 10, 20, false, 0, 0, 0};
    MaterialInfo gone{3, U16("旧杯套"), U16("个"), 10, 20, true, 0, 0, 0};
    ASSERT_TRUE(Store().InserMaterial({straw, lid, gone}));
  }

  void InsertWares() {
    WareInfo cola{1001, U16("可口可乐500ml"), U16("瓶"), true, 1, {}, 3.0f, 1, 24, 0, 2, false, 0};
    WareInfo tea{1301, U16("珍珠奶茶"), U16("杯"), true, 4, {}, 10.0f, 2, 0, 0, 1, false, 0};
    WareInfo chips{1101, U16("乐事原味薯片70g"), U16("袋"), true, 2, {}, 7.5f, 1, 9, 0, 3, false, 0};
    ASSERT_TRUE(Store().InsertWare({cola, tea, chips}));
    ASSERT_TRUE(Store().InserCombinStock({{1, 3.0f, 40, U16("3.00元饮料"), U16("饮料")},
                                          {2, 7.5f, 12, U16("7.50元零食"), U16("零食")}}));
  }

  void ChoosePaper(std::string_view paper) {
    ASSERT_TRUE(SaveSettings("PanDianPrint", {{"Printer", CupsServer::kQueue},
                                              {"PrinterPaperType", std::string(paper)}}));
    ASSERT_TRUE(SaveSettings("JiaoJieBanPrint", {{"FontSize", "9"}}));
  }

  // Starts the sheet, waits for its callback and, when printing was
  // expected, for its PDF.
  PrintedPdf PrintSheet(int mainId, std::u16string_view code, int expected) {
    const std::vector<std::string> before = PdfsNow();
    EXPECT_EQ(OpRet(Call(mainId, mainId == 5 ? 2 : 3, {}, "sheet")), 1);
    const std::u16string payload = AwaitCode(code);
    EXPECT_EQ(OpRet(payload), expected) << U8(payload);
    EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/RetID"), "sheet");
    EXPECT_EQ(ErrString(payload), "");
    return expected == 1 ? AwaitPdf(before) : PrintedPdf{};
  }

  void RequirePrinter() {
    if (!ThePrinter()) GTEST_SKIP() << PrinterSkipReason();
  }
};

struct WareCase {
  const char* name;
  const char* param;
  int opRet;
  const char* error;
};

TEST_F(CountChecks, WareRemainderIsRefusedOnlyAboveTheStartingQuantity) {
  const WareCase cases[] = {
      {"more left than there was", R"(wareid="可乐" salescount="0" stock="5" oddfromuser="6")", 0,
       "剩余数量不能大于原数量"},
      {"all left", R"(wareid="可乐" salescount="0" stock="5" oddfromuser="5")", 1, ""},
      {"negative passes here", R"(wareid="可乐" salescount="6" stock="5" oddfromuser="-1")", 1, ""},
      {"remainder missing reads 0", R"(wareid="可乐" stock="5")", 1, ""},
      {"digits up to the first other character", R"(stock="5x" oddfromuser="7.9")", 0,
       "剩余数量不能大于原数量"},
  };
  for (const WareCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string reply =
        Call(5, 3, std::string("<CheckWareCountFromUser ") + c.param + "/>");
    EXPECT_EQ(OpRet(reply), c.opRet);
    EXPECT_EQ(AttrAt(reply, kWareCheck, "error"), c.error);
  }
  const std::u16string missing = Call(5, 3, "<Other/>");
  EXPECT_EQ(OpRet(missing), 0);
  EXPECT_EQ(AttrAt(missing, kWareCheck, "error"), "");
}

TEST_F(CountChecks, MaterialRemainderIsCheckedAgainstTheStoredTotal) {
  InsertMaterials();
  const WareCase cases[] = {
      {"negative", R"(materialid="2" salescount="0" stock="10" oddfromuser="-1")", 0,
       "剩余数量不能为负数"},
      {"more left than there was", R"(materialid="2" stock="10" oddfromuser="12")", 0,
       "剩余数量不能大于原数量"},
      {"used above the total", R"(materialid="1" stock="10" oddfromuser="4")", 0,
       "剩余数量不能大于原数量"},
      {"used 7 above a total of 5", R"(materialid="1" stock="10" oddfromuser="3")", 0,
       "剩余数量不能大于原数量"},
      {"used within the total", R"(materialid="2" stock="10" oddfromuser="4")", 1, ""},
      {"used exactly the total", R"(materialid="1" stock="10" oddfromuser="5")", 1, ""},
      {"unknown material", R"(materialid="99" stock="10" oddfromuser="4")", 0, ""},
      {"deleted material", R"(materialid="3" stock="10" oddfromuser="4")", 0, ""},
  };
  for (const WareCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::u16string reply =
        Call(3, 4, std::string("<CheckMaterialCountFromUser ") + c.param + "/>");
    EXPECT_EQ(OpRet(reply), c.opRet);
    EXPECT_EQ(AttrAt(reply, kMaterialCheck, "error"), c.error);
    EXPECT_EQ(ErrString(reply), "");
  }
}

TEST_F(CountChecks, SettingAMaterialStockFromThePageIsNeverAccepted) {
  InsertMaterials();
  const std::u16string reply = Call(3, 1, R"(<SetMaterialStock id="1" stock="3"/>)");
  EXPECT_EQ(OpRet(reply), 0);
  EXPECT_EQ(ErrString(reply), "");
  EXPECT_EQ(RawText(StorePath(), "select stock from tbMaterial where id=1"), "10");
}

struct SheetCase {
  const char* name;
  const char* paper;
  int mode;
  const char* title;  // the template printed
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

TEST_F(CountChecks, WareSheetListsWhatTheHandoverModeCounts) {
  RequirePrinter();
  InsertWares();
  const SheetCase cases[] = {
      {"58 mm, normal mode: ordinary wares only", "58mm热敏纸", 1, "WareCheck58.grid",
       {"可口可乐500ml", "24", "乐事原味薯片70g", "9"}, {"珍珠奶茶", "3.00元饮料"}},
      {"80 mm, quick mode: the combined-stock rows", "80mm热敏纸", 2, "WareCheck80.grid",
       {"3.00元饮料", "40", "7.50元零食", "12"}, {"可口可乐500ml", "珍珠奶茶"}},
      {"A4, normal mode", "A4纸", 1, "WareCheckA4.grid", {"可口可乐500ml", "乐事原味薯片70g"}, {"珍珠奶茶"}},
  };
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    ChoosePaper(c.paper);
    ASSERT_TRUE(SetHandoverMode(c.mode));
    const PrintedPdf pdf = PrintSheet(5, u"cb-1-10", 1);
    ASSERT_TRUE(pdf.found);
    for (const std::string& text : c.present) EXPECT_NE(pdf.text.find(text), std::string::npos) << text << "\n" << pdf.text;
    for (const std::string& text : c.absent) EXPECT_EQ(pdf.text.find(text), std::string::npos) << text;
    EXPECT_NE(pdf.text.find("星河网咖（演示店）"), std::string::npos);
    EXPECT_NE(pdf.text.find("一楼吧台"), std::string::npos);
    EXPECT_NE(pdf.text.find("早班"), std::string::npos);
    EXPECT_EQ(pdf.title, c.title);
    // The time is written with dashes on every paper.
    const std::string today = U8(Helpers::DateTimeText(std::time(nullptr))).substr(0, 10);
    EXPECT_NE(pdf.text.find(today), std::string::npos) << pdf.text;
  }
}

TEST_F(CountChecks, WareSheetIsRefusedForAnUnknownPaperOrMode) {
  InsertWares();
  struct Case {
    const char* name;
    const char* paper;
    int mode;
  } const cases[] = {{"no paper type", "", 1}, {"another paper", "76mm针式纸", 1},
                     {"handover mode unknown", "58mm热敏纸", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChoosePaper(c.paper);
    ASSERT_TRUE(SetHandoverMode(c.mode));
    const size_t before = PdfsNow().size();
    const size_t seen = CountOf(u"cb-1-10");
    EXPECT_EQ(OpRet(Call(5, 2)), 1);
    EXPECT_EQ(OpRet(AwaitCode(u"cb-1-10", seen)), 0);
    EXPECT_EQ(PdfsNow().size(), before);
  }
}

TEST_F(CountChecks, MaterialSheetListsEveryStoredMaterial) {
  RequirePrinter();
  InsertMaterials();
  ChoosePaper("80mm热敏纸");
  const PrintedPdf pdf = PrintSheet(3, u"cb-1-11", 1);
  ASSERT_TRUE(pdf.found);
  for (const char* text : {"吸管", "杯盖", "星河网咖（演示店）", "一楼吧台"})
    EXPECT_NE(pdf.text.find(text), std::string::npos) << text << "\n" << pdf.text;
  EXPECT_EQ(pdf.text.find("旧杯套"), std::string::npos) << "a deleted material was listed";
  EXPECT_EQ(pdf.title, "MaterialCheck80.grid");
}

TEST_F(CountChecks, MaterialSheetWithoutPaperTypeReportsFailure) {
  InsertMaterials();
  ChoosePaper("");
  EXPECT_EQ(OpRet(Call(3, 3)), 1);
  EXPECT_EQ(OpRet(AwaitCode(u"cb-1-11")), 0);
}

}  // namespace
