// Family 5: the cashier handover screen. The figures of the current section
// come from a worker; the other functions come with the cashier handover.
#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "operations/SectionQueries.h"

int DispatchWorkSection(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, query_salesworksection_thread, u"");
      return 0;
    default:
      return TraceOnlyAnswer(head);
  }
}
