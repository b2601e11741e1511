// The cashier handover's request: the figures and ware lines the page sends
// in `FinshWorkSection`, and the cash difference as the section keeps it.
#include "operations/CashierHandover.h"
#include "operations/CashierHandoverParts.h"
#include "server/MessageFields.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace CashierHandover {
namespace {

// Element and attribute names as the page writes them.
constexpr std::u16string_view kFinshWorkSection = u"FinshWorkSection";
constexpr std::u16string_view kWare = u"Ware";
constexpr std::u16string_view kItem = u"Item";

float FloatAttr(const CXmlDoc& doc, std::u16string_view name) {
  return MessageFields::ParseFloat(doc.GetAttr(name));
}

int IntAttr(const CXmlDoc& doc, std::u16string_view name) {
  return Helpers::ParseInt(doc.GetAttr(name));
}

// The product is formed wider and the sum rounded to single precision after
// every addition, so the figures match what the counter has always sent.
float AddProduct(float sum, int quantity, float price) {
  return static_cast<float>(static_cast<long double>(sum) +
                            static_cast<long double>(quantity) * static_cast<long double>(price));
}

void ReadFigures(const CXmlDoc& doc, std::u16string_view openingAmount, Request& request) {
  request.pre = openingAmount.empty() ? FloatAttr(doc, u"pre")
                                      : MessageFields::ParseFloat(openingAmount);
  request.sales = FloatAttr(doc, u"sales");
  request.active = FloatAttr(doc, u"active");
  request.odd = FloatAttr(doc, u"odd");
  request.upload = FloatAttr(doc, u"upload");
  request.save = FloatAttr(doc, u"save");
  request.error = doc.GetAttr(u"error");
  request.remark = doc.GetAttr(u"remark");
  request.nextSectionType = doc.GetAttr(u"nextsectiontype");
}

// False at the first line with a negative remainder.
bool ReadLines(CXmlDoc& doc, Request& request) {
  if (!doc.Enter() || !doc.Find(kWare) || !doc.Enter()) return true;  // no lines at all
  while (doc.Find(kItem)) {
    const std::u16string id = doc.GetAttr(u"id");
    Line line;
    line.count = IntAttr(doc, u"count");
    line.sales = IntAttr(doc, u"sales");
    line.odd = IntAttr(doc, u"odd");
    line.type = IntAttr(doc, u"type");
    line.price = FloatAttr(doc, u"price");
    if (line.odd < 0) return false;
    if (line.type == kOrdinaryWare) request.normalSum = AddProduct(request.normalSum, line.sales, line.price);
    if (line.type == kMadeToOrderWare)
      request.madeToOrderSum = AddProduct(request.madeToOrderSum, line.sales, line.price);
    request.totalSold += line.sales;
    request.items[id] = line;
    request.pageOrder.push_back(id);
  }
  return true;
}

}  // namespace

ReadResult ReadRequest(std::u16string_view param, std::u16string_view openingAmount) {
  ReadResult result;
  CXmlDoc doc;
  doc.Parse(param);  // a damaged fragment is read as far as its index reaches
  if (!doc.Find(kFinshWorkSection)) {
    result.failure = kHandoverUnknownFailure;
    return result;
  }
  result.found = true;
  Request request;
  ReadFigures(doc, openingAmount, request);
  if (!ReadLines(doc, request)) {
    result.failure = kHandoverNegativeRemainder;
    return result;
  }
  result.request = std::move(request);
  return result;
}

}  // namespace CashierHandover

std::u16string DifferenceText(std::u16string_view shown) {
  static constexpr std::u16string_view kSurplus = u"多了";
  static constexpr std::u16string_view kShortfall = u"少了";
  if (shown.starts_with(kSurplus))
    return Helpers::MoneyText(MessageFields::ParseFloat(shown.substr(kSurplus.size())));
  // The sign goes on the amount, so an odd text such as "少了-2" still
  // gives a well-formed number.
  if (shown.starts_with(kShortfall))
    return Helpers::MoneyText(-MessageFields::ParseFloat(shown.substr(kShortfall.size())));
  return u"0";
}
