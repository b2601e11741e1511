// The checkout's order: the page's `Checkout` request as read, and the sale
// lines and receipt lines made from it against the local store. Plain values
// built and used by one checkout worker.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "devices/PrintJobs.h"
#include "store/CLocalDB.h"

// One row of the page's basket.
struct CheckoutSubOrder {
  int wareId = 0;
  int count = 0;
  float price = 0.0f;  // the unit price the page showed
};

struct CheckoutRequest {
  std::u16string seatNo;
  float totalPrice = 0.0f;
  float pay = 0.0f;
  float change = 0.0f;
  int subOrderCount = 0;  // read, not used
  std::vector<CheckoutSubOrder> subOrders;
  // Per ware id, the taste texts of its rows in document order.
  std::map<int, std::vector<std::u16string>> tastes;
};

// The sale lines of one checkout, all under one checkout number, and what the
// receipt lists.
struct CheckoutOrder {
  int orderNo = 0;
  std::vector<WareSaleInfo> units;
  std::vector<ReceiptLine> lines;
};

// Reads the `Checkout` element of the request's parameter text; false when
// there is none.
bool ReadCheckoutRequest(std::u16string_view param, CheckoutRequest& request);

// Decimal number as the page writes it: leading white space, an optional
// sign and the longest number that follows; 0 when there is none. The
// decimal point is "." whatever the process locale.
float ParseDecimal(std::u16string_view text);

// Makes one sale line per unit, numbered N(1/n)..N(n/n) with a fresh checkout
// number N, and one receipt line per sold basket row. Rows whose ware is not
// in the store (or deleted) are left out and do not count in n. False when no
// unit could be made: no row left, the first sold row has no units, the
// order is implausibly large, or the sales counter failed.
bool MakeCheckoutOrder(CLocalDB& db, const CheckoutRequest& request, std::int64_t now,
                       CheckoutOrder& order);
