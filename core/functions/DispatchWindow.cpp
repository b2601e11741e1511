#include "functions/FunctionFamilies.h"
#include "service/CMainWndMgr.h"
#include "support/CXmlDoc.h"

namespace {

using WindowOperation = void (CMainWndMgr::*)();

// The request is cleared before the operation runs, as every family does
// before it builds its reply.
void RunAndReply(CXmlDoc& doc, const CallHead& head, std::u16string& reply,
                 WindowOperation operation) {
  doc.Parse(u"");
  (CMainWndMgr::GetInstance().*operation)();
  reply = BuildReply(doc, head, true);
}

}  // namespace

// Unknown SubIDs report status 0 here, like CloseHost: nothing reads it.
int DispatchWindow(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      CMainWndMgr::GetInstance().CloseHost();
      break;
    case 1:
      RunAndReply(doc, head, reply, &CMainWndMgr::MinimizeHost);
      break;
    case 2:
      RunAndReply(doc, head, reply, &CMainWndMgr::MaximizeHost);
      break;
    case 3:
      RunAndReply(doc, head, reply, &CMainWndMgr::RestoreHost);
      break;
    case 4:
      RunAndReply(doc, head, reply, &CMainWndMgr::RestartHost);
      break;
    default:
      break;
  }
  return 0;
}
