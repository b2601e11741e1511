// The cashier handover's catalogue side: which lines the `goods` document
// names (matched by the name the page showed) and where the counted
// remainders go.
#include "operations/CashierHandoverParts.h"
#include "server/MessageFields.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace CashierHandover {
namespace {

// The `goods` fields the catalogue messages do not share.
constexpr std::u16string_view kUnitName = u"unit_name";
constexpr std::u16string_view kTakeNum = u"take_num";
constexpr std::u16string_view kHandoverNum = u"handover_num";
constexpr std::u16string_view kThisSale = u"this_sale";

struct GoodsItem {
  int goodsId = 0;
  int propertiesId = 0;
  int classId = 0;
  std::u16string className;
  std::u16string goodsName;
  std::u16string unitName;
  float rebate = 0.0f;
  int number = 0;
};

void AppendItem(CXmlDoc& doc, const GoodsItem& item, const Line& line) {
  doc.Append(Jxc::kItem);
  doc.Enter();
  doc.Append(Jxc::kGoodsId, item.goodsId);
  doc.Append(Jxc::kPropertiesId, item.propertiesId);
  doc.Append(Jxc::kClassId, item.classId);
  doc.Append(Jxc::kClassName, item.className);
  doc.Append(Jxc::kGoodsName, item.goodsName);
  doc.Append(kUnitName, item.unitName);
  doc.Append(Jxc::kRebate, Helpers::MoneyText(item.rebate));
  doc.Append(kTakeNum, line.count);
  doc.Append(kHandoverNum, line.odd);
  doc.Append(kThisSale, line.sales);
  doc.Append(Jxc::kNumber, item.number);
  doc.Leave();
}

// Quick mode counts ordinary wares by type and price: a combined-stock row
// stands for all of them, under goods id 0.
std::optional<GoodsItem> CombinedItem(CLocalDB& db, const std::u16string& name) {
  CombinStockInfo row;
  if (!db.QueryWare(name, row)) return std::nullopt;
  GoodsItem item;
  item.propertiesId = kOrdinaryWare;
  item.classId = row.typeId;
  item.className = row.type_name;
  item.goodsName = row.name;
  item.rebate = row.price;
  return item;
}

// The first ware of that name; in quick mode only made-to-order wares count
// one by one.
std::optional<GoodsItem> WareItem(CLocalDB& db, int mode, const std::u16string& name) {
  std::vector<WareInfo> wares;
  db.QueryWareByName(wares, name);
  if (wares.empty()) return std::nullopt;
  const WareInfo& ware = wares.front();
  if (mode != kNormalMode && ware.properties != kMadeToOrderWare) return std::nullopt;
  GoodsItem item;
  item.goodsId = ware.id;
  item.propertiesId = ware.properties;
  item.classId = ware.typeId;
  db.QueryWareTypeNameById(ware.typeId, item.className);
  item.goodsName = ware.name;
  item.unitName = ware.unitName;
  item.rebate = ware.price;
  item.number = ware.number;
  return item;
}

}  // namespace

std::u16string BuildGoodsDocument(CLocalDB& db, int mode, std::map<std::u16string, Line>& items) {
  CXmlDoc doc;
  doc.Parse(u"");
  doc.Append(Jxc::kGoods);
  doc.Enter();
  for (auto& [name, line] : items) {
    std::optional<GoodsItem> item;
    if (mode == kQuickMode) item = CombinedItem(db, name);
    if (!item) item = WareItem(db, mode, name);
    // A line that matches nothing is only in the sums.
    if (!item) continue;
    AppendItem(doc, *item, line);
    line.displayName = item->goodsName;
  }
  return doc.GetText();
}

std::vector<CLocalDB::HandoverStock> StockUpdates(int mode,
                                                  const std::map<std::u16string, Line>& items) {
  std::vector<CLocalDB::HandoverStock> updates;
  for (const auto& [name, line] : items) {
    const bool combined = mode == kQuickMode && line.type != kMadeToOrderWare;
    updates.push_back({name, line.odd, combined});
  }
  return updates;
}

}  // namespace CashierHandover
