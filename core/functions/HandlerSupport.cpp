#include "functions/HandlerSupport.h"

#include "functions/RoutingTable.h"
#include "support/CXmlDoc.h"

bool AnnounceCall(const CallHead& head) {
  const FunctionRoute* route = FindRoute(head.MainID, head.SubID);
  if (!route) return false;
  TraceFunctionCall(*route);
  return true;
}

CLocalDB& LocalStore() {
  static CLocalDB unopened;
  CLocalDB* db = CServiceManager::GetInstance().GetLocalDB();
  return db ? *db : unopened;
}

std::u16string ParamText(CXmlDoc& request) {
  std::u16string param;
  ReadParam(request, param);
  return param;
}

bool FindParamElement(CXmlDoc& doc, std::u16string_view param, std::u16string_view element) {
  doc.Parse(param);  // a damaged fragment is read as far as its index reaches
  return doc.Find(element);
}

void StartWorkerAndReply(CXmlDoc& request, const CallHead& head, std::u16string& reply,
                         CServiceManager::RequestProcedure procedure, std::u16string param,
                         std::optional<std::u16string_view> body) {
  const bool started =
      CServiceManager::GetInstance().StartRequestWorker(procedure, head, std::move(param));
  reply = BuildReply(request, head, started, body);
}

int TraceOnlyAnswer(const CallHead& head) { return AnnounceCall(head) ? 0 : 1; }
