// Family 2: settings, devices and logins. Built so far: saving and loading
// the café identity, the two places that open the local store of a café and
// bar. The other functions come with the logins, devices and settings.
#include <ctime>
#include <optional>
#include <string>

#include "functions/ConfigDeviceFunctions.h"
#include "functions/ConfigLoginFunctions.h"
#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"

namespace {

struct NetbarIdentity {
  NetbarInfo store;  // the row the local store keeps
  std::u16string cashier;
};

std::optional<NetbarIdentity> ReadSaveNetbarLogin(const std::u16string& param) {
  CXmlDoc request;
  if (!FindParamElement(request, param, u"SaveNetbarLogin")) return std::nullopt;
  NetbarIdentity identity;
  NetbarInfo& info = identity.store;
  info.netbarid = request.GetAttr(u"id");
  info.netbarpw = request.GetAttr(u"pw");
  info.netbarname = request.GetAttr(u"netbarname");
  info.barName = request.GetAttr(u"barname");
  info.barID = request.GetAttr(u"barid");
  info.cashier = request.GetAttr(u"cashier");
  info.currentworksection = request.GetAttr(u"currentworksection");
  identity.cashier = info.cashier;
  return identity;
}

// The café number and bar id name the store's file in the work directory:
// an empty one would open a store of no café, and a slash would reach
// outside the work directory.
bool NamesAStoreFile(const std::u16string& part) {
  return !part.empty() && part.find_first_of(std::u16string(u"/\0", 2)) == std::u16string::npos;
}

bool OpenStore(CLocalDB& db, const std::u16string& netbarId, const std::u16string& barId) {
  CGlobalConfig* settings = CServiceManager::GetInstance().GetGlobalConfig();
  if (!settings || !NamesAStoreFile(netbarId) || !NamesAStoreFile(barId)) return false;
  if (!db.InitDB(settings->GetDBFilePath(netbarId, barId))) return false;
  // A run that ended between closing a shift and opening the next one left
  // no open section: open its successor before anyone sells into nothing.
  // A new store has no sections at all; the café set-up opens its first ones.
  bool wareOk = db.GetCurWareWorkSectionID() <= 0 || db.EnsureOpenWareWorkSection();
  bool materialOk = db.GetCurMaterialWorkSectionID() <= 0 || db.EnsureOpenMaterialWorkSection();
  return wareOk && materialOk;
}

// A new store starts with an open cashier section and an open material
// section, and remembers the café it belongs to.
bool PrepareNewStore(CLocalDB& db, const NetbarInfo& info) {
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  if (db.NeedNewWareWorkSection()) {
    WareWorkSectionInfo section;
    section.id = db.GetCurWareWorkSectionID() + 1;
    section.beginTime = now;
    section.cashier = info.cashier;
    section.sectionType = info.currentworksection;
    if (!db.InserWareWorkSection(section)) return false;
  }
  if (db.NeedNewMaterialWorkSection()) {
    MaterialWorkSectionInfo section;
    section.id = db.GetCurMaterialWorkSectionID() + 1;
    section.beginTime = now;
    if (!db.InserMaterialWorkSection(section)) return false;
  }
  return db.InserNetbarInfo(info);
}

bool SaveNetbarInfo(const std::u16string& param) {
  const std::optional<NetbarIdentity> identity = ReadSaveNetbarLogin(param);
  if (!identity) return false;
  const NetbarInfo& info = identity->store;
  CGlobalConfig* settings = CServiceManager::GetInstance().GetGlobalConfig();
  if (!settings || !NamesAStoreFile(info.netbarid) || !NamesAStoreFile(info.barID)) return false;
  CLocalDB& db = LocalStore();
  if (!db.IsOpen()) {
    if (!OpenStore(db, info.netbarid, info.barID) || !PrepareNewStore(db, info)) return false;
  }
  UserInfo user;
  settings->GetUserInfo(user);
  ActiveNetbarInfo record;
  record.userid = user.id;
  record.id = info.netbarid;
  record.pw = info.netbarpw;
  record.barid = info.barID;
  record.barname = info.barName;
  record.cashier = identity->cashier;
  record.db = settings->GetDBFilePath(info.netbarid, info.barID);
  return settings->SetActiveNetbar(record);
}

std::optional<std::u16string> LoadNetbarInfo(const std::u16string& param) {
  CGlobalConfig* settings = CServiceManager::GetInstance().GetGlobalConfig();
  CXmlDoc request;
  const std::u16string userId =
      FindParamElement(request, param, u"LoadNetbarLogin") ? request.GetAttr(u"userid") : u"";
  ActiveNetbarInfo record;
  if (!settings || !settings->GetNetbarInfoByUser(userId, record)) return std::nullopt;
  CLocalDB& db = LocalStore();
  if (!db.IsOpen() && !OpenStore(db, record.id, record.barid)) return std::nullopt;
  NetbarInfo info;
  if (!db.QueryNetbarInfo(info)) return std::nullopt;
  CXmlDoc body;
  body.Parse(u"");
  body.Append(u"LoadNetbarLogin");
  body.SetAttr(u"id", info.netbarid);
  body.SetAttr(u"pw", info.netbarpw);
  body.SetAttr(u"netbarname", info.netbarname);
  body.SetAttr(u"barname", info.barName);
  body.SetAttr(u"barid", info.barID);
  body.SetAttr(u"cashier", record.cashier);
  body.SetAttr(u"currentworksection", info.currentworksection);
  return body.GetText();
}

}  // namespace

int DispatchConfig(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 4:
      return UserLoginFunction(doc, head, reply);
    case 6:
      return NetbarLoginFunction(doc, head, reply);
    case 7:
      return StartKeepAliveFunction(doc, head, reply);
    case 0:
      return SetConfigFunction(doc, head, reply);
    case 1:
      return GetConfigFunction(doc, head, reply);
    case 2:
      return GetDeviceFunction(doc, head, reply);
    case 5:
      return VerifyUserPasswordFunction(doc, head, reply);
    case 8:
      return StartBarcodeMonitorFunction(doc, head, reply);
    case 3: {
      AnnounceCall(head);
      const bool saved = SaveNetbarInfo(ParamText(doc));
      reply = BuildReply(doc, head, saved);
      return 0;
    }
    case 9: {
      AnnounceCall(head);
      const std::optional<std::u16string> body = LoadNetbarInfo(ParamText(doc));
      reply = BuildReply(doc, head, body.has_value(), body);
      return 0;
    }
    default:
      return TraceOnlyAnswer(head);
  }
}
