// Messages 5 to 12: the main configuration and the catalogue downloads.
#include <array>

#include "server/MessageFields.h"
#include "server/ServerMessages.h"
#include "support/Helpers.h"

using MessageFields::FindFloat;
using MessageFields::FindInt;
using MessageFields::FindText;

namespace {

constexpr std::array<std::u16string_view, kCatalogueListCount> kVersionElements{
    Jxc::kVcapiRelief,    Jxc::kVcapiMarket,       Jxc::kVcapiGoodsClass,
    Jxc::kVcapiGoods,     Jxc::kVcapiMaterial,     Jxc::kVcapiGoodsStock,
    Jxc::kVcapiMaterialStock,
};

// A download request: the fields in the order given, integers in decimal.
struct Field {
  std::u16string_view name;
  std::u16string value;
};

std::u16string BuildRequest(std::initializer_list<Field> fields) {
  CXmlDoc doc;
  MessageFields::BeginRequest(doc);
  for (const Field& field : fields) doc.Append(field.name, field.value);
  return MessageFields::FinishRequest(doc);
}

// The main configuration's fields may stand in any order: each is searched
// from the first child of `data`.
std::optional<int> AnyOrderInt(CXmlDoc& doc, std::u16string_view name) {
  doc.RewindSiblings();
  int value = 0;
  if (!FindInt(doc, name, value)) return std::nullopt;
  return value;
}

}  // namespace

std::u16string_view VersionElement(CatalogueList list) { return kVersionElements[Slot(list)]; }

std::u16string BuildMainConfigRequest(std::u16string_view sessionId,
                                      std::u16string_view netbarNumber, std::u16string_view barId) {
  return BuildRequest({{Jxc::kSessionId, std::u16string(sessionId)},
                       {Jxc::kNetbarNumber, std::u16string(netbarNumber)},
                       {Jxc::kBarId, std::u16string(barId)}});
}

MainConfigReply ReadMainConfigReply(std::u16string_view reply) {
  MainConfigReply result;
  CXmlDoc doc;
  result.read = MessageFields::EnterData(doc, reply);
  if (!result.read) return result;
  for (std::size_t i = 0; i < kCatalogueListCount; ++i)
    result.versions[i] = AnyOrderInt(doc, kVersionElements[i]);
  result.manageMode = AnyOrderInt(doc, Jxc::kManageMode);
  result.reliefMode = AnyOrderInt(doc, Jxc::kReliefMode);
  doc.RewindSiblings();
  std::u16string taste;
  if (FindText(doc, Jxc::kTasteSetting, taste)) result.tasteSetting = std::move(taste);
  return result;
}

std::u16string BuildWorkSectionRequest(std::u16string_view netbarNumber,
                                       std::u16string_view sessionId) {
  return BuildRequest({{Jxc::kNetbarNumber, std::u16string(netbarNumber)},
                       {Jxc::kSessionId, std::u16string(sessionId)}});
}

bool ReadWorkSectionReply(std::u16string_view reply, std::u16string& jobList) {
  CXmlDoc doc;
  return MessageFields::EnterData(doc, reply) && FindText(doc, Jxc::kJobList, jobList);
}

std::u16string BuildBarListRequest(std::u16string_view netbarNumber,
                                   std::u16string_view sessionId) {
  return BuildRequest({{Jxc::kNetbarNumber, std::u16string(netbarNumber)},
                       {Jxc::kSessionId, std::u16string(sessionId)}});
}

bool ReadBarListReply(std::u16string_view reply, std::vector<MarketItem>& bars) {
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return false;
  while (doc.Find(Jxc::kItem)) {
    if (!doc.Enter()) continue;
    MarketItem bar;
    std::u16string id;
    if (FindText(doc, Jxc::kMarketId, id)) bar.id = std::move(id);
    FindText(doc, Jxc::kMarketName, bar.name);
    bars.push_back(std::move(bar));
    doc.Leave();
  }
  return true;
}

std::u16string BuildWareTypeRequest(std::u16string_view sessionId,
                                    std::u16string_view netbarNumber) {
  return BuildRequest({{Jxc::kSessionId, std::u16string(sessionId)},
                       {Jxc::kNetbarNumber, std::u16string(netbarNumber)}});
}

bool ReadWareTypeReply(std::u16string_view reply, std::vector<WareTypeInfo>& types) {
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return false;
  while (doc.Find(Jxc::kItem)) {
    if (!doc.Enter()) continue;
    WareTypeInfo type;
    FindInt(doc, Jxc::kClassId, type.id);
    FindText(doc, Jxc::kClassName, type.name);
    type.usable = true;
    types.push_back(std::move(type));
    doc.Leave();
  }
  return true;
}

std::u16string BuildWareRequest(std::u16string_view sessionId, std::u16string_view netbarNumber,
                                std::int32_t timestamp, std::u16string_view marketId) {
  return BuildRequest({{Jxc::kSessionId, std::u16string(sessionId)},
                       {Jxc::kNetbarNumber, std::u16string(netbarNumber)},
                       {Jxc::kTimestamp, Helpers::IntText(timestamp)},
                       {Jxc::kMarketId, std::u16string(marketId)}});
}

namespace {

// One goods `item`, entered; false at the first field missing.
bool ReadWare(CXmlDoc& doc, WareInfo& ware) {
  int isdel = 0;
  int usable = 0;
  if (!FindInt(doc, Jxc::kGoodsId, ware.id) || !FindText(doc, Jxc::kGoodsName, ware.name) ||
      !FindInt(doc, Jxc::kNumber, ware.number) ||
      !FindInt(doc, Jxc::kPropertiesId, ware.properties) ||
      !FindText(doc, Jxc::kBarcode, ware.barcode) || !FindFloat(doc, Jxc::kRebate, ware.price) ||
      !FindInt(doc, Jxc::kClassId, ware.typeId) || !FindInt(doc, Jxc::kIsDel, isdel) ||
      !FindInt(doc, Jxc::kIsUse, usable) || !FindText(doc, Jxc::kUintName, ware.unitName) ||
      !FindInt(doc, Jxc::kStockNum, ware.stock) ||
      !FindInt(doc, Jxc::kTotalStockNum, ware.total)) {
    return false;
  }
  ware.isdel = isdel != 0;
  ware.usable = usable != 0;
  return true;
}

}  // namespace

bool ReadWareReply(std::u16string_view reply, std::vector<WareInfo>& wares) {
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return false;
  if (!MessageFields::EnterGoods(doc)) return true;
  while (doc.Find(Jxc::kItem)) {
    if (!doc.Enter()) continue;
    WareInfo ware;
    if (ReadWare(doc, ware)) wares.push_back(std::move(ware));
    doc.Leave();
  }
  return true;
}

std::u16string BuildWareStockRequest(std::u16string_view sessionId,
                                     std::u16string_view netbarNumber,
                                     std::u16string_view marketId, std::int32_t timestamp) {
  return BuildRequest({{Jxc::kSessionId, std::u16string(sessionId)},
                       {Jxc::kNetbarNumber, std::u16string(netbarNumber)},
                       {Jxc::kMarketId, std::u16string(marketId)},
                       {Jxc::kTimestamp, Helpers::IntText(timestamp)}});
}

bool ReadWareStockNormalReply(std::u16string_view reply, std::map<int, int>& stocks) {
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return false;
  if (!MessageFields::EnterGoods(doc)) return true;
  while (doc.Find(Jxc::kItem) && doc.Enter()) {
    int id = 0;
    int stock = 0;
    if (!FindInt(doc, Jxc::kGoodsId, id) || !FindInt(doc, Jxc::kStockNum, stock)) break;
    stocks[id] = stock;
    doc.Leave();
  }
  return true;
}

bool ReadWareStockQuickReply(std::u16string_view reply, std::vector<CombinStockInfo>& rows) {
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return false;
  if (!MessageFields::EnterGoods(doc)) return true;
  while (doc.Find(Jxc::kItem) && doc.Enter()) {
    CombinStockInfo row;
    if (!FindInt(doc, Jxc::kClassId, row.typeId) || !FindFloat(doc, Jxc::kRebate, row.price) ||
        !FindInt(doc, Jxc::kStockNum, row.stock) ||
        !FindText(doc, Jxc::kClassName, row.type_name)) {
      break;
    }
    row.name = Helpers::MoneyText(row.price) + u"元" + row.type_name;
    rows.push_back(std::move(row));
    doc.Leave();
  }
  return true;
}

std::u16string BuildMaterialRequest(std::u16string_view sessionId,
                                    std::u16string_view netbarNumber,
                                    std::u16string_view marketId, std::int32_t timestamp) {
  return BuildWareStockRequest(sessionId, netbarNumber, marketId, timestamp);
}

namespace {

// The ordinary fields after `is_special`; false at the first one missing.
bool ReadOrdinaryMaterial(CXmlDoc& doc, MaterialInfo& material) {
  int isdel = 0;
  if (!FindText(doc, Jxc::kMaterialName, material.name) || !FindInt(doc, Jxc::kIsDel, isdel) ||
      !FindText(doc, Jxc::kUintName, material.unit_name) ||
      !FindInt(doc, Jxc::kStockNum, material.stock) ||
      !FindInt(doc, Jxc::kTotalStockNum, material.total)) {
    return false;
  }
  material.isdel = isdel != 0;
  return true;
}

// One materials `item`, entered.
void ReadMaterial(CXmlDoc& doc, MaterialReply& result) {
  MaterialInfo material;
  int special = 0;
  if (!FindInt(doc, Jxc::kMaterialId, material.id) || !FindInt(doc, Jxc::kIsSpecial, special))
    return;
  if (special == 1 && FindInt(doc, Jxc::kStockNum, material.stock)) {
    result.cup = material;
    return;
  }
  if (ReadOrdinaryMaterial(doc, material)) result.materials.push_back(std::move(material));
}

}  // namespace

bool ReadMaterialReply(std::u16string_view reply, MaterialReply& result) {
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return false;
  if (!MessageFields::EnterGoods(doc)) return true;
  while (doc.Find(Jxc::kItem)) {
    if (!doc.Enter()) continue;
    ReadMaterial(doc, result);
    doc.Leave();
  }
  return true;
}
