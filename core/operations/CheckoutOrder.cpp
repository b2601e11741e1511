#include "operations/CheckoutOrder.h"

#include <charconv>
#include <optional>
#include <string>

#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace {

// More units than any counter sells in one order: a count this large is a
// damaged request, and making its lines would exhaust the memory.
constexpr std::int64_t kMaxUnits = 10000;

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// A basket row whose ware the store knows, with what its lines need.
struct SoldRow {
  const CheckoutSubOrder* request = nullptr;
  WareInfo ware;
  std::u16string typeName;
};

void ReadSubOrders(CXmlDoc& doc, CheckoutRequest& request) {
  while (doc.Find(u"SubOrder")) {
    CheckoutSubOrder row;
    row.count = Helpers::ParseInt(doc.GetAttr(u"count"));
    row.wareId = Helpers::ParseInt(doc.GetAttr(u"wareid"));
    row.price = ParseDecimal(doc.GetAttr(u"price"));
    request.subOrders.push_back(row);
  }
}

void ReadTastes(CXmlDoc& doc, CheckoutRequest& request) {
  doc.RewindSiblings();
  if (!doc.Find(u"Taste") || !doc.Enter()) return;
  while (doc.Find(u"item")) {
    request.tastes[Helpers::ParseInt(doc.GetAttr(u"wareid"))].push_back(doc.GetAttr(u"taste"));
  }
}

// A row is sold when the store has its ware (not deleted) and can name the
// ware's type; a missing type row gives an empty name.
std::optional<SoldRow> ResolveRow(CLocalDB& db, const CheckoutSubOrder& row) {
  std::optional<WareInfo> ware = db.GetWareByID(row.wareId);
  if (!ware) return std::nullopt;
  SoldRow sold{&row, std::move(*ware), {}};
  if (!db.QueryWareTypeNameById(sold.ware.typeId, sold.typeName)) return std::nullopt;
  return sold;
}

ReceiptLine MakeReceiptLine(const SoldRow& row) {
  const CheckoutSubOrder& request = *row.request;
  const float amount = static_cast<float>(request.count) * request.price;
  return {row.ware.name, Helpers::MoneyText(request.price), Helpers::IntText(request.count),
          Helpers::MoneyText(amount)};
}

std::u16string TasteAt(const CheckoutRequest& request, int wareId, std::size_t position) {
  auto found = request.tastes.find(wareId);
  if (found == request.tastes.end() || position >= found->second.size()) return {};
  return found->second[position];
}

// The store hands this thread its own checkout number for the later units;
// a line under another number would merge two orders, so it fails the order.
bool NextSaleId(CLocalDB& db, int index, int total, CheckoutOrder& order, std::u16string& id) {
  const bool first = index == 1;
  if (!db.MakeWareSalesId(index, total, id, first)) return false;
  if (first) {
    order.orderNo = Helpers::ParseInt(id);
    return true;
  }
  return id.starts_with(Helpers::IntText(order.orderNo) + u"(");
}

struct UnitContext {
  std::u16string cashier;
  int sectionId = 0;
  std::int64_t now = 0;
};

WareSaleInfo MakeUnit(const SoldRow& row, const UnitContext& context, std::u16string id,
                      int orderNo, std::u16string remark) {
  WareSaleInfo unit;
  unit.id = std::move(id);
  unit.orderNo = orderNo;
  unit.cashier = context.cashier;
  unit.wareId = row.ware.id;
  unit.wareTypeName = row.typeName;
  unit.count = 1;
  unit.price = row.ware.price;  // the catalogue's price, not the page's
  unit.sectionId = context.sectionId;
  unit.time = context.now;
  unit.usable = true;
  unit.wareName = row.ware.name;
  unit.wareProp = row.ware.properties;
  unit.remark = std::move(remark);
  return unit;
}

}  // namespace

float ParseDecimal(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  std::string ascii;
  for (; i < text.size() && text[i] > u' ' && text[i] < 0x7F; ++i) {
    ascii += static_cast<char>(text[i]);
  }
  const char* begin = ascii.data();
  const char* end = begin + ascii.size();
  bool negative = false;
  if (begin != end && (*begin == '+' || *begin == '-')) negative = *begin++ == '-';
  double value = 0;
  if (begin == end || *begin == '+' || *begin == '-') return 0.0f;
  if (std::from_chars(begin, end, value).ec != std::errc()) return 0.0f;
  return static_cast<float>(negative ? -value : value);
}

bool ReadCheckoutRequest(std::u16string_view param, CheckoutRequest& request) {
  CXmlDoc doc;
  doc.Parse(param);  // a damaged fragment is read as far as its index reaches
  if (!doc.Find(u"Checkout")) return false;
  request.seatNo = doc.GetAttr(u"SeatNo");
  request.totalPrice = ParseDecimal(doc.GetAttr(u"TotalPrice"));
  request.pay = ParseDecimal(doc.GetAttr(u"Pay"));
  request.change = ParseDecimal(doc.GetAttr(u"Change"));
  request.subOrderCount = Helpers::ParseInt(doc.GetAttr(u"SubOrderCount"));
  if (!doc.Enter()) return true;
  ReadSubOrders(doc, request);
  ReadTastes(doc, request);
  return true;
}

// The unit count n covers the rows actually sold, so the ids of a checkout
// that lost a deleted ware still run N(1/n)..N(n/n) without a gap.
bool MakeCheckoutOrder(CLocalDB& db, const CheckoutRequest& request, std::int64_t now,
                       CheckoutOrder& order) {
  std::vector<SoldRow> rows;
  std::int64_t total = 0;
  for (const CheckoutSubOrder& row : request.subOrders) {
    std::optional<SoldRow> sold = ResolveRow(db, row);
    if (!sold) continue;
    if (row.count > 0) total += row.count;
    rows.push_back(std::move(*sold));
  }
  if (total > kMaxUnits) return false;
  UnitContext context;
  db.GetCurrentCashierName(context.cashier);
  context.sectionId = db.GetCurWareWorkSectionID();
  context.now = now;

  bool made = false;
  int index = 1;
  std::optional<int> previousWare;
  std::size_t tastePosition = 0;
  for (const SoldRow& row : rows) {
    order.lines.push_back(MakeReceiptLine(row));
    // Rows of one ware that follow each other take its tastes in turn.
    tastePosition = previousWare == row.ware.id ? tastePosition + 1 : 0;
    previousWare = row.ware.id;
    for (int unit = 0; unit < row.request->count; ++unit) {
      made = false;
      std::u16string id;
      if (!NextSaleId(db, index, static_cast<int>(total), order, id)) break;
      order.units.push_back(MakeUnit(row, context, std::move(id), order.orderNo,
                                     TasteAt(request, row.ware.id, tastePosition)));
      ++index;
      made = true;
    }
    if (!made) break;
  }
  return made;
}
