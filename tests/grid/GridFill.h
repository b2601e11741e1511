// GridFill: the tests' stand-in for the device manager's form filling (find a
// cell by text, fill a placeholder, fill a list below its header), for tests
// and the preview program. Free functions on a caller's CGridTable; one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "CGridTable.h"

namespace GridFill {

struct Position {
  int row = 0;  // 0 when not found
  int col = 0;
};

using Line = std::vector<std::u16string>;

// Columns 1..n, and in each column rows 1..m: the first cell whose whole text
// equals text.
Position FindCell(const CGridTable& grid, std::u16string_view text);
// The first cell (same order) that contains the keyword gets every occurrence
// replaced and the font size; false when no cell holds the keyword.
bool FillPlaceholder(CGridTable& grid, std::u16string_view keyword, std::u16string_view value,
                     float fontSize);
// One line per row below the header, inserting (lines - keep) rows at the first
// list row; keep is 0 for receipts and 1 for the thermal sheets.
bool FillRows(CGridTable& grid, std::u16string_view header, const std::vector<Line>& lines,
              int keep, float fontSize);
// Two items per row, the second starting at column secondCol; the template
// holds templateRows list rows, and rowsPerBlock rows are added for every
// started block of 2 * rowsPerBlock further items (A4 sheets).
bool FillPairs(CGridTable& grid, std::u16string_view header, const std::vector<Line>& items,
               int secondCol, int templateRows, int rowsPerBlock, float fontSize);

}  // namespace GridFill
