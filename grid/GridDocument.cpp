#include "GridDocument.h"

#include <numeric>

namespace {

// Thermal printers leave a little paper above the first line and feed some
// below the last one so the tear-off edge does not cut through text.
constexpr double kThermalMarginYmm = 3;
constexpr double kA4MarginYmm = 12;

}  // namespace

double GridDocument::PaperWidthMm(Paper paper) {
  switch (paper) {
    case Paper::Thermal58: return 58;
    case Paper::Thermal80: return 80;
    case Paper::A4: return 210;
  }
  return 210;
}

double GridDocument::PaperHeightMm(Paper paper) { return paper == Paper::A4 ? 297 : 0; }

double GridDocument::ContentWidthMm() const {
  return std::accumulate(columnsMm.begin(), columnsMm.end(), 0.0);
}

double GridDocument::LeftMarginMm() const {
  if (marginXmm >= 0) return marginXmm;
  double spare = PaperWidthMm(paper) - ContentWidthMm();
  return spare > 0 ? spare / 2 : 0;
}

double GridDocument::TopMarginMm() const {
  if (marginYmm >= 0) return marginYmm;
  return paper == Paper::A4 ? kA4MarginYmm : kThermalMarginYmm;
}

bool GridDocument::IsCovered(std::size_t row, std::size_t col) const {
  if (row >= rows.size()) return false;
  const std::vector<Cell>& cells = rows[row].cells;
  for (std::size_t c = 0; c < col && c < cells.size(); ++c) {
    if (c + static_cast<std::size_t>(cells[c].span) > col) return true;
  }
  return false;
}
