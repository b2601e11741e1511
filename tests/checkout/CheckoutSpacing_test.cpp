// The four-second spacing of checkout starts (4/2), on a clock the tests move,
// and checkouts that run at the same time: each gets a number of its own.
#include "operations/CheckoutSpacing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "checkout/CheckoutFixture.h"
#include "service/CServiceManager.h"

namespace {

using CheckoutSpacingRule = CheckoutTest;

const std::string kOneCola = CheckoutParam({{Ware::kCola, 1, "3.50", ""}});

TEST_F(CheckoutSpacingRule, ASecondCheckoutTwoSecondsLaterIsRefusedAndNeverCallsBack) {
  EXPECT_EQ(OpRet(Checkout(kOneCola, "first")), 1);
  Advance(2);
  const std::u16string refused = Call(4, 2, kOneCola, "second");
  EXPECT_EQ(OpRet(refused), 0);
  EXPECT_EQ(ValueAt(refused, "/FUNCTION/Head/RetID"), "second");
  ASSERT_TRUE(AwaitWorkersDone());
  ASSERT_EQ(page.Calls().size(), 1u);
  EXPECT_EQ(ValueAt(page.Calls()[0].payload, "/FUNCTION/Head/RetID"), "first");
  EXPECT_EQ(StoredSales(), (Strings{"1(1/1)"}));
}

// Seconds since the last accepted start, and whether the next is accepted.
// A refused request does not move the mark: only accepted starts count.
TEST_F(CheckoutSpacingRule, OnlyStartsFourOrMoreSecondsAfterTheLastAcceptedOneAreAccepted) {
  struct Case {
    int after;
    int opRet;
  };
  const Case cases[] = {{0, 0}, {1, 0}, {3, 0}, {4, 1}, {1, 0}, {3, 0}, {7, 1}, {60, 1}};
  ASSERT_EQ(OpRet(Call(4, 2, kOneCola)), 1);
  size_t accepted = 1;
  std::int64_t sinceAccepted = 0;
  for (const Case& c : cases) {
    Advance(c.after - sinceAccepted);
    sinceAccepted = c.after;
    EXPECT_EQ(OpRet(Call(4, 2, kOneCola)), c.opRet) << c.after << " s after the last accepted";
    if (c.opRet == 1) {
      sinceAccepted = 0;
      ++accepted;
    }
  }
  ASSERT_TRUE(page.WaitForCalls(accepted));
  ASSERT_TRUE(AwaitWorkersDone());
  EXPECT_EQ(page.Calls().size(), accepted);
  EXPECT_EQ(StoredCount(), static_cast<int>(accepted));
}

// Requests that arrive at the same instant from several threads: exactly one
// is accepted, however they interleave.
TEST_F(CheckoutSpacingRule, RequestsAtTheSameInstantStartOneCheckout) {
  constexpr int kThreads = 8;
  std::atomic<int> accepted{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      while (!go) std::this_thread::yield();
      if (OpRet(Call(4, 2, kOneCola)) == 1) ++accepted;
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(accepted, 1);
  ASSERT_TRUE(AwaitWorkersDone());
  EXPECT_EQ(StoredCount(), 1);
}

// With the clock four seconds on at every start, sixteen checkouts of five
// units run side by side: sixteen numbers, each on exactly its own five units.
TEST_F(CheckoutSpacingRule, CheckoutsRunningAtOnceNeverShareANumber) {
  std::atomic<std::int64_t> tick{0};
  CheckoutSpacing::Instance().SetClock([&] { return tick += CheckoutSpacing::kSpacingSeconds; });
  constexpr int kThreads = 4;
  constexpr int kPerThread = 4;
  const std::string order =
      CheckoutParam({{Ware::kCola, 3, "3.50", ""}, {Ware::kNoodles, 2, "5.00", ""}});
  std::vector<std::thread> threads;
  std::atomic<int> started{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kPerThread; ++i) started += OpRet(Call(4, 2, order)) == 1;
    });
  }
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(started, kThreads * kPerThread);
  ASSERT_TRUE(page.WaitForCalls(kThreads * kPerThread, std::chrono::seconds(60)));
  for (const RecordedCall& call : page.Calls()) EXPECT_EQ(OpRet(call.payload), 1);

  std::map<int, std::set<std::string>> units;  // number -> its ids
  for (const std::string& id : StoredSales()) units[std::stoi(id)].insert(id);
  ASSERT_EQ(units.size(), static_cast<size_t>(kThreads * kPerThread));
  int expectedNumber = 1;
  for (const auto& [number, ids] : units) {
    EXPECT_EQ(number, expectedNumber++);
    const std::string n = std::to_string(number);
    EXPECT_EQ(ids, (std::set<std::string>{n + "(1/5)", n + "(2/5)", n + "(3/5)", n + "(4/5)",
                                          n + "(5/5)"}));
  }
}

}  // namespace
