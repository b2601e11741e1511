// The grid table's operations as a print routine uses them: open, counts,
// cell text and font size, row insertion that keeps the list's look, save
// and reopen.
#include "CGridTable.h"

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "GridText.h"

#include <limits>

namespace {

using Doc = GridDocument;

const char* kList = R"(tillora-grid 1
paper 58mm
columns 20 10 18
row height=7 bottom=dashed
  cell span=3 align=center bold "#tittle#"
row
  cell bold "商品名称"
  cell align=right "数量"
  cell align=right "金额"
row height=5.5 boxed
  cell size=11 "list"
  cell align=right bold
  cell align=right mono
row top=solid
  cell "合计"
  cell span=2 align=right "#total#"
)";

class CGridTableTest : public ::testing::Test {
protected:
  void SetUp() override {
    GridTest::WriteFile(m_dir / "list.grid", kList);
    ASSERT_TRUE(m_grid.OpenFile(m_dir / "list.grid")) << m_grid.GetLastError();
  }

  std::string Text(int row, int col) const {
    return GridText::ToUtf8(m_grid.GetCellText(row, col));
  }

  GridTest::TempDir m_dir;
  CGridTable m_grid;
};

TEST_F(CGridTableTest, CountsRowsAndColumns) {
  EXPECT_EQ(m_grid.GetRows(), 4);
  EXPECT_EQ(m_grid.GetCols(), 3);
  EXPECT_EQ(Text(1, 1), "#tittle#");
  EXPECT_EQ(Text(2, 1), "商品名称");
  EXPECT_EQ(Text(4, 2), "#total#");
  EXPECT_TRUE(m_grid.GetLastError().empty());
}

TEST_F(CGridTableTest, CellsOutsideTheGridReadEmptyAndRefuseWrites) {
  const std::pair<int, int> outside[] = {{0, 1}, {1, 0}, {5, 1}, {1, 4}, {-1, -1}, {100000, 2}};
  for (auto [row, col] : outside) {
    SCOPED_TRACE(std::to_string(row) + "," + std::to_string(col));
    EXPECT_EQ(m_grid.GetCellText(row, col), u"");
    EXPECT_FALSE(m_grid.SetCellText(row, col, u"x"));
    EXPECT_FALSE(m_grid.SetCellFontSize(row, col, 9));
  }
  EXPECT_NE(m_grid.GetLastError().find("outside the grid"), std::string::npos);
}

TEST_F(CGridTableTest, TextsRoundTripThroughCells) {
  const std::u16string texts[] = {
      u"",       u"#netbarname#", u"座位号：#siteno#",     u"拿铁咖啡（大杯）",
      u"¥22.00", u"a\"b\\c\nd",   u"emoji \U0001F375 tea", std::u16string(1, u'\xD800') + u"lone"};
  for (const std::u16string& text : texts) {
    ASSERT_TRUE(m_grid.SetCellText(3, 1, text));
    std::u16string expected = text;
    if (!text.empty() && text[0] == u'\xD800') expected[0] = u'\xFFFD';  // not encodable
    EXPECT_EQ(m_grid.GetCellText(3, 1), expected);
  }
}

TEST_F(CGridTableTest, OverlongTextIsCutAtACharacter) {
  std::u16string text(3000, u'中');  // 9000 bytes in UTF-8
  ASSERT_TRUE(m_grid.SetCellText(1, 1, text));
  EXPECT_EQ(m_grid.GetCellText(1, 1), std::u16string(Doc::kMaxTextBytes / 3, u'中'));
}

TEST_F(CGridTableTest, FontSizeTakesPointsWithinBounds) {
  EXPECT_TRUE(m_grid.SetCellFontSize(2, 1, 9.5f));
  EXPECT_FLOAT_EQ(m_grid.GetDocument().rows[1].cells[0].fontSize, 9.5f);
  for (float bad : {0.0f, -3.0f, 145.0f, std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::infinity()}) {
    EXPECT_FALSE(m_grid.SetCellFontSize(2, 1, bad)) << bad;
  }
  EXPECT_FLOAT_EQ(m_grid.GetDocument().rows[1].cells[0].fontSize, 9.5f);
}

struct InsertCase {
  const char* name;
  int position;
  int count;
  bool ok;
  std::vector<std::string> column1;  // column 1 of every row afterwards
  int layoutFrom;                    // row (from 1, before inserting) the new rows copy
};

const InsertCase kInsertCases[] = {
    {"AtTheListRow", 3, 2, true, {"#tittle#", "商品名称", "", "", "list", "合计"}, 3},
    {"AtTheTop", 1, 1, true, {"", "#tittle#", "商品名称", "list", "合计"}, 1},
    {"BelowTheListRow", 4, 1, true, {"#tittle#", "商品名称", "list", "", "合计"}, 4},
    {"AppendCopiesTheRowAbove", 5, 2, true, {"#tittle#", "商品名称", "list", "合计", "", ""}, 4},
    {"NothingToInsert", 3, 0, true, {"#tittle#", "商品名称", "list", "合计"}, 0},
    {"PositionZero", 0, 1, false, {"#tittle#", "商品名称", "list", "合计"}, 0},
    {"PositionPastTheEnd", 6, 1, false, {"#tittle#", "商品名称", "list", "合计"}, 0},
    {"NegativeCount", 3, -1, false, {"#tittle#", "商品名称", "list", "合计"}, 0},
    {"BeyondTheRowLimit", 3, 100000, false, {"#tittle#", "商品名称", "list", "合计"}, 0},
};

void PrintTo(const InsertCase& test, std::ostream* out) { *out << test.name; }

class CGridTableInsert : public CGridTableTest, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(CGridTableInsert, PushesRowsDownAndCopiesTheLayout) {
  const InsertCase& test = GetParam();
  Doc before = m_grid.GetDocument();
  EXPECT_EQ(m_grid.InsertRows(test.position, test.count), test.ok);
  ASSERT_EQ(m_grid.GetRows(), static_cast<int>(test.column1.size()));
  for (int row = 1; row <= m_grid.GetRows(); ++row) {
    EXPECT_EQ(Text(row, 1), test.column1[static_cast<std::size_t>(row - 1)]) << "row " << row;
  }
  if (!test.ok || test.count == 0) return;
  const Doc::Row& model = before.rows[static_cast<std::size_t>(test.layoutFrom - 1)];
  for (int i = 0; i < test.count; ++i) {
    const Doc::Row& added =
        m_grid.GetDocument().rows[static_cast<std::size_t>(test.position - 1 + i)];
    EXPECT_DOUBLE_EQ(added.heightMm, model.heightMm);
    EXPECT_EQ(added.boxed, model.boxed);
    EXPECT_EQ(added.top, model.top);
    EXPECT_EQ(added.bottom, model.bottom);
    for (std::size_t c = 0; c < model.cells.size(); ++c) {
      EXPECT_EQ(added.cells[c].align, model.cells[c].align);
      EXPECT_EQ(added.cells[c].bold, model.cells[c].bold);
      EXPECT_EQ(added.cells[c].mono, model.cells[c].mono);
      EXPECT_EQ(added.cells[c].span, model.cells[c].span);
      EXPECT_FLOAT_EQ(added.cells[c].fontSize, model.cells[c].fontSize);
      EXPECT_EQ(added.cells[c].text, "");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CGridTableInsert, ::testing::ValuesIn(kInsertCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CGridTableTest, InsertedRowsFollowLaterCellWrites) {
  ASSERT_TRUE(m_grid.InsertRows(3, 3));
  const char16_t* names[] = {u"美式咖啡", u"拿铁", u"冰红茶", u"鸡腿堡"};
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(m_grid.SetCellText(3 + i, 1, names[i]));
  EXPECT_EQ(Text(6, 1), "鸡腿堡");
  EXPECT_EQ(Text(7, 1), "合计");
  EXPECT_EQ(Text(7, 2), "#total#");
}

TEST_F(CGridTableTest, SavedGridReopensTheSame) {
  ASSERT_TRUE(m_grid.InsertRows(3, 2));
  ASSERT_TRUE(m_grid.SetCellText(1, 1, u"星际网咖 \"水吧\"\n第二行"));
  ASSERT_TRUE(m_grid.SetCellText(3, 1, u"美式咖啡"));
  ASSERT_TRUE(m_grid.SetCellText(3, 3, u"18.00"));
  ASSERT_TRUE(m_grid.SetCellFontSize(3, 1, 12.5f));
  ASSERT_TRUE(m_grid.SaveFile(m_dir / "saved.grid")) << m_grid.GetLastError();

  CGridTable reopened;
  ASSERT_TRUE(reopened.OpenFile(m_dir / "saved.grid")) << reopened.GetLastError();
  ASSERT_EQ(reopened.GetRows(), m_grid.GetRows());
  ASSERT_EQ(reopened.GetCols(), m_grid.GetCols());
  for (int row = 1; row <= m_grid.GetRows(); ++row) {
    for (int col = 1; col <= m_grid.GetCols(); ++col) {
      EXPECT_EQ(reopened.GetCellText(row, col), m_grid.GetCellText(row, col)) << row << "," << col;
    }
  }
  EXPECT_FLOAT_EQ(reopened.GetDocument().rows[2].cells[0].fontSize, 12.5f);
  EXPECT_TRUE(reopened.GetDocument().rows[3].boxed);
  EXPECT_EQ(reopened.GetDocument().rows[0].cells[0].span, 3);
}

TEST_F(CGridTableTest, SavingWhereNoFileCanBeWrittenFails) {
  EXPECT_FALSE(m_grid.SaveFile(m_dir / "missing-folder/saved.grid"));
  EXPECT_NE(m_grid.GetLastError().find("cannot write"), std::string::npos);
}

TEST_F(CGridTableTest, FailedOpenLeavesAnEmptyGrid) {
  GridTest::WriteFile(m_dir / "broken.grid", "tillora-grid 1\ncolumns 10\nrow\ncell \"open\n");
  EXPECT_FALSE(m_grid.OpenFile(m_dir / "broken.grid"));
  EXPECT_EQ(m_grid.GetRows(), 0);
  EXPECT_EQ(m_grid.GetCols(), 0);
  EXPECT_NE(m_grid.GetLastError().find("line 4"), std::string::npos) << m_grid.GetLastError();
  EXPECT_FALSE(m_grid.InsertRows(1, 1));
  EXPECT_FALSE(m_grid.SaveFile(m_dir / "x.grid"));
  EXPECT_FALSE(m_grid.RenderPdf(m_dir / "x.pdf"));
  EXPECT_FALSE(m_grid.Print());
  EXPECT_FALSE(m_grid.OpenFile(m_dir / "does-not-exist.grid"));
  EXPECT_FALSE(m_grid.OpenFile(m_dir.path().string()));  // a folder
  EXPECT_FALSE(m_grid.OpenFile("/dev/zero"));             // endless, and not text
  EXPECT_TRUE(m_grid.OpenFile(m_dir / "list.grid"));
  EXPECT_EQ(m_grid.GetRows(), 4);
}

TEST(CGridTable, PrinterNameIsEmptyUntilSet) {
  CGridTable grid;
  EXPECT_EQ(grid.GetPrinterName(), u"");
  grid.SetPrinterName(u"前台打印机");
  EXPECT_EQ(grid.GetPrinterName(), u"前台打印机");
  grid.SetPrinterName(u"");
  EXPECT_EQ(grid.GetPrinterName(), u"");
}

}  // namespace
