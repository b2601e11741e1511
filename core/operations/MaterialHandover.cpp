#include "operations/MaterialHandover.h"

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "operations/CallbackCodes.h"
#include "operations/CashierHandover.h"
#include "operations/CountChecks.h"
#include "server/HandoverResend.h"
#include "server/MessageFields.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

// Names the page writes ("Finsh" as it spells it).
constexpr std::u16string_view kFinshMaterialWorkSection = u"FinshMaterialWorkSection";
constexpr std::u16string_view kCup = u"Cup";
constexpr std::u16string_view kMaterial = u"Material";
constexpr std::u16string_view kItem = u"Item";

// The `material_info` fields the catalogue messages do not share.
constexpr std::u16string_view kMaterialInfo = u"material_info";
constexpr std::u16string_view kType = u"type";
constexpr std::u16string_view kFormerNum = u"former_num";
constexpr std::u16string_view kUserNum = u"user_num";
constexpr std::u16string_view kUnitName = u"unit_name";
constexpr std::u16string_view kCupName = u"杯子";
constexpr std::u16string_view kCupUnit = u"杯";
constexpr int kMaterialType = 0;
constexpr int kCupType = 1;

constexpr std::u16string_view kNoListSuffix = u".nolist";

struct Entry {
  int count = 0;  // at the start of the shift
  int sales = 0;
  int odd = 0;    // counted remainder
  int scrap = 0;
  int give = 0;
  std::optional<MaterialInfo> stored;  // none when deleted or unknown
};

struct Request {
  int cupOdd = 0;
  std::u16string cupRemark;
  std::map<int, Entry> items;  // by id; a repeated id keeps its last line
  // Over every line as sent, repeats included.
  int totalStock = 0;
  int totalSales = 0;
  int totalActive = 0;
  int totalScrap = 0;
};

struct Outcome {
  bool result = false;
  std::u16string message{kHandoverUnknownFailure};
};

int IntAttr(const CXmlDoc& doc, std::u16string_view name) {
  return Helpers::ParseInt(doc.GetAttr(name));
}

void ReadLine(const CXmlDoc& doc, Request& request) {
  Entry entry;
  entry.count = IntAttr(doc, u"count");
  entry.sales = IntAttr(doc, u"sales");
  entry.odd = IntAttr(doc, u"odd");
  entry.scrap = IntAttr(doc, u"scrap");
  entry.give = IntAttr(doc, u"give");
  request.totalStock += entry.count;
  request.totalSales += entry.sales;
  request.totalActive += entry.give;
  request.totalScrap += entry.scrap;
  request.items[IntAttr(doc, u"id")] = entry;
}

// Only the cups left and the remark are taken from `Cup`; the page's other
// cup figures are not kept.
std::optional<Request> ReadRequest(std::u16string_view param) {
  CXmlDoc doc;
  doc.Parse(param);  // a damaged fragment is read as far as its index reaches
  if (!doc.Find(kFinshMaterialWorkSection)) return std::nullopt;
  Request request;
  if (!doc.Enter()) return request;
  if (doc.Find(kCup)) {
    request.cupOdd = IntAttr(doc, u"odd");
    request.cupRemark = doc.GetAttr(u"remark");
  }
  doc.RewindSiblings();
  if (doc.Find(kMaterial) && doc.Enter()) {
    while (doc.Find(kItem)) ReadLine(doc, request);
  }
  return request;
}

void AppendMaterialItem(CXmlDoc& doc, int id, const Entry& entry, const MaterialInfo& stored) {
  doc.Append(Jxc::kItem);
  doc.Enter();
  doc.Append(Jxc::kMaterialId, id);
  doc.Append(kType, kMaterialType);
  doc.Append(kFormerNum, entry.count);
  doc.Append(kUserNum, entry.sales);
  doc.Append(Jxc::kMaterialName, stored.name);
  doc.Append(kUnitName, stored.unit_name);
  doc.Append(Jxc::kScrapNum, entry.scrap);
  doc.Append(Jxc::kActiveGift, entry.give);
  doc.Leave();
}

void AppendCupItem(CXmlDoc& doc, const MaterialWorkSectionInfo& closed) {
  doc.Append(Jxc::kItem);
  doc.Enter();
  doc.Append(Jxc::kMaterialId, closed.cupID);
  doc.Append(kType, kCupType);
  doc.Append(kFormerNum, closed.cupStock);
  doc.Append(kUserNum, closed.cupSales + closed.cupScrap + closed.cupGive);
  doc.Append(Jxc::kMaterialName, kCupName);
  doc.Append(kUnitName, kCupUnit);
  doc.Leave();
}

// Materials the store no longer lists are counted in the totals only.
std::u16string MaterialInfoDocument(const Request& request, const MaterialWorkSectionInfo& closed) {
  CXmlDoc doc;
  doc.Parse(u"");
  doc.Append(kMaterialInfo);
  doc.Enter();
  for (const auto& [id, entry] : request.items) {
    if (entry.stored) AppendMaterialItem(doc, id, entry, *entry.stored);
  }
  AppendCupItem(doc, closed);
  return doc.GetText();
}

void CloseSection(MaterialWorkSectionInfo& closed, const Request& request,
                  const NetbarInfo& netbar, std::int64_t now) {
  closed.bSaveToServer = false;
  closed.bFinish = true;
  closed.endTime = now;
  closed.barid = netbar.barID;
  closed.barName = netbar.barName;
  closed.netbarid = netbar.netbarid;
  closed.sectionType = netbar.currentworksection;
  closed.remark = request.cupRemark;
  closed.totalStock = request.totalStock;
  closed.totalSales = request.totalSales;
  closed.totalActive = request.totalActive;
  closed.totalScrap = request.totalScrap;
  closed.cupStock = 0;
  closed.cupSales = 0;
  closed.cupScrap = 0;
  closed.cupGive = 0;
  closed.uuid = Helpers::NewGuidText();
  closed.materialDetails = MaterialInfoDocument(request, closed);
}

// The cups left open the next section. The cup's id goes with them: it is
// the same cup record, and an upload before the next catalogue pass would
// otherwise name cup 0.
MaterialWorkSectionInfo NextSection(const MaterialWorkSectionInfo& closed, const Request& request,
                                    std::int64_t now) {
  MaterialWorkSectionInfo next;
  next.id = closed.id + 1;
  next.beginTime = now;
  next.uuid = Helpers::NewGuidText();
  next.cupStock = request.cupOdd;
  next.cupID = closed.cupID;
  return next;
}

// A deleted material keeps its row, but it is no longer counted: only what
// the store still lists takes the remainder.
std::map<int, int> StockUpdates(const Request& request) {
  std::map<int, int> stocks;
  for (const auto& [id, entry] : request.items) {
    if (entry.stored) stocks[id] = entry.odd;
  }
  return stocks;
}

struct SheetTemplate {
  std::u16string path;
  PrintKind kind;
};

SheetTemplate TemplateFor(const CClientConfig& config, Paper paper) {
  switch (paper) {
    case Paper::k58:
      return {config.GetMaterialWorkSection58Path(), PrintKind::kMaterialHandover58};
    case Paper::k80:
      return {config.GetMaterialWorkSection80Path(), PrintKind::kMaterialHandover80};
    case Paper::kA4:
      break;
  }
  return {config.GetMaterialWorkSectionA4Path(), PrintKind::kMaterialHandoverA4};
}

MaterialHandoverJob SheetJob(const JiaoJieBanPrintInfo& print, const SheetTemplate& chosen,
                             Paper paper, const NetbarInfo& netbar,
                             const MaterialWorkSectionInfo& closed, const Request& request) {
  MaterialHandoverJob job;
  job.printer = print.Printer;
  job.templatePath = chosen.path;
  if (!print.PrintWareList) job.templatePath += kNoListSuffix;
  job.fontSize = static_cast<std::uint32_t>(print.FontSize);
  job.netbarName = netbar.netbarname;
  job.beginTime = SheetTimeText(paper, closed.beginTime);
  job.endTime = SheetTimeText(paper, closed.endTime);
  job.barName = netbar.barName;
  job.cashier = netbar.cashier;
  job.pre = Helpers::IntText(closed.cupStock);
  job.sales = Helpers::IntText(closed.cupSales);
  job.active = Helpers::IntText(closed.cupGive);
  job.scrap = Helpers::IntText(closed.cupScrap);
  job.odd = Helpers::IntText(request.cupOdd);
  if (!print.PrintWareList) return job;
  for (const auto& [id, entry] : request.items) {
    job.rows.push_back({entry.stored ? entry.stored->name : std::u16string(),
                        Helpers::IntText(entry.odd), Helpers::IntText(entry.sales)});
  }
  return job;
}

// Stored already: only the sheet decides between the two successes.
Outcome PrintSheet(CServiceManager& service, const NetbarInfo& netbar,
                   const MaterialWorkSectionInfo& closed, const Request& request) {
  const Outcome done{true, std::u16string(kHandoverDone)};
  const Outcome unprinted{false, std::u16string(kMaterialSheetFailed)};
  CGlobalConfig* settings = service.GetGlobalConfig();
  JiaoJieBanPrintInfo print;
  if (!settings || !settings->GetJiaoJieBanPrint(print) || !print.Enable) return done;
  const std::optional<Paper> paper = PaperOf(print.PrinterPaperType);
  CClientConfig* config = service.GetConfig();
  CDevMgr* devices = service.GetDevMgr();
  if (!paper || !config || !devices) return unprinted;
  const SheetTemplate chosen = TemplateFor(*config, *paper);
  const MaterialHandoverJob job = SheetJob(print, chosen, *paper, netbar, closed, request);
  return devices->PostMaterialHandover(job, chosen.kind) ? done : unprinted;
}

Outcome Finish(CServiceManager& service, std::u16string_view param) {
  CLocalDB* db = service.GetLocalDB();
  if (!db) return {};
  std::vector<MaterialWorkSectionInfo> pending;
  if (!db->QueryUploadMaterialWorkSection(pending)) return {};
  if (!pending.empty()) return {false, std::u16string(kHandoverPending)};
  std::optional<Request> request = ReadRequest(param);
  if (!request) return {};
  for (auto& [id, entry] : request->items) entry.stored = db->QueryMaterialByID(id);
  NetbarInfo netbar;
  MaterialWorkSectionInfo closed;
  // A store left without an open section (by an older run) gets one first.
  if (!db->EnsureOpenMaterialWorkSection() || !db->QueryNetbarInfo(netbar) ||
      !db->QueryCurrentMaterialWorkSection(closed))
    return {};
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  CloseSection(closed, *request, netbar, now);
  if (!db->FinishMaterialWorkSection(closed, StockUpdates(*request),
                                     NextSection(closed, *request, now)))
    return {};
  // A failed upload stays pending: the keep-alive worker retries it, and the
  // next handover waits for it.
  ResendMaterialWorkSections(service);
  return PrintSheet(service, netbar, closed, *request);
}

}  // namespace

void finish_metarial_worksection_thread(TaskArgs& args) {
  Trace::Write("begin finish_metarial_worksection_thread");
  const Outcome outcome = Finish(CServiceManager::GetInstance(), args.param);
  SendHandoverResult(args, CallbackCode::kFinishMaterialWorkSection, outcome.result,
                     outcome.message);
  Trace::Write("end finish_metarial_worksection_thread");
}
