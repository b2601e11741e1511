#include "operations/CashierHandover.h"

#include <ctime>
#include <optional>
#include <vector>

#include "operations/CallbackCodes.h"
#include "operations/CashierHandoverParts.h"
#include "server/HandoverResend.h"
#include "service/CServiceManager.h"
#include "service/WorkerTask.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

using namespace CashierHandover;

constexpr std::u16string_view kLogRequest = u"收银交班:";
constexpr std::u16string_view kLogResult = u"收银交班结果:";

struct Outcome {
  bool result = false;
  std::u16string message{kHandoverUnknownFailure};
};

Outcome Refused(std::u16string_view message) { return {false, std::u16string(message)}; }

// What the steps learn about the shift and hand on to the next.
struct Shift {
  int mode = 0;
  Request request;
  NetbarInfo netbar;
  WareWorkSectionInfo closed;
};

void CloseSection(Shift& shift, std::int64_t now) {
  const Request& request = shift.request;
  WareWorkSectionInfo& closed = shift.closed;  // keeps its id, begin and work section
  closed.cashier = shift.netbar.cashier;
  closed.pre = request.pre;
  closed.sales = request.sales;
  closed.active = request.active;
  closed.odd = request.odd;
  closed.upload = request.upload;
  closed.save = request.save;
  closed.normalsales = request.normalSum;
  closed.manualsales = request.madeToOrderSum;
  closed.error = DifferenceText(request.error);
  closed.bSaveToServer = false;
  closed.bFinish = true;
  closed.nextSectionType = request.nextSectionType;
  closed.remarks = request.remark;
  closed.netbarid = shift.netbar.netbarid;
  closed.barid = shift.netbar.barID;
  closed.barName = shift.netbar.barName;
  closed.endTime = now;
  // Kept once made: a re-send must carry the same check id.
  if (closed.uuid.empty()) closed.uuid = Helpers::NewGuidText();
}

WareWorkSectionInfo NextSection(const Shift& shift, std::int64_t now) {
  WareWorkSectionInfo next;
  next.id = shift.closed.id + 1;
  next.pre = shift.closed.save;
  next.beginTime = now;
  next.cashier = shift.netbar.cashier;
  next.barName = shift.netbar.barName;
  next.sectionType = shift.request.nextSectionType;
  next.uuid = Helpers::NewGuidText();
  return next;
}

// The café record on this machine remembers the next shift for the next login.
bool RememberNextShift(CGlobalConfig& settings, const std::u16string& nextSectionType) {
  ActiveNetbarInfo record;
  if (!settings.GetActiveNetbar(record)) return false;
  record.fixedworksection = nextSectionType;
  return settings.SetActiveNetbar(record);
}

// The refusal, the settings and the request: nothing is stored yet.
std::optional<Outcome> Prepare(CServiceManager& service, CLocalDB& db, CGlobalConfig& settings,
                               std::u16string_view param, Shift& shift) {
  std::vector<WareWorkSectionInfo> pending;
  if (!db.QueryUploadWareWorkSection(pending)) return Outcome{};
  if (!pending.empty()) return Refused(kHandoverPending);
  SystemModeInfo modes;
  if (!settings.GetSystemMode(modes)) return Outcome{};
  shift.mode = modes.finishworksectionmode;
  ReadResult read = ReadRequest(param, service.GetOpeningAmount());
  if (read.found) service.GetLogMgr()->Post(std::u16string(kLogRequest) + std::u16string(param));
  if (!read.request) return Refused(read.failure);
  shift.request = std::move(*read.request);
  // A store left without an open section (by an older run) gets one first,
  // so the handover never closes a finished section a second time.
  if (!db.EnsureOpenWareWorkSection() || !db.QueryNetbarInfo(shift.netbar) ||
      !db.QueryCurrentWareWorkSection(shift.closed))
    return Outcome{};
  return std::nullopt;
}

Outcome Finish(CServiceManager& service, std::u16string_view param) {
  CLocalDB* db = service.GetLocalDB();
  CGlobalConfig* settings = service.GetGlobalConfig();
  if (!db || !settings) return {};
  Shift shift;
  if (std::optional<Outcome> stop = Prepare(service, *db, *settings, param, shift)) return *stop;
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  CloseSection(shift, now);
  shift.closed.WareDetails = BuildGoodsDocument(*db, shift.mode, shift.request.items);
  if (!db->FinishWareWorkSection(shift.closed, StockUpdates(shift.mode, shift.request.items),
                                 NextSection(shift, now)))
    return {};
  if (!RememberNextShift(*settings, shift.request.nextSectionType)) return {};
  // A failed upload stays pending: the keep-alive worker retries it, and the
  // next handover waits for it.
  ResendWareWorkSections(service);
  PrintSheet(service, shift.netbar, shift.closed, shift.request);
  return {true, std::u16string(kHandoverDone)};
}

}  // namespace

void SendHandoverResult(TaskArgs& args, std::u16string_view code, bool result,
                        std::u16string_view message) {
  CXmlDoc doc;
  const std::u16string payload = BuildReply(doc, args.head, result, std::nullopt, message);
  args.task->NotifyPage(code, payload);
}

void finish_worksection_thread(TaskArgs& args) {
  Trace::Write("begin finish_worksection_thread");
  CServiceManager& service = CServiceManager::GetInstance();
  const Outcome outcome = Finish(service, args.param);
  SendHandoverResult(args, CallbackCode::kFinishWorkSection, outcome.result, outcome.message);
  service.GetLogMgr()->Post(std::u16string(kLogResult) + outcome.message);
  Trace::Write("end finish_worksection_thread");
}
