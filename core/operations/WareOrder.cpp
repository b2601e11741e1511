#include "operations/WareOrder.h"

#include "operations/CallbackCodes.h"
#include "operations/WorkerReply.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

// Each item is its own write, so a failure part way keeps the earlier ones;
// the answer is the outcome of the last item, and false without any.
bool SaveOrders(const std::u16string& param, CLocalDB* db) {
  CXmlDoc doc;
  doc.Parse(param);
  if (!db || !doc.Find(u"SetWareOrder") || !doc.Enter()) return false;
  bool last = false;
  while (doc.Find(u"Item")) {
    last = db->SetWareOrder(Helpers::ParseInt(doc.GetAttr(u"wareid")),
                            Helpers::ParseInt(doc.GetAttr(u"order")));
  }
  return last;
}

}  // namespace

void save_ware_order_thread(TaskArgs& args) {
  Trace::Write("begin save_ware_order_thread");
  const bool saved = SaveOrders(args.param, CServiceManager::GetInstance().GetLocalDB());
  SendWorkerResult(args, CallbackCode::kWareOrder, saved);
  Trace::Write("end save_ware_order_thread");
}
