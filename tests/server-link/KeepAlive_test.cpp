// The keep-alive worker (2/7) through the callback channel: its passes, a
// server-side change picked up by the next pass, the offline probe and
// "cb-11", pending handovers re-sent in id order, the logout at shut-down,
// a stop that wakes it at once, and passwords kept out of the event log.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "server-link/LinkFixture.h"
#include "server/HandoverResend.h"

namespace fs = std::filesystem;

namespace {

class KeepAlive : public ServerLinkTest {
protected:
  void Admin(std::string_view path, std::string_view json) {
    ASSERT_NE(TheServer().Post(path, json), "<failed>") << path;
  }
  static bool Has(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
  }
  // The codes from the first "cb-4" on.
  std::vector<std::string> SyncCodes() {
    std::vector<std::string> codes;
    bool started = false;
    for (const std::u16string& code : Codes()) {
      started = started || code == u"cb-4";
      if (started) codes.push_back(U8(code));
    }
    return codes;
  }
  size_t Count(std::u16string_view code) {
    size_t n = 0;
    for (const std::u16string& c : Codes()) n += c == code;
    return n;
  }
  bool StartKeepAlive() { return OpRet(Call(2, 7, {}, "keepalive")) == 1; }

  // A finished cashier section that the server has not accepted yet.
  WareWorkSectionInfo PendingSection(int id, std::string_view checkId) {
    WareWorkSectionInfo s;
    s.id = id;
    s.bFinish = true;
    s.bSaveToServer = false;
    s.beginTime = 1700000000 + id;
    s.endTime = 1700003600 + id;
    s.cashier = u"张晓梅";
    s.sectionType = u"早班";
    s.nextSectionType = u"中班";
    s.barid = u"101";
    s.barName = u"一楼吧台";
    s.netbarid = U16(kCafeNumber);
    s.pre = 200.0f;
    s.save = 200.0f;
    s.error = u"0.00";
    s.uuid = U16(checkId);
    s.WareDetails = U16(
        "<goods><item><goods_id>1001</goods_id><properties_id>1</properties_id>"
        "<class_id>1</class_id><class_name>饮料</class_name><goods_name>可口可乐500ml</goods_name>"
        "<unit_name>瓶</unit_name><rebate>3.00</rebate><take_num>30</take_num>"
        "<handover_num>28</handover_num><this_sale>2</this_sale><number>21001</number></item>"
        "</goods>");
    return s;
  }
  size_t PendingCashierSections() {
    std::vector<WareWorkSectionInfo> pending;
    EXPECT_TRUE(Store().QueryUploadWareWorkSection(pending));
    return pending.size();
  }
  // The check ids of the cashier uploads the server received, in arrival
  // order (one per upload, accepted or not).
  std::vector<std::string> Uploads() {
    const std::string log = TheServer().Get("/admin/uploads");
    const std::string uploads = log.substr(0, log.rfind("\"accepted\": {"));
    const std::string entry = "\"endpoint\": \"iFinishWorkSection\"";
    const std::string key = "\"check_id\": \"";
    std::vector<std::string> seen;
    for (size_t at = uploads.find(entry); at != std::string::npos;
         at = uploads.find(entry, at + 1)) {
      const size_t begin = uploads.find(key, at) + key.size();
      seen.push_back(uploads.substr(begin, uploads.find('"', begin) - begin));
    }
    return seen;
  }
};

const std::vector<std::string> kFirstPass = {
    "cb-4",   "cb-3-1", "cb-3-2", "cb-3-3", "cb-5-1", "cb-5-2", "cb-5-3", "cb-6-1", "cb-6-2",
    "cb-6-3", "cb-6-5", "cb-6-4", "cb-7-1", "cb-7-2", "cb-7-3", "cb-6-6", "cb-8"};
const std::vector<std::string> kQuietPass = {"cb-4",   "cb-5-1", "cb-5-3", "cb-6-1",
                                             "cb-6-3", "cb-7-1", "cb-7-3", "cb-8"};

TEST_F(KeepAlive, PassesReachThePageInOrderAndASecondStartIsRefused) {
  BindCafe();
  ASSERT_TRUE(StartKeepAlive());
  EXPECT_FALSE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] { return Count(u"cb-8") >= 2; }));
  Service().Stop();
  ASSERT_TRUE(WaitFor([&] { return !Service().KeepAliveRunning(); }));
  std::vector<std::string> codes = SyncCodes();
  ASSERT_GE(codes.size(), kFirstPass.size() + kQuietPass.size());
  EXPECT_EQ(std::vector<std::string>(codes.begin(), codes.begin() + kFirstPass.size()),
            kFirstPass);
  EXPECT_EQ(std::vector<std::string>(codes.begin() + kFirstPass.size(),
                                     codes.begin() + kFirstPass.size() + kQuietPass.size()),
            kQuietPass);
  for (const RecordedCall& call : page.Calls()) {
    if (call.code.starts_with(u"cb-") && !call.code.starts_with(u"cb-1-")) {
      EXPECT_TRUE(call.payload.empty()) << U8(call.code);
    }
  }
}

TEST_F(KeepAlive, AVersionBumpOnTheServerIsPickedUpByTheNextPass) {
  BindCafe();
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] { return Count(u"cb-8") >= 1; }));
  const size_t changesBefore = Count(u"cb-6-2");
  Admin("/admin/ware", R"({"goods_id": 1002, "goods_name": "百事可乐330ml", "rebate": 2.5})");
  ASSERT_TRUE(WaitFor([&] { return Count(u"cb-6-2") > changesBefore; }));
  ASSERT_TRUE(WaitFor([&] {
    std::vector<WareInfo> found;
    return Store().QueryWareByID(found, 1002) && !found.empty() &&
           found.front().name == U16("百事可乐330ml") && found.front().price == 2.5f;
  }));
}

TEST_F(KeepAlive, OfflineProbesUntilTheServerAnswersThenTellsThePageOnce) {
  BindCafe();
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, true), "LoginUser", "ret"), "1");
  // The server is there but answers nothing: each probe fails.
  Admin("/admin/faults", R"({"mode": "drop", "endpoints": ["iNetbarLogin"]})");
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] {
    return Has(TheServer().Get("/admin/requests?endpoint=iNetbarLogin"), "\"outcome\": \"drop\"");
  }));
  EXPECT_EQ(Count(u"cb-11"), 0u);
  Admin("/admin/faults", R"({"mode": "none"})");
  EXPECT_EQ(AwaitCode(u"cb-11"), u"");
  ASSERT_TRUE(WaitFor([&] { return !Service().KeepAliveRunning(); }));
  EXPECT_EQ(Count(u"cb-11"), 1u);
  EXPECT_EQ(Count(u"cb-4"), 0u);  // no synchronisation offline
}

TEST_F(KeepAlive, OfflineProbeAlsoFindsAServerThatWasDown) {
  BindCafe();
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, true), "LoginUser", "ret"), "1");
  const int port = TheServer().Port();
  TheServer().Stop();
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(TheServer().Start(port));
  EXPECT_EQ(AwaitCode(u"cb-11"), u"");
}

TEST_F(KeepAlive, WithoutASessionItEndsAtOnce) {
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] { return !Service().KeepAliveRunning(); }));
  EXPECT_TRUE(page.Calls().empty());
  // Once it ended, the page may start it again.
  EXPECT_TRUE(StartKeepAlive());
}

TEST_F(KeepAlive, StopWakesALongWaitAtOnce) {
  BindCafe();
  Service().SetKeepAliveCycles({std::chrono::hours(1), std::chrono::hours(1)});
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] { return Count(u"cb-8") >= 1; }));
  Service().Stop();
  ASSERT_TRUE(WaitFor([&] { return !Service().KeepAliveRunning(); }));
  EXPECT_EQ(Count(u"cb-4"), 1u);
}

TEST_F(KeepAlive, StopLogsOutOnlyWithASession) {
  Service().Stop();
  EXPECT_TRUE(Has(TheServer().Get("/admin/state"), "\"logouts\": 0"));
  CServiceManager::DestroyInstance();
  ASSERT_TRUE(Service().Init());
  Service().SetPageCallback(page.get());
  ASSERT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
  Service().Stop();
  EXPECT_TRUE(WaitFor([&] { return Has(TheServer().Get("/admin/state"), "\"logouts\": 1"); }));
}

TEST_F(KeepAlive, APendingHandoverIsResentOnceTheServerAnswers) {
  BindCafe();
  ASSERT_TRUE(Store().InserWareWorkSection(PendingSection(50, "CHK-50")));
  ASSERT_EQ(PendingCashierSections(), 1u);
  Admin("/admin/faults", R"({"mode": "drop", "endpoints": ["iFinishWorkSection"]})");
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] { return Has(TheServer().Get("/admin/uploads"), "\"drop\""); }));
  EXPECT_EQ(PendingCashierSections(), 1u);
  Admin("/admin/faults", R"({"mode": "none"})");
  ASSERT_TRUE(WaitFor([&] { return PendingCashierSections() == 0; }, std::chrono::seconds(60)));
  const std::string uploads = TheServer().Get("/admin/uploads");
  EXPECT_TRUE(Has(uploads, "\"outcome\": \"accepted\"")) << uploads;
  EXPECT_TRUE(Has(uploads, "\"relief\": \"早班\""));
  EXPECT_TRUE(Has(uploads, "\"problems\": []"));
}

TEST_F(KeepAlive, ARejectedRecordHoldsBackTheOnesAfterIt) {
  BindCafe();
  ASSERT_TRUE(Store().InserWareWorkSection(PendingSection(51, "CHK-A")));
  ASSERT_TRUE(Store().InserWareWorkSection(PendingSection(52, "CHK-B")));
  Admin("/admin/faults", R"({"mode": "reject_uploads"})");
  EXPECT_FALSE(ResendWareWorkSections(Service()));  // status 2: not accepted
  EXPECT_EQ(Uploads(), (std::vector<std::string>{"CHK-A"}));
  EXPECT_EQ(PendingCashierSections(), 2u);

  Admin("/admin/faults", R"({"mode": "none"})");
  EXPECT_TRUE(ResendWareWorkSections(Service()));
  EXPECT_EQ(Uploads(), (std::vector<std::string>{"CHK-A", "CHK-A", "CHK-B"}));
  EXPECT_EQ(PendingCashierSections(), 0u);
  EXPECT_FALSE(ResendWareWorkSections(Service()));  // nothing pending
}

TEST_F(KeepAlive, APendingMaterialHandoverIsResent) {
  BindCafe();
  MaterialWorkSectionInfo s;
  s.id = 60;
  s.bFinish = true;
  s.uuid = u"CHK-M";
  s.netbarid = U16(kCafeNumber);
  s.barid = u"101";
  s.barName = u"一楼吧台";
  s.sectionType = u"早班";
  s.endTime = 1700003600;
  s.cupID = 9001;
  s.materialDetails = U16(
      "<material_info><item><material_id>3001</material_id><type>0</type>"
      "<former_num>40</former_num><user_num>2</user_num><material_name>珍珠粉圆</material_name>"
      "<unit_name>袋</unit_name><scrap_num>0</scrap_num><active_gift>0</active_gift></item>"
      "<item><material_id>9001</material_id><type>1</type><former_num>500</former_num>"
      "<user_num>3</user_num><material_name>杯子</material_name><unit_name>杯</unit_name></item>"
      "</material_info>");
  ASSERT_TRUE(Store().InserMaterialWorkSection(s));
  EXPECT_TRUE(ResendMaterialWorkSections(Service()));
  std::vector<MaterialWorkSectionInfo> pending;
  ASSERT_TRUE(Store().QueryUploadMaterialWorkSection(pending));
  EXPECT_TRUE(pending.empty());
  const std::string uploads = TheServer().Get("/admin/uploads");
  EXPECT_TRUE(Has(uploads, "\"check_id\": \"CHK-M\""));
  EXPECT_TRUE(Has(uploads, "\"problems\": []")) << uploads;
}

TEST_F(KeepAlive, PasswordsNeverReachTheEventLog) {
  BindCafe();
  EXPECT_EQ(Attr(LoginUser(kCashier, "000000", false), "LoginUser", "message"), "wrong password");
  ASSERT_TRUE(Store().InserWareWorkSection(PendingSection(53, "CHK-LOG")));
  ASSERT_TRUE(StartKeepAlive());
  ASSERT_TRUE(WaitFor([&] { return Count(u"cb-8") >= 1 && PendingCashierSections() == 0; }));
  Service().Stop();  // writes out the event log

  std::string logs;
  for (const fs::directory_entry& entry :
       fs::recursive_directory_iterator(fs::path(LinkWorkDir()) / "LOG")) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    logs += text.str();
  }
  ASSERT_FALSE(logs.empty());
  EXPECT_TRUE(Has(logs, "HTTP")) << "the exchanges were logged";
  for (std::string_view secret : {kCashierPassword, kCafePassword, std::string_view("000000")}) {
    for (const std::string& form : {">" + std::string(secret) + "<",
                                    "\"" + std::string(secret) + "\""}) {
      EXPECT_FALSE(Has(logs, form)) << secret;
    }
  }
  EXPECT_FALSE(Has(logs, "<password>"));
}

}  // namespace
