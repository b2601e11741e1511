#include "CGridTable.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <utility>

#include "CupsPrinter.h"
#include "GridRenderer.h"
#include "GridTemplateParser.h"
#include "GridTemplateWriter.h"
#include "GridText.h"

bool CGridTable::OpenFile(const std::string& path) {
  GridTemplateParser::Result result = GridTemplateParser::ParseFile(path);
  if (!result.ok) {
    // A failed load must not leave the previous form behind to be printed.
    m_document = GridDocument();
    m_loaded = false;
    m_templateName.clear();
    return Fail(result.message);
  }
  m_document = std::move(result.document);
  m_loaded = true;
  m_templateName = std::filesystem::path(path).filename().string();
  m_lastError.clear();
  return true;
}

bool CGridTable::SaveFile(const std::string& path) {
  if (!m_loaded) return Fail("no template is loaded");
  std::string message;
  if (!GridTemplateWriter::WriteFile(m_document, path, message)) return Fail(message);
  return true;
}

int CGridTable::GetRows() const { return static_cast<int>(m_document.rows.size()); }

int CGridTable::GetCols() const { return static_cast<int>(m_document.columnsMm.size()); }

const GridDocument::Cell* CGridTable::CellAt(int row, int col) const {
  if (row < 1 || col < 1 || row > GetRows() || col > GetCols()) return nullptr;
  return &m_document.rows[static_cast<std::size_t>(row - 1)]
              .cells[static_cast<std::size_t>(col - 1)];
}

GridDocument::Cell* CGridTable::CellAt(int row, int col) {
  return const_cast<GridDocument::Cell*>(std::as_const(*this).CellAt(row, col));
}

std::u16string CGridTable::GetCellText(int row, int col) const {
  const GridDocument::Cell* cell = CellAt(row, col);
  return cell ? GridText::ToUtf16(cell->text) : std::u16string();
}

bool CGridTable::SetCellText(int row, int col, std::u16string_view text) {
  GridDocument::Cell* cell = CellAt(row, col);
  if (!cell)
    return Fail("cell (" + std::to_string(row) + ", " + std::to_string(col) +
                ") is outside the grid");
  std::string utf8 = GridText::ToUtf8(text);
  cell->text = std::string(GridText::TruncateUtf8(utf8, GridDocument::kMaxTextBytes));
  return true;
}

bool CGridTable::SetCellFontSize(int row, int col, float points) {
  GridDocument::Cell* cell = CellAt(row, col);
  if (!cell)
    return Fail("cell (" + std::to_string(row) + ", " + std::to_string(col) +
                ") is outside the grid");
  if (!std::isfinite(points) || points < GridDocument::kMinFontSize ||
      points > GridDocument::kMaxFontSize) {
    return Fail("font size " + std::to_string(points) + " is outside 1 to 144 points");
  }
  cell->fontSize = points;
  return true;
}

bool CGridTable::InsertRows(int position, int count) {
  if (!m_loaded || m_document.rows.empty()) return Fail("no template is loaded");
  if (position < 1 || position > GetRows() + 1) return Fail("row position outside the grid");
  if (count < 0 ||
      static_cast<std::size_t>(count) > GridDocument::kMaxRows - m_document.rows.size()) {
    return Fail("the grid would have more than 100000 rows");
  }
  std::size_t model = static_cast<std::size_t>(std::min(position, GetRows()) - 1);
  GridDocument::Row layout = m_document.rows[model];
  for (GridDocument::Cell& cell : layout.cells) cell.text.clear();
  auto where = m_document.rows.begin() + (position - 1);
  m_document.rows.insert(where, static_cast<std::size_t>(count), layout);
  return true;
}

bool CGridTable::Print() {
  m_lastJobId = 0;
  if (!m_loaded) return Fail("no template is loaded");
  std::string pdf;
  std::string message;
  if (!GridRenderer::RenderPdf(m_document, pdf, message)) return Fail(message);
  std::string title = m_templateName.empty() ? "Tillora" : m_templateName;
  CupsPrinter::Result result = CupsPrinter::Print(m_printerName, pdf, title, m_printTimeout);
  m_lastJobId = result.jobId;
  if (!result.ok) return Fail(result.message);
  m_lastError.clear();
  return true;
}

std::u16string CGridTable::GetPrinterName() const { return GridText::ToUtf16(m_printerName); }

void CGridTable::SetPrinterName(std::u16string_view name) {
  m_printerName = GridText::ToUtf8(name);
}

bool CGridTable::RenderPdf(const std::string& path) {
  if (!m_loaded) return Fail("no template is loaded");
  std::string pdf;
  std::string message;
  if (!GridRenderer::RenderPdf(m_document, pdf, message)) return Fail(message);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(pdf.data(), static_cast<std::streamsize>(pdf.size()));
  file.close();
  if (!file) return Fail("cannot write '" + path + "'");
  return true;
}

bool CGridTable::RenderPng(const std::string& path, double dpi) {
  if (!m_loaded) return Fail("no template is loaded");
  std::string message;
  if (!GridRenderer::RenderPng(m_document, path, dpi, message)) return Fail(message);
  return true;
}

bool CGridTable::Fail(std::string message) {
  m_lastError = std::move(message);
  return false;
}
