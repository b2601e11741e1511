// Rendering: the PDF of a filled form carries its texts (read back with
// pdftotext), thermal paper is one page as long as the content, A4 flows onto
// sheets, and PNG previews have the paper's width.
#include "GridRenderer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "CGridTable.h"
#include "GridFill.h"
#include "GridTestSupport.h"
#include "GridText.h"

namespace {

using GridTest::PdfInfo;
using GridTest::PdfText;

constexpr double kPtPerMm = 72.0 / 25.4;

// The page size pdfinfo reports, in points.
std::pair<double, double> PageSize(const std::string& info) {
  std::size_t at = info.find("Page size:");
  if (at == std::string::npos) return {0, 0};
  double width = 0;
  double height = 0;
  std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &width, &height);
  return {width, height};
}

int Pages(const std::string& info) {
  std::size_t at = info.find("Pages:");
  return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 6);
}

std::pair<int, int> PngSize(const std::string& path) {
  std::string head = GridTest::ReadFile(path).substr(0, 24);
  if (head.size() < 24 || head.compare(1, 3, "PNG") != 0) return {0, 0};
  auto be32 = [&](std::size_t at) {
    return (static_cast<unsigned char>(head[at]) << 24) |
           (static_cast<unsigned char>(head[at + 1]) << 16) |
           (static_cast<unsigned char>(head[at + 2]) << 8) |
           static_cast<unsigned char>(head[at + 3]);
  };
  return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

std::vector<GridFill::Line> ReceiptLines(int count) {
  std::vector<GridFill::Line> lines;
  for (int i = 1; i <= count; ++i) {
    std::u16string n = GridText::ToUtf16(std::to_string(i));
    lines.push_back({u"拿铁咖啡" + n, n, n + u".50"});
  }
  return lines;
}

void FillReceipt(CGridTable& grid, int lines) {
  ASSERT_TRUE(grid.OpenFile((GridTest::TemplateDir() / "Xiaopiao58.grid").string()));
  const std::pair<const char16_t*, const char16_t*> values[] = {{u"#time#", u"20240315 14:32:08"},
                                                                {u"#tittle#", u"星际网咖"},
                                                                {u"#tail#", u"谢谢惠顾"},
                                                                {u"#siteno#", u"A-023"},
                                                                {u"#total#", u"81.00"},
                                                                {u"#pay#", u"100.00"},
                                                                {u"#odd#", u"19.00"}};
  for (auto [keyword, value] : values) {
    ASSERT_TRUE(GridFill::FillPlaceholder(grid, keyword, value, 9));
  }
  ASSERT_TRUE(GridFill::FillRows(grid, u"商品名称", ReceiptLines(lines), 0, 9));
}

TEST(GridRenderer, ReceiptPdfHoldsFilledValuesAndChineseText) {
  GridTest::TempDir dir;
  CGridTable grid;
  FillReceipt(grid, 3);
  ASSERT_TRUE(grid.RenderPdf(dir / "receipt.pdf")) << grid.GetLastError();
  std::string text = PdfText(dir / "receipt.pdf");
  for (const char* expected :
       {"星际网咖", "20240315 14:32:08", "A-023", "商品名称", "数量", "金额", "拿铁咖啡1",
        "拿铁咖啡3", "3.50", "81.00", "100.00", "19.00", "谢谢惠顾", "合计"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  EXPECT_EQ(text.find('#'), std::string::npos) << text;
}

TEST(GridRenderer, ThermalPaperIsOnePageAsLongAsTheContent) {
  GridTest::TempDir dir;
  CGridTable shortReceipt;
  FillReceipt(shortReceipt, 2);
  ASSERT_TRUE(shortReceipt.RenderPdf(dir / "short.pdf"));
  CGridTable longReceipt;
  FillReceipt(longReceipt, 150);
  ASSERT_TRUE(longReceipt.RenderPdf(dir / "long.pdf"));

  std::string shortInfo = PdfInfo(dir / "short.pdf");
  std::string longInfo = PdfInfo(dir / "long.pdf");
  EXPECT_EQ(Pages(shortInfo), 1);
  EXPECT_EQ(Pages(longInfo), 1);
  auto [shortWidth, shortHeight] = PageSize(shortInfo);
  auto [longWidth, longHeight] = PageSize(longInfo);
  EXPECT_NEAR(shortWidth, 58 * kPtPerMm, 0.5);
  EXPECT_NEAR(longWidth, 58 * kPtPerMm, 0.5);
  EXPECT_GT(shortHeight, 60 * kPtPerMm);                    // a real receipt, not a stub
  EXPECT_GT(longHeight, shortHeight + 148 * 4 * kPtPerMm);  // 148 more lines of at least 4 mm
  EXPECT_NE(PdfText(dir / "long.pdf").find("拿铁咖啡150"), std::string::npos);
}

TEST(GridRenderer, A4FlowsOntoSheets) {
  GridTest::TempDir dir;
  CGridTable grid;
  ASSERT_TRUE(grid.OpenFile((GridTest::TemplateDir() / "MaterialCheckA4.grid").string()));
  std::vector<GridFill::Line> items;
  for (int i = 1; i <= 187; ++i)
    items.push_back({u"物料" + GridText::ToUtf16(std::to_string(i)), u"7"});
  ASSERT_TRUE(GridFill::FillPairs(grid, u"物料名称", items, 4, 44, 49, 9));
  ASSERT_TRUE(grid.RenderPdf(dir / "check.pdf"));
  std::string info = PdfInfo(dir / "check.pdf");
  EXPECT_GE(Pages(info), 2);
  auto [width, height] = PageSize(info);
  EXPECT_NEAR(width, 595.28, 0.5);
  EXPECT_NEAR(height, 841.89, 0.5);
  std::string text = PdfText(dir / "check.pdf");
  for (const char* expected : {"物料盘点表", "物料1", "物料88", "物料89", "物料187", "复核人"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
}

TEST(GridRenderer, PngHasThePaperWidthAtTheResolution) {
  GridTest::TempDir dir;
  CGridTable grid;
  FillReceipt(grid, 2);
  struct Case {
    double dpi;
    int width;
  };
  for (Case test : {Case{203, 464}, Case{100, 229}}) {
    std::string path = dir / ("r" + std::to_string(test.width) + ".png");
    ASSERT_TRUE(grid.RenderPng(path, test.dpi)) << grid.GetLastError();
    auto [width, height] = PngSize(path);
    EXPECT_EQ(width, test.width);
    EXPECT_GT(height, width);  // a receipt is longer than wide
  }
  EXPECT_FALSE(grid.RenderPng(dir / "bad.png", 0));
  EXPECT_FALSE(grid.RenderPng(dir / "missing-folder/r.png", 203));
}

// A text wider than its cell wraps inside the cell and the row grows, rather
// than running into the next column.
TEST(GridRenderer, LongTextWrapsAndTheRowGrows) {
  GridTest::TempDir dir;
  const char* base =
      "tillora-grid 1\ncolumns 20 20\nrow\n  cell \"%s\"\n  cell \"end\"\nrow\n  cell \"x\"\n";
  char shortText[256];
  char longText[512];
  std::snprintf(shortText, sizeof shortText, base, "可乐");
  std::snprintf(longText, sizeof longText, base, "香辣鸡腿堡配薯条和可乐大份套餐");
  GridTest::WriteFile(dir.path() / "short.grid", shortText);
  GridTest::WriteFile(dir.path() / "long.grid", longText);
  CGridTable grid;
  ASSERT_TRUE(grid.OpenFile(dir / "short.grid"));
  ASSERT_TRUE(grid.RenderPng(dir / "short.png", 203));
  ASSERT_TRUE(grid.OpenFile(dir / "long.grid"));
  ASSERT_TRUE(grid.RenderPng(dir / "long.png", 203));
  ASSERT_TRUE(grid.RenderPdf(dir / "long.pdf"));
  EXPECT_GT(PngSize(dir / "long.png").second, PngSize(dir / "short.png").second + 20);
  std::string text = PdfText(dir / "long.pdf");
  EXPECT_NE(text.find("香辣鸡腿堡"), std::string::npos) << text;
  EXPECT_NE(text.find("end"), std::string::npos) << text;
}

}  // namespace
