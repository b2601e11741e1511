#include "GridFill.h"

namespace GridFill {

Position FindCell(const CGridTable& grid, std::u16string_view text) {
  for (int col = 1; col <= grid.GetCols(); ++col) {
    for (int row = 1; row <= grid.GetRows(); ++row) {
      if (grid.GetCellText(row, col) == text) return {row, col};
    }
  }
  return {};
}

bool FillPlaceholder(CGridTable& grid, std::u16string_view keyword, std::u16string_view value,
                     float fontSize) {
  for (int col = 1; col <= grid.GetCols(); ++col) {
    for (int row = 1; row <= grid.GetRows(); ++row) {
      std::u16string text = grid.GetCellText(row, col);
      std::size_t at = text.find(keyword);
      if (at == std::u16string::npos) continue;
      for (; at != std::u16string::npos; at = text.find(keyword, at + value.size())) {
        text.replace(at, keyword.size(), value);
      }
      grid.SetCellFontSize(row, col, fontSize);
      return grid.SetCellText(row, col, text);
    }
  }
  return false;
}

namespace {

void WriteLine(CGridTable& grid, int row, int firstCol, const Line& line, float fontSize) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    int col = firstCol + static_cast<int>(i);
    grid.SetCellText(row, col, line[i]);
    grid.SetCellFontSize(row, col, fontSize);
  }
}

}  // namespace

bool FillRows(CGridTable& grid, std::u16string_view header, const std::vector<Line>& lines,
              int keep, float fontSize) {
  Position head = FindCell(grid, header);
  if (head.row == 0) return false;
  int first = head.row + 1;
  int insert = static_cast<int>(lines.size()) - keep;
  if (insert > 0 && !grid.InsertRows(first, insert)) return false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    WriteLine(grid, first + static_cast<int>(i), 1, lines[i], fontSize);
  }
  return true;
}

bool FillPairs(CGridTable& grid, std::u16string_view header, const std::vector<Line>& items,
               int secondCol, int templateRows, int rowsPerBlock, float fontSize) {
  Position head = FindCell(grid, header);
  if (head.row == 0) return false;
  int first = head.row + 1;
  int capacity = 2 * templateRows;
  int count = static_cast<int>(items.size());
  if (count > capacity) {
    int perBlock = 2 * rowsPerBlock;
    int blocks = (count - capacity + perBlock - 1) / perBlock;
    if (!grid.InsertRows(first + 1, blocks * rowsPerBlock)) return false;
  }
  for (int i = 0; i < count; ++i) {
    WriteLine(grid, first + i / 2, i % 2 == 0 ? 1 : secondCol, items[static_cast<std::size_t>(i)],
              fontSize);
  }
  return true;
}

}  // namespace GridFill
