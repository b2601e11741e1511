#include "server/CHttpClientMgr.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "server/WireCodec.h"
#include "support/TextCodec.h"

namespace {

using namespace std::chrono_literals;
using TextCodec::Utf16ToUtf8;
using TextCodec::Utf8ToUtf16;

// Plays the inventory server: opens the sealed request and answers
// "echo:" and its text, sealed.
std::optional<std::string> Echo(const HttpRequest& request) {
  return LoopbackServer::Response(SealRequest(u"echo:" + OpenReply(request.body)));
}

// Collects the event-log records the pool posts.
class RecordingLog {
 public:
  CHttpClientMgr::LogSink Sink() {
    return [this](std::u16string_view record) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_records.emplace_back(record);
    };
  }
  std::vector<std::u16string> Records() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::u16string> m_records;
};

class CHttpClientMgrTest : public ::testing::Test {
 protected:
  // Builds and opens a pool; short transport limits keep failures quick.
  std::unique_ptr<CHttpClientMgr> OpenPool(CHttpClientMgr::Timeouts timeouts = {0, 2000, 500,
                                                                                500}) {
    auto pool = std::make_unique<CHttpClientMgr>(log.Sink(), timeouts);
    EXPECT_TRUE(pool->open());
    return pool;
  }
  // Generous: a reply ends the wait as soon as it lands, so only a test that
  // expects no reply waits out the six polls.
  static constexpr auto kInterval = 2s;

  ScopedProxyEnvironment proxies;
  RecordingLog log;
};

TEST_F(CHttpClientMgrTest, PostAndWaitSendsTheSealedTextAndReturnsTheOpenedReply) {
  LoopbackServer server(Echo);
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool();
  std::u16string reply;
  ASSERT_TRUE(pool->PostAndWait(server.Url16("/jxc/login"), u"abc", reply, kInterval));
  EXPECT_EQ(reply, u"echo:abc");

  ASSERT_EQ(server.RequestCount(), 1u);
  const HttpRequest request = server.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/jxc/login");
  EXPECT_EQ(request.body, "mVs/4C0uoJA=");  // 8 bytes, 12 characters ending in "="
  EXPECT_EQ(request.Header("Content-Length"), "12");
  EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(log.Records(), std::vector<std::u16string>{u"HTTP 返回:echo:abc"});
}

TEST_F(CHttpClientMgrTest, ManyCallersAtOnceEachGetTheirOwnReply) {
  LoopbackServer server([](const HttpRequest& request) {
    // Answer in an order unrelated to the order of arrival.
    std::this_thread::sleep_for(std::chrono::milliseconds(request.body.size() % 7 * 5));
    return Echo(request);
  });
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool();
  constexpr int kCallers = 24;
  std::vector<std::u16string> replies(kCallers);
  std::vector<int> results(kCallers, -1);
  std::vector<std::thread> callers;
  for (int i = 0; i < kCallers; ++i) {
    callers.emplace_back([&, i] {
      const std::u16string text = u"请求 " + Utf8ToUtf16(std::string(static_cast<size_t>(i), 'x'));
      results[i] = pool->PostAndWait(server.Url16(), text, replies[i], 10s);
    });
  }
  for (std::thread& caller : callers) caller.join();
  for (int i = 0; i < kCallers; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(results[i], 1);
    EXPECT_EQ(replies[i], u"echo:请求 " + Utf8ToUtf16(std::string(static_cast<size_t>(i), 'x')));
  }
  EXPECT_EQ(pool->StoredReplies(), 0u);
  EXPECT_EQ(log.Records().size(), static_cast<size_t>(kCallers));
}

TEST_F(CHttpClientMgrTest, RepliesAreLoggedButRequestTextsNever) {
  LoopbackServer server([](const HttpRequest&) {
    return LoopbackServer::Response(SealRequest(u"<jxcapi status=\"1\"/>"));
  });
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool();
  std::u16string reply;
  const std::u16string login =
      u"<jxcapi><UserName>cashier</UserName><Password>s3cr3t-口令</Password></jxcapi>";
  ASSERT_TRUE(pool->PostAndWait(server.Url16(), login, reply, kInterval));
  std::u16string jobId;
  ASSERT_TRUE(pool->PostNoWait(server.Url16(), login, jobId));
  ASSERT_TRUE(WaitFor([&] { return pool->JobsInFlight() == 0; }));

  // The password does reach the server, inside the sealed body.
  EXPECT_EQ(OpenReply(server.Requests()[0].body), login);
  const std::vector<std::u16string> records = log.Records();
  EXPECT_EQ(records, std::vector<std::u16string>{u"HTTP 返回:<jxcapi status=\"1\"/>"});
  for (const std::u16string& record : records) {
    EXPECT_EQ(record.find(u"s3cr3t"), std::u16string::npos);
    EXPECT_EQ(record.find(u"cashier"), std::u16string::npos);
  }
}

TEST_F(CHttpClientMgrTest, OutcomesOfEveryKind) {
  LoopbackServer garbage([](const HttpRequest&) { return LoopbackServer::Response("garbage!"); });
  LoopbackServer empty([](const HttpRequest&) { return LoopbackServer::Response(""); });
  ASSERT_TRUE(garbage.Start());
  ASSERT_TRUE(empty.Start());
  const std::u16string dead = Utf8ToUtf16("http://127.0.0.1:" + std::to_string(DeadPort()) + "/");
  const struct {
    const char* name;
    std::u16string url;
    std::chrono::milliseconds interval;
    bool result;
    std::u16string reply;
  } cases[] = {
      {"undecodable reply", garbage.Url16(), kInterval, true, u"false_false"},
      {"empty body", empty.Url16(), kInterval, true, u"false_false"},
      {"server down", dead, 20ms, false, u""},
      {"empty URL", u"", kInterval, false, u""},
  };
  auto pool = OpenPool();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::u16string reply = u"stale";
    EXPECT_EQ(pool->PostAndWait(c.url, u"<jxcapi/>", reply, c.interval), c.result);
    EXPECT_EQ(reply, c.reply);
    EXPECT_EQ(log.Records().back(), u"HTTP 返回:" + c.reply);
  }
  EXPECT_EQ(pool->StoredReplies(), 0u);
}

TEST_F(CHttpClientMgrTest, ALateReplyIsDiscardedSoTheStoreStaysEmpty) {
  Gate gate;
  LoopbackServer server([&](const HttpRequest& request) {
    gate.Wait();
    return Echo(request);
  });
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool({0, 2000, 5000, 5000});
  constexpr int kLate = 12;
  for (int i = 0; i < kLate; ++i) {
    std::u16string reply;
    EXPECT_FALSE(pool->PostAndWait(server.Url16(), u"slow", reply, 1ms));
    EXPECT_EQ(reply, u"");
  }
  gate.Open();
  ASSERT_TRUE(WaitFor([&] { return pool->JobsInFlight() == 0; }));
  EXPECT_EQ(server.RequestCount(), static_cast<size_t>(kLate));  // every reply did come
  EXPECT_EQ(pool->StoredReplies(), 0u);
  // Later callers are not confused by the discarded replies.
  std::u16string reply;
  EXPECT_TRUE(pool->PostAndWait(server.Url16(), u"fresh", reply, kInterval));
  EXPECT_EQ(reply, u"echo:fresh");
}

TEST_F(CHttpClientMgrTest, PostNoWaitQueuesAndItsReplyIsNotKept) {
  LoopbackServer server(Echo);
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool();
  std::u16string jobId;
  ASSERT_TRUE(pool->PostNoWait(server.Url16("/jxc/logout"), u"", jobId));
  EXPECT_TRUE(
      std::regex_match(Utf16ToUtf8(jobId),
                       std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")));
  ASSERT_TRUE(WaitFor([&] { return pool->JobsInFlight() == 0; }));
  ASSERT_EQ(server.RequestCount(), 1u);
  const HttpRequest logout = server.Requests()[0];
  EXPECT_EQ(logout.target, "/jxc/logout");
  EXPECT_TRUE(logout.body.empty());  // an empty text goes out as a bare POST
  EXPECT_FALSE(logout.Header("Content-Type"));
  EXPECT_EQ(pool->StoredReplies(), 0u);
  EXPECT_TRUE(log.Records().empty());

  std::u16string none = u"stale";
  EXPECT_FALSE(pool->PostNoWait(u"", u"x", none));
  EXPECT_EQ(none, u"");
}

TEST_F(CHttpClientMgrTest, PostsBeyondTheWakeUpBoundNeitherBlockNorStrandJobs) {
  Gate gate;
  LoopbackServer server([&](const HttpRequest&) {
    gate.Wait();
    return LoopbackServer::Response("x");
  });
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool({0, 5000, 30000, 30000});
  // With the workers held, every post queues; far more than the bound.
  constexpr size_t kPosts = CHttpClientMgr::kMaxWakeUps + 300;
  std::u16string jobId;
  for (size_t i = 0; i < kPosts; ++i) ASSERT_TRUE(pool->PostNoWait(server.Url16(), u"j", jobId));
  EXPECT_EQ(pool->JobsInFlight(), kPosts);
  gate.Open();
  ASSERT_TRUE(WaitFor([&] { return pool->JobsInFlight() == 0; }, std::chrono::minutes(3)));
  EXPECT_EQ(server.RequestCount(), kPosts);
  EXPECT_EQ(pool->StoredReplies(), 0u);
}

TEST_F(CHttpClientMgrTest, DestroyingWhileExchangesHangReturnsAndReleasesCallers) {
  LoopbackServer server([](const HttpRequest&) { return std::nullopt; });
  ASSERT_TRUE(server.Start());
  // The pool's own limits: five seconds per phase, three attempts.
  auto pool = std::make_unique<CHttpClientMgr>(log.Sink());
  ASSERT_TRUE(pool->open());
  std::u16string jobId;
  for (int i = 0; i < CHttpClientMgr::kWorkers + 3; ++i)
    ASSERT_TRUE(pool->PostNoWait(server.Url16(), u"hang", jobId));
  ASSERT_TRUE(WaitFor([&] { return server.RequestCount() == CHttpClientMgr::kWorkers; }));

  std::u16string reply = u"stale";
  std::atomic<int> waiterResult{-1};
  std::thread waiter([&] { waiterResult = pool->PostAndWait(server.Url16(), u"w", reply, 1h); });
  ASSERT_TRUE(WaitFor([&] { return pool->JobsInFlight() == CHttpClientMgr::kWorkers + 4; }));

  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(pool->Shutdown());
  waiter.join();
  pool.reset();
  // A hang guard, not a measurement: the transport alone would take 15 s.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(waiterResult, 0);
  EXPECT_EQ(reply, u"");
  EXPECT_EQ(server.RequestCount(), static_cast<size_t>(CHttpClientMgr::kWorkers));
}

TEST_F(CHttpClientMgrTest, ShutdownLetsQueuedJobsGoOutFirst) {
  LoopbackServer server(Echo);
  ASSERT_TRUE(server.Start());
  auto pool = OpenPool();
  std::u16string jobId;
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(pool->PostNoWait(server.Url16("/jxc/logout"), u"", jobId));
  EXPECT_TRUE(pool->Shutdown(std::chrono::seconds(30)));
  EXPECT_EQ(server.RequestCount(), 20u);
}

TEST_F(CHttpClientMgrTest, APoolThatIsNotRunningRefusesPosts) {
  LoopbackServer server(Echo);
  ASSERT_TRUE(server.Start());
  CHttpClientMgr unopened(log.Sink());
  std::u16string reply;
  std::u16string jobId;
  EXPECT_FALSE(unopened.PostAndWait(server.Url16(), u"x", reply, 1h));
  EXPECT_FALSE(unopened.PostNoWait(server.Url16(), u"x", jobId));

  auto pool = OpenPool();
  EXPECT_TRUE(pool->open());  // a second open changes nothing
  EXPECT_TRUE(pool->Shutdown());
  EXPECT_TRUE(pool->Shutdown());  // idempotent
  EXPECT_FALSE(pool->open());
  EXPECT_FALSE(pool->PostAndWait(server.Url16(), u"x", reply, 1h));
  EXPECT_FALSE(pool->PostNoWait(server.Url16(), u"x", jobId));
  EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
