// The workers of the catalogue, sales and section families on the callback
// channel: whose head a result carries, which callback it reaches, and that
// the page sees callbacks one at a time on its own thread.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "functions/FunctionsFixture.h"
#include "functions/PageThread.h"
#include "operations/QueryWaits.h"
#include "service/CServiceManager.h"

namespace {

struct WorkerKind {
  int mainId;
  int subId;
  const char* param;
  const char16_t* code;
};

const WorkerKind kKinds[] = {
    {1, 3, R"(<SetWareOrder><Item wareid="1" order="2"/></SetWareOrder>)", u"cb-1-8"},
    {3, 0, "", u"cb-1-9"},
    {4, 0, R"(<QuerySales id=""/>)", u"cb-1-6"},
    {5, 0, "", u"cb-1-7"},
};

std::string HeadOf(const std::u16string& payload) {
  return ValueAt(payload, "/FUNCTION/Head/MainID") + "/" +
         ValueAt(payload, "/FUNCTION/Head/SubID") + "/" + ValueAt(payload, "/FUNCTION/Head/RetID");
}

class CallbackChannel : public FunctionsTest {
protected:
  RecordingCallback later;
};

TEST_F(CallbackChannel, EachResultCarriesTheHeadOfItsOwnRequest) {
  ASSERT_TRUE(Store().InsertWare({MakeWare(1, 1, "可乐")}));
  QueryWaits::SetScale(0.05);  // the workers of one kind overlap
  std::map<std::u16string, std::set<std::string>> sent;
  size_t total = 0;
  for (const WorkerKind& kind : kKinds) {
    for (int i = 0; i < 6; ++i) {
      const std::string retId = "k" + std::to_string(kind.mainId) + "-" + std::to_string(i);
      ASSERT_EQ(OpRet(Call(kind.mainId, kind.subId, kind.param, retId)), 1);
      sent[kind.code].insert(std::to_string(kind.mainId) + "/" + std::to_string(kind.subId) + "/" +
                             retId);
      ++total;
    }
  }
  ASSERT_EQ(OpRet(Call(4, 0, "", "a&amp;b")), 1);
  sent[u"cb-1-6"].insert("4/0/a&b");
  ASSERT_TRUE(page.WaitForCalls(total + 1));

  std::map<std::u16string, std::set<std::string>> received;
  for (const RecordedCall& call : page.Calls()) {
    received[call.code].insert(HeadOf(call.payload));
    if (HeadOf(call.payload) == "4/0/a&b") {
      EXPECT_NE(call.payload.find(u"<RetID>a&amp;b</RetID>"), std::u16string::npos);
    }
  }
  EXPECT_EQ(received, sent);
  EXPECT_EQ(page.Calls().size(), total + 1);
}

TEST_F(CallbackChannel, ACallbackRegisteredAfterAWorkerStartedDoesNotReachIt) {
  QueryWaits::SetScale(1);  // the first worker is still pausing when `later` arrives
  ASSERT_EQ(OpRet(Call(4, 0, "", "first")), 1);
  CServiceManager::GetInstance().SetPageCallback(later.get());
  ASSERT_EQ(OpRet(Call(1, 3, "<SetWareOrder/>", "second")), 1);
  ASSERT_TRUE(later.WaitForCalls(1));
  ASSERT_TRUE(page.WaitForCalls(1));
  CServiceManager::DestroyInstance();  // every worker has ended
  ASSERT_EQ(page.Calls().size(), 1u);
  ASSERT_EQ(later.Calls().size(), 1u);
  EXPECT_EQ(HeadOf(page.Calls()[0].payload), "4/0/first");
  EXPECT_EQ(HeadOf(later.Calls()[0].payload), "1/3/second");
}

TEST_F(CallbackChannel, APageThatWentAwayLosesResultsButHoldsUpNoWorker) {
  page.SetDetached(true);
  for (const WorkerKind& kind : kKinds)
    ASSERT_EQ(OpRet(Call(kind.mainId, kind.subId, kind.param)), 1);
  CServiceManager::DestroyInstance();  // returns once every worker has ended
  EXPECT_EQ(page.Calls().size(), 0u);
}

class CallbackChannelWithoutPage : public FunctionsTest {
protected:
  bool RegisterPageAtStart() const override { return false; }
  PageThread pageThread;
};

TEST_F(CallbackChannelWithoutPage, WorkersStartedBeforeAnyRegistrationDeliverNothing) {
  for (const WorkerKind& kind : kKinds)
    ASSERT_EQ(OpRet(Call(kind.mainId, kind.subId, kind.param, "early")), 1);
  CServiceManager::GetInstance().SetPageCallback(page.get());
  ASSERT_EQ(OpRet(Call(5, 0, "", "after")), 1);
  ASSERT_TRUE(page.WaitForCalls(1));
  CServiceManager::DestroyInstance();
  ASSERT_EQ(page.Calls().size(), 1u);
  EXPECT_EQ(HeadOf(page.Calls()[0].payload), "5/0/after");
}

// Requests and deliveries both go through the page thread, as the host
// arranges; the core must neither call the page from inside a request nor
// deliver two callbacks at once, and a worker waiting for the page while a
// request runs must not stall that request.
TEST_F(CallbackChannelWithoutPage, CallbacksRunOneAtATimeOnThePageThreadBetweenRequests) {
  CServiceManager::GetInstance().SetPageCallback(pageThread.get());
  QueryWaits::SetScale(0.01);
  size_t started = 0;
  for (int round = 0; round < 10; ++round) {
    for (const WorkerKind& kind : kKinds) {
      int result = -1;
      pageThread.RunRequest([&] { result = OpRet(Call(kind.mainId, kind.subId, kind.param)); });
      ASSERT_EQ(result, 1);
      ++started;
      pageThread.RunRequest([&] { Call(1, 0); });  // a request of the page in between
    }
  }
  ASSERT_TRUE(pageThread.recorder.WaitForCalls(started));
  EXPECT_EQ(pageThread.recorder.MaxConcurrent(), 1);
  EXPECT_EQ(pageThread.CallbacksDuringRequests(), 0);
  for (const RecordedCall& call : pageThread.recorder.Calls())
    EXPECT_EQ(call.thread, pageThread.id());
  CServiceManager::DestroyInstance();
}

}  // namespace
