// GridDocument: the plain data of one report grid — paper, column widths and a
// matrix of rows and cells — as a template file describes it, plus the paper
// geometry derived from it. Owned by value (CGridTable holds one); no lock.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct GridDocument {
  enum class Paper { Thermal58, Thermal80, A4 };
  enum class Align { Left, Center, Right };
  enum class Rule { None, Solid, Dashed };

  struct Cell {
    std::string text;  // UTF-8
    Align align = Align::Left;
    bool bold = false;
    bool mono = false;
    float fontSize = 0;  // points; 0 = the document's font size
    int span = 1;        // columns this cell covers, itself included
  };

  struct Row {
    double heightMm = 0;  // minimum; the row grows to fit its text
    Rule top = Rule::None;
    Rule bottom = Rule::None;
    bool boxed = false;       // a frame around every cell of the row
    std::vector<Cell> cells;  // exactly one per column
  };

  Paper paper = Paper::Thermal58;
  double marginXmm = -1;  // < 0: the columns are centred on the paper
  double marginYmm = -1;  // < 0: the paper's usual top and bottom margin
  float fontSize = 9;
  std::vector<double> columnsMm;
  std::vector<Row> rows;

  // Bounds that keep a hostile or broken file from exhausting memory or
  // making the renderer draw absurd pages.
  static constexpr std::size_t kMaxFileBytes = 1 << 20;
  static constexpr std::size_t kMaxLineBytes = 16 * 1024;
  static constexpr std::size_t kMaxTextBytes = 4096;
  static constexpr std::size_t kMaxColumns = 32;
  static constexpr std::size_t kMaxFileRows = 5000;
  static constexpr std::size_t kMaxRows = 100000;  // after rows were inserted
  static constexpr float kMinFontSize = 1;
  static constexpr float kMaxFontSize = 144;
  static constexpr double kMaxRowHeightMm = 250;
  static constexpr double kMaxMarginMm = 60;

  static double PaperWidthMm(Paper paper);
  // The height of one sheet; 0 for thermal rolls, whose page is as long as
  // the content.
  static double PaperHeightMm(Paper paper);
  double ContentWidthMm() const;
  double LeftMarginMm() const;
  double TopMarginMm() const;
  // True when (row, col), both from 0, lies under the span of a cell to its left.
  bool IsCovered(std::size_t row, std::size_t col) const;
};
