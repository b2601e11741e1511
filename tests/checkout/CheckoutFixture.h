// Fixture of the checkout tests: one work directory for the program (the core
// fixes its work directory once per process) with the client configuration
// and the shipped templates; per test a started service with a recording
// page, a print host, a café store opened the way the café set-up (2/3) opens
// it with a small catalogue, and a checkout spacing clock the test moves.
// Printing reaches no scheduler unless a test starts the private cupsd:
// CUPS_SERVER names a socket nobody listens on.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checkout/PrintHost.h"
#include "common/RecordingCallback.h"
#include "common/TestText.h"
#include "store/CLocalDB.h"

using Strings = std::vector<std::string>;

// The work directory of this test program, with a trailing "/".
const std::string& CheckoutWorkDir();

// ---- Requests and replies -------------------------------------------------

// CallFunction with the envelope of (mainId, subId), `param` (UTF-8 markup)
// inside Param when not empty, and `retId` as it stands (already escaped).
std::u16string Call(int mainId, int subId, std::string_view param = {},
                    std::string_view retId = {});
// OPRet of a reply envelope; -1 when there is none.
int OpRet(std::u16string_view reply);
// The value at an absolute path, UTF-8; "<missing>" when absent.
std::string ValueAt(std::u16string_view reply, std::string_view path);

// One basket row of a checkout request.
struct BasketRow {
  int wareId = 0;
  int count = 0;
  std::string price;
  std::string taste;  // the row's `Taste` item
};

// The `Checkout` parameter the payment dialog sends for these rows.
std::string CheckoutParam(const std::vector<BasketRow>& rows, std::string_view seat = "A12",
                          std::string_view total = "0.00", std::string_view pay = "0.00",
                          std::string_view change = "0.00");

// ---- The catalogue every test starts with --------------------------------

namespace Ware {
inline constexpr int kCola = 11;       // 可乐, 饮料, 3.50
inline constexpr int kMilkTea = 12;    // 奶茶, 饮料, 6.00, made to order
inline constexpr int kNoodles = 13;    // 泡面, 小吃, 5.00
inline constexpr int kDeleted = 14;    // 旧果汁, deleted
inline constexpr int kNoType = 15;     // 散装糖, of a type the store lacks, 1.00
inline constexpr int kFriedRice = 16;  // 炒饭, 小吃, 12.00, made to order
inline constexpr int kUnknown = 99;    // not in the store
}  // namespace Ware

// ---- The fixture ------------------------------------------------------------

class CheckoutTest : public ::testing::Test {
protected:
  static constexpr std::string_view kSaveNetbar =
      R"(<SaveNetbarLogin id="1001" pw="secret" netbarname="星海网吧" barname="一楼吧台" )"
      R"(barid="7" cashier="张三" currentworksection="早班"/>)";

  void SetUp() override;
  void TearDown() override;

  CLocalDB& Store();
  std::u16string StorePath() const;

  // Moves the spacing clock on by `seconds`.
  void Advance(std::int64_t seconds) { m_clock += seconds; }
  // Four seconds on, then 4/2 with `param`; the immediate reply.
  std::u16string StartCheckout(const std::string& param, std::string_view retId = "co");
  // As StartCheckout, expecting OPRet 1, then the payload of its callback
  // (the next one the page receives).
  std::u16string Checkout(const std::string& param, std::string_view retId = "co");
  // Waits for the n-th callback (1-based).
  RecordedCall AwaitCallback(size_t n);
  // Waits until no worker runs any more.
  bool AwaitWorkersDone();

  // Sets attributes of a settings section (`XiaoPiaoPrint`, `BuGanJiaoPrint`).
  void SetSettings(std::string_view section,
                   std::initializer_list<std::pair<std::string_view, std::string_view>> attrs);
  // Turns receipt printing on for a paper type; labels likewise.
  void EnableReceipts(std::string_view paper, std::string_view printer = {},
                      std::string_view copies = "1");
  void EnableLabels(std::string_view printer = {});

  // The chosen columns of every stored sale line, joined with "|", in the
  // order they were stored.
  Strings StoredSales(std::string_view columns = "id");
  int StoredCount();

  RecordingCallback page;
  PrintHost printHost;

private:
  std::atomic<std::int64_t> m_clock{1000};
  size_t m_callbacks = 0;
};
