// Family 1: the counter's catalogue, answered from the local store, and the
// display order edit, which a worker stores.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "functions/FunctionFamilies.h"
#include "functions/HandlerSupport.h"
#include "operations/WareOrder.h"
#include "service/CServiceManager.h"
#include "store/FirstLetters.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

namespace {

// The ware buttons have room for nine types.
constexpr int kTypeLimit = 9;
// Fewer letters would match most of the catalogue.
constexpr size_t kMinFirstLetters = 2;
constexpr int kPackaged = 1;

struct Answer {
  bool result = false;
  std::optional<std::u16string> body;
};

CXmlDoc NewBody(std::u16string_view root) {
  CXmlDoc body;
  body.Parse(u"");
  body.Append(root);
  return body;
}

void AppendType(CXmlDoc& body, const WareTypeInfo& type) {
  body.Append(u"type");
  body.SetAttr(u"id", type.id);
  body.SetAttr(u"name", type.name);
}

// Only usable wares reach the counter, so their count flag is always "1".
void AppendUsableWares(CXmlDoc& body, const std::vector<WareInfo>& wares) {
  for (const WareInfo& ware : wares) {
    if (!ware.usable) continue;
    body.Append(u"Ware");
    body.SetAttr(u"id", ware.id);
    body.SetAttr(u"typeid", ware.typeId);
    body.SetAttr(u"name", ware.name);
    body.SetAttr(u"count", 1);
    body.SetAttr(u"price", Helpers::MoneyText(ware.price));
  }
}

Answer WareList() {
  CXmlDoc body = NewBody(u"WareList");
  body.Enter();
  body.Append(u"WareType");
  body.Enter();
  std::vector<WareTypeInfo> types;
  if (!LocalStore().QueryWareType(types, kTypeLimit)) return {false, body.GetText()};
  for (const WareTypeInfo& type : types) AppendType(body, type);
  body.Leave();
  body.Append(u"Wares");
  body.Enter();
  for (const WareTypeInfo& type : types) {
    std::vector<WareInfo> wares;
    if (LocalStore().QueryWareByType(wares, type.id)) AppendUsableWares(body, wares);
  }
  return {true, body.GetText()};
}

Answer WareTypeList() {
  CXmlDoc body = NewBody(u"WareTypeList");
  body.Enter();
  std::vector<WareTypeInfo> types;
  const bool found = LocalStore().QueryWareType(types, kTypeLimit);
  for (const WareTypeInfo& type : types) AppendType(body, type);
  return {found, body.GetText()};
}

Answer WareCount(const std::u16string& param) {
  CXmlDoc request;
  const std::u16string name =
      FindParamElement(request, param, u"QueryWareCount") ? request.GetAttr(u"name") : u"";
  CXmlDoc body = NewBody(u"QueryWareCount");
  body.Enter();
  std::vector<WareInfo> wares;
  const bool found = LocalStore().QueryWareByName(wares, name);
  AppendUsableWares(body, wares);
  return {found, body.GetText()};
}

Answer SetWareStock(const std::u16string& param) {
  CXmlDoc request;
  int id = 0;
  int count = 0;
  if (FindParamElement(request, param, u"SetWareCount")) {
    id = Helpers::ParseInt(request.GetAttr(u"id"));
    count = Helpers::ParseInt(request.GetAttr(u"count"));
  }
  return {LocalStore().SetWareCount(id, count), std::nullopt};
}

bool SameAsciiLetter(char16_t typed, unsigned char stored) {
  auto fold = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  return fold(typed) == fold(stored);
}

// The store matches first letters with LIKE, where '%' and '_' stand for any
// text; the cashier's typing is meant literally, so a ware is kept only when
// its first letters really begin with the typed text.
void KeepLiteralFirstLetters(std::vector<WareInfo>& wares, const std::u16string& typed) {
  if (typed.find_first_of(u"%_") == std::u16string::npos) return;
  std::erase_if(wares, [&](const WareInfo& ware) {
    const std::string letters = MakeFirstLetters(ware.name);
    if (letters.size() < typed.size()) return true;
    for (size_t i = 0; i < typed.size(); ++i) {
      if (!SameAsciiLetter(typed[i], static_cast<unsigned char>(letters[i]))) return true;
    }
    return false;
  });
}

// A typed barcode is searched as first letters too, so the scanner and the
// keyboard share one search box; a ware matching both is listed twice.
Answer QueryWare(const std::u16string& param) {
  CXmlDoc request;
  std::u16string firstLetters;
  std::u16string barcode;
  if (FindParamElement(request, param, u"QueryWare")) {
    firstLetters = request.GetAttr(u"byfirstchar");
    barcode = request.GetAttr(u"bybarcode");
  }
  std::vector<WareInfo> wares;
  if (firstLetters.size() >= kMinFirstLetters) {
    LocalStore().QueryWareByFirstLetter(wares, firstLetters);
    KeepLiteralFirstLetters(wares, firstLetters);
    LocalStore().QueryWareByBarCode(wares, firstLetters);
  } else if (!barcode.empty()) {
    LocalStore().QueryWareByBarCode(wares, barcode);
  }
  CXmlDoc body = NewBody(u"QueryWare");
  body.Enter();
  AppendUsableWares(body, wares);
  return {true, body.GetText()};
}

// Made-to-order wares keep their place in their own menu; only packaged
// wares are ordered here.
Answer OrderWareList() {
  CXmlDoc body = NewBody(u"OrderWareList");
  body.Enter();
  std::vector<WareInfo> wares;
  const bool found = LocalStore().QueryWareByOrder(wares);
  std::map<int, std::u16string> typeNames;
  for (const WareInfo& ware : wares) {
    if (ware.properties != kPackaged) continue;
    auto [typeName, fresh] = typeNames.try_emplace(ware.typeId);
    if (fresh) LocalStore().QueryWareTypeNameById(ware.typeId, typeName->second);
    body.Append(u"Ware");
    body.SetAttr(u"id", ware.id);
    body.SetAttr(u"orderid", ware.orderId);
    body.SetAttr(u"typename", typeName->second);
    body.SetAttr(u"name", ware.name);
    body.SetAttr(u"price", Helpers::MoneyText(ware.price));
  }
  return {found, body.GetText()};
}

Answer Tastes() {
  CXmlDoc body = NewBody(u"QueryTaste");
  std::u16string taste;
  const bool found = LocalStore().QueryTaste(taste);
  if (found) body.SetAttr(u"taste", taste);
  return {found, body.GetText()};
}

}  // namespace

int DispatchWare(CXmlDoc& doc, const CallHead& head, std::u16string& reply) {
  if (!AnnounceCall(head)) return 1;
  const std::u16string param = ParamText(doc);
  Answer answer;
  switch (head.SubID) {
    case 0:
      answer = WareList();
      break;
    case 1:
      answer = WareTypeList();
      break;
    case 2:
      answer = WareCount(param);
      break;
    case 3:
      StartWorkerAndReply(doc, head, reply, save_ware_order_thread, param);
      return 0;
    case 4:
      answer = SetWareStock(param);
      break;
    case 5:
      answer = QueryWare(param);
      break;
    case 6:
      answer = OrderWareList();
      break;
    case 7:
      answer = Tastes();
      break;
    default:
      return 1;
  }
  reply = BuildReply(doc, head, answer.result, answer.body);
  return 0;
}
