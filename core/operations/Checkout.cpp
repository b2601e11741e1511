#include "operations/Checkout.h"

#include <ctime>

#include "operations/CallbackCodes.h"
#include "operations/CheckoutOrder.h"
#include "operations/CheckoutPrint.h"
#include "operations/CheckoutSpacing.h"
#include "operations/WorkerReply.h"
#include "service/CServiceManager.h"
#include "support/Trace.h"

namespace {

constexpr std::u16string_view kSaleLogPrefix = u"销售商品: ";

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The paper of a stored sale; nothing when the service has no device manager
// or configuration (printing is then impossible anyway).
void PrintStoredSale(CServiceManager& service, CLocalDB& db, const CheckoutRequest& request,
                     const CheckoutOrder& order, std::int64_t now) {
  CDevMgr* devices = service.GetDevMgr();
  const CClientConfig* templates = service.GetConfig();
  const CGlobalConfig* settings = service.GetGlobalConfig();
  if (!devices || !templates || !settings) return;
  PrintCheckout({*devices, *templates, *settings, db}, request, order, now);
}

// Steps 2 to 10 of a checkout; true when the sale lines were stored.
bool RunCheckout(const std::u16string& param) {
  CheckoutRequest request;
  if (!ReadCheckoutRequest(param, request)) {
    Trace::Write("[Checkout]Local operation failed");
    return false;
  }
  CServiceManager& service = CServiceManager::GetInstance();
  service.GetLogMgr()->Post(std::u16string(kSaleLogPrefix) + param);
  CLocalDB* db = service.GetLocalDB();
  const std::int64_t now = Now();
  CheckoutOrder order;
  if (!db || !MakeCheckoutOrder(*db, request, now, order)) {
    Trace::Write("[Checkout]Local operation failed");
    return false;
  }
  if (!db->InserWareSale(order.units)) {
    Trace::Write("[Checkout]db operation failed");
    return false;
  }
  PrintStoredSale(service, *db, request, order, now);
  return true;
}

}  // namespace

bool StartCheckout(const CallHead& head, std::u16string param) {
  if (!CheckoutSpacing::Instance().TryStart()) return false;
  return CServiceManager::GetInstance().StartRequestWorker(checkout_thread, head, std::move(param));
}

void checkout_thread(TaskArgs& args) {
  Trace::Write("start checkout_thread");
  const bool stored = RunCheckout(args.param);
  SendWorkerResult(args, CallbackCode::kCheckout, stored);
  Trace::Write("end checkout_thread");
}
