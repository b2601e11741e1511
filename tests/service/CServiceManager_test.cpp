#include "service/CServiceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "common/RecordingCallback.h"

namespace {

// Each test gets a fresh manager and leaves none behind.
// The callbacks are members so they outlive the manager that references them.
class ServiceManagerTest : public ::testing::Test {
protected:
  void TearDown() override { CServiceManager::DestroyInstance(); }
  CServiceManager& Manager() { return CServiceManager::GetInstance(); }

  RecordingCallback page;
  RecordingCallback first;
  RecordingCallback second;
};

void EchoRetId(TaskArgs& args) { args.task->NotifyPage(u"cb-test", args.head.RetID); }

std::atomic<bool> g_release{false};
void WaitForRelease(TaskArgs& args) {
  while (!g_release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  args.task->NotifyPage(u"cb-late", args.param);
}

}  // namespace

TEST_F(ServiceManagerTest, GetInstanceIsOneObjectUntilDestroyed) {
  CServiceManager* first = &Manager();
  EXPECT_EQ(first, &Manager());
  first->m_keepAliveStop = true;
  CServiceManager::DestroyInstance();
  EXPECT_FALSE(Manager().m_keepAliveStop);
}

TEST_F(ServiceManagerTest, EachWorkerReportsTheRetIdOfItsOwnRequest) {
  Manager().SetPageCallback(page.get());
  std::set<std::u16string> sent;
  for (int i = 0; i < 20; ++i) {
    std::u16string retId = u"r" + std::u16string(1, static_cast<char16_t>(u'a' + i));
    sent.insert(retId);
    ASSERT_TRUE(Manager().StartRequestWorker(EchoRetId, CallHead{4, 0, retId}));
  }
  ASSERT_TRUE(page.WaitForCalls(20));
  std::set<std::u16string> received;
  for (const RecordedCall& call : page.Calls()) received.insert(call.payload);
  EXPECT_EQ(received, sent);
}

TEST_F(ServiceManagerTest, WorkersKeepTheCallbackThatWasRegisteredWhenTheyStarted) {
  g_release = false;
  Manager().SetPageCallback(first.get());
  ASSERT_TRUE(Manager().StartRequestWorker(WaitForRelease, CallHead{}, u"old"));
  Manager().SetPageCallback(second.get());
  Manager().SetPageCallback(nullptr);  // a null registration changes nothing
  ASSERT_TRUE(Manager().StartRequestWorker(EchoRetId, CallHead{0, 0, u"new"}));
  g_release = true;
  ASSERT_TRUE(first.WaitForCalls(1));
  ASSERT_TRUE(second.WaitForCalls(1));
  EXPECT_EQ(first.Calls()[0].payload, u"old");
  EXPECT_EQ(second.Calls()[0].payload, u"new");
}

TEST_F(ServiceManagerTest, WithoutACallbackWorkersRunAndDeliverNothing) {
  std::atomic<int> result{0};
  static std::atomic<int>* resultPointer = &result;
  resultPointer = &result;
  ASSERT_TRUE(Manager().StartRequestWorker(
      [](TaskArgs& args) { *resultPointer = args.task->NotifyPage(u"cb", u"") == 0 ? 1 : 2; },
      CallHead{}));
  for (int i = 0; i < 1000 && result == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(result, 2);
}

TEST_F(ServiceManagerTest, APageThatWentAwayDoesNotHangTheWorker) {
  page.SetDetached(true);
  Manager().SetPageCallback(page.get());
  ASSERT_TRUE(Manager().StartRequestWorker(EchoRetId, CallHead{}));
  CServiceManager::DestroyInstance();  // joins the worker: it must have returned
  EXPECT_TRUE(page.Calls().empty());
}

TEST_F(ServiceManagerTest, DestroyingWhileWorkersRunWaitsForThemAndReleasesTheCallback) {
  page.SetDelay(std::chrono::milliseconds(20));
  Manager().SetPageCallback(page.get());
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Manager().StartRequestWorker(EchoRetId, CallHead{}));
  CServiceManager::DestroyInstance();
  EXPECT_EQ(page.Calls().size(), 5u);
  EXPECT_EQ(page.References(), 0);
}

TEST_F(ServiceManagerTest, WaitOrStopWakesWhenStopRaisesTheFlag) {
  // The instance is created on this (the host) thread before another uses it.
  CServiceManager& manager = Manager();
  std::thread stopper([&manager] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    manager.Stop();
  });
  // An hour-long wait that returns because of Stop, not because of time.
  EXPECT_TRUE(manager.WaitOrStop(manager.m_keepAliveStop, std::chrono::hours(1)));
  stopper.join();
}
