// The handover sheets as they come out of the private cupsd's PDF queue: the
// template chosen by paper (".nolist" when the ware list is off), the times
// compact on thermal paper and with dashes on A4, the figures and the rows.
#include <gtest/gtest.h>

#include <algorithm>

#include "grid/CupsServer.h"
#include "handover/HandoverFixture.h"
#include "support/Helpers.h"

namespace {

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

struct SheetCase {
  const char* name;
  const char* paper;
  const char* list;  // PrintWareList
  const char* title;
  bool dashedTimes;
};

class HandoverSheets : public HandoverTest {
protected:
  void SetUp() override {
    if (!ThePrinter()) GTEST_SKIP() << PrinterSkipReason();
    HandoverTest::SetUp();
  }

  void UsePaper(const SheetCase& c) {
    ASSERT_TRUE(SaveSettings("JiaoJieBanPrint", {{"Enable", "1"},
                                                 {"PrintWareList", c.list},
                                                 {"FontSize", "9"},
                                                 {"Printer", CupsServer::kQueue},
                                                 {"PrinterPaperType", c.paper}}));
  }

  // The begin and end of a stored section as the sheet writes them.
  std::pair<std::string, std::string> Times(std::string_view table, int id, bool dashed) {
    const std::string where = " from " + std::string(table) + " where id=" + std::to_string(id);
    const std::int64_t begin = std::stoll(RawText(StorePath(), "select beginTime" + where));
    const std::int64_t end = std::stoll(RawText(StorePath(), "select endtime" + where));
    auto text = [&](std::int64_t t) {
      return U8(dashed ? Helpers::DateTimeText(t) : Helpers::CompactDateTimeText(t));
    };
    return {text(begin), text(end)};
  }
};

TEST_F(HandoverSheets, CashierSheetFollowsThePaperAndTheListSetting) {
  const SheetCase cases[] = {
      {"58 mm with the list", "58mm热敏纸", "1", "WorkSection58.grid", false},
      {"80 mm without the list", "80mm热敏纸", "0", "WorkSection80.grid.nolist", false},
      {"A4 without the list", "A4纸", "0", "WorkSectionA4.grid.nolist", true},
      {"A4 with the list", "A4纸", "1", "WorkSectionA4.grid", true},
  };
  InsertShiftWares();
  int section = 1;
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    UsePaper(c);
    const std::vector<std::string> before = PdfsNow();
    // A repeated line prints its last figures twice; a line the catalogue
    // does not know keeps the page's name.
    const std::u16string payload = FinishShift(
        R"(<FinshWorkSection pre="50" sales="19.50" active="1.5" odd="68" upload="18" )"
        R"(save="50" error="多了1.5" remark="" nextsectiontype="中班"><Ware>)"
        R"(<Item id="可口可乐500ml" type="1" price="3.00" count="24" sales="2" odd="22"/>)"
        R"(<Item id="临时饮品" type="2" price="4.50" count="5" sales="1" odd="4"/>)"
        R"(<Item id="可口可乐500ml" type="1" price="3.00" count="24" sales="4" odd="19"/>)"
        R"(</Ware></FinshWorkSection>)");
    ASSERT_EQ(OpRet(payload), 1) << U8(payload);
    const PrintedPdf pdf = AwaitPdf(before);
    ASSERT_TRUE(pdf.found);
    EXPECT_EQ(pdf.title, c.title);
    const auto [begin, end] = Times("tbWareWorkSection", section++, c.dashedTimes);
    for (const std::string& part :
         {std::string("星河网咖（演示店）"), std::string("一楼吧台"), std::string("张晓梅"), begin,
          end, std::string("50.00"), std::string("19.50"), std::string("1.50"),
          std::string("68.00"), std::string("18.00")}) {
      EXPECT_NE(pdf.text.find(part), std::string::npos) << part << "\n" << pdf.text;
    }
    EXPECT_EQ(pdf.text.find('#'), std::string::npos) << "a placeholder was left:\n" << pdf.text;
    const bool listed = std::string(c.list) == "1";
    EXPECT_EQ(pdf.text.find("商品名称") != std::string::npos, listed) << pdf.text;
    EXPECT_EQ(Occurrences(pdf.text, "可口可乐500ml"), listed ? 2u : 0u) << pdf.text;
    EXPECT_EQ(Occurrences(pdf.text, "临时饮品"), listed ? 1u : 0u) << pdf.text;
  }
}

TEST_F(HandoverSheets, MaterialSheetFollowsThePaperAndTheListSetting) {
  const SheetCase cases[] = {
      {"80 mm without the list", "80mm热敏纸", "0", "MaterialWorkSection80.grid.nolist", false},
      {"A4 with the list", "A4纸", "1", "MaterialWorkSectionA4.grid", true},
      {"58 mm with the list", "58mm热敏纸", "1", "MaterialWorkSection58.grid", false},
  };
  ASSERT_TRUE(Store().InserMaterial({{3008, U16("吸管"), U16("包"), 100, 500, false, 0, 0, 0}}));
  int section = 1;
  for (const SheetCase& c : cases) {
    SCOPED_TRACE(c.name);
    UsePaper(c);
    const std::vector<std::string> before = PdfsNow();
    const size_t seen = CountOf(u"cb-1-5");
    ASSERT_EQ(OpRet(Call(3, 2,
                         R"(<FinshMaterialWorkSection cashier="张晓梅">)"
                         R"(<Cup stock="80" sales="40" give="3" scrap="2" odd="35" remark=""/>)"
                         R"(<Material><Item id="3008" count="100" sales="31" odd="69" scrap="0" give="0"/>)"
                         R"(</Material></FinshMaterialWorkSection>)")),
              1);
    const std::u16string payload = AwaitCode(u"cb-1-5", seen);
    EXPECT_EQ(OpRet(payload), 1) << U8(payload);
    EXPECT_EQ(ErrString(payload), "交班成功");
    const PrintedPdf pdf = AwaitPdf(before);
    ASSERT_TRUE(pdf.found);
    EXPECT_EQ(pdf.title, c.title);
    const auto [begin, end] = Times("tbMaterialWorkSection", section++, c.dashedTimes);
    for (const std::string& part : {std::string("星河网咖（演示店）"), std::string("一楼吧台"),
                                    std::string("张晓梅"), begin, end, std::string("35")}) {
      EXPECT_NE(pdf.text.find(part), std::string::npos) << part << "\n" << pdf.text;
    }
    EXPECT_EQ(pdf.text.find('#'), std::string::npos) << "a placeholder was left:\n" << pdf.text;
    const bool listed = std::string(c.list) == "1";
    EXPECT_EQ(pdf.text.find("吸管") != std::string::npos, listed) << pdf.text;
    EXPECT_EQ(pdf.text.find("69") != std::string::npos, listed) << pdf.text;
  }
}

}  // namespace
