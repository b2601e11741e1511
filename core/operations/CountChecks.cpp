#include "operations/CountChecks.h"

#include <ctime>
#include <vector>

#include "operations/CallbackCodes.h"
#include "operations/WorkerReply.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

constexpr int kNormalHandover = 1;
constexpr int kQuickHandover = 2;
constexpr int kOrdinaryWare = 1;

constexpr std::u16string_view kTooMany = u"剩余数量不能大于原数量";
constexpr std::u16string_view kNegative = u"剩余数量不能为负数";

struct CheckTemplate {
  std::u16string path;
  PrintKind kind;
};

// The settings of both sheets: printer and paper from the count-check
// settings, the font size from the handover settings.
struct CheckSettings {
  JiaoJieBanPrintInfo handover;
  PanDianPrintInfo check;
};

enum class CheckForm { kWares, kMaterials };

std::optional<CheckTemplate> ChooseTemplate(const CClientConfig& config,
                                            std::u16string_view paperType, CheckForm form) {
  const std::optional<Paper> paper = PaperOf(paperType);
  if (!paper) return std::nullopt;
  const bool wares = form == CheckForm::kWares;
  switch (*paper) {
    case Paper::k58:
      return CheckTemplate{wares ? config.GetWareCheck58Path() : config.GetMaterialCheck58Path(),
                           PrintKind::kCheckSheet58};
    case Paper::k80:
      return CheckTemplate{wares ? config.GetWareCheck80Path() : config.GetMaterialCheck80Path(),
                           PrintKind::kCheckSheet80};
    case Paper::kA4:
      return CheckTemplate{wares ? config.GetWareCheckA4Path() : config.GetMaterialCheckA4Path(),
                           PrintKind::kCheckSheetA4};
  }
  return std::nullopt;
}

bool ReadCheckSettings(CServiceManager& service, CheckSettings& settings) {
  CGlobalConfig* global = service.GetGlobalConfig();
  return global && global->GetJiaoJieBanPrint(settings.handover) &&
         global->GetPanDianPrint(settings.check);
}

CheckSheetJob HeaderOf(const CheckSettings& settings, const NetbarInfo& netbar,
                       const CheckTemplate& chosen) {
  CheckSheetJob job;
  job.printer = settings.check.Printer;
  job.templatePath = chosen.path;
  job.fontSize = static_cast<std::uint32_t>(settings.handover.FontSize);
  job.netbarName = netbar.netbarname;
  job.barName = netbar.barName;
  job.cashier = netbar.cashier;
  job.time = Helpers::DateTimeText(static_cast<std::int64_t>(std::time(nullptr)));
  job.sectionType = netbar.currentworksection;
  return job;
}

// The sheet's own rows for the handover mode; none for an unknown mode.
std::optional<std::vector<CheckItem>> WareRows(int mode, const std::vector<WareInfo>& wares,
                                               const std::vector<CombinStockInfo>& stockRows) {
  std::vector<CheckItem> items;
  if (mode == kNormalHandover) {
    // Made-to-order wares are made when sold and keep no stock to count.
    for (const WareInfo& ware : wares) {
      if (ware.properties == kOrdinaryWare) items.push_back({ware.name, Helpers::IntText(ware.stock)});
    }
  } else if (mode == kQuickHandover) {
    for (const CombinStockInfo& row : stockRows) items.push_back({row.name, Helpers::IntText(row.stock)});
  } else {
    return std::nullopt;
  }
  return items;
}

// The hand-over's result: the job reached the host and ran there, whatever
// the printer did with it.
bool PostSheet(CServiceManager& service, const CheckSheetJob& job, PrintKind kind) {
  CDevMgr* devices = service.GetDevMgr();
  return devices && devices->PostCheckSheet(job, kind);
}

bool PrintWareCheck(CServiceManager& service) {
  CLocalDB* db = service.GetLocalDB();
  CGlobalConfig* global = service.GetGlobalConfig();
  CClientConfig* config = service.GetConfig();
  std::vector<WareInfo> wares;
  std::vector<CombinStockInfo> stockRows;
  NetbarInfo netbar;
  CheckSettings settings;
  SystemModeInfo modes;
  if (!db || !global || !config || !db->QueryWareByOrder(wares) || !db->QueryNetbarInfo(netbar) ||
      !ReadCheckSettings(service, settings) || !db->QueryWare(stockRows) ||
      !global->GetSystemMode(modes))
    return false;
  const std::optional<CheckTemplate> chosen =
      ChooseTemplate(*config, settings.check.PrinterPaperType, CheckForm::kWares);
  if (!chosen) return false;
  std::optional<std::vector<CheckItem>> rows =
      WareRows(modes.finishworksectionmode, wares, stockRows);
  if (!rows) return false;
  CheckSheetJob job = HeaderOf(settings, netbar, *chosen);
  job.items = std::move(*rows);
  return PostSheet(service, job, chosen->kind);
}

bool PrintMaterialCheck(CServiceManager& service) {
  CLocalDB* db = service.GetLocalDB();
  CClientConfig* config = service.GetConfig();
  std::vector<MaterialInfo> materials;
  NetbarInfo netbar;
  CheckSettings settings;
  if (!db || !config || !db->QueryMaterial(materials) || !db->QueryNetbarInfo(netbar) ||
      !ReadCheckSettings(service, settings))
    return false;
  const std::optional<CheckTemplate> chosen =
      ChooseTemplate(*config, settings.check.PrinterPaperType, CheckForm::kMaterials);
  if (!chosen) return false;
  CheckSheetJob job = HeaderOf(settings, netbar, *chosen);
  for (const MaterialInfo& material : materials)
    job.items.push_back({material.name, Helpers::IntText(material.stock)});
  return PostSheet(service, job, chosen->kind);
}

struct CountFields {
  bool found = false;
  std::u16string id;
  int stock = 0;
  int odd = 0;
};

// The line's identifier, its starting quantity and the typed remainder; the
// sold count is sent too and not needed.
CountFields ReadCountFields(std::u16string_view param, std::u16string_view element,
                            std::u16string_view idAttr) {
  CountFields fields;
  CXmlDoc doc;
  doc.Parse(param);  // a damaged fragment is read as far as its index reaches
  if (!doc.Find(element)) return fields;
  fields.found = true;
  fields.id = doc.GetAttr(idAttr);
  fields.stock = Helpers::ParseInt(doc.GetAttr(u"stock"));
  fields.odd = Helpers::ParseInt(doc.GetAttr(u"oddfromuser"));
  return fields;
}

}  // namespace

std::optional<Paper> PaperOf(std::u16string_view paperType) {
  if (paperType == CGlobalConfig::kPaper58) return Paper::k58;
  if (paperType == CGlobalConfig::kPaper80) return Paper::k80;
  if (paperType == CGlobalConfig::kPaperA4) return Paper::kA4;
  return std::nullopt;
}

std::u16string SheetTimeText(Paper paper, std::int64_t t) {
  return paper == Paper::kA4 ? Helpers::DateTimeText(t) : Helpers::CompactDateTimeText(t);
}

void print_ware_check_thread(TaskArgs& args) {
  Trace::Write("begin print_ware_check_thread");
  const bool result = PrintWareCheck(CServiceManager::GetInstance());
  SendWorkerResult(args, CallbackCode::kPrintWareCheck, result);
  Trace::Write("end print_ware_check_thread");
}

void print_material_check_thread(TaskArgs& args) {
  Trace::Write("begin print_material_check_thread");
  const bool result = PrintMaterialCheck(CServiceManager::GetInstance());
  SendWorkerResult(args, CallbackCode::kPrintMaterialCheck, result);
  Trace::Write("end print_material_check_thread");
}

RemainderCheck CheckWareCount(std::u16string_view param) {
  const CountFields fields = ReadCountFields(param, kCheckWareCount, u"wareid");
  if (!fields.found) return {};
  const long long used = static_cast<long long>(fields.stock) - fields.odd;
  if (used < 0) return {false, std::u16string(kTooMany)};
  return {true, {}};
}

RemainderCheck CheckMaterialCount(CLocalDB& db, std::u16string_view param) {
  const CountFields fields = ReadCountFields(param, kCheckMaterialCount, u"materialid");
  if (!fields.found) return {};
  const std::optional<MaterialInfo> material = db.QueryMaterialByID(Helpers::ParseInt(fields.id));
  if (!material) return {};
  if (fields.odd < 0) return {false, std::u16string(kNegative)};
  const long long used = static_cast<long long>(fields.stock) - fields.odd;
  if (used < 0 || used > material->total) return {false, std::u16string(kTooMany)};
  return {true, {}};
}

std::u16string RemainderCheckBody(std::u16string_view element, const RemainderCheck& check) {
  CXmlDoc body;
  body.Parse(u"");
  body.Append(element);
  body.SetAttr(u"error", check.error);
  return body.GetText();
}
