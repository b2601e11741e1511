// Family 5: the cashier handover screen. The figures of the current section,
// the handover itself and the ware stock-take sheet come from workers; the
// remainder check answers at once.
#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "operations/CashierHandover.h"
#include "operations/CountChecks.h"
#include "operations/SectionQueries.h"

int DispatchWorkSection(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, query_salesworksection_thread, u"");
      return 0;
    case 1:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, finish_worksection_thread, ParamText(doc),
                          kHandoverStartedBody);
      return 0;
    case 2:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, print_ware_check_thread, u"");
      return 0;
    case 3: {
      AnnounceCall(head);
      const RemainderCheck check = CheckWareCount(ParamText(doc));
      reply = BuildReply(doc, head, check.accepted, RemainderCheckBody(kCheckWareCount, check));
      return 0;
    }
    default:
      return TraceOnlyAnswer(head);
  }
}
