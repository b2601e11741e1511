// The shipped templates: one for every name of the client configuration's
// template list (and the ".nolist" handover sheets), each with its form's
// placeholders once, its list header and the list rows the print routines
// expect below it.
#include <gtest/gtest.h>

#include <set>

#include "CGridTable.h"
#include "GridFill.h"
#include "GridRenderer.h"
#include "GridTestSupport.h"
#include "GridText.h"

namespace {

using Doc = GridDocument;
namespace fs = std::filesystem;

const std::vector<std::string> kReceipt = {"#time#",  "#tittle#", "#tail#", "#siteno#",
                                           "#total#", "#pay#",    "#odd#"};
const std::vector<std::string> kLabel = {"#netbarname#", "#time#",   "#orderid#",
                                         "#warename#",   "#siteno#", "#price#"};
const std::vector<std::string> kCountCheck = {"#netbarname#", "#barname#", "#time#",
                                              "#sectiontype#"};
const std::vector<std::string> kMaterialHandover = {
    "#netbarname#", "#begintime#", "#endtime#", "#barname#", "#cashier#",
    "#pre#",        "#sales#",     "#active#",  "#scrap#",   "#odd#"};
const std::vector<std::string> kCashierHandover = {
    "#netbarname#", "#begintime#", "#endtime#",    "#barname#", "#sectiontype#",
    "#cashier#",    "#pre#",       "#salescount#", "#sales#",   "#active#",
    "#odd#",        "#upload#",    "#save#",       "#error#"};

const char* kWare = "商品名称";
const char* kMaterial = "物料名称";

struct TemplateCase {
  std::string file;
  Doc::Paper paper;
  const std::vector<std::string>* placeholders;
  const char* header;  // nullptr: no list
  int listRows;        // empty rows right below the header
  int listColumns;     // columns a list row fills for one item
  int secondItemCol;   // 0: one item per row
};

const TemplateCase kTemplates[] = {
    {"Xiaopiao58.grid", Doc::Paper::Thermal58, &kReceipt, kWare, 1, 3, 0},
    {"Xiaopiao80.grid", Doc::Paper::Thermal80, &kReceipt, kWare, 1, 3, 0},
    {"BuGanJiao.grid", Doc::Paper::Thermal58, &kLabel, nullptr, 0, 0, 0},
    {"WorkSection58.grid", Doc::Paper::Thermal58, &kCashierHandover, kWare, 1, 3, 0},
    {"WorkSection80.grid", Doc::Paper::Thermal80, &kCashierHandover, kWare, 1, 3, 0},
    {"WorkSectionA4.grid", Doc::Paper::A4, &kCashierHandover, kWare, 2, 3, 4},
    {"WorkSection58.grid.nolist", Doc::Paper::Thermal58, &kCashierHandover, nullptr, 0, 0, 0},
    {"WorkSection80.grid.nolist", Doc::Paper::Thermal80, &kCashierHandover, nullptr, 0, 0, 0},
    {"WorkSectionA4.grid.nolist", Doc::Paper::A4, &kCashierHandover, nullptr, 0, 0, 0},
    {"MaterialWorkSection58.grid", Doc::Paper::Thermal58, &kMaterialHandover, kMaterial, 1, 3, 0},
    {"MaterialWorkSection80.grid", Doc::Paper::Thermal80, &kMaterialHandover, kMaterial, 1, 3, 0},
    {"MaterialWorkSectionA4.grid", Doc::Paper::A4, &kMaterialHandover, kMaterial, 2, 3, 4},
    {"MaterialWorkSection58.grid.nolist", Doc::Paper::Thermal58, &kMaterialHandover, nullptr, 0, 0,
     0},
    {"MaterialWorkSection80.grid.nolist", Doc::Paper::Thermal80, &kMaterialHandover, nullptr, 0, 0,
     0},
    {"MaterialWorkSectionA4.grid.nolist", Doc::Paper::A4, &kMaterialHandover, nullptr, 0, 0, 0},
    {"WareCheck58.grid", Doc::Paper::Thermal58, &kCountCheck, kWare, 1, 2, 0},
    {"WareCheck80.grid", Doc::Paper::Thermal80, &kCountCheck, kWare, 1, 2, 0},
    {"WareCheckA4.grid", Doc::Paper::A4, &kCountCheck, kWare, 44, 2, 4},
    {"MaterialCheck58.grid", Doc::Paper::Thermal58, &kCountCheck, kMaterial, 1, 2, 0},
    {"MaterialCheck80.grid", Doc::Paper::Thermal80, &kCountCheck, kMaterial, 1, 2, 0},
    {"MaterialCheckA4.grid", Doc::Paper::A4, &kCountCheck, kMaterial, 44, 2, 4},
};

void PrintTo(const TemplateCase& test, std::ostream* out) { *out << test.file; }

int CellsContaining(const CGridTable& grid, const std::string& text) {
  int found = 0;
  for (int row = 1; row <= grid.GetRows(); ++row) {
    for (int col = 1; col <= grid.GetCols(); ++col) {
      if (GridText::ToUtf8(grid.GetCellText(row, col)).find(text) != std::string::npos) ++found;
    }
  }
  return found;
}

bool RowIsEmpty(const CGridTable& grid, int row) {
  for (int col = 1; col <= grid.GetCols(); ++col) {
    if (!grid.GetCellText(row, col).empty()) return false;
  }
  return true;
}

class ShippedTemplate : public ::testing::TestWithParam<TemplateCase> {
protected:
  void SetUp() override {
    std::string path = (GridTest::TemplateDir() / GetParam().file).string();
    ASSERT_TRUE(m_grid.OpenFile(path)) << m_grid.GetLastError();
  }
  CGridTable m_grid;
};

TEST_P(ShippedTemplate, ParsesOnItsPaper) {
  EXPECT_EQ(m_grid.GetDocument().paper, GetParam().paper);
  EXPECT_GT(m_grid.GetRows(), 0);
}

TEST_P(ShippedTemplate, HoldsEachPlaceholderInExactlyOneCell) {
  for (const std::string& keyword : *GetParam().placeholders) {
    EXPECT_EQ(CellsContaining(m_grid, keyword), 1) << keyword;
  }
  // Any other "#word#" would stay unfilled on paper.
  std::set<std::string> allowed(GetParam().placeholders->begin(), GetParam().placeholders->end());
  for (const Doc::Row& row : m_grid.GetDocument().rows) {
    for (const Doc::Cell& cell : row.cells) {
      std::size_t open = cell.text.find('#');
      if (open == std::string::npos) continue;
      std::size_t close = cell.text.find('#', open + 1);
      ASSERT_NE(close, std::string::npos) << cell.text;
      EXPECT_TRUE(allowed.count(cell.text.substr(open, close - open + 1))) << cell.text;
    }
  }
}

TEST_P(ShippedTemplate, HasItsListHeaderAndListRows) {
  const TemplateCase& test = GetParam();
  if (!test.header) {
    EXPECT_EQ(GridFill::FindCell(m_grid, u"商品名称").row, 0);
    EXPECT_EQ(GridFill::FindCell(m_grid, u"物料名称").row, 0);
    return;
  }
  GridFill::Position header = GridFill::FindCell(m_grid, GridText::ToUtf16(test.header));
  ASSERT_NE(header.row, 0);
  EXPECT_EQ(header.col, 1);
  // A sheet with a material list must not also hold the ware header, which
  // the count-check routine looks for first.
  if (std::string(test.header) == kMaterial) {
    EXPECT_EQ(GridFill::FindCell(m_grid, u"商品名称").row, 0);
  }
  for (int i = 1; i <= test.listRows; ++i) {
    EXPECT_TRUE(RowIsEmpty(m_grid, header.row + i)) << "list row " << i;
  }
  int after = header.row + test.listRows + 1;
  EXPECT_TRUE(after > m_grid.GetRows() || !RowIsEmpty(m_grid, after))
      << "more list rows than " << test.listRows;
  // Every column an item is written to is its own cell, not under a span.
  const Doc& doc = m_grid.GetDocument();
  for (int c = 0; c < test.listColumns; ++c) {
    EXPECT_FALSE(doc.IsCovered(static_cast<std::size_t>(header.row), static_cast<std::size_t>(c)));
    if (test.secondItemCol) {
      EXPECT_FALSE(doc.IsCovered(static_cast<std::size_t>(header.row),
                                 static_cast<std::size_t>(test.secondItemCol - 1 + c)));
    }
  }
  if (test.secondItemCol) {
    EXPECT_EQ(m_grid.GetCellText(header.row, test.secondItemCol), GridText::ToUtf16(test.header));
  }
}

TEST_P(ShippedTemplate, FilledFormKeepsNoPlaceholder) {
  for (const std::string& keyword : *GetParam().placeholders) {
    ASSERT_TRUE(GridFill::FillPlaceholder(m_grid, GridText::ToUtf16(keyword), u"值", 9)) << keyword;
  }
  EXPECT_EQ(CellsContaining(m_grid, "#"), 0);
}

INSTANTIATE_TEST_SUITE_P(All, ShippedTemplate, ::testing::ValuesIn(kTemplates),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           for (char& c : name) {
                             if (c == '.') c = '_';
                           }
                           return name;
                         });

TEST(ShippedTemplates, AreExactlyTheConfiguredForms) {
  std::set<std::string> expected;
  for (const TemplateCase& test : kTemplates) expected.insert(test.file);
  std::set<std::string> shipped;
  for (const auto& entry : fs::directory_iterator(GridTest::TemplateDir())) {
    shipped.insert(entry.path().filename().string());
  }
  EXPECT_EQ(shipped, expected);
}

// The A4 count-check sheet holds 88 items on its 44 list rows on one sheet;
// the 89th starts a block of 49 inserted rows, which runs onto more sheets.
TEST(ShippedTemplates, A4CountCheckHolds88ItemsOnOneSheet) {
  struct Case {
    int items;
    int insertedRows;
    bool onePage;
  };
  for (Case test : {Case{88, 0, true}, Case{89, 49, false}, Case{187, 98, false}}) {
    SCOPED_TRACE(test.items);
    CGridTable grid;
    ASSERT_TRUE(grid.OpenFile((GridTest::TemplateDir() / "WareCheckA4.grid").string()));
    int rows = grid.GetRows();
    std::vector<GridFill::Line> items(static_cast<std::size_t>(test.items), {u"可乐", u"3"});
    ASSERT_TRUE(GridFill::FillPairs(grid, u"商品名称", items, 4, 44, 49, 9));
    EXPECT_EQ(grid.GetRows() - rows, test.insertedRows);
    EXPECT_EQ(GridRenderer::PageCount(grid.GetDocument()) == 1, test.onePage);
  }
}

}  // namespace
