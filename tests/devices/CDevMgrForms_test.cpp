// The print routines' filling of the forms, read back from the filled copy
// each routine saves before it prints: placeholders, list rows, the rows
// inserted for long lists, and the failures that print nothing. No scheduler
// runs here, so every print itself fails; the filling is what is checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "CGridTable.h"
#include "DevicesFixture.h"
#include "grid/GridTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string FilledCopyPath() { return DevicesWorkDir() + CDevMgr::kFilledCopyName; }

// The filled copy as a grid; empty (no rows) when none was saved.
std::unique_ptr<CGridTable> FilledCopy() {
  auto grid = std::make_unique<CGridTable>();
  if (fs::exists(FilledCopyPath())) grid->OpenFile(FilledCopyPath());
  return grid;
}

int TemplateRows(std::string_view file) {
  CGridTable grid;
  grid.OpenFile(U8(TemplatePath(file)));
  return grid.GetRows();
}

// The row of the first cell whose whole text is `text`, scanning as the
// routines do; 0 when none.
int RowOf(const CGridTable& grid, std::u16string_view text) {
  for (int col = 1; col <= grid.GetCols(); ++col) {
    for (int row = 1; row <= grid.GetRows(); ++row) {
      if (grid.GetCellText(row, col) == text) return row;
    }
  }
  return 0;
}

float FontSizeAt(const CGridTable& grid, int row, int col) {
  return grid.GetDocument().rows[row - 1].cells[col - 1].fontSize;
}

std::u16string Numbered(std::string_view stem, int i) { return U16(std::string(stem) + std::to_string(i)); }

CheckSheetJob CheckSheet(std::string_view file, int items) {
  CheckSheetJob job;
  job.templatePath = TemplatePath(file);
  job.fontSize = 11;
  job.netbarName = u"星海网吧";
  job.barName = u"一楼吧台";
  job.time = u"2024-05-06 07:08:09";
  job.sectionType = u"早班";
  for (int i = 1; i <= items; ++i) job.items.push_back({Numbered("商品", i), Numbered("", i * 10)});
  return job;
}

std::vector<HandoverRow> HandoverRows(int items) {
  std::vector<HandoverRow> rows;
  for (int i = 1; i <= items; ++i) rows.push_back({Numbered("品", i), Numbered("", i), Numbered("", i * 2)});
  return rows;
}

class CDevMgrForms : public DevicesTest {};

// ---- Count-check sheets -----------------------------------------------------

struct A4CheckCase {
  int items;
  int inserted;
};

void PrintTo(const A4CheckCase& c, std::ostream* out) { *out << c.items << " items"; }

class CheckSheetA4Rows : public DevicesTest, public ::testing::WithParamInterface<A4CheckCase> {};

TEST_P(CheckSheetA4Rows, InsertsFortyNineRowsPerStartedBlockBeyondEightyEight) {
  const A4CheckCase c = GetParam();
  Devices().PrintCheckSheetA4(CheckSheet("WareCheckA4.grid", c.items));
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0) << "no filled copy was saved";
  EXPECT_EQ(copy->GetRows() - TemplateRows("WareCheckA4.grid"), c.inserted) << c.items << " items";
  const int first = RowOf(*copy, u"商品名称") + 1;
  for (int i : {1, 2, 3, c.items - 1, c.items}) {
    const int row = first + (i - 1) / 2;
    const int col = (i - 1) % 2 == 0 ? 1 : 4;
    EXPECT_EQ(U8(copy->GetCellText(row, col)), U8(Numbered("商品", i))) << "item " << i;
    EXPECT_EQ(U8(copy->GetCellText(row, col + 1)), std::to_string(i * 10)) << "item " << i;
    EXPECT_EQ(FontSizeAt(*copy, row, col), 11) << "the name takes the job's size";
    EXPECT_NE(FontSizeAt(*copy, row, col + 1), 11) << "the value keeps the template's size";
  }
  // The signature row stays below the list.
  EXPECT_EQ(RowOf(*copy, u"盘点人："), TemplateRows("WareCheckA4.grid") + c.inserted);
}

INSTANTIATE_TEST_SUITE_P(Items, CheckSheetA4Rows,
                         ::testing::Values(A4CheckCase{88, 0}, A4CheckCase{89, 49},
                                           A4CheckCase{186, 49}, A4CheckCase{187, 98}),
                         [](const auto& info) { return std::to_string(info.param.items); });

TEST_F(CDevMgrForms, CheckSheetFillsItsHeaderPlaceholders) {
  Devices().PrintCheckSheetA4(CheckSheet("WareCheckA4.grid", 2));
  std::unique_ptr<CGridTable> copy = FilledCopy();
  EXPECT_GT(RowOf(*copy, u"门店：星海网吧"), 0);
  EXPECT_GT(RowOf(*copy, u"吧台：一楼吧台"), 0);
  EXPECT_GT(RowOf(*copy, u"班次：早班"), 0);
  EXPECT_GT(RowOf(*copy, u"打印时间：2024-05-06 07:08:09"), 0);
}

TEST_F(CDevMgrForms, ThermalCheckSheetUsesTheMaterialHeaderWhenThereIsNoWareHeader) {
  Devices().PrintCheckSheetThermal(CheckSheet("MaterialCheck58.grid", 3));
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0);
  EXPECT_EQ(copy->GetRows() - TemplateRows("MaterialCheck58.grid"), 2);
  const int first = RowOf(*copy, u"物料名称") + 1;
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(U8(copy->GetCellText(first + i - 1, 1)), U8(Numbered("商品", i)));
    EXPECT_EQ(U8(copy->GetCellText(first + i - 1, 2)), std::to_string(i * 10));
  }
}

TEST_F(CDevMgrForms, CheckSheetWithoutAnyListHeaderPrintsNothing) {
  CheckSheetJob job = CheckSheet("BuGanJiao.grid", 3);
  EXPECT_FALSE(Devices().PrintCheckSheetThermal(job));
  EXPECT_FALSE(Devices().PrintCheckSheetA4(job));
  EXPECT_FALSE(fs::exists(FilledCopyPath())) << "a form without its list was saved for printing";
}

// ---- Handover sheets --------------------------------------------------------

struct HandoverCase {
  int items;
  int inserted;
};

void PrintTo(const HandoverCase& c, std::ostream* out) { *out << c.items << " items"; }

class HandoverA4Rows : public DevicesTest, public ::testing::WithParamInterface<HandoverCase> {};

TEST_P(HandoverA4Rows, CashierSheetTakesTwoWaresPerRow) {
  const HandoverCase c = GetParam();
  CashierHandoverJob job;
  job.templatePath = TemplatePath("WorkSectionA4.grid");
  job.rows = HandoverRows(c.items);
  Devices().PrintCashierHandoverA4(job);
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0);
  EXPECT_EQ(copy->GetRows() - TemplateRows("WorkSectionA4.grid"), c.inserted);
  const int first = RowOf(*copy, u"商品名称") + 1;
  for (int i = 1; i <= c.items; ++i) {
    const int row = first + (i - 1) / 2;
    const int col = (i - 1) % 2 == 0 ? 1 : 4;
    EXPECT_EQ(U8(copy->GetCellText(row, col)), U8(Numbered("品", i)));
    EXPECT_EQ(U8(copy->GetCellText(row, col + 2)), std::to_string(i * 2));
  }
}

TEST_P(HandoverA4Rows, MaterialSheetTakesTwoMaterialsPerRow) {
  const HandoverCase c = GetParam();
  MaterialHandoverJob job;
  job.templatePath = TemplatePath("MaterialWorkSectionA4.grid");
  job.rows = HandoverRows(c.items);
  Devices().PrintMaterialHandoverA4(job);
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0);
  EXPECT_EQ(copy->GetRows() - TemplateRows("MaterialWorkSectionA4.grid"), c.inserted);
  const int last = RowOf(*copy, u"物料名称") + 1 + (c.items - 1) / 2;
  EXPECT_EQ(U8(copy->GetCellText(last, (c.items - 1) % 2 == 0 ? 1 : 4)), U8(Numbered("品", c.items)));
}

INSTANTIATE_TEST_SUITE_P(Items, HandoverA4Rows,
                         ::testing::Values(HandoverCase{1, 0}, HandoverCase{2, 0},
                                           HandoverCase{4, 0}, HandoverCase{5, 1},
                                           HandoverCase{9, 3}),
                         [](const auto& info) { return std::to_string(info.param.items); });

TEST_F(CDevMgrForms, ThermalHandoverListsOneItemPerRow) {
  MaterialHandoverJob job;
  job.templatePath = TemplatePath("MaterialWorkSection80.grid");
  job.fontSize = 10;
  job.rows = HandoverRows(3);
  job.scrap = u"0";
  Devices().PrintMaterialHandoverThermal(job);
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0);
  EXPECT_EQ(copy->GetRows() - TemplateRows("MaterialWorkSection80.grid"), 2);
  const int first = RowOf(*copy, u"物料名称") + 1;
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(U8(copy->GetCellText(first + i - 1, 1)), U8(Numbered("品", i)));
    EXPECT_EQ(U8(copy->GetCellText(first + i - 1, 2)), std::to_string(i));
    EXPECT_EQ(U8(copy->GetCellText(first + i - 1, 3)), std::to_string(i * 2));
    EXPECT_EQ(FontSizeAt(*copy, first + i - 1, 3), 10);
  }
}

// The list-less variant has no header at all: an empty list never looks for one.
TEST_F(CDevMgrForms, HandoverWithoutListUsesTheNolistTemplate) {
  CashierHandoverJob job;
  job.templatePath = TemplatePath("WorkSection58.grid.nolist");
  job.cashier = u"张三";
  Devices().PrintCashierHandoverThermal(job);
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0) << "the sheet without its list was not filled";
  EXPECT_EQ(copy->GetRows(), TemplateRows("WorkSection58.grid.nolist"));
}

TEST_F(CDevMgrForms, HandoverWithAListButNoHeaderPrintsNothing) {
  CashierHandoverJob job;
  job.templatePath = TemplatePath("WorkSection58.grid.nolist");
  job.rows = HandoverRows(2);
  EXPECT_FALSE(Devices().PrintCashierHandoverThermal(job));
  EXPECT_FALSE(fs::exists(FilledCopyPath()));
}

// ---- Receipts and placeholders ---------------------------------------------------

TEST_F(CDevMgrForms, ReceiptInsertsOneRowPerLineWithNameCountAndAmount) {
  ReceiptJob job;
  job.templatePath = TemplatePath("Xiaopiao58.grid");
  job.fontSize = 9;
  job.title = u"星海网吧";
  job.lines = {{u"可乐", u"3.50", u"2", u"7.00"},
               {u"雪碧", u"3.00", u"1", u"3.00"},
               {u"泡面", u"5.00", u"1", u"5.00"}};
  Devices().PrintReceipt(job);
  std::unique_ptr<CGridTable> copy = FilledCopy();
  ASSERT_GT(copy->GetRows(), 0);
  EXPECT_EQ(copy->GetRows() - TemplateRows("Xiaopiao58.grid"), 3);
  const int first = RowOf(*copy, u"商品名称") + 1;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(copy->GetCellText(first + i, 1), job.lines[i].name);
    EXPECT_EQ(copy->GetCellText(first + i, 2), job.lines[i].count);
    EXPECT_EQ(copy->GetCellText(first + i, 3), job.lines[i].amount);
  }
  EXPECT_EQ(RowOf(*copy, u"3.50"), 0) << "the unit price is not printed";
  EXPECT_GT(RowOf(*copy, u"星海网吧"), 0) << "#tittle# filled";
}

TEST_F(CDevMgrForms, PlaceholderFillsEveryOccurrenceInTheFirstCellOnly) {
  const std::string path = DevicesWorkDir() + "twice.grid";
  GridTest::WriteFile(path,
                      "tillora-grid 1\npaper 58mm\ncolumns 40\n"
                      "row\n  cell \"#tail#-#tail#\"\n"
                      "row\n  cell \"#tail#\"\n"
                      "row\n  cell \"商品名称\"\n"
                      "row\n  cell\n");
  ReceiptJob job;
  job.templatePath = U16(path);
  job.tail = u"谢谢";
  Devices().PrintReceipt(job);
  std::unique_ptr<CGridTable> copy = FilledCopy();
  EXPECT_EQ(U8(copy->GetCellText(1, 1)), "谢谢-谢谢");
  EXPECT_EQ(U8(copy->GetCellText(2, 1)), "#tail#");
}

TEST_F(CDevMgrForms, LabelFillsItsPlaceholders) {
  LabelJob job;
  job.templatePath = TemplatePath("BuGanJiao.grid");
  job.netbarName = u"星海网吧";
  job.orderId = u"17(1/2)";
  job.wareName = u"奶茶(少糖)";
  job.price = u"¥6.00";
  Devices().PrintLabel(job);
  const std::string text = GridTest::ReadFile(FilledCopyPath());
  for (const char* expected : {"星海网吧", "17(1/2)", "奶茶(少糖)", "¥6.00"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(text.find("#orderid#"), std::string::npos);
}

TEST_F(CDevMgrForms, MissingTemplateFailsWithoutSavingAnything) {
  ReceiptJob job;
  job.templatePath = TemplatePath("NoSuchTemplate.grid");
  EXPECT_FALSE(Devices().PrintReceipt(job));
  EXPECT_FALSE(fs::exists(FilledCopyPath()));
}

TEST_F(CDevMgrForms, ReceiptTemplateWithoutItsListHeaderFails) {
  ReceiptJob job;
  job.templatePath = TemplatePath("BuGanJiao.grid");
  job.lines = {{u"可乐", u"3.50", u"1", u"3.50"}};
  EXPECT_FALSE(Devices().PrintReceipt(job));
  EXPECT_FALSE(fs::exists(FilledCopyPath()));
}

TEST_F(CDevMgrForms, PrinterOfAJobIsPutBackAfterwards) {
  LabelJob job;
  job.templatePath = TemplatePath("BuGanJiao.grid");
  job.printer = u"TilloraNoSuchQueue";
  EXPECT_FALSE(Devices().PrintLabel(job)) << "nothing can print here";
  EXPECT_EQ(U8(Devices().GridPrinterName()), "") << "the job's printer stayed selected";
}

}  // namespace
