// The pieces of the cashier handover, private to its files: the request as
// read from the page, the `goods` document for the server, the stock updates
// and the handover sheet. Plain functions; the worker's thread only.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/CLocalDB.h"

class CServiceManager;
struct NetbarInfo;

namespace CashierHandover {

inline constexpr int kNormalMode = 1;
inline constexpr int kQuickMode = 2;
inline constexpr int kOrdinaryWare = 1;
inline constexpr int kMadeToOrderWare = 2;

// One ware line of the page, under the name it was shown with.
struct Line {
  int type = 0;
  float price = 0.0f;
  int count = 0;  // at the start of the shift
  int sales = 0;
  int odd = 0;    // counted remainder
  std::u16string displayName;  // the catalogue's name, once matched
};

// What the page sent, with the sums over every line as sent.
struct Request {
  float pre = 0.0f;
  float sales = 0.0f;
  float active = 0.0f;
  float odd = 0.0f;
  float upload = 0.0f;
  float save = 0.0f;
  std::u16string error;
  std::u16string remark;
  std::u16string nextSectionType;
  // By name, ascending by UTF-16 code unit; a repeated name keeps its last line.
  std::map<std::u16string, Line> items;
  // Every name in the page's order, repeats included: the sheet's rows.
  std::vector<std::u16string> pageOrder;
  float normalSum = 0.0f;
  float madeToOrderSum = 0.0f;
  int totalSold = 0;
};

struct ReadResult {
  bool found = false;  // the parameter holds `FinshWorkSection`
  std::optional<Request> request;
  std::u16string failure;  // the cashier's text when there is no request
};

// Reads `FinshWorkSection`; `openingAmount` (the last café login's) replaces
// the page's `pre` unless it is empty. A negative remainder refuses the whole
// request.
ReadResult ReadRequest(std::u16string_view param, std::u16string_view openingAmount);

// The `goods` document: one item per line that matches the catalogue, in
// name order; fills each matched line's display name.
std::u16string BuildGoodsDocument(CLocalDB& db, int mode, std::map<std::u16string, Line>& items);

// The counted remainders as stock updates: quick mode counts ordinary wares
// in the combined stock.
std::vector<CLocalDB::HandoverStock> StockUpdates(int mode,
                                                  const std::map<std::u16string, Line>& items);

// Prints the handover sheet when the handover print settings ask for it.
// The outcome does not change the handover's.
void PrintSheet(CServiceManager& service, const NetbarInfo& netbar,
                const WareWorkSectionInfo& closed, const Request& request);

}  // namespace CashierHandover
