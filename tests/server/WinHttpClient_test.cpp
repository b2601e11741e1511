#include "server/WinHttpClient.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "LoopbackServer.h"
#include "support/TextCodec.h"

namespace {

using TextCodec::Ascii;

class WinHttpClientTest : public ::testing::Test {
 protected:
  ScopedProxyEnvironment proxies;
};

// Short limits keep the failure cases quick; none is measured.
void ShortTimeouts(WinHttpClient& client) { client.SetTimeoutValues(0, 2000, 300, 300); }

struct BodyCase {
  const char* name;
  std::string sent;
  int status;
  std::string expected;
};

TEST_F(WinHttpClientTest, ResponseBodyIsTheRawBytesTrimmedAsTheWireExpects) {
  const BodyCase cases[] = {
      {"plain", "hello", 200, "hello"},
      {"utf8 byte-order mark dropped", "\xEF\xBB\xBFhello", 200, "hello"},
      {"every leading high byte dropped", "\x80\xFF\xC3hi\xC3\xA9", 200, "hi\xC3\xA9"},
      {"cut at the first zero byte", std::string("ab\0cd", 5), 200, "ab"},
      {"zero byte first gives nothing", std::string("\0abc", 4), 200, ""},
      {"an error page is still an answer", "not found", 404, "not found"},
      {"a server error page too", "oops", 500, "oops"},
      {"fifty thousand bytes", std::string(50000, 'x'), 200, std::string(50000, 'x')},
      {"empty", "", 200, ""},
  };
  for (const BodyCase& c : cases) {
    SCOPED_TRACE(c.name);
    LoopbackServer server(
        [&](const HttpRequest&) { return LoopbackServer::Response(c.sent, c.status); });
    ASSERT_TRUE(server.Start());
    WinHttpClient client(server.Url16("/api"));
    ASSERT_TRUE(client.Perform(u"POST", false));
    EXPECT_EQ(client.GetResponseBody(), c.expected);
  }
}

TEST_F(WinHttpClientTest, PostCarriesTheBodyAndTheExtraHeadersOnly) {
  LoopbackServer server([](const HttpRequest&) { return LoopbackServer::Response("ok"); });
  ASSERT_TRUE(server.Start());
  const std::string body = "mVs/4C0uoJA=";
  WinHttpClient client(server.Url16("/jxc/login?x=1"));
  ASSERT_TRUE(client.SetBody(body.data(), body.size()));
  client.SetExtraHeaders(
      u"Content-Length: 12\r\nContent-Type: application/x-www-form-urlencoded\r\nX-Extra: 1\r\n");
  ASSERT_TRUE(client.Perform(u"post", false));

  ASSERT_EQ(server.RequestCount(), 1u);
  const HttpRequest request = server.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/jxc/login?x=1");
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(request.Header("Content-Length"), "12");
  EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(request.Header("X-Extra"), "1");
  EXPECT_EQ(request.Header("User-Agent"), "WinHttpClient");
  EXPECT_FALSE(request.Header("Expect"));
  EXPECT_FALSE(request.Header("Cookie"));
}

TEST_F(WinHttpClientTest, PostWithoutBodyGoesOutBareWithoutContentType) {
  LoopbackServer server([](const HttpRequest&) { return LoopbackServer::Response("bye"); });
  ASSERT_TRUE(server.Start());
  WinHttpClient client(server.Url16("/logout"));
  ASSERT_TRUE(client.Perform(u"POST", false));
  ASSERT_EQ(server.RequestCount(), 1u);
  const HttpRequest request = server.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_TRUE(request.body.empty());
  EXPECT_FALSE(request.Header("Content-Type"));
  EXPECT_EQ(request.Header("Content-Length").value_or("0"), "0");
  EXPECT_EQ(client.GetResponseBody(), "bye");
}

TEST_F(WinHttpClientTest, RequestsThatNeverLeaveFailWithTheirOwnNumbers) {
  struct Case {
    const char* name;
    std::u16string url;
    std::u16string verb;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"empty URL", u"", u"POST", WinHttpClient::kErrorEmptyUrl},
      {"verb other than GET and POST", u"http://127.0.0.1:9/", u"PUT",
       WinHttpClient::kErrorBadVerb},
      {"host name of 260 characters", u"http://" + std::u16string(260, u'a') + u"/", u"POST",
       WinHttpClient::kErrorBadUrl},
      {"not a URL", u"no scheme here", u"POST", WinHttpClient::kErrorBadUrl},
      {"a scheme other than HTTP", u"ftp://127.0.0.1/", u"POST", WinHttpClient::kErrorBadUrl},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WinHttpClient client(c.url);
    EXPECT_FALSE(client.Perform(c.verb, false));
    EXPECT_EQ(client.GetLastErrorCode(), c.error);
    EXPECT_EQ(client.GetResponseBody(), "");
  }
}

TEST_F(WinHttpClientTest, GetIsAllowedInAnyCase) {
  LoopbackServer server([](const HttpRequest&) { return LoopbackServer::Response("got"); });
  ASSERT_TRUE(server.Start());
  WinHttpClient client(server.Url16());
  ASSERT_TRUE(client.Perform(u"gEt", false));
  EXPECT_EQ(server.Requests()[0].method, "GET");
}

TEST_F(WinHttpClientTest, AServerThatHangsUpIsTriedThreeTimes) {
  LoopbackServer server([](const HttpRequest&) { return std::string(); });  // closes unanswered
  ASSERT_TRUE(server.Start());
  WinHttpClient client(server.Url16());
  ShortTimeouts(client);
  EXPECT_FALSE(client.Perform(u"POST", false));
  EXPECT_EQ(server.ConnectionCount(), 3u);
  EXPECT_NE(client.GetLastErrorCode(), 0u);
  EXPECT_EQ(client.GetResponseBody(), "");
}

TEST_F(WinHttpClientTest, ARefusedConnectionFailsWithThePlatformNumber) {
  WinHttpClient client(TextCodec::Ascii("http://127.0.0.1:" + std::to_string(DeadPort()) + "/"));
  ShortTimeouts(client);
  EXPECT_FALSE(client.Perform(u"POST", false));
  EXPECT_EQ(client.GetLastErrorCode(), 7u);  // libcurl: could not connect
}

TEST_F(WinHttpClientTest, AServerThatNeverAnswersTimesOutOnEachOfThreeAttempts) {
  LoopbackServer server([](const HttpRequest&) { return std::nullopt; });
  ASSERT_TRUE(server.Start());
  WinHttpClient client(server.Url16());
  ShortTimeouts(client);
  const std::string body = "x";
  client.SetBody(body.data(), body.size());
  EXPECT_FALSE(client.Perform(u"POST", false));
  EXPECT_EQ(client.GetLastErrorCode(), 28u);  // libcurl: timed out
  EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(WinHttpClientTest, AbortFromAnotherThreadEndsAHangingExchange) {
  LoopbackServer server([](const HttpRequest&) { return std::nullopt; });
  ASSERT_TRUE(server.Start());
  WinHttpClient client(server.Url16());  // the default limits: half a minute per phase
  std::thread aborter([&] {
    WaitFor([&] { return server.RequestCount() == 1; });
    client.Abort();
  });
  EXPECT_FALSE(client.Perform(u"POST", false));
  aborter.join();
  EXPECT_EQ(client.GetLastErrorCode(), 42u);  // libcurl: aborted
  EXPECT_EQ(server.RequestCount(), 1u);       // no further attempt after an abort
}

TEST_F(WinHttpClientTest, RedirectsAreFollowedUnlessDisabled) {
  LoopbackServer server([](const HttpRequest& request) -> std::optional<std::string> {
    if (request.target == "/old")
      return std::string(
          "HTTP/1.1 302 Found\r\nLocation: /new\r\nContent-Length: 5\r\n"
          "Connection: close\r\n\r\nmoved");
    return LoopbackServer::Response("arrived");
  });
  ASSERT_TRUE(server.Start());
  WinHttpClient follows(server.Url16("/old"));
  ASSERT_TRUE(follows.Perform(u"POST", false));
  EXPECT_EQ(follows.GetResponseBody(), "arrived");
  WinHttpClient stays(server.Url16("/old"));
  ASSERT_TRUE(stays.Perform(u"POST", true));
  EXPECT_EQ(stays.GetResponseBody(), "moved");
}

TEST_F(WinHttpClientTest, TheProxyComesFromTheEnvironment) {
  LoopbackServer target([](const HttpRequest&) { return LoopbackServer::Response("direct"); });
  LoopbackServer proxy([](const HttpRequest&) { return LoopbackServer::Response("via proxy"); });
  ASSERT_TRUE(target.Start());
  ASSERT_TRUE(proxy.Start());
  ScopedProxyEnvironment::Set("http_proxy", proxy.Url());

  WinHttpClient client(target.Url16("/jxc/ping"));
  const std::string body = "sealed";
  client.SetBody(body.data(), body.size());
  ASSERT_TRUE(client.Perform(u"POST", false));
  EXPECT_EQ(client.GetResponseBody(), "via proxy");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  EXPECT_EQ(proxy.Requests()[0].target, target.Url("/jxc/ping"));  // absolute form
  EXPECT_EQ(proxy.Requests()[0].body, body);
  EXPECT_EQ(target.RequestCount(), 0u);

  ScopedProxyEnvironment::Set("no_proxy", "127.0.0.1");
  WinHttpClient bypassing(target.Url16("/jxc/ping"));
  ASSERT_TRUE(bypassing.Perform(u"POST", false));
  EXPECT_EQ(bypassing.GetResponseBody(), "direct");
  EXPECT_EQ(proxy.RequestCount(), 1u);
}

}  // namespace

namespace {

// A child process started by the test and ended by it; its first line of
// output is kept.
class Child {
 public:
  explicit Child(const std::string& command) {
    const std::string line = "exec " + command;  // nothing may allocate after the fork
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return;
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(pipeFds[1], STDOUT_FILENO);
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
      ::execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    char c;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') m_firstLine += c;
    ::close(pipeFds[0]);
  }
  ~Child() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
  }
  const std::string& FirstLine() const { return m_firstLine; }

 private:
  pid_t m_pid = -1;
  std::string m_firstLine;
};

TEST_F(WinHttpClientTest, HttpsAcceptsACertificateNobodyVouchesFor) {
  char folder[] = "/tmp/tls_XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string cert = std::string(folder) + "/cert.pem";
  const std::string key = std::string(folder) + "/key.pem";
  // Self-signed, and for a name that is not the one we connect to.
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=example.invalid"
      " -keyout " +
      key + " -out " + cert + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate here";
  {
    Child server(std::string("python3 ") + TILLORA_TEST_SOURCE_DIR +
                 "/tests/server/tls_server.py " + cert + " " + key);
    ASSERT_FALSE(server.FirstLine().empty());
    const std::u16string url = Ascii("https://127.0.0.1:" + server.FirstLine() + "/jxc");
    const std::string body = "sealed";

    WinHttpClient client(url);
    client.SetBody(body.data(), body.size());
    ASSERT_TRUE(client.Perform(u"POST", false)) << client.GetLastErrorCode();
    EXPECT_EQ(client.GetResponseBody(), "secure:sealed");

    WinHttpClient strict(url);
    strict.SetRequireValidCertificate(true);
    strict.SetTimeoutValues(0, 2000, 2000, 2000);
    EXPECT_FALSE(strict.Perform(u"POST", false));
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
