// Family 4: the sales list and the checkout (each on a worker, the checkout
// subject to its spacing rule) and disabling a sold unit.
#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "operations/Checkout.h"
#include "operations/SalesQueries.h"
#include "support/CXmlDoc.h"

namespace {

// The id is matched exactly; it is handed to the store as a value, so a quote
// or a wildcard in it matches no other row.
bool DisableSale(const std::u16string& param) {
  CXmlDoc request;
  if (!FindParamElement(request, param, u"DisableSales")) return false;
  return LocalStore().DisableWareSaleById(request.GetAttr(u"id"));
}

}  // namespace

int DispatchSales(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  switch (head.SubID) {
    case 0:
      AnnounceCall(head);
      StartWorkerAndReply(doc, head, reply, query_waresales_thread, ParamText(doc));
      return 0;
    case 1: {
      AnnounceCall(head);
      const bool disabled = DisableSale(ParamText(doc));
      reply = BuildReply(doc, head, disabled);
      return 0;
    }
    case 2: {
      AnnounceCall(head);
      const bool started = StartCheckout(head, ParamText(doc));
      reply = BuildReply(doc, head, started);
      return 0;
    }
    default:
      return TraceOnlyAnswer(head);
  }
}
