#include "server/SessionLogin.h"

#include <chrono>
#include <set>

#include "server/CHttpClientMgr.h"
#include "server/ServerMessages.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kLoginPoll = 500ms;

// What the offline login answers in place of the server.
constexpr std::u16string_view kOfflineAccepted =
    u"<jxcapi><status>1</status><info>ok</info></jxcapi>";
constexpr std::u16string_view kOfflineRefused =
    u"<jxcapi><status>0</status><info>账号或密码错误</info></jxcapi>";
// The server's refusal, which the page shows as its own text.
constexpr std::u16string_view kServerWrongPassword = u"账号或者密码错误";
constexpr std::u16string_view kCashierIdentity = u"user";

// Elements and attributes of the page replies.
constexpr std::u16string_view kLoginUser = u"LoginUser";
constexpr std::u16string_view kLoginNetbar = u"LoginNetbar";
constexpr std::u16string_view kBarList = u"BarList";
constexpr std::u16string_view kItem = u"Item";

// The fragment's `element`, current in `doc`; false without one.
bool FindParam(CXmlDoc& doc, std::u16string_view param, std::u16string_view element) {
  doc.Parse(param);
  return doc.Find(element);
}

// Remembered credentials and a café record of the account's own.
bool OfflineCredentialsMatch(CServiceManager& service, std::u16string_view account,
                             std::u16string_view password) {
  CGlobalConfig* settings = service.GetGlobalConfig();
  std::u16string remembered;
  ActiveNetbarInfo record;
  return settings && settings->GetLocalUserInfo(account, remembered) && remembered == password &&
         settings->GetNetbarInfoByUser(account, record) && record.userid == account;
}

std::u16string FailureMessage(std::u16string_view serverReply, const ReplyHead& head) {
  if (serverReply.empty()) return std::u16string(kLoginTimeout);
  if (head.hasRoot && head.hasInfo) {
    return head.info == kServerWrongPassword ? std::u16string(kWrongPassword) : head.info;
  }
  return std::u16string(kUnknownError);
}

// The café record the login binds to: a cashier account takes the machine's
// own; any other account, and every offline login, the account's entry.
bool ChooseCafeRecord(CServiceManager& service, std::u16string_view account, bool cashier,
                      ActiveNetbarInfo& record) {
  CGlobalConfig* settings = service.GetGlobalConfig();
  if (!settings) return false;
  return cashier ? settings->GetActiveNetbar(record)
                 : settings->GetNetbarInfoByUser(account, record);
}

void SetBarList(CXmlDoc& page, const std::vector<MarketItem>& markets) {
  page.Enter();
  page.Append(kBarList);
  page.Enter();
  for (const MarketItem& market : markets) {
    page.Append(kItem);
    page.SetAttr(u"id", market.id.value_or(u""));
    page.SetAttr(u"name", market.name);
  }
  page.Leave();
  page.Leave();
}

// The remembered bar against the café's bars: kept when it is one of them,
// forgotten otherwise. Sets `barid`, `barname`, `ret` and `message`.
void CheckBar(CServiceManager& service, CXmlDoc& page, ActiveNetbarInfo& record,
              const std::vector<MarketItem>& markets) {
  std::set<std::u16string> ids;
  for (const MarketItem& market : markets) {
    if (market.id) ids.insert(*market.id);
  }
  const bool known = record.barid.empty() || ids.contains(record.barid);
  page.SetAttr(u"barid", known ? record.barid : u"");
  page.SetAttr(u"barname", known ? record.barname : u"");
  page.SetAttr(u"ret", known ? 1 : 0);
  page.SetAttr(u"message", known ? u"" : kBarIdTimeout);
  if (known) return;
  record.barid.clear();
  record.barname.clear();
  if (CGlobalConfig* settings = service.GetGlobalConfig()) settings->SetActiveNetbar(record);
}

}  // namespace

LoginOutcome MakeLoginUserReply(CServiceManager& service, std::u16string_view account,
                                std::u16string_view password, std::u16string_view serverReply,
                                bool local) {
  CXmlDoc page;
  page.Parse(u"");
  page.Append(kLoginUser);
  const ReplyHead head = ReadReplyHead(serverReply);
  bool ok = head.Succeeded();
  UserLoginReply online;
  if (ok && !local) {
    online = ReadUserLoginReply(serverReply);
    ok = online.hasFields;
  }
  ActiveNetbarInfo record;
  const bool cashier = !local && online.identity == kCashierIdentity;
  ok = ok && ChooseCafeRecord(service, account, cashier, record);
  if (ok) {
    if (!local) service.SetSessionId(online.sessionId);
    service.SetActiveNetbarUser(record.userid);
    page.SetAttr(u"ret", 1);
    page.SetAttr(u"netbarid", record.id);
    page.SetAttr(u"netbarpw", record.pw);
    page.SetAttr(u"bindbar", record.db.empty() ? 0 : 1);
    page.SetAttr(u"barid", record.barid);
    page.SetAttr(u"barname", record.barname);
    service.GetGlobalConfig()->SetLocalUserInfo(account, password);
  } else {
    page.SetAttr(u"ret", 0);
    page.SetAttr(u"message", FailureMessage(serverReply, head));
  }
  page.SetAttr(u"local", local ? 1 : 0);
  return {ok, page.GetText()};
}

LoginOutcome MakeLoginNetbarReply(CServiceManager& service, std::u16string_view serverReply) {
  const NetbarLoginReply reply = ReadNetbarLoginReply(serverReply);
  CXmlDoc page;
  page.Parse(u"");
  page.Append(kLoginNetbar);
  // A failed reply still shows what was read before the missing field.
  const int read = reply.fieldsRead;
  if (read >= 2) page.SetAttr(u"netbarid", reply.netbarId);
  if (read >= 3) page.SetAttr(u"netbarname", reply.netbarName);
  if (read >= 4) SetBarList(page, reply.markets);
  if (read >= 5) page.SetAttr(u"cashier", reply.cashier);

  ActiveNetbarInfo record;
  bool ok = reply.Complete();
  if (ok) {
    service.SetSessionId(reply.sessionId);
    service.SetOpeningAmount(reply.preShelve);
    CGlobalConfig* settings = service.GetGlobalConfig();
    ok = settings && settings->GetNetbarInfoByUser(service.GetActiveNetbarUser(), record);
  }
  if (!ok) {
    page.SetAttr(u"ret", 0);
    page.SetAttr(u"message", reply.head.hasInfo ? reply.head.info : u"");
    return {false, page.GetText()};
  }
  const bool fixed = !record.fixedworksection.empty() &&
                     reply.jobList.find(record.fixedworksection) != std::u16string::npos;
  page.SetAttr(u"currentworksection", fixed ? record.fixedworksection : reply.jobOrder);
  CheckBar(service, page, record, reply.markets);
  return {true, page.GetText()};
}

LoginOutcome RunUserLogin(CServiceManager& service, std::u16string_view param) {
  CXmlDoc request;
  if (!FindParam(request, param, kLoginUser)) {
    Trace::Write("%s to login_user_thread", "failed");
    return MakeLoginUserReply(service, u"", u"", u"", service.m_localMode);
  }
  const std::u16string account = request.GetAttr(u"id");
  const std::u16string password = request.GetAttr(u"pw");
  const bool local = Helpers::ParseInt(request.GetAttr(u"local")) != 0;
  service.m_localMode = local;
  std::u16string serverReply;
  bool exchanged = false;
  if (local) {
    service.SetCurrentAccount(account);
    exchanged = OfflineCredentialsMatch(service, account, password);
    serverReply = exchanged ? kOfflineAccepted : kOfflineRefused;
  } else {
    // Only the online login needs the server's address.
    const CClientConfig* config = service.GetConfig();
    CHttpClientMgr* http = service.GetHttpMgr();
    const std::u16string url = config ? config->GetLoginURL() : u"";
    if (url.empty() || !http) {
      Trace::Write("login addr is empty: [%s]", url);
    } else {
      exchanged = http->PostAndWait(url, BuildUserLoginRequest(account, password), serverReply,
                                    kLoginPoll);
    }
  }
  Trace::Write("%s to login_user_thread", exchanged ? "success" : "failed");
  return MakeLoginUserReply(service, account, password, serverReply, local);
}

LoginOutcome RunNetbarLogin(CServiceManager& service, std::u16string_view param) {
  const CClientConfig* config = service.GetConfig();
  CHttpClientMgr* http = service.GetHttpMgr();
  const std::u16string url = config ? config->GetNetbarLoginURL() : u"";
  const std::u16string sessionId = service.GetSessionId();
  std::u16string serverReply;
  CXmlDoc request;
  if (sessionId.empty() || url.empty() || !http) {
    Trace::Write("Session id or login addr is empty: [%s][%s]", url, sessionId);
  } else if (FindParam(request, param, kLoginNetbar)) {
    http->PostAndWait(url,
                      BuildNetbarLoginRequest(sessionId, request.GetAttr(u"pw"),
                                              request.GetAttr(u"id")),
                      serverReply, kLoginPoll);
  }
  LoginOutcome outcome;
  if (!serverReply.empty()) outcome = MakeLoginNetbarReply(service, serverReply);
  Trace::Write("%s to login_netbar_thread", outcome.result ? "success" : "failed");
  return outcome;
}
