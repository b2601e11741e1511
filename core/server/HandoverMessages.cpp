// Messages 13 and 14: the uploads of a closed cashier and material section.
#include "server/MessageFields.h"
#include "server/ServerMessages.h"
#include "support/Helpers.h"

using Helpers::DateTimeText;
using Helpers::IntText;
using Helpers::MoneyText;

std::u16string BuildFinishWorkSectionRequest(const WareWorkSectionInfo& section,
                                             std::u16string_view sessionId) {
  CXmlDoc doc;
  MessageFields::BeginRequest(doc);
  // The same check id on every attempt lets the server drop a repeat.
  doc.Append(Jxc::kCheckId, section.uuid);
  doc.Append(Jxc::kSessionId, sessionId);
  doc.Append(Jxc::kNetbarNumber, section.netbarid);
  doc.Append(Jxc::kHandover);
  doc.Enter();
  doc.Append(Jxc::kMarketId, section.barid);
  doc.Append(Jxc::kMarketName, section.barName);
  doc.Append(Jxc::kRelief, section.sectionType);
  doc.Append(Jxc::kNextRelief, section.nextSectionType);
  doc.Append(Jxc::kSaleMoney, MoneyText(section.sales));
  doc.Append(Jxc::kSaleNormalMoney, MoneyText(section.normalsales));
  doc.Append(Jxc::kSaleNowdoMoney, MoneyText(section.manualsales));
  doc.Append(Jxc::kPreShelve, MoneyText(section.pre));
  doc.Append(Jxc::kThisShelve, MoneyText(section.save));
  doc.Append(Jxc::kHandMoney, MoneyText(section.upload));
  doc.Append(Jxc::kErrorsPrice, section.error);
  doc.Append(Jxc::kHandoverTime, DateTimeText(section.endTime));
  doc.Append(Jxc::kTakeTime, DateTimeText(section.beginTime));
  doc.Append(Jxc::kActiveGift, MoneyText(section.active));
  doc.Append(Jxc::kRemark, section.remarks);
  doc.Leave();
  doc.AppendFragment(section.WareDetails);
  return MessageFields::FinishRequest(doc);
}

std::u16string BuildFinishMetarialWorkSectionRequest(const MaterialWorkSectionInfo& section,
                                                     std::u16string_view sessionId) {
  CXmlDoc doc;
  MessageFields::BeginRequest(doc);
  doc.Append(Jxc::kCheckId, section.uuid);
  doc.Append(Jxc::kSessionId, sessionId);
  doc.Append(Jxc::kNetbarNumber, section.netbarid);
  doc.Append(Jxc::kMaterialCheck);
  doc.Enter();
  doc.Append(Jxc::kMarketId, section.barid);
  doc.Append(Jxc::kMarketName, section.barName);
  doc.Append(Jxc::kMaterialStock, IntText(section.totalStock));
  doc.Append(Jxc::kMaterialUsed, IntText(section.totalSales));
  doc.Append(Jxc::kMaterialActive, IntText(section.totalActive));
  doc.Append(Jxc::kMaterialScrap, IntText(section.totalScrap));
  doc.Append(Jxc::kRelief, section.sectionType);
  doc.Append(Jxc::kCupNum, IntText(section.cupStock));
  doc.Append(Jxc::kSaleNum, IntText(section.cupSales));
  doc.Append(Jxc::kScrapNum, IntText(section.cupScrap));
  doc.Append(Jxc::kActiveGift, IntText(section.cupGive));
  doc.Append(Jxc::kHandoverTime, DateTimeText(section.endTime));
  doc.Append(Jxc::kRemark, section.remark);
  doc.Leave();
  doc.AppendFragment(section.materialDetails);
  return MessageFields::FinishRequest(doc);
}

bool ReadUploadReply(std::u16string_view reply) { return ReadReplyHead(reply).Accepted(); }
