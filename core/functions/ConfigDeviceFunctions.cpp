#include "functions/ConfigDeviceFunctions.h"

#include <optional>
#include <vector>

#include "functions/HandlerSupport.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"

namespace {

CGlobalConfig* Settings() { return CServiceManager::GetInstance().GetGlobalConfig(); }

// The page sends the whole settings document back as it edited it.
bool SaveSettings(const std::u16string& param) {
  CXmlDoc request;
  CGlobalConfig* settings = Settings();
  if (!settings || !FindParamElement(request, param, u"Config")) return false;
  std::u16string text = request.GetText();
  if (!settings->SaveGlobalConfig(text)) return false;
  // The port may have changed: the barcode monitor reads it again.
  CServiceManager::GetInstance().m_barcodeReopen = true;
  return true;
}

std::optional<std::u16string> DeviceList() {
  CDevMgr* devices = CServiceManager::GetInstance().GetDevMgr();
  std::vector<std::u16string> printers;
  std::vector<std::u16string> ports;
  if (!devices || !devices->ListPrinters(printers) || !devices->ListPorts(ports))
    return std::nullopt;
  CXmlDoc body;
  body.Parse(u"");
  body.Append(u"Devicelist");
  body.Enter();
  for (const std::u16string& name : printers) {
    body.Append(u"Printer");
    body.SetAttr(u"name", name);
  }
  for (const std::u16string& name : ports) {
    body.Append(u"Com");
    body.SetAttr(u"name", name);
  }
  return body.GetText();
}

bool PasswordMatches(const std::u16string& param) {
  CXmlDoc request;
  CGlobalConfig* settings = Settings();
  if (!settings || !FindParamElement(request, param, u"CheckLockPW")) return false;
  UserInfo user;
  if (!settings->GetUserInfo(user)) return false;
  return request.GetAttr(u"pw") == user.pw;
}

std::u16string EmptyRemark() {
  CXmlDoc body;
  body.Parse(u"");
  body.Append(u"Remark");
  return body.GetText();
}

}  // namespace

int SetConfigFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  reply = BuildReply(doc, head, SaveSettings(ParamText(doc)));
  return 0;
}

int GetConfigFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  std::u16string text;
  CGlobalConfig* settings = Settings();
  const bool read = settings && settings->LoadGlobalConfig(text);
  reply = read ? BuildReply(doc, head, true, text) : BuildReply(doc, head, false);
  return 0;
}

int GetDeviceFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  const std::optional<std::u16string> body = DeviceList();
  reply = BuildReply(doc, head, body.has_value(), body);
  return 0;
}

int VerifyUserPasswordFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  reply = BuildReply(doc, head, PasswordMatches(ParamText(doc)));
  return 0;
}

int StartBarcodeMonitorFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  AnnounceCall(head);
  const bool started = CServiceManager::GetInstance().StartBarcodeMonitor();
  reply = BuildReply(doc, head, started, EmptyRemark());
  return 0;
}
