// Messages 1 to 3: user login, café login and the reachability probe.
#include "server/MessageFields.h"
#include "server/ServerMessages.h"

using MessageFields::FindText;

std::u16string BuildUserLoginRequest(std::u16string_view account, std::u16string_view password) {
  CXmlDoc doc;
  MessageFields::BeginRequest(doc);
  doc.Append(Jxc::kAccount, account);
  // In plain text: the server checks it inside the sealed body.
  doc.Append(Jxc::kPassword, password);
  return MessageFields::FinishRequest(doc);
}

UserLoginReply ReadUserLoginReply(std::u16string_view reply) {
  UserLoginReply result;
  result.head = ReadReplyHead(reply);
  if (!result.head.Succeeded()) return result;
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return result;
  result.hasFields = FindText(doc, Jxc::kSessionId, result.sessionId) &&
                     FindText(doc, Jxc::kIdentity, result.identity);
  return result;
}

std::u16string BuildNetbarLoginRequest(std::u16string_view sessionId, std::u16string_view password,
                                       std::u16string_view netbarNumber) {
  CXmlDoc doc;
  MessageFields::BeginRequest(doc);
  doc.Append(Jxc::kSessionId, sessionId);
  doc.Append(Jxc::kPassword, password);
  doc.Append(Jxc::kNetbarNumber, netbarNumber);
  return MessageFields::FinishRequest(doc);
}

std::u16string BuildProbeRequest() { return BuildNetbarLoginRequest(u"", u"", u""); }

namespace {

// `market`, entered: its `item` list.
std::vector<MarketItem> ReadMarkets(CXmlDoc& doc) {
  std::vector<MarketItem> markets;
  while (doc.Find(Jxc::kItem)) {
    if (!doc.Enter()) continue;
    MarketItem item;
    std::u16string id;
    if (FindText(doc, Jxc::kMarketId, id)) item.id = std::move(id);
    FindText(doc, Jxc::kMarketName, item.name);
    markets.push_back(std::move(item));
    doc.Leave();
  }
  return markets;
}

}  // namespace

NetbarLoginReply ReadNetbarLoginReply(std::u16string_view reply) {
  NetbarLoginReply result;
  result.head = ReadReplyHead(reply);
  CXmlDoc doc;
  if (!MessageFields::EnterData(doc, reply)) return result;
  int& n = result.fieldsRead;
  if (!FindText(doc, Jxc::kSessionId, result.sessionId)) return result;
  ++n;
  if (!FindText(doc, Jxc::kNetbarId, result.netbarId)) return result;
  ++n;
  if (!FindText(doc, Jxc::kNetbarName, result.netbarName)) return result;
  ++n;
  if (!doc.Find(Jxc::kMarket)) return result;
  if (doc.Enter()) {
    result.markets = ReadMarkets(doc);
    doc.Leave();
  }
  ++n;
  if (!FindText(doc, Jxc::kCashier, result.cashier)) return result;
  ++n;
  if (!FindText(doc, Jxc::kJobList, result.jobList)) return result;
  ++n;
  if (!FindText(doc, Jxc::kPreShelve, result.preShelve)) return result;
  ++n;
  if (!FindText(doc, Jxc::kJobOrder, result.jobOrder)) return result;
  ++n;
  return result;
}
