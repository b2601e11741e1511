#include "operations/SectionQueries.h"

#include <chrono>
#include <ctime>
#include <optional>
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

// The page asks for the forms as it opens them; both workers let it settle.
constexpr std::chrono::milliseconds kFormSettle{1000};

constexpr int kNormalHandover = 1;
constexpr int kQuickHandover = 2;
constexpr int kMadeToOrder = 2;
constexpr int kPackaged = 1;

void AppendWareLine(CXmlDoc& body, int prop, const std::u16string& name, float price,
                    int beforeCount, int sales) {
  body.Append(u"Ware");
  body.SetAttr(u"prop", prop);
  body.SetAttr(u"name", name);
  body.SetAttr(u"price", Helpers::MoneyText(price));
  body.SetAttr(u"beforecount", beforeCount);
  body.SetAttr(u"sales", sales);
}

void AppendCountedWare(CXmlDoc& body, CLocalDB& db, const WareInfo& ware, int sectionId) {
  AppendWareLine(body, ware.properties, ware.name, ware.price, ware.stock,
                 db.QueryWareSalesCountInCurrentWorkSection(ware.id, sectionId));
}

// Combined-mode wares share one stock per type and price, so their sales are
// counted per stock row from the section's begin until now.
void AppendCombinedStock(CXmlDoc& body, CLocalDB& db, const CombinStockInfo& row,
                         std::int64_t sectionBegin) {
  std::vector<WareSaleInfo> sold;
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  db.QueryWareSaleById(sold, u"", sectionBegin, now, u"", row.type_name, u"", row.price, u"1",
                       false);
  AppendWareLine(body, kPackaged, row.name, row.price, row.stock, static_cast<int>(sold.size()));
}

void AppendSectionWares(CXmlDoc& body, CLocalDB& db, int mode, const WareWorkSectionInfo& section) {
  if (mode != kNormalHandover && mode != kQuickHandover) return;
  std::vector<WareInfo> wares;
  db.QueryWareByOrder(wares);
  if (mode == kNormalHandover) {
    for (const WareInfo& ware : wares) AppendCountedWare(body, db, ware, section.id);
    return;
  }
  std::vector<CombinStockInfo> stockRows;
  db.QueryWare(stockRows);
  for (const WareInfo& ware : wares) {
    if (ware.properties == kMadeToOrder) AppendCountedWare(body, db, ware, section.id);
  }
  for (const CombinStockInfo& row : stockRows)
    AppendCombinedStock(body, db, row, section.beginTime);
}

// The WorkSection body, or none when the café record, the section or the
// settings cannot be read.
std::optional<std::u16string> SalesSectionBody(CServiceManager& manager) {
  CLocalDB* db = manager.GetLocalDB();
  CGlobalConfig* settings = manager.GetGlobalConfig();
  NetbarInfo netbar;
  WareWorkSectionInfo section;
  SystemModeInfo modes;
  if (!db || !settings || !db->QueryNetbarInfo(netbar) ||
      !db->QueryCurrentWareWorkSection(section) || !settings->GetSystemMode(modes))
    return std::nullopt;
  CXmlDoc body;
  body.Parse(u"");
  body.Append(u"WorkSection");
  body.SetAttr(u"bar", netbar.barName);
  body.SetAttr(u"type", netbar.currentworksection);
  body.SetAttr(u"cashier", netbar.cashier);
  body.SetAttr(u"begitime", Helpers::DateTimeText(section.beginTime));
  body.SetAttr(u"presectioncash", Helpers::MoneyText(section.pre));
  body.SetAttr(u"mode", modes.finishworksectionmode);
  body.Enter();
  AppendSectionWares(body, *db, modes.finishworksectionmode, section);
  return body.GetText();
}

struct MaterialsResult {
  bool listed = false;
  std::optional<std::u16string> body;
};

MaterialsResult MaterialsBody(CLocalDB* db) {
  MaterialsResult result;
  NetbarInfo netbar;
  MaterialWorkSectionInfo section;
  if (!db || !db->QueryNetbarInfo(netbar) || !db->QueryCurrentMaterialWorkSection(section))
    return result;
  CXmlDoc body;
  body.Parse(u"");
  body.Append(u"Materials");
  body.SetAttr(u"bar", netbar.barName);
  body.SetAttr(u"type", netbar.currentworksection);
  body.SetAttr(u"cupstock", section.cupStock);
  body.Enter();
  std::vector<MaterialInfo> materials;
  result.listed = db->QueryMaterial(materials);
  if (result.listed) {
    for (const MaterialInfo& material : materials) {
      body.Append(u"Item");
      body.SetAttr(u"id", material.id);
      body.SetAttr(u"name", material.name);
      body.SetAttr(u"unit_name", material.unit_name);
      body.SetAttr(u"stock", material.stock);
    }
  }
  result.body = body.GetText();
  return result;
}

}  // namespace

// The page reads only the body of "cb-1-7"; OPRet says whether it could be built.
void query_salesworksection_thread(TaskArgs& args) {
  Trace::Write("begin query_salesworksection_thread");
  QueryWaits::Pause(kFormSettle);
  const std::optional<std::u16string> body = SalesSectionBody(CServiceManager::GetInstance());
  SendWorkerResult(args, CallbackCode::kSalesWorkSection, body.has_value(), body);
  Trace::Write("end query_salesworksection_thread");
}

void query_metarialworksection_thread(TaskArgs& args) {
  Trace::Write("begin query_metarialworksection_thread");
  QueryWaits::Pause(kFormSettle);
  const MaterialsResult result = MaterialsBody(CServiceManager::GetInstance().GetLocalDB());
  SendWorkerResult(args, CallbackCode::kMaterialWorkSection, result.listed, result.body);
  Trace::Write("end query_metarialworksection_thread");
}
