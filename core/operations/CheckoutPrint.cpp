#include "operations/CheckoutPrint.h"

#include <algorithm>
#include <optional>

#include "config/CClientConfig.h"
#include "config/CGlobalConfig.h"
#include "devices/CDevMgr.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

constexpr int kMadeToOrder = 2;

std::uint32_t FontSize(int size) { return static_cast<std::uint32_t>(std::max(size, 0)); }

std::u16string LabelWareName(const WareSaleInfo& unit) {
  return unit.remark.empty() ? unit.wareName : unit.wareName + u"(" + unit.remark + u")";
}

struct ReceiptForm {
  std::u16string templatePath;
  PrintKind kind;
};

std::optional<ReceiptForm> ReceiptFormFor(const CClientConfig& templates,
                                          std::u16string_view paper) {
  if (paper == CGlobalConfig::kPaper80) {
    return ReceiptForm{templates.GetXiaopiao80Path(), PrintKind::kReceipt80};
  }
  if (paper == CGlobalConfig::kPaper58) {
    return ReceiptForm{templates.GetXiaopiao58Path(), PrintKind::kReceipt58};
  }
  return std::nullopt;
}

ReceiptJob MakeReceiptJob(const XiaoPiaoPrintInfo& settings, const CheckoutRequest& request,
                          const CheckoutOrder& order, std::int64_t now) {
  ReceiptJob job;
  job.printer = settings.Printer;
  job.fontSize = FontSize(settings.FontSize);
  job.title = settings.title;
  job.tail = settings.tail;
  job.siteNo = request.seatNo;
  job.time = Helpers::CompactDateTimeText(now);
  job.total = Helpers::MoneyText(request.totalPrice);
  job.pay = Helpers::MoneyText(request.pay);
  job.odd = Helpers::MoneyText(request.change);
  job.lines = order.lines;
  return job;
}

}  // namespace

// A printer that failed once in an order is not asked again for the rest of
// it: each refused job can hold the worker (and the page's success message)
// for the whole hand-over time-out.
void PrintCheckoutLabels(const CheckoutPrinting& printing, const CheckoutRequest& request,
                         const CheckoutOrder& order) {
  const auto madeToOrder = [](const WareSaleInfo& unit) { return unit.wareProp == kMadeToOrder; };
  const int labels =
      static_cast<int>(std::count_if(order.units.begin(), order.units.end(), madeToOrder));
  if (labels == 0) return;  // nothing to label: the settings need not be read
  NetbarInfo netbar;
  BuGanJiaoPrintInfo settings;
  if (!printing.db.QueryNetbarInfo(netbar) || !printing.settings.GetBuGanJiaoPrint(settings) ||
      !settings.Enable) {
    return;
  }
  LabelJob job;
  job.printer = settings.Printer;
  job.fontSize = FontSize(settings.FontSize);
  job.templatePath = printing.templates.GetBuGanJiaoPath();
  job.netbarName = netbar.netbarname;
  job.siteNo = request.seatNo;
  int label = 0;
  for (const WareSaleInfo& unit : order.units) {
    if (!madeToOrder(unit)) continue;
    ++label;
    job.time = Helpers::ClockText(unit.time);
    job.orderId = Helpers::IntText(order.orderNo) + u"(" + Helpers::IntText(label) + u"/" +
                  Helpers::IntText(labels) + u")";
    job.wareName = LabelWareName(unit);
    job.price = u"¥" + Helpers::MoneyText(unit.price);
    if (!printing.devices.PostLabel(job)) {
      Trace::Write("[Checkout]label print failed");
      return;
    }
  }
}

void PrintCheckoutReceipts(const CheckoutPrinting& printing, const CheckoutRequest& request,
                           const CheckoutOrder& order, std::int64_t now) {
  XiaoPiaoPrintInfo settings;
  if (!printing.settings.GetXiaoPiaoPrint(settings) || !settings.Enable || !settings.AutoPrint) {
    return;
  }
  const std::optional<ReceiptForm> form =
      ReceiptFormFor(printing.templates, settings.PrinterPaperType);
  if (!form) return;
  ReceiptJob job = MakeReceiptJob(settings, request, order, now);
  job.templatePath = form->templatePath;
  const int copies = std::max(settings.Number, 1);
  for (int copy = 0; copy < copies; ++copy) {
    if (!printing.devices.PostReceipt(job, form->kind)) {
      Trace::Write("[Checkout]receipt print failed");
      return;
    }
  }
}

void PrintCheckout(const CheckoutPrinting& printing, const CheckoutRequest& request,
                   const CheckoutOrder& order, std::int64_t now) {
  PrintCheckoutLabels(printing, request, order);
  PrintCheckoutReceipts(printing, request, order, now);
}
