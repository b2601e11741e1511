// grid_preview: fills shipped templates with sample data and renders them to
// PNG, for the pictures in the template documentation and for checking a
// template by eye after editing it.
//   grid_preview TEMPLATE_DIR OUT_DIR [all]
// writes receipt58.png, label.png and warecheck-a4.png; "all" adds every
// other form.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CGridTable.h"
#include "GridFill.h"

namespace {

constexpr float kFontSize = 9;

bool Open(CGridTable& grid, const std::string& dir, const char* name) {
  if (grid.OpenFile(dir + "/" + name)) return true;
  std::fprintf(stderr, "%s\n", grid.GetLastError().c_str());
  return false;
}

void Fill(CGridTable& grid,
          std::initializer_list<std::pair<const char16_t*, const char16_t*>> pairs) {
  for (const auto& [keyword, value] : pairs)
    GridFill::FillPlaceholder(grid, keyword, value, kFontSize);
}

bool Receipt(const std::string& dir, CGridTable& grid, const char* name) {
  if (!Open(grid, dir, name)) return false;
  Fill(grid, {{u"#time#", u"20240315 14:32:08"},
              {u"#tittle#", u"星际网咖 · 水吧"},
              {u"#tail#", u"谢谢惠顾，欢迎再来！"},
              {u"#siteno#", u"A-023"},
              {u"#total#", u"81.00"},
              {u"#pay#", u"100.00"},
              {u"#odd#", u"19.00"}});
  return GridFill::FillRows(grid, u"商品名称",
                            {{u"美式咖啡", u"1", u"18.00"},
                             {u"拿铁咖啡（大杯，少冰）", u"2", u"44.00"},
                             {u"冰红茶", u"1", u"4.00"},
                             {u"香辣鸡腿堡", u"1", u"15.00"}},
                            0, kFontSize);
}

bool Label(const std::string& dir, CGridTable& grid) {
  if (!Open(grid, dir, "BuGanJiao.grid")) return false;
  Fill(grid, {{u"#netbarname#", u"星际网咖"},
              {u"#time#", u"14:32:08"},
              {u"#orderid#", u"1024(2/3)"},
              {u"#warename#", u"拿铁咖啡(少冰)"},
              {u"#siteno#", u"A-023"},
              {u"#price#", u"¥22.00"}});
  return true;
}

bool WareCheckA4(const std::string& dir, CGridTable& grid) {
  if (!Open(grid, dir, "WareCheckA4.grid")) return false;
  Fill(grid, {{u"#netbarname#", u"星际网咖"},
              {u"#barname#", u"一楼水吧"},
              {u"#time#", u"2024-03-15 22:05:41"},
              {u"#sectiontype#", u"晚班"}});
  static const char16_t* kNames[] = {
      u"可口可乐", u"雪碧",   u"康师傅冰红茶", u"农夫山泉",         u"红牛",   u"脉动",
      u"乐事薯片", u"奥利奥", u"士力架",       u"泡面（红烧牛肉）", u"火腿肠", u"卤蛋"};
  std::vector<GridFill::Line> items;
  for (int i = 0; i < 61; ++i) {
    std::u16string name = kNames[i % 12];
    if (i >= 12) name += u" " + std::u16string(1, static_cast<char16_t>(u'A' + i / 12 - 1));
    std::string stock = std::to_string((i * 7) % 48 + 2);
    items.push_back({name, std::u16string(stock.begin(), stock.end())});
  }
  return GridFill::FillPairs(grid, u"商品名称", items, 4, 44, 49, kFontSize);
}

std::vector<GridFill::Line> Numbered(const char16_t* stem, int count) {
  std::vector<GridFill::Line> lines;
  for (int i = 1; i <= count; ++i) {
    std::string n = std::to_string(i);
    std::string left = std::to_string(i * 3 % 17);
    std::string sold = std::to_string(i * 5 % 11);
    lines.push_back({stem + std::u16string(n.begin(), n.end()),
                     std::u16string(left.begin(), left.end()),
                     std::u16string(sold.begin(), sold.end())});
  }
  return lines;
}

bool CashierHandover(const std::string& dir, CGridTable& grid, const std::string& name,
                     int secondCol) {
  if (!Open(grid, dir, name.c_str())) return false;
  Fill(grid, {{u"#netbarname#", u"星际网咖"},
              {u"#begintime#", u"20240315 08:00:00"},
              {u"#endtime#", u"20240315 16:00:12"},
              {u"#barname#", u"一楼水吧"},
              {u"#sectiontype#", u"早班"},
              {u"#cashier#", u"李晓雨"},
              {u"#pre#", u"200.00"},
              {u"#salescount#", u"86"},
              {u"#sales#", u"1268.50"},
              {u"#active#", u"30.00"},
              {u"#odd#", u"1438.50"},
              {u"#upload#", u"1200.00"},
              {u"#save#", u"238.50"},
              {u"#error#", u"无错"}});
  if (name.ends_with(".nolist")) return true;
  std::vector<GridFill::Line> lines = Numbered(u"商品", 7);
  return secondCol ? GridFill::FillPairs(grid, u"商品名称", lines, secondCol, 2, 1, kFontSize)
                   : GridFill::FillRows(grid, u"商品名称", lines, 1, kFontSize);
}

bool MaterialHandover(const std::string& dir, CGridTable& grid, const std::string& name,
                      int secondCol) {
  if (!Open(grid, dir, name.c_str())) return false;
  Fill(grid, {{u"#netbarname#", u"星际网咖"},
              {u"#begintime#", u"20240315 08:00:00"},
              {u"#endtime#", u"20240315 16:00:12"},
              {u"#barname#", u"一楼水吧"},
              {u"#cashier#", u"李晓雨"},
              {u"#pre#", u"120"},
              {u"#sales#", u"64"},
              {u"#active#", u"3"},
              {u"#scrap#", u"0"},
              {u"#odd#", u"53"}});
  if (name.ends_with(".nolist")) return true;
  std::vector<GridFill::Line> lines = Numbered(u"物料", 5);
  return secondCol ? GridFill::FillPairs(grid, u"物料名称", lines, secondCol, 2, 1, kFontSize)
                   : GridFill::FillRows(grid, u"物料名称", lines, 1, kFontSize);
}

bool CountCheck(const std::string& dir, CGridTable& grid, const std::string& name,
                const char16_t* header) {
  if (!Open(grid, dir, name.c_str())) return false;
  Fill(grid, {{u"#netbarname#", u"星际网咖"},
              {u"#barname#", u"一楼水吧"},
              {u"#time#", u"2024-03-15 22:05:41"},
              {u"#sectiontype#", u"晚班"}});
  std::vector<GridFill::Line> items = Numbered(u"项目", 6);
  for (GridFill::Line& item : items) item.resize(2);  // name and stock; the count is by hand
  return GridFill::FillRows(grid, header, items, 1, kFontSize);
}

bool RenderAll(const std::string& dir, const std::string& out);

bool Save(CGridTable& grid, const std::string& path, double dpi) {
  if (grid.RenderPng(path, dpi)) return true;
  std::fprintf(stderr, "%s: %s\n", path.c_str(), grid.GetLastError().c_str());
  return false;
}

bool RenderAll(const std::string& dir, const std::string& out) {
  CGridTable grid;
  bool ok = Receipt(dir, grid, "Xiaopiao80.grid") && Save(grid, out + "/receipt80.png", 203);
  for (const char* paper : {"58", "80", "A4"}) {
    std::string p = paper;
    double dpi = p == "A4" ? 100 : 203;
    int second = p == "A4" ? 4 : 0;
    for (const std::string suffix : {"", ".nolist"}) {
      std::string tag = p + (suffix.empty() ? "" : "-nolist");
      ok = ok && CashierHandover(dir, grid, "WorkSection" + p + ".grid" + suffix, second) &&
           Save(grid, out + "/worksection" + tag + ".png", dpi);
      ok = ok &&
           MaterialHandover(dir, grid, "MaterialWorkSection" + p + ".grid" + suffix, second) &&
           Save(grid, out + "/materialworksection" + tag + ".png", dpi);
    }
    if (p != "A4") {
      ok = ok && CountCheck(dir, grid, "WareCheck" + p + ".grid", u"商品名称") &&
           Save(grid, out + "/warecheck" + p + ".png", dpi);
      ok = ok && CountCheck(dir, grid, "MaterialCheck" + p + ".grid", u"物料名称") &&
           Save(grid, out + "/materialcheck" + p + ".png", dpi);
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TEMPLATE_DIR OUT_DIR [DPI]\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  std::string out = argv[2];
  CGridTable grid;
  bool ok = Receipt(dir, grid, "Xiaopiao58.grid") && Save(grid, out + "/receipt58.png", 203) &&
            Label(dir, grid) && Save(grid, out + "/label.png", 203) && WareCheckA4(dir, grid) &&
            Save(grid, out + "/warecheck-a4.png", 100);
  if (ok && argc > 3 && std::string(argv[3]) == "all") ok = RenderAll(dir, out);
  return ok ? 0 : 1;
}
