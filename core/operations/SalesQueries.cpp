#include "operations/SalesQueries.h"

#include <cstdint>
#include <string>
#include <vector>

#include "operations/CallbackCodes.h"
#include "operations/QueryWaits.h"
#include "operations/WorkerReply.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

constexpr std::int64_t kLastSecondOfDay = 86399;

struct SalesFilter {
  std::u16string idPrefix;
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::u16string wareName;
  std::u16string wareType;
  std::u16string cashier;
};

// A request without QuerySales reads as an empty filter: the last 48 hours.
SalesFilter ReadFilter(const std::u16string& param) {
  SalesFilter filter;
  CXmlDoc doc;
  doc.Parse(param);
  if (!doc.Find(u"QuerySales")) return filter;
  filter.idPrefix = doc.GetAttr(u"id");
  filter.start = Helpers::ParseInt(doc.GetAttr(u"starttime"));
  filter.end = Helpers::ParseInt(doc.GetAttr(u"endtime"));
  // The page sends the day the cashier picked; its end is that day's last second.
  if (filter.end != 0) filter.end += kLastSecondOfDay;
  filter.wareName = doc.GetAttr(u"warename");
  filter.wareType = doc.GetAttr(u"waretype");
  filter.cashier = doc.GetAttr(u"cashier");
  return filter;
}

bool IsLikeWildcard(char16_t c) { return c == u'%' || c == u'_'; }

// The store matches the prefix with LIKE, where '%' and '_' stand for any
// text; a prefix the page typed is meant literally, so rows that only match
// through a wildcard are dropped.
void KeepLiteralPrefix(std::vector<WareSaleInfo>& sales, const std::u16string& prefix) {
  bool hasWildcard = false;
  for (char16_t c : prefix) hasWildcard = hasWildcard || IsLikeWildcard(c);
  if (!hasWildcard) return;
  std::erase_if(sales, [&](const WareSaleInfo& sale) { return !sale.id.starts_with(prefix); });
}

void AppendSale(CXmlDoc& body, const WareSaleInfo& sale) {
  body.Append(u"Item");
  body.SetAttr(u"id", sale.id);
  body.SetAttr(u"time", Helpers::DateTimeText(sale.time));
  body.SetAttr(u"waretype", sale.wareTypeName);
  body.SetAttr(u"warename", sale.wareName);
  body.SetAttr(u"count", sale.count);
  body.SetAttr(u"price", Helpers::MoneyText(sale.price));
  body.SetAttr(u"cashier", sale.cashier);
  body.SetAttr(u"bEnable", sale.usable ? 1 : 0);
  body.SetAttr(u"istimeout", sale.istimeout ? 1 : 0);
  body.SetAttr(u"remark", sale.remark);
}

}  // namespace

void query_waresales_thread(TaskArgs& args) {
  Trace::Write("begin query_waresales_thread");
  const SalesFilter filter = ReadFilter(args.param);
  std::vector<WareSaleInfo> sales;
  CLocalDB* db = CServiceManager::GetInstance().GetLocalDB();
  // The page's list shows disabled sales too, marked by bEnable.
  const bool found =
      db && db->QueryWareSaleById(sales, filter.idPrefix, filter.start, filter.end, filter.wareName,
                                  filter.wareType, filter.cashier, -1.0f, u"", true);
  std::optional<std::u16string> body;
  if (found) {
    KeepLiteralPrefix(sales, filter.idPrefix);
    CXmlDoc doc;
    doc.Parse(u"");
    doc.Append(u"Sales");
    doc.Enter();
    for (const WareSaleInfo& sale : sales) AppendSale(doc, sale);
    body = doc.GetText();
  }
  QueryWaits::Pause(std::chrono::milliseconds(500));
  SendWorkerResult(args, CallbackCode::kWareSales, found, body);
  Trace::Write("end query_waresales_thread");
}
