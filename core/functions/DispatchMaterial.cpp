// Family 3: the material side of the shift. The material list for the
// handover form comes from a worker; the other functions come with the
// material handover.
#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "operations/SectionQueries.h"

int DispatchMaterial(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, query_metarialworksection_thread, u"");
      return 0;
    default:
      return TraceOnlyAnswer(head);
  }
}
