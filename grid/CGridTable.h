// CGridTable: the report grid forms are printed with: load a template, fill
// its cells, insert list rows, save, render, print through CUPS. Owned by its
// user (the device manager keeps one); not locked: one thread at a time.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "GridDocument.h"

class CGridTable {
public:
  static constexpr std::chrono::milliseconds kDefaultPrintTimeout{20000};

  CGridTable() = default;
  CGridTable(const CGridTable&) = delete;
  CGridTable& operator=(const CGridTable&) = delete;

  // Replaces the grid with the template; true when it loaded. On failure the
  // grid is empty (no rows, no columns) and GetLastError says why.
  bool OpenFile(const std::string& path);
  // Writes the grid as a template file; false when the file cannot be written.
  bool SaveFile(const std::string& path);

  int GetRows() const;
  int GetCols() const;

  // Rows and columns count from 1. Reading outside the grid gives an empty
  // text; writing outside it changes nothing and returns false. A text longer
  // than GridDocument::kMaxTextBytes (in UTF-8) is cut at a character.
  std::u16string GetCellText(int row, int col) const;
  bool SetCellText(int row, int col, std::u16string_view text);
  // Points; false for a cell outside the grid or a size outside 1 to 144.
  bool SetCellFontSize(int row, int col, float points);

  // Inserts count empty rows before row position (1 to rows + 1), pushing the
  // rows below down. Each new row takes the layout of the row at the position
  // (the row above when appending): height, rules, frames and every cell's
  // alignment, weight, font size and span, so a list keeps its look.
  bool InsertRows(int position, int count);

  // Renders the grid to PDF and hands it to CUPS; true only when CUPS took the
  // job and the printer started it within the print timeout.
  bool Print();
  // Empty: the CUPS default destination.
  std::u16string GetPrinterName() const;
  void SetPrinterName(std::u16string_view name);
  void SetPrintTimeout(std::chrono::milliseconds timeout) { m_printTimeout = timeout; }
  // The CUPS job id of the last Print that created a job, else 0.
  int GetLastJobId() const { return m_lastJobId; }

  bool RenderPdf(const std::string& path);
  bool RenderPng(const std::string& path, double dpi = 203);

  // Why the last failing call failed.
  const std::string& GetLastError() const { return m_lastError; }
  const GridDocument& GetDocument() const { return m_document; }

private:
  GridDocument::Cell* CellAt(int row, int col);
  const GridDocument::Cell* CellAt(int row, int col) const;
  bool Fail(std::string message);

  GridDocument m_document;
  bool m_loaded = false;
  std::string m_templateName;
  std::string m_printerName;  // UTF-8, as CUPS names are
  std::chrono::milliseconds m_printTimeout = kDefaultPrintTimeout;
  int m_lastJobId = 0;
  std::string m_lastError;
};
