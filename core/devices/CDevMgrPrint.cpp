// The print routines: load the form's template, fill its placeholders and
// list, keep a copy of the filled form, print, and put the printer back.
#include <string_view>

#include "devices/CDevMgr.h"
#include "support/Helpers.h"
#include "support/TextCodec.h"
#include "support/Trace.h"

namespace {

constexpr std::u16string_view kWareHeader = u"商品名称";
constexpr std::u16string_view kMaterialHeader = u"物料名称";

// An A4 count-check template holds 44 list rows (88 items, two per row);
// each started block of 98 further items adds 49 rows.
constexpr int kCheckA4TemplateItems = 88;
constexpr int kCheckA4BlockItems = 98;
constexpr int kCheckA4BlockRows = 49;
// An A4 handover template holds two list rows.
constexpr int kHandoverA4TemplateRows = 2;

int ToInt(std::size_t count) { return static_cast<int>(count); }

}  // namespace

struct CDevMgr::Selection {
  bool changed = false;
  std::u16string previous;
};

bool CDevMgr::BeginJob(const PrintJobBase& job, Selection& selection) {
  m_fontSize = static_cast<float>(job.fontSize);
  if (!m_grid.OpenFile(TextCodec::Utf16ToUtf8(job.templatePath))) {
    Trace::Write("flexCell->OpenFile failed");
    return false;
  }
  // Our grid always has its print settings, so choosing a printer cannot
  // fail; an empty name keeps the current one.
  if (!job.printer.empty()) {
    selection.previous = m_grid.GetPrinterName();
    selection.changed = true;
    m_grid.SetPrinterName(job.printer);
  }
  return true;
}

// The previous printer comes back even when it was the CUPS default (an
// empty name): otherwise one job's printer would silently become the next
// job's "current printer".
bool CDevMgr::FinishJob(Selection& selection, bool filled) {
  bool printed = false;
  if (filled) {
    m_grid.SaveFile(Helpers::WorkDirA() + kFilledCopyName);
    printed = m_grid.Print();
    if (!printed) Trace::Write("CDevMgr: print failed: %s", m_grid.GetLastError().c_str());
  }
  if (selection.changed) m_grid.SetPrinterName(selection.previous);
  return printed;
}

void CDevMgr::FillPlaceholder(std::u16string_view keyword, std::u16string_view value) {
  const int rows = m_grid.GetRows();
  const int cols = m_grid.GetCols();
  for (int col = 1; col <= cols; ++col) {
    for (int row = 1; row <= rows; ++row) {
      std::u16string text = m_grid.GetCellText(row, col);
      if (text.find(keyword) == std::u16string::npos) continue;
      for (std::size_t at = text.find(keyword); at != std::u16string::npos;
           at = text.find(keyword, at + value.size())) {
        text.replace(at, keyword.size(), value);
      }
      m_grid.SetCellFontSize(row, col, m_fontSize);
      m_grid.SetCellText(row, col, text);
      return;
    }
  }
}

bool CDevMgr::FindCell(std::u16string_view text, int& row, int& col) const {
  const int rows = m_grid.GetRows();
  const int cols = m_grid.GetCols();
  for (col = 1; col <= cols; ++col) {
    for (row = 1; row <= rows; ++row) {
      if (m_grid.GetCellText(row, col) == text) return true;
    }
  }
  return false;
}

bool CDevMgr::FindListHeader(std::u16string_view first, std::u16string_view second,
                             int& row) const {
  int col = 0;
  if (FindCell(first, row, col)) return true;
  if (!second.empty() && FindCell(second, row, col)) return true;
  Trace::Write("no ware list");
  return false;
}

// A font size the grid refuses (0 when the settings lack one) leaves the
// template's size.
void CDevMgr::WriteCell(int row, int col, std::u16string_view text, bool sized) {
  m_grid.SetCellText(row, col, text);
  if (sized) m_grid.SetCellFontSize(row, col, m_fontSize);
}

std::u16string CDevMgr::GridPrinterName() {
  std::lock_guard<std::mutex> lock(m_printLock);
  return m_grid.GetPrinterName();
}

int CDevMgr::LastPrintJobId() {
  std::lock_guard<std::mutex> lock(m_printLock);
  return m_grid.GetLastJobId();
}

// ---- The eight routines -------------------------------------------------------

bool CDevMgr::PrintReceipt(const ReceiptJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillPlaceholder(u"#time#", job.time);
  FillPlaceholder(u"#tittle#", job.title);
  FillPlaceholder(u"#tail#", job.tail);
  FillPlaceholder(u"#siteno#", job.siteNo);
  FillPlaceholder(u"#total#", job.total);
  FillPlaceholder(u"#pay#", job.pay);
  FillPlaceholder(u"#odd#", job.odd);
  int header = 0;
  const bool filled = FindListHeader(kWareHeader, {}, header);
  if (filled) {
    const int first = header + 1;
    if (!job.lines.empty()) m_grid.InsertRows(first, ToInt(job.lines.size()));
    for (std::size_t i = 0; i < job.lines.size(); ++i) {
      const int row = first + ToInt(i);
      WriteCell(row, 1, job.lines[i].name, true);
      WriteCell(row, 2, job.lines[i].count, true);
      WriteCell(row, 3, job.lines[i].amount, true);
    }
  }
  return FinishJob(selection, filled);
}

bool CDevMgr::PrintLabel(const LabelJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillPlaceholder(u"#netbarname#", job.netbarName);
  FillPlaceholder(u"#time#", job.time);
  FillPlaceholder(u"#orderid#", job.orderId);
  FillPlaceholder(u"#warename#", job.wareName);
  FillPlaceholder(u"#siteno#", job.siteNo);
  FillPlaceholder(u"#price#", job.price);
  return FinishJob(selection, true);
}

bool CDevMgr::PrintCheckSheetThermal(const CheckSheetJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillCheckHeader(job);
  int header = 0;
  const bool filled = FindListHeader(kWareHeader, kMaterialHeader, header);
  if (filled) {
    const int first = header + 1;
    if (job.items.size() > 1) m_grid.InsertRows(first, ToInt(job.items.size()) - 1);
    for (std::size_t i = 0; i < job.items.size(); ++i) {
      WriteCell(first + ToInt(i), 1, job.items[i].name, true);
      WriteCell(first + ToInt(i), 2, job.items[i].value, false);
    }
  }
  return FinishJob(selection, filled);
}

bool CDevMgr::PrintCheckSheetA4(const CheckSheetJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillCheckHeader(job);
  int header = 0;
  const bool filled = FindListHeader(kWareHeader, kMaterialHeader, header);
  if (filled) {
    const int first = header + 1;
    const int items = ToInt(job.items.size());
    if (items > kCheckA4TemplateItems) {
      const int blocks = (items - kCheckA4TemplateItems + kCheckA4BlockItems - 1) /
                         kCheckA4BlockItems;
      m_grid.InsertRows(first + 1, blocks * kCheckA4BlockRows);
    }
    for (int i = 0; i < items; ++i) {
      const int row = first + i / 2;
      const int col = i % 2 == 0 ? 1 : 4;
      WriteCell(row, col, job.items[i].name, true);
      WriteCell(row, col + 1, job.items[i].value, false);
    }
  }
  return FinishJob(selection, filled);
}

// A handover sheet without list lines prints without its list, so only a
// list that has lines needs its header.
bool CDevMgr::PrintMaterialHandoverThermal(const MaterialHandoverJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillMaterialHeader(job);
  const bool filled = job.rows.empty() || FillHandoverList(kMaterialHeader, job.rows);
  return FinishJob(selection, filled);
}

bool CDevMgr::PrintMaterialHandoverA4(const MaterialHandoverJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillMaterialHeader(job);
  const bool filled = job.rows.empty() || FillHandoverPairs(kMaterialHeader, job.rows);
  return FinishJob(selection, filled);
}

bool CDevMgr::PrintCashierHandoverThermal(const CashierHandoverJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillCashierHeader(job);
  const bool filled = job.rows.empty() || FillHandoverList(kWareHeader, job.rows);
  return FinishJob(selection, filled);
}

bool CDevMgr::PrintCashierHandoverA4(const CashierHandoverJob& job) {
  std::lock_guard<std::mutex> lock(m_printLock);
  Selection selection;
  if (!BeginJob(job, selection)) return false;
  FillCashierHeader(job);
  const bool filled = job.rows.empty() || FillHandoverPairs(kWareHeader, job.rows);
  return FinishJob(selection, filled);
}

// ---- Form parts ------------------------------------------------------------------

void CDevMgr::FillCheckHeader(const CheckSheetJob& job) {
  FillPlaceholder(u"#netbarname#", job.netbarName);
  FillPlaceholder(u"#barname#", job.barName);
  FillPlaceholder(u"#time#", job.time);
  FillPlaceholder(u"#sectiontype#", job.sectionType);
}

void CDevMgr::FillMaterialHeader(const MaterialHandoverJob& job) {
  FillPlaceholder(u"#netbarname#", job.netbarName);
  FillPlaceholder(u"#begintime#", job.beginTime);
  FillPlaceholder(u"#endtime#", job.endTime);
  FillPlaceholder(u"#barname#", job.barName);
  FillPlaceholder(u"#cashier#", job.cashier);
  FillPlaceholder(u"#pre#", job.pre);
  FillPlaceholder(u"#sales#", job.sales);
  FillPlaceholder(u"#active#", job.active);
  FillPlaceholder(u"#scrap#", job.scrap);
  FillPlaceholder(u"#odd#", job.odd);
}

void CDevMgr::FillCashierHeader(const CashierHandoverJob& job) {
  FillPlaceholder(u"#netbarname#", job.netbarName);
  FillPlaceholder(u"#begintime#", job.beginTime);
  FillPlaceholder(u"#endtime#", job.endTime);
  FillPlaceholder(u"#barname#", job.barName);
  FillPlaceholder(u"#sectiontype#", job.sectionType);
  FillPlaceholder(u"#cashier#", job.cashier);
  FillPlaceholder(u"#pre#", job.pre);
  FillPlaceholder(u"#salescount#", job.salesCount);
  FillPlaceholder(u"#sales#", job.sales);
  FillPlaceholder(u"#active#", job.active);
  FillPlaceholder(u"#odd#", job.odd);
  FillPlaceholder(u"#upload#", job.upload);
  FillPlaceholder(u"#save#", job.save);
  FillPlaceholder(u"#error#", job.error);
}

// Thermal: the template holds one list row; the others are inserted there.
bool CDevMgr::FillHandoverList(std::u16string_view header, const std::vector<HandoverRow>& rows) {
  int headerRow = 0;
  if (!FindListHeader(header, {}, headerRow)) return false;
  const int first = headerRow + 1;
  if (rows.size() > 1) m_grid.InsertRows(first, ToInt(rows.size()) - 1);
  for (std::size_t i = 0; i < rows.size(); ++i) WriteHandoverRow(first + ToInt(i), 1, rows[i]);
  return true;
}

// A4: two items per row; rows beyond the template's two are inserted below
// the first list row.
bool CDevMgr::FillHandoverPairs(std::u16string_view header, const std::vector<HandoverRow>& rows) {
  int headerRow = 0;
  if (!FindListHeader(header, {}, headerRow)) return false;
  const int first = headerRow + 1;
  const int extra = ToInt((rows.size() + 1) / 2) - kHandoverA4TemplateRows;
  if (extra > 0) m_grid.InsertRows(first + 1, extra);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    WriteHandoverRow(first + ToInt(i / 2), i % 2 == 0 ? 1 : 4, rows[i]);
  }
  return true;
}

void CDevMgr::WriteHandoverRow(int row, int col, const HandoverRow& item) {
  WriteCell(row, col, item.first, true);
  WriteCell(row, col + 1, item.second, true);
  WriteCell(row, col + 2, item.third, true);
}
