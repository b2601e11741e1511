// Family 3: the material side of the shift. The material list for the
// handover form, the handover itself and the material stock-take sheet come
// from workers; the remainder check answers at once.
#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "operations/CashierHandover.h"
#include "operations/CountChecks.h"
#include "operations/MaterialHandover.h"
#include "operations/SectionQueries.h"

int DispatchMaterial(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, query_metarialworksection_thread, u"");
      return 0;
    case 1:
      // Material stocks change only through the handover and the catalogue
      // synchronisation, never from the page.
      AnnounceCall(head);
      reply = BuildReply(doc, head, false);
      return 0;
    case 2:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, finish_metarial_worksection_thread, ParamText(doc),
                          kHandoverStartedBody);
      return 0;
    case 3:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, print_material_check_thread, u"");
      return 0;
    case 4: {
      AnnounceCall(head);
      const RemainderCheck check = CheckMaterialCount(LocalStore(), ParamText(doc));
      reply =
          BuildReply(doc, head, check.accepted, RemainderCheckBody(kCheckMaterialCount, check));
      return 0;
    }
    default:
      return TraceOnlyAnswer(head);
  }
}
