// CDevMgr: the device component of the service. It lists printers (CUPS
// destinations) and serial ports, hands print jobs from workers to the host
// thread, and runs the print routines there on a report grid of its own.
//
// Ownership: the service manager holds it through a shared pointer; every
// print request in flight holds one too, so a job the host runs late never
// finds the manager gone. Threads: the listings and the Post… entry points
// may be called from any thread; the print routines take the print lock, so
// they run one at a time, normally on the host thread (RunPrintRequest).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CGridTable.h"
#include "devices/PrintJobs.h"
#include "devices/PrintRequest.h"

class CDevMgr : public std::enable_shared_from_this<CDevMgr> {
public:
  // Added to the grid's print time-out to bound the whole hand-over: the host
  // may be busy with other jobs, and rendering takes a moment.
  static constexpr std::chrono::milliseconds kHandOverMargin{10000};
  // The saved copy of every filled form, in the work directory.
  static constexpr const char* kFilledCopyName = "test_ret.cel";

  static std::shared_ptr<CDevMgr> Create();
  CDevMgr(const CDevMgr&) = delete;
  CDevMgr& operator=(const CDevMgr&) = delete;

  // Nothing to prepare; true.
  bool Init();
  // From now on every hand-over fails at once; workers waiting for a job the
  // host has not started yet are released with false. A job already running
  // finishes.
  void Stop();

  // ---- Listings (fresh from the system every time) ------------------------

  // CUPS destinations in the order CUPS gives them; false when there is no
  // printer or the scheduler cannot be asked.
  bool ListPrinters(std::vector<std::u16string>& names) const;
  // Serial device paths present: real /dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*,
  // each family in ascending number, then the existing paths named in
  // TILLORA_EXTRA_PORTS (separated by ':'). Always true.
  bool ListPorts(std::vector<std::u16string>& ports) const;

  // ---- Print hand-over: one entry per form ---------------------------------
  // Each copies the job, has the host thread run it and waits, bounded. False
  // when the kind is not one of the form's, there is no host, the host could
  // not queue the job, the manager is stopped, or the host did not start (or
  // finish) the job within the hand-over time-out.

  // Kinds 1 to 3. True once the host ran the job, whatever it printed.
  bool PostCheckSheet(const CheckSheetJob& job, PrintKind kind);
  // Kind 4; the routine's result.
  bool PostLabel(const LabelJob& job);
  // Kinds 5 to 7; the routine's result.
  bool PostMaterialHandover(const MaterialHandoverJob& job, PrintKind kind);
  // Kinds 8 to 10; the routine's result.
  bool PostCashierHandover(const CashierHandoverJob& job, PrintKind kind);
  // Kinds 11 and 12; the routine's result.
  bool PostReceipt(const ReceiptJob& job, PrintKind kind);

  // The grid's time-out for CUPS to take a job; the hand-over bound becomes
  // that plus kHandOverMargin.
  void SetPrintTimeout(std::chrono::milliseconds timeout);
  // How long a worker waits for the host to start its job, and again for a
  // started job to finish.
  void SetHandOverTimeout(std::chrono::milliseconds timeout);
  std::chrono::milliseconds HandOverTimeout() const;

  // Runs the job of a request handed back by the host (CallPrint_ASync and
  // the posted trampoline): the routine of its kind, then wakes the worker.
  // A request runs at most once; a kind outside 1 to 12, an abandoned request
  // or a stopped manager runs nothing and reports false.
  static void RunPrintRequest(PrintRequest* request);

  // ---- Print routines (host thread; they take the print lock) --------------
  // True only when the grid printed. Missing template or list header: false,
  // with the trace line. The filled copy is saved as kFilledCopyName.

  bool PrintCheckSheetA4(const CheckSheetJob& job);
  bool PrintCheckSheetThermal(const CheckSheetJob& job);
  bool PrintLabel(const LabelJob& job);
  bool PrintMaterialHandoverA4(const MaterialHandoverJob& job);
  bool PrintMaterialHandoverThermal(const MaterialHandoverJob& job);
  bool PrintCashierHandoverThermal(const CashierHandoverJob& job);
  bool PrintCashierHandoverA4(const CashierHandoverJob& job);
  bool PrintReceipt(const ReceiptJob& job);

  // The grid's printer between jobs (empty: the CUPS default).
  std::u16string GridPrinterName();
  // The CUPS job id of the last print that created a job, else 0.
  int LastPrintJobId();

private:
  CDevMgr() = default;

  bool Post(std::shared_ptr<const void> job, PrintKind kind);
  bool Await(PrintRequest& request);
  void Execute(PrintRequest& request);
  bool RunRoutine(const PrintRequest& request);

  // Steps of the routines (CDevMgrPrint.cpp); print lock held.
  struct Selection;
  bool BeginJob(const PrintJobBase& job, Selection& selection);
  bool FinishJob(Selection& selection, bool filled);
  void FillPlaceholder(std::u16string_view keyword, std::u16string_view value);
  bool FindCell(std::u16string_view text, int& row, int& col) const;
  bool FindListHeader(std::u16string_view first, std::u16string_view second, int& row) const;
  void WriteCell(int row, int col, std::u16string_view text, bool sized);
  void FillCheckHeader(const CheckSheetJob& job);
  void FillMaterialHeader(const MaterialHandoverJob& job);
  void FillCashierHeader(const CashierHandoverJob& job);
  bool FillHandoverList(std::u16string_view header, const std::vector<HandoverRow>& rows);
  bool FillHandoverPairs(std::u16string_view header, const std::vector<HandoverRow>& rows);
  void WriteHandoverRow(int row, int col, const HandoverRow& item);

  std::atomic<long long> m_handOverMs{
      (CGridTable::kDefaultPrintTimeout + kHandOverMargin).count()};

  std::mutex m_requestLock;  // guards every request's state and m_stopped
  std::condition_variable m_requestChanged;
  bool m_stopped = false;

  std::mutex m_printLock;  // held while a routine runs; guards the members below
  CGridTable m_grid;
  float m_fontSize = 0;  // of the job being printed
};
