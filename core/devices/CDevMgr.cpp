#include "devices/CDevMgr.h"

#include "service/CMainWndMgr.h"
#include "support/Trace.h"

namespace {

// What the host runs on its thread for a posted job.
void RunPosted(void* request) { CDevMgr::RunPrintRequest(static_cast<PrintRequest*>(request)); }

bool KindIn(PrintKind kind, PrintKind first, PrintKind last) {
  return kind >= first && kind <= last;
}

template <typename Job>
std::shared_ptr<const void> CopyJob(const Job& job) {
  return std::make_shared<const Job>(job);
}

}  // namespace

std::shared_ptr<CDevMgr> CDevMgr::Create() { return std::shared_ptr<CDevMgr>(new CDevMgr()); }

bool CDevMgr::Init() { return true; }

void CDevMgr::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_requestLock);
    m_stopped = true;
  }
  m_requestChanged.notify_all();
}

// ---- Hand-over --------------------------------------------------------------

bool CDevMgr::PostCheckSheet(const CheckSheetJob& job, PrintKind kind) {
  if (!KindIn(kind, PrintKind::kCheckSheetA4, PrintKind::kCheckSheet80)) return false;
  return Post(CopyJob(job), kind);
}

bool CDevMgr::PostLabel(const LabelJob& job) { return Post(CopyJob(job), PrintKind::kLabel); }

bool CDevMgr::PostMaterialHandover(const MaterialHandoverJob& job, PrintKind kind) {
  if (!KindIn(kind, PrintKind::kMaterialHandoverA4, PrintKind::kMaterialHandover80)) return false;
  return Post(CopyJob(job), kind);
}

bool CDevMgr::PostCashierHandover(const CashierHandoverJob& job, PrintKind kind) {
  if (!KindIn(kind, PrintKind::kCashierHandover58, PrintKind::kCashierHandover80)) return false;
  return Post(CopyJob(job), kind);
}

bool CDevMgr::PostReceipt(const ReceiptJob& job, PrintKind kind) {
  if (!KindIn(kind, PrintKind::kReceipt58, PrintKind::kReceipt80)) return false;
  return Post(CopyJob(job), kind);
}

void CDevMgr::SetPrintTimeout(std::chrono::milliseconds timeout) {
  {
    std::lock_guard<std::mutex> lock(m_printLock);
    m_grid.SetPrintTimeout(timeout);
  }
  SetHandOverTimeout(timeout + kHandOverMargin);
}

void CDevMgr::SetHandOverTimeout(std::chrono::milliseconds timeout) {
  m_handOverMs = timeout.count();
}

std::chrono::milliseconds CDevMgr::HandOverTimeout() const {
  return std::chrono::milliseconds(m_handOverMs.load());
}

bool CDevMgr::Post(std::shared_ptr<const void> job, PrintKind kind) {
  const PexluneHost* host = CMainWndMgr::GetInstance().HostWindow();
  if (!host || !host->post) {
    Trace::Write("CDevMgr: no host thread to print on");
    return false;
  }
  auto request = std::make_shared<PrintRequest>();
  request->owner = shared_from_this();
  request->job = std::move(job);
  request->kind = kind;
  {
    std::lock_guard<std::mutex> lock(m_requestLock);
    if (m_stopped) return false;
    request->self = request;
  }
  if (host->post(host->context, &RunPosted, request.get()) != 0) {
    Trace::Write("CDevMgr: the host refused the print job");
    std::lock_guard<std::mutex> lock(m_requestLock);
    request->self.reset();
    return false;
  }
  const bool ok = Await(*request);
  // The count-check sheets report the hand-over, not the print.
  if (KindIn(kind, PrintKind::kCheckSheetA4, PrintKind::kCheckSheet80)) return ok;
  std::lock_guard<std::mutex> lock(m_requestLock);
  return ok && request->result;
}

// Two bounded waits: for the host to take the job (it may be busy with other
// jobs), then for the job to end (the grid's own time-out bounds it). A job
// the worker gave up on is skipped if the host reaches it later.
bool CDevMgr::Await(PrintRequest& request) {
  const auto bound = HandOverTimeout();
  std::unique_lock<std::mutex> lock(m_requestLock);
  m_requestChanged.wait_for(lock, bound,
                            [&] { return request.started || request.done || m_stopped; });
  if (!request.started && !request.done) {
    request.abandoned = true;
    Trace::Write("CDevMgr: the host did not take the print job");
    return false;
  }
  if (!m_requestChanged.wait_for(lock, bound, [&] { return request.done; })) {
    request.abandoned = true;
    Trace::Write("CDevMgr: the print job did not end in time");
    return false;
  }
  return request.ran;
}

void CDevMgr::RunPrintRequest(PrintRequest* request) {
  if (!request || !request->owner) return;
  CDevMgr& owner = *request->owner;
  std::shared_ptr<PrintRequest> keep;
  {
    std::lock_guard<std::mutex> lock(owner.m_requestLock);
    keep.swap(request->self);
  }
  if (!keep) return;  // already run: a request runs once
  owner.Execute(*keep);
}

void CDevMgr::Execute(PrintRequest& request) {
  {
    std::lock_guard<std::mutex> lock(m_requestLock);
    const bool known = KindIn(request.kind, PrintKind::kCheckSheetA4, PrintKind::kReceipt80);
    if (m_stopped || request.abandoned || !known) {
      request.done = true;
      m_requestChanged.notify_all();
      return;
    }
    request.started = true;
  }
  m_requestChanged.notify_all();
  const bool result = RunRoutine(request);
  {
    std::lock_guard<std::mutex> lock(m_requestLock);
    request.result = result;
    request.ran = true;
    request.done = true;
  }
  m_requestChanged.notify_all();
}

bool CDevMgr::RunRoutine(const PrintRequest& request) {
  const void* job = request.job.get();
  switch (request.kind) {
    case PrintKind::kCheckSheetA4:
      return PrintCheckSheetA4(*static_cast<const CheckSheetJob*>(job));
    case PrintKind::kCheckSheet58:
    case PrintKind::kCheckSheet80:
      return PrintCheckSheetThermal(*static_cast<const CheckSheetJob*>(job));
    case PrintKind::kLabel:
      return PrintLabel(*static_cast<const LabelJob*>(job));
    case PrintKind::kMaterialHandoverA4:
      return PrintMaterialHandoverA4(*static_cast<const MaterialHandoverJob*>(job));
    case PrintKind::kMaterialHandover58:
    case PrintKind::kMaterialHandover80:
      return PrintMaterialHandoverThermal(*static_cast<const MaterialHandoverJob*>(job));
    case PrintKind::kCashierHandover58:
    case PrintKind::kCashierHandover80:
      return PrintCashierHandoverThermal(*static_cast<const CashierHandoverJob*>(job));
    case PrintKind::kCashierHandoverA4:
      return PrintCashierHandoverA4(*static_cast<const CashierHandoverJob*>(job));
    case PrintKind::kReceipt58:
    case PrintKind::kReceipt80:
      return PrintReceipt(*static_cast<const ReceiptJob*>(job));
  }
  return false;
}
