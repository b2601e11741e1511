// The cashier handover sheet: template by paper (".nolist" without the ware
// table), times per paper, the figures of the closed section and one row per
// line in the page's order.
#include "operations/CashierHandoverParts.h"
#include "operations/CountChecks.h"
#include "service/CServiceManager.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace CashierHandover {
namespace {

// The copy of each template without the ware table.
constexpr std::u16string_view kNoListSuffix = u".nolist";

struct SheetTemplate {
  std::u16string path;
  PrintKind kind;
};

SheetTemplate TemplateFor(const CClientConfig& config, Paper paper) {
  switch (paper) {
    case Paper::k58:
      return {config.GetWorkSection58Path(), PrintKind::kCashierHandover58};
    case Paper::k80:
      return {config.GetWorkSection80Path(), PrintKind::kCashierHandover80};
    case Paper::kA4:
      break;
  }
  return {config.GetWorkSectionA4Path(), PrintKind::kCashierHandoverA4};
}

void FillFigures(CashierHandoverJob& job, const NetbarInfo& netbar,
                 const WareWorkSectionInfo& closed, const Request& request, Paper paper) {
  job.netbarName = netbar.netbarname;
  job.beginTime = SheetTimeText(paper, closed.beginTime);
  job.endTime = SheetTimeText(paper, closed.endTime);
  job.barName = netbar.barName;
  job.sectionType = closed.sectionType;
  job.cashier = closed.cashier;
  job.pre = Helpers::MoneyText(closed.pre);
  job.salesCount = Helpers::IntText(request.totalSold);
  job.sales = Helpers::MoneyText(request.sales);
  job.active = Helpers::MoneyText(request.active);
  job.odd = Helpers::MoneyText(request.odd);
  job.upload = Helpers::MoneyText(request.upload);
  job.save = Helpers::MoneyText(request.save);
  job.error = closed.error;
}

// A repeated name prints its last line each time it was sent. A line the
// catalogue does not know keeps the name the page showed.
void FillRows(CashierHandoverJob& job, const Request& request) {
  for (const std::u16string& id : request.pageOrder) {
    auto found = request.items.find(id);
    if (found == request.items.end()) continue;
    const Line& line = found->second;
    const std::u16string& name = line.displayName.empty() ? id : line.displayName;
    job.rows.push_back({name, Helpers::IntText(line.odd), Helpers::IntText(line.sales)});
  }
}

}  // namespace

void PrintSheet(CServiceManager& service, const NetbarInfo& netbar,
                const WareWorkSectionInfo& closed, const Request& request) {
  CGlobalConfig* settings = service.GetGlobalConfig();
  CClientConfig* config = service.GetConfig();
  CDevMgr* devices = service.GetDevMgr();
  JiaoJieBanPrintInfo print;
  if (!settings || !config || !devices || !settings->GetJiaoJieBanPrint(print) || !print.Enable)
    return;
  const std::optional<Paper> paper = PaperOf(print.PrinterPaperType);
  if (!paper) return;
  SheetTemplate chosen = TemplateFor(*config, *paper);
  CashierHandoverJob job;
  job.printer = print.Printer;
  job.templatePath = chosen.path;
  if (!print.PrintWareList) job.templatePath += kNoListSuffix;
  job.fontSize = static_cast<std::uint32_t>(print.FontSize);
  FillFigures(job, netbar, closed, request, *paper);
  if (print.PrintWareList) FillRows(job, request);
  if (!devices->PostCashierHandover(job, chosen.kind)) Trace::Write("handover sheet not printed");
}

}  // namespace CashierHandover
