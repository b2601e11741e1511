// The user login (2/4, "cb-1-2") and the café login (2/6, "cb-1-3") against
// the demo server: online as cashier and manager, wrong password, server
// down, offline from remembered credentials, the fixed work section and a
// bar the café no longer has.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "server-link/LinkFixture.h"
#include "server/SessionLogin.h"
#include "support/CXmlDoc.h"

namespace {

class Login : public ServerLinkTest {
protected:
  // The body element of a callback payload, from its start tag to its end.
  static std::string Body(std::u16string_view payload, std::string_view element) {
    const std::u16string all(payload);
    const size_t begin = all.find(u"<" + U16(element));
    if (begin == std::u16string::npos) return "<missing>";
    const std::u16string closing = u"</" + U16(element) + u">";
    const size_t close = all.find(closing, begin);
    const size_t end =
        close == std::u16string::npos ? all.find(u"/>", begin) + 2 : close + closing.size();
    return U8(all.substr(begin, end - begin));
  }

  ActiveNetbarInfo RecordOf(std::string_view user) {
    ActiveNetbarInfo record;
    EXPECT_TRUE(Settings().GetNetbarInfoByUser(U16(user), record));
    return record;
  }
};

TEST_F(Login, ANewServiceHasNoSessionAndKnowsNoVersion) {
  EXPECT_TRUE(Service().GetSessionId().empty());
  EXPECT_FALSE(Service().m_localMode);
  const CatalogueSyncState& state = Service().m_catalogueSync;
  for (std::int32_t version : state.versions) EXPECT_EQ(version, -1);
  EXPECT_TRUE(state.fullDownload);
  EXPECT_EQ(state.changed, (std::array<bool, 7>{true, true, true, true, true, false, true}));
  EXPECT_TRUE(state.modesChanged);
  EXPECT_TRUE(state.tasteChanged);
}

TEST_F(Login, CashierOnlineTakesTheMachinesCafeRecordAndGetsASession) {
  const std::u16string payload = LoginUser(kCashier, kCashierPassword, false);
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(Body(payload, "LoginUser"),
            R"(<LoginUser ret="1" netbarid="" netbarpw="" bindbar="0" barid="" barname="" )"
            R"(local="0"/>)");
  EXPECT_FALSE(Service().GetSessionId().empty());
  EXPECT_FALSE(Service().m_localMode);
  // Remembered for an offline login later.
  std::u16string remembered;
  EXPECT_TRUE(Settings().GetLocalUserInfo(U16(kCashier), remembered));
  EXPECT_EQ(U8(remembered), kCashierPassword);
}

TEST_F(Login, SecondCashierLoginFindsTheBoundBar) {
  BindCafe();
  const std::u16string payload = LoginUser(kCashier, kCashierPassword, false);
  EXPECT_EQ(Body(payload, "LoginUser"),
            R"(<LoginUser ret="1" netbarid="10001" netbarpw="666666" bindbar="1" barid="101" )"
            R"(barname="一楼吧台" local="0"/>)");
  EXPECT_EQ(U8(Service().GetActiveNetbarUser()), kCashier);
}

TEST_F(Login, ManagerOnlineTakesItsOwnCafeEntryEvenWhenThereIsNone) {
  const std::u16string payload = LoginUser(kManager, kManagerPassword, false);
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(Attr(payload, "LoginUser", "ret"), "1");
  EXPECT_EQ(Attr(payload, "LoginUser", "netbarid"), "");
  EXPECT_EQ(Attr(payload, "LoginUser", "bindbar"), "0");
}

TEST_F(Login, WrongPasswordIsReportedAsSuch) {
  const std::u16string payload = LoginUser(kCashier, "000000", false);
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(Body(payload, "LoginUser"), R"(<LoginUser ret="0" message="wrong password" local="0"/>)");
  EXPECT_TRUE(Service().GetSessionId().empty());
}

TEST_F(Login, ServerDownIsALoginTimeout) {
  TheServer().Stop();
  const std::u16string payload = LoginUser(kCashier, kCashierPassword, false);
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(Attr(payload, "LoginUser", "message"), "login timeout");
  EXPECT_EQ(Attr(payload, "LoginUser", "local"), "0");
}

TEST_F(Login, OfflineFromRememberedCredentialsWhileTheServerIsDown) {
  BindCafe();
  TheServer().Stop();
  const std::u16string payload = LoginUser(kCashier, kCashierPassword, true);
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(Body(payload, "LoginUser"),
            R"(<LoginUser ret="1" netbarid="10001" netbarpw="666666" bindbar="1" barid="101" )"
            R"(barname="一楼吧台" local="1"/>)");
  EXPECT_TRUE(Service().m_localMode);
  EXPECT_EQ(U8(Service().GetCurrentAccount()), kCashier);
  // The store's identity shows the offline cashier from the café record.
  ActiveNetbarInfo record = RecordOf(kCashier);
  record.cashier = u"夜班收银";
  ASSERT_TRUE(Settings().SetActiveNetbar(record));
  NetbarInfo identity;
  ASSERT_TRUE(Store().QueryNetbarInfo(identity));
  EXPECT_EQ(U8(identity.cashier), "夜班收银");
}

TEST_F(Login, OfflineFailsWithoutRememberedCredentialsOrWithAnotherPassword) {
  BindCafe();
  struct Case {
    std::string_view account;
    std::string_view password;
  };
  for (const Case& c : {Case{"nobody", "123456"}, Case{kCashier, "654321"}}) {
    const std::u16string payload = LoginUser(c.account, c.password, true);
    EXPECT_EQ(OpRet(payload), 0) << c.account;
    EXPECT_EQ(Body(payload, "LoginUser"),
              R"(<LoginUser ret="0" message="账号或密码错误" local="1"/>)")
        << c.account;
  }
}

TEST_F(Login, OfflineFailsWhenTheAccountHasNoCafeRecord) {
  ASSERT_EQ(Attr(LoginUser(kManager, kManagerPassword, false), "LoginUser", "ret"), "1");
  const std::u16string payload = LoginUser(kManager, kManagerPassword, true);
  EXPECT_EQ(Attr(payload, "LoginUser", "message"), "账号或密码错误");
  EXPECT_EQ(Attr(payload, "LoginUser", "local"), "1");
}

TEST_F(Login, CafeLoginListsTheBarsAndKeepsTheOpeningAmount) {
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  const std::u16string userSession = Service().GetSessionId();
  const std::u16string payload = LoginNetbar(kCafeNumber, kCafePassword);
  EXPECT_EQ(OpRet(payload), 1);
  EXPECT_EQ(Body(payload, "LoginNetbar"),
            "<LoginNetbar netbarid=\"10001\" netbarname=\"星河网咖（演示店）\" cashier=\"张晓梅\" "
            "currentworksection=\"早班\" barid=\"\" barname=\"\" ret=\"1\" message=\"\">\r\n"
            "<BarList>\r\n<Item id=\"101\" name=\"一楼吧台\"/>\r\n"
            "<Item id=\"102\" name=\"二楼吧台\"/>\r\n</BarList>\r\n</LoginNetbar>");
  EXPECT_NE(Service().GetSessionId(), userSession);
  EXPECT_EQ(U8(Service().GetOpeningAmount()), "200.00");
}

TEST_F(Login, AFixedWorkSectionWinsWhileTheListHasIt) {
  BindCafe();
  ActiveNetbarInfo record = RecordOf(kCashier);
  record.fixedworksection = u"中班";
  ASSERT_TRUE(Settings().SetActiveNetbar(record));
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  std::u16string payload = LoginNetbar(kCafeNumber, kCafePassword);
  EXPECT_EQ(Attr(payload, "LoginNetbar", "currentworksection"), "中班");
  EXPECT_EQ(Attr(payload, "LoginNetbar", "barid"), "101");
  EXPECT_EQ(Attr(payload, "LoginNetbar", "barname"), "一楼吧台");

  ASSERT_NE(TheServer().Post("/admin/config", R"({"job_list": "早班,晚班", "job_order": "晚班"})"),
            "<failed>");
  payload = LoginNetbar(kCafeNumber, kCafePassword);
  EXPECT_EQ(Attr(payload, "LoginNetbar", "currentworksection"), "晚班");
}

TEST_F(Login, ABarTheCafeNoLongerHasIsForgotten) {
  BindCafe();
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  for (const char* bar : {"101", "102"}) {
    ASSERT_NE(TheServer().Post("/admin/bar", std::string(R"({"remove": true, "market_id": ")") +
                                                 bar + "\"}"),
              "<failed>");
  }
  const std::u16string payload = LoginNetbar(kCafeNumber, kCafePassword);
  EXPECT_NE(Body(payload, "LoginNetbar").find("<BarList/>"), std::string::npos);
  EXPECT_EQ(OpRet(payload), 1);  // the page decides by ret
  EXPECT_EQ(Attr(payload, "LoginNetbar", "ret"), "0");
  EXPECT_EQ(Attr(payload, "LoginNetbar", "message"), "bar id is timeout");
  EXPECT_EQ(Attr(payload, "LoginNetbar", "barid"), "");
  EXPECT_EQ(Attr(payload, "LoginNetbar", "barname"), "");
  const ActiveNetbarInfo record = RecordOf(kCashier);
  EXPECT_EQ(U8(record.barid + u"|" + record.barname), "|");
}

TEST_F(Login, CafeLoginWithoutASessionSendsNothingAndFails) {
  const std::u16string payload = LoginNetbar(kCafeNumber, kCafePassword);
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(Attr(payload, "LoginNetbar", "ret"), "<missing>");
  EXPECT_NE(TheServer().Get("/admin/state").find("\"iNetbarLogin\": 0"), std::string::npos);
}

TEST_F(Login, CafeLoginWithAWrongPasswordShowsTheServersText) {
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  const std::u16string payload = LoginNetbar(kCafeNumber, "000000");
  EXPECT_EQ(OpRet(payload), 0);
  EXPECT_EQ(Body(payload, "LoginNetbar"),
            R"(<LoginNetbar ret="0" message="网吧编号或密码错误"/>)");
}

// ---- Damaged answers -------------------------------------------------------------

struct FaultCase {
  const char* mode;
  const char* message;
};

TEST_F(Login, DamagedAnswersFailTheLoginWithoutHarm) {
  const std::vector<FaultCase> cases = {
      {"garbage", "unknown error"},
      {"truncated", "unknown error"},
      {"empty", "unknown error"},
      {"status0", "服务器维护中，请稍后再试"},
      {"slow", "login timeout"},
  };
  for (const FaultCase& c : cases) {
    ASSERT_NE(TheServer().Post("/admin/faults", std::string(R"({"mode": ")") + c.mode +
                                                    R"(", "endpoints": ["ilogin"]})"),
              "<failed>");
    const std::u16string payload = LoginUser(kCashier, kCashierPassword, false);
    EXPECT_EQ(Attr(payload, "LoginUser", "ret"), "0") << c.mode;
    EXPECT_EQ(Attr(payload, "LoginUser", "message"), c.message) << c.mode;
  }
  ASSERT_NE(TheServer().Post("/admin/faults", R"({"mode": "none"})"), "<failed>");
  EXPECT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  EXPECT_TRUE(WaitFor([&] { return Service().TaskCount() == 0; }));
}

}  // namespace
