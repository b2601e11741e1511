// Family 2, SubIDs 3 and 9: saving the café identity (which opens the store
// of the café and bar) and loading it again after a restart.
#include <gtest/gtest.h>

#include <filesystem>

#include "functions/FunctionsFixture.h"
#include "support/CXmlDoc.h"

namespace {

class ConfigFunctions : public FunctionsTest {
protected:
  bool OpenStoreAtStart() const override { return false; }

  // Edits the settings document as the page's settings screen would.
  void EditSettings(std::u16string_view path, void (*edit)(CXmlDoc&)) {
    std::u16string text;
    ASSERT_TRUE(Settings().LoadGlobalConfig(text));
    CXmlDoc doc(text);
    ASSERT_TRUE(doc.Find(path));
    edit(doc);
    text = doc.GetText();
    ASSERT_TRUE(Settings().SaveGlobalConfig(text));
  }
  void RememberUser() {
    EditSettings(u"/Config/User", [](CXmlDoc& doc) { doc.SetAttr(u"id", u"cashier01"); });
  }

  static Strings DataFiles() {
    Strings names;
    for (const auto& entry : std::filesystem::directory_iterator(TestWorkDir())) {
      if (entry.path().extension() == ".dat") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static constexpr std::string_view kLoadBody = "/FUNCTION/ReturnValue/LoadNetbarLogin";
};

TEST_F(ConfigFunctions, SavingTheCafeOpensItsStoreWithOpenSectionsAndRemembersIt) {
  RememberUser();
  const std::u16string reply = Call(2, 3, kSaveNetbar, "save");
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_EQ(ValueAt(reply, "/FUNCTION/Head/RetID"), "save");
  EXPECT_EQ(DataFiles(), (Strings{"1001-7.dat", "Global.dat"}));
  ASSERT_TRUE(Store().IsOpen());

  EXPECT_EQ(RawColumn(StorePath(),
                      "select id || '|' || cashier || '|' || sectionType || '|' || "
                      "bFinish || '|' || (abs(beginTime - strftime('%s')) < 60) "
                      "from tbWareWorkSection"),
            Strings{"1|张三|早班|0|1"});
  EXPECT_EQ(RawColumn(StorePath(), "select id || '|' || bFinish from tbMaterialWorkSection"),
            Strings{"1|0"});
  NetbarInfo stored;
  ASSERT_TRUE(Store().QueryNetbarInfo(stored));
  EXPECT_EQ(U8(stored.netbarid + u"|" + stored.netbarpw + u"|" + stored.netbarname + u"|" +
               stored.barName + u"|" + stored.barID + u"|" + stored.cashier + u"|" +
               stored.currentworksection),
            "1001|secret|星海网吧|一楼吧台|7|张三|早班");

  ActiveNetbarInfo record;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(u"cashier01", record));
  EXPECT_EQ(U8(record.userid + u"|" + record.id + u"|" + record.pw + u"|" + record.barid + u"|" +
               record.barname + u"|" + record.cashier + u"|" + record.fixedworksection),
            "cashier01|1001|secret|7|一楼吧台|张三|");
  EXPECT_EQ(record.db, StorePath());
}

TEST_F(ConfigFunctions, SavingAgainWhileTheStoreIsOpenOnlyRewritesTheSettingsRecord) {
  ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
  ASSERT_EQ(OpRet(Call(2, 3,
                       R"(<SaveNetbarLogin id="1001" pw="new" netbarname="新名" barname="二楼" )"
                       R"(barid="7" cashier="李四" currentworksection="晚班"/>)")),
            1);
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbWareWorkSection"), 1);
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbMaterialWorkSection"), 1);
  NetbarInfo stored;
  ASSERT_TRUE(Store().QueryNetbarInfo(stored));
  EXPECT_EQ(U8(stored.netbarname + u"|" + stored.cashier), "星海网吧|张三");
  ActiveNetbarInfo record;
  ASSERT_TRUE(Settings().GetNetbarInfoByUser(u"", record));
  EXPECT_EQ(U8(record.pw + u"|" + record.barname + u"|" + record.cashier), "new|二楼|李四");
}

// An identity that names no store file in the work directory opens nothing.
TEST_F(ConfigFunctions, SavingRefusesAnIdentityWithoutAUsableStoreName) {
  struct Case {
    const char* name;
    const char* param;
  } cases[] = {
      {"no SaveNetbarLogin", R"(<Other id="1001" barid="7"/>)"},
      {"no Param", ""},
      {"empty café number", R"(<SaveNetbarLogin id="" barid="7"/>)"},
      {"empty bar id", R"(<SaveNetbarLogin id="1001" barid=""/>)"},
      {"slash in the café number", R"(<SaveNetbarLogin id="../1001" barid="7"/>)"},
      {"slash in the bar id", R"(<SaveNetbarLogin id="1001" barid="7/x"/>)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpRet(Call(2, 3, c.param)), 0) << c.name;
    EXPECT_FALSE(Store().IsOpen()) << c.name;
    EXPECT_EQ(DataFiles(), Strings{"Global.dat"}) << c.name;
  }
  ActiveNetbarInfo record;
  Settings().GetNetbarInfoByUser(u"", record);
  EXPECT_EQ(record.id, u"");
}

TEST_F(ConfigFunctions, LoadingAfterARestartOpensTheRememberedStore) {
  RememberUser();
  ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
  Restart();
  ASSERT_FALSE(Store().IsOpen());
  const std::u16string reply = Call(2, 9, R"(<LoadNetbarLogin userid="cashier01"/>)", "load");
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_NE(
      reply.find(U16(R"(<LoadNetbarLogin id="1001" pw="secret" netbarname="星海网吧" )"
                     R"(barname="一楼吧台" barid="7" cashier="张三" currentworksection="早班"/>)")),
      std::u16string::npos);
  EXPECT_TRUE(Store().IsOpen());
  EXPECT_EQ(OpRet(Call(1, 0)), 1);
}

TEST_F(ConfigFunctions, LoadingWhileTheStoreIsOpenAnswersFromIt) {
  ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
  const std::u16string reply = Call(2, 9, R"(<LoadNetbarLogin userid=""/>)");
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_EQ(AttrsAt(reply, kLoadBody, {"id", "barid", "cashier"}), "1001|7|张三");
}

TEST_F(ConfigFunctions, LoadingForAUserWithoutACafeRecordOpensNothing) {
  RememberUser();
  ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
  Restart();
  const std::u16string reply = Call(2, 9, R"(<LoadNetbarLogin userid="stranger"/>)");
  EXPECT_EQ(OpRet(reply), 0);
  EXPECT_FALSE(HasElement(reply, kLoadBody));
  EXPECT_FALSE(Store().IsOpen());
  EXPECT_EQ(DataFiles(), (Strings{"1001-7.dat", "Global.dat"}));
}

TEST_F(ConfigFunctions, LoadingWithoutActiveNetbarAnswersZeroWithoutABody) {
  EditSettings(u"/Config/ActiveNetbar", [](CXmlDoc& doc) { doc.Remove(); });
  const std::u16string reply = Call(2, 9, R"(<LoadNetbarLogin userid=""/>)");
  EXPECT_EQ(OpRet(reply), 0);
  EXPECT_FALSE(HasElement(reply, kLoadBody));
  EXPECT_FALSE(Store().IsOpen());
}

TEST_F(ConfigFunctions, UnknownSubIdsAnswerNothing) {
  for (int subId : {10, -1}) EXPECT_EQ(Call(2, subId), u"") << subId;
}

}  // namespace
