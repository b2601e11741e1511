// Families whose functions are not built yet: a listed SubID is traced and
// answered with an empty reply, an unlisted one reports status 1.
#include "functions/FunctionFamilies.h"
#include "functions/RoutingTable.h"

namespace {

int TraceOnly(const CallHead& head) {
  const FunctionRoute* route = FindRoute(head.MainID, head.SubID);
  if (!route) return 1;
  TraceFunctionCall(*route);
  return 0;
}

}  // namespace

int DispatchWare(CXmlDoc&, const CallHead& head, std::u16string&) { return TraceOnly(head); }
int DispatchConfig(CXmlDoc&, const CallHead& head, std::u16string&) { return TraceOnly(head); }
int DispatchMaterial(CXmlDoc&, const CallHead& head, std::u16string&) { return TraceOnly(head); }
int DispatchSales(CXmlDoc&, const CallHead& head, std::u16string&) { return TraceOnly(head); }
int DispatchWorkSection(CXmlDoc&, const CallHead& head, std::u16string&) { return TraceOnly(head); }

