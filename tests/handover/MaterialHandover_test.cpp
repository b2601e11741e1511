// The material handover end to end: 3/2 through CallFunction, "cb-1-5" on
// the page, the closed and the new material section with the cups carried
// over, the material stocks, and the upload the demo server received.
#include <gtest/gtest.h>

#include "handover/HandoverFixture.h"
#include "support/Helpers.h"

namespace {

constexpr int kCupId = 9001;

// Two lines for material 2 (the second counts), one for a material the
// store never had, one for a deleted one.
constexpr std::string_view kCounted =
    R"(<FinshMaterialWorkSection cashier="张晓梅">)"
    R"(<Cup stock="80" sales="40" give="3" scrap="2" odd="35" remark="杯子清点"/>)"
    R"(<Material>)"
    R"(<Item id="3008" count="100" sales="30" odd="70" scrap="0" give="0"/>)"
    R"(<Item id="3009" count="50" sales="10" odd="38" scrap="2" give="0"/>)"
    R"(<Item id="3009" count="50" sales="12" odd="36" scrap="1" give="1"/>)"
    R"(<Item id="77" count="5" sales="1" odd="4" scrap="0" give="0"/>)"
    R"(<Item id="3013" count="6" sales="2" odd="3" scrap="1" give="0"/>)"
    R"(</Material></FinshMaterialWorkSection>)";

using Fields = std::vector<std::pair<std::string, std::string>>;

void ExpectFields(const Flat& flat, const std::string& prefix, const Fields& expected) {
  for (const auto& [key, value] : expected) {
    auto found = flat.find(prefix + key);
    EXPECT_TRUE(found != flat.end() && found->second == value)
        << prefix + key << ": expected " << value << ", got "
        << (found == flat.end() ? "<missing>" : found->second);
  }
}

class MaterialHandover : public HandoverTest {
protected:
  void SetUp() override {
    HandoverTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Store().InserMaterial({{3008, U16("吸管"), U16("包"), 100, 500, false, 0, 0, 0},
                                       {3009, U16("杯盖"), U16("条"), 50, 500, false, 0, 0, 0},
                                       {3013, U16("旧款杯盖"), U16("条"), 6, 50, true, 0, 0, 0}}));
    // The catalogue pass wrote the cup record into the open section.
    ASSERT_TRUE(Store().InserCup(MaterialInfo{kCupId, {}, {}, 80, 0, false, 0, 0, 0},
                                 Store().GetCurMaterialWorkSectionID()));
  }

  std::u16string FinishMaterials(std::string_view param) {
    const size_t seen = CountOf(u"cb-1-5");
    const std::u16string reply = Call(3, 2, param, "material");
    EXPECT_EQ(OpRet(reply), 1);
    EXPECT_EQ(ValueAt(reply, "/FUNCTION/ReturnValue/remark"), "结果通过回调返回");
    EXPECT_EQ(ErrString(reply), "");
    return AwaitCode(u"cb-1-5", seen);
  }

  std::vector<Row> Sections() {
    return RawRows(StorePath(),
                   "select id, bFinish, bSaveToServer, cupID, cupStock, cupSales, cupScrap, "
                   "cupGive, totalStock, totalSales, totalActive, totalScrap, remark, "
                   "sectionType, netbarid, barid, barName, uuid from tbMaterialWorkSection "
                   "order by id");
  }

  std::string StockOf(int id) {
    return RawText(StorePath(), "select stock from tbMaterial where id=" + std::to_string(id));
  }
};

TEST_F(MaterialHandover, CountedMaterialsAndCupsCloseTheSectionAndReachTheServer) {
  const std::u16string payload = FinishMaterials(kCounted);
  ASSERT_EQ(OpRet(payload), 1) << U8(payload);
  EXPECT_EQ(ErrString(payload), "交班成功");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/MainID"), "3");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/SubID"), "2");
  EXPECT_EQ(ValueAt(payload, "/FUNCTION/Head/RetID"), "material");

  // Totals over every line as sent; cups of the closed section zeroed, the
  // cups left opening the next one, under the same cup record.
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 2u);
  const std::string uuid = sections[0][17];
  EXPECT_FALSE(uuid.empty());
  EXPECT_EQ(sections[0], (Row{"1", "1", "1", "9001", "0", "0", "0", "0", "211", "55", "1", "4",
                              "杯子清点", "早班", "10001", "101", "一楼吧台", uuid}));
  EXPECT_EQ(sections[1][0], "2");
  EXPECT_EQ(sections[1][1], "0");
  EXPECT_EQ(sections[1][2], "0");
  EXPECT_EQ(sections[1][3], "9001");
  EXPECT_EQ(sections[1][4], "35");
  EXPECT_EQ(sections[1][8], "0");
  EXPECT_NE(sections[1][17], uuid);
  EXPECT_FALSE(sections[1][17].empty());

  EXPECT_EQ(StockOf(3008), "70");
  EXPECT_EQ(StockOf(3009), "36");
  EXPECT_EQ(StockOf(3013), "6") << "a deleted material was counted";
  EXPECT_EQ(StockOf(77), "<none>");

  const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
  EXPECT_EQ(uploads.count("uploads.1.check_id"), 0u) << "uploaded more than once";
  const std::string end = RawText(StorePath(), "select endtime from tbMaterialWorkSection where id=1");
  ExpectFields(uploads, "accepted.material.0.",
               {{"check_id", uuid},
                {"netbar_number", "10001"},
                {"materialcheck.market_id", "101"},
                {"materialcheck.market_name", "一楼吧台"},
                {"materialcheck.material_stock", "211"},
                {"materialcheck.material_used", "55"},
                {"materialcheck.material_active", "1"},
                {"materialcheck.material_scrap", "4"},
                {"materialcheck.relief", "早班"},
                {"materialcheck.cup_num", "0"},
                {"materialcheck.sale_num", "0"},
                {"materialcheck.scrap_num", "0"},
                {"materialcheck.active_gift", "0"},
                {"materialcheck.handover_time", U8(Helpers::DateTimeText(std::stoll(end)))},
                {"materialcheck.remark", "杯子清点"}});
  const Fields items[] = {
      {{"material_id", "3008"}, {"type", "0"}, {"former_num", "100"}, {"user_num", "30"},
       {"material_name", "吸管"}, {"unit_name", "包"}, {"scrap_num", "0"}, {"active_gift", "0"}},
      {{"material_id", "3009"}, {"type", "0"}, {"former_num", "50"}, {"user_num", "12"},
       {"material_name", "杯盖"}, {"unit_name", "条"}, {"scrap_num", "1"}, {"active_gift", "1"}},
      {{"material_id", "9001"}, {"type", "1"}, {"former_num", "0"}, {"user_num", "0"},
       {"material_name", "杯子"}, {"unit_name", "杯"}},
  };
  for (size_t i = 0; i < std::size(items); ++i) {
    SCOPED_TRACE("material_info item " + std::to_string(i));
    ExpectFields(uploads, "accepted.material.0.material_info." + std::to_string(i) + ".", items[i]);
  }
  EXPECT_EQ(uploads.count("accepted.material.0.material_info.3.material_id"), 0u);
  EXPECT_EQ(uploads.count("accepted.material.0.material_info.2.scrap_num"), 0u);
  for (const auto& [key, value] : uploads) {
    EXPECT_FALSE(key.starts_with("uploads.0.problems.")) << key << ": " << value;
  }
}

// The second handover also carries the first's cups forward.
TEST_F(MaterialHandover, TheCupsLeftOpenEachNextSection) {
  ASSERT_EQ(OpRet(FinishMaterials(kCounted)), 1);
  std::string next(kCounted);
  next.replace(next.find(R"(odd="35")"), 8, R"(odd="12")");
  ASSERT_EQ(OpRet(FinishMaterials(next)), 1);
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[1][4], "0") << "the closed section keeps no cups";
  EXPECT_EQ(sections[2][4], "12");
  EXPECT_EQ(sections[2][3], "9001");
  // The handover form shows them.
  const size_t seen = CountOf(u"cb-1-9");
  ASSERT_EQ(OpRet(Call(3, 0)), 1);
  const std::u16string form = AwaitCode(u"cb-1-9", seen);
  EXPECT_EQ(OpRet(form), 1);
  EXPECT_EQ(AttrAt(form, "/FUNCTION/ReturnValue/Materials", "cupstock"), "12");
}

TEST_F(MaterialHandover, AStoreWithoutAnOpenSectionGetsOneBeforeTheHandover) {
  RawExec(StorePath(), "update tbMaterialWorkSection set bFinish=1, bSaveToServer=1, "
                       "uuid='OLD-UUID', totalStock=7 where id=1");
  ASSERT_EQ(OpRet(FinishMaterials(kCounted)), 1);
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0][8], "7") << "the finished section was closed again";
  EXPECT_EQ(sections[0][17], "OLD-UUID");
  EXPECT_EQ(sections[1][1], "1");
  EXPECT_EQ(sections[1][3], "9001") << "the successor lost the cup record";
  EXPECT_EQ(sections[2][1], "0");
  EXPECT_EQ(sections[2][4], "35");
}

TEST_F(MaterialHandover, TheStoreClosesOnlyTheLatestOpenSection) {
  MaterialWorkSectionInfo closed;
  ASSERT_TRUE(Store().QueryCurrentMaterialWorkSection(closed));
  closed.bFinish = true;
  MaterialWorkSectionInfo next;
  next.id = closed.id + 1;
  next.cupStock = 35;
  ASSERT_TRUE(Store().FinishMaterialWorkSection(closed, {{3008, 70}}, next));
  next.cupStock = 1;
  EXPECT_FALSE(Store().FinishMaterialWorkSection(closed, {{3008, 1}}, next));
  const std::vector<Row> sections = Sections();
  ASSERT_EQ(sections.size(), 2u);
  EXPECT_EQ(sections[1][4], "35");
  EXPECT_EQ(StockOf(3008), "70");
}

TEST_F(MaterialHandover, AnUnsentHandoverRefusesTheNextAndChangesNothing) {
  TheDemoServer().FailUploads("reject_uploads");
  std::u16string payload = FinishMaterials(kCounted);
  ASSERT_EQ(OpRet(payload), 1) << U8(payload);
  EXPECT_EQ(Sections()[0][2], "0");
  payload = FinishMaterials(kCounted);
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(ErrString(payload), "本地有未提交的交班记录，暂时不能交班，请稍后再试或检查网络情况");
  EXPECT_EQ(Sections().size(), 2u);
  EXPECT_EQ(StockOf(3008), "70");
}

TEST_F(MaterialHandover, MissingRequestIsTheUnknownFailure) {
  const std::u16string payload = FinishMaterials("<FinishMaterialWorkSection/>");
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(ErrString(payload), "未知异常");
  EXPECT_EQ(Sections().size(), 1u);
}

// Stored in every case; only the sheet decides between the two results.
TEST_F(MaterialHandover, ThePrintSettingsDecideTheResult) {
  struct Case {
    const char* name;
    const char* enable;
    const char* paper;
    int opRet;
    const char* message;
  } const cases[] = {
      {"printing disabled", "0", "", 1, "交班成功"},
      {"enabled without a paper type", "1", "", 0, "交班成功。但打印功能异常，打印失败"},
      {"enabled with another paper", "1", "76mm针式纸", 0, "交班成功。但打印功能异常，打印失败"},
  };
  size_t sections = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SaveSettings("JiaoJieBanPrint", {{"Enable", c.enable}, {"PrinterPaperType", c.paper}}));
    const std::u16string payload = FinishMaterials(kCounted);
    EXPECT_EQ(OpRet(payload), c.opRet);
    EXPECT_EQ(ErrString(payload), c.message);
    EXPECT_EQ(Sections().size(), ++sections);
  }
}

}  // namespace
