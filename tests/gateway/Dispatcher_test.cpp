#include "gateway/Dispatcher.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/TestText.h"
#include "gateway/BrowserEngine.h"
#include "gateway/CallHead.h"
#include "service/CMainWndMgr.h"
#include "support/CXmlDoc.h"

namespace {

std::u16string Call(std::string_view request) { return CallFunction(U16(request)); }

std::string Envelope(int mainId, int subId, std::string_view retId = "",
                     std::string_view param = "") {
  std::string text = "<FUNCTION><Head><MainID>" + std::to_string(mainId) + "</MainID><SubID>" +
                     std::to_string(subId) + "</SubID><RetID>" + std::string(retId) +
                     "</RetID></Head>";
  if (!param.empty()) text += "<Param>" + std::string(param) + "</Param>";
  return text + "</FUNCTION>";
}

// Records the window operations the core asks of its host.
struct FakeHost {
  std::vector<std::string> calls;
  PexluneRect window{10, 20, 810, 620};
  PexluneRect lastPlacement{-1, -1, -1, -1};
  PexluneHost host{};

  FakeHost() {
    host.context = this;
    host.close_window = [](void* c) { Self(c).calls.push_back("close"); };
    host.minimize_window = [](void* c) { Self(c).calls.push_back("minimize"); };
    host.get_window_rect = [](void* c, PexluneRect* out) { *out = Self(c).window; };
    host.set_window_rect = [](void* c, const PexluneRect* r) {
      Self(c).calls.push_back("place");
      Self(c).lastPlacement = *r;
      Self(c).window = *r;
    };
    host.get_screen_size = [](void*, int* w, int* h) {
      *w = 1920;
      *h = 1080;
    };
    host.restart_host = [](void* c) { Self(c).calls.push_back("restart"); };
    host.open_url = [](void* c, const char* url) {
      Self(c).calls.push_back(std::string("open ") + url);
    };
    CMainWndMgr::GetInstance().SetHostWindow(&host);
  }
  ~FakeHost() { CMainWndMgr::GetInstance().SetHostWindow(nullptr); }
  static FakeHost& Self(void* c) { return *static_cast<FakeHost*>(c); }
};

bool RectEquals(const PexluneRect& a, const PexluneRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(Dispatcher, MinimiseAnswersTheElevenLineReplyByteForByte) {
  FakeHost host;
  std::u16string reply = Call(Envelope(7, 1));
  EXPECT_EQ(reply, CrLfLines({"<FUNCTION>", "<Head>", "<MainID>7</MainID>", "<SubID>1</SubID>",
                              "<RetID/>", "</Head>", "<ReturnValue>", "<OPRet>1</OPRet>",
                              "<ErrString/>", "</ReturnValue>", "</FUNCTION>"}));
  EXPECT_EQ(host.calls, std::vector<std::string>{"minimize"});
}

TEST(Dispatcher, RequestsWithoutAFunctionGetAnEmptyReply) {
  struct Case {
    const char* name;
    std::string request;
  };
  const Case cases[] = {
      {"no RetID", "<FUNCTION><Head><MainID>0</MainID><SubID>0</SubID></Head></FUNCTION>"},
      {"no SubID", "<FUNCTION><Head><MainID>0</MainID><RetID/></Head></FUNCTION>"},
      {"no head", "<FUNCTION><MainID>0</MainID><SubID>0</SubID><RetID/></FUNCTION>"},
      {"not XML", "hello"},
      {"empty", ""},
      {"family 6", Envelope(6, 0)},
      {"negative family", Envelope(-1, 0)},
      {"family above 8", Envelope(9, 0)},
      {"unknown ware function", Envelope(1, 8)},
      {"unknown test function", Envelope(0, 5)},
      {"unknown window function", Envelope(7, 9)},
      {"unknown help function", Envelope(8, 1)},
  };
  for (const Case& c : cases) EXPECT_EQ(Call(c.request), u"") << c.name;
}

TEST(Dispatcher, TestReplyCarriesTheTestBodyBetweenOPRetAndErrString) {
  CXmlDoc reply(Call(Envelope(0, 0)));
  ASSERT_TRUE(reply.Find(u"/FUNCTION/ReturnValue"));
  ASSERT_TRUE(reply.Enter());
  std::vector<std::u16string> children;
  while (reply.Find(u"OPRet") || reply.Find(u"Test") || reply.Find(u"ErrString"))
    children.push_back(reply.CurrentName());
  EXPECT_EQ(children, (std::vector<std::u16string>{u"OPRet", u"Test", u"ErrString"}));
  ASSERT_TRUE(reply.Find(u"/FUNCTION/ReturnValue/Test/TestNumber"));
  EXPECT_EQ(reply.GetValue(), u"777");
  ASSERT_TRUE(reply.Find(u"/FUNCTION/ReturnValue/OPRet"));
  EXPECT_EQ(reply.GetValue(), u"1");
}

TEST(Dispatcher, RetIdIsEchoedEscapedExactlyAsSent) {
  std::u16string reply = Call(Envelope(0, 0, "a&amp;b"));
  EXPECT_NE(reply.find(u"<RetID>a&amp;b</RetID>"), std::u16string::npos) << U8(reply);
  reply = Call(Envelope(0, 0, "x&lt;y&gt;z"));
  EXPECT_NE(reply.find(u"<RetID>x&lt;y&gt;z</RetID>"), std::u16string::npos) << U8(reply);
}

TEST(Dispatcher, HeadNumbersAreReadAsLeadingDecimals) {
  // "abc" reads as 0, so it routes to the test family; "0xyz" reads as 0 too.
  const char* request =
      "<FUNCTION><Head><RetID>r</RetID><SubID> 0xyz</SubID><MainID>abc</MainID></Head></FUNCTION>";
  std::u16string reply = Call(request);
  EXPECT_NE(reply.find(u"<MainID>0</MainID>"), std::u16string::npos) << U8(reply);
  EXPECT_NE(reply.find(u"<TestNumber>777</TestNumber>"), std::u16string::npos);
}

TEST(Dispatcher, OnlyTheFirstHeadCounts) {
  const char* request =
      "<FUNCTION><Head><MainID>0</MainID><SubID>0</SubID><RetID>first</RetID></Head>"
      "<Head><MainID>7</MainID><SubID>1</SubID><RetID>second</RetID></Head></FUNCTION>";
  std::u16string reply = Call(request);
  EXPECT_NE(reply.find(u"<RetID>first</RetID>"), std::u16string::npos) << U8(reply);
}

TEST(Envelope, ReadParamHandsOverTheInnerMarkupStillEscaped) {
  CXmlDoc doc(U16(Envelope(1, 5, "", "<QueryWare byfirstchar=\"a&amp;b\" bybarcode=\"\"/>")));
  std::u16string param = u"unchanged";
  ASSERT_TRUE(ReadParam(doc, param));
  EXPECT_EQ(param, u"<QueryWare byfirstchar=\"a&amp;b\" bybarcode=\"\"/>");
  CXmlDoc inner(param);
  ASSERT_TRUE(inner.Find(u"QueryWare"));
  EXPECT_EQ(inner.GetAttr(u"byfirstchar"), u"a&b");

  CXmlDoc withoutParam(U16(Envelope(1, 5)));
  param = u"unchanged";
  EXPECT_FALSE(ReadParam(withoutParam, param));
  EXPECT_EQ(param, u"unchanged");
}

TEST(Envelope, BuildReplyPlacesAnyBodyBeforeErrString) {
  CXmlDoc doc;
  CallHead head{1, 1, u""};
  std::u16string reply = BuildReply(doc, head, false, u"<X>1</X>", u"bad & worse");
  EXPECT_EQ(reply, CrLfLines({"<FUNCTION>", "<Head>", "<MainID>1</MainID>", "<SubID>1</SubID>",
                              "<RetID/>", "</Head>", "<ReturnValue>", "<OPRet>0</OPRet>",
                              "<X>1</X>", "<ErrString>bad &amp; worse</ErrString>",
                              "</ReturnValue>", "</FUNCTION>"}));
  // A body that is not one element still lands there, as text.
  reply = BuildReply(doc, head, true, u"<A/><B/>");
  EXPECT_NE(reply.find(u"<OPRet>1</OPRet>\r\n<A/><B/>"), std::u16string::npos) << U8(reply);
  EXPECT_LT(reply.find(u"<B/>"), reply.find(u"<ErrString/>"));
}

TEST(WindowFamily, FullScreenAndRestoreKeepTheSavedRectangle) {
  FakeHost host;
  // Restore before any full screen uses the empty saved rectangle.
  EXPECT_NE(Call(Envelope(7, 3)), u"");
  EXPECT_TRUE(RectEquals(host.lastPlacement, {0, 0, 0, 0}));

  host.window = {10, 20, 810, 620};
  Call(Envelope(7, 2));
  EXPECT_TRUE(RectEquals(host.lastPlacement, {0, 0, 1920, 1080}));
  Call(Envelope(7, 2));  // the second time saves the full-screen rectangle
  Call(Envelope(7, 3));
  EXPECT_TRUE(RectEquals(host.lastPlacement, {0, 0, 1920, 1080}));
}

TEST(WindowFamily, CloseAnswersNothingAndRestartClosesAfterStarting) {
  FakeHost host;
  EXPECT_EQ(Call(Envelope(7, 0)), u"");
  EXPECT_EQ(host.calls, std::vector<std::string>{"close"});
  host.calls.clear();
  EXPECT_NE(Call(Envelope(7, 4)), u"");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"restart", "close"}));
}

TEST(WindowFamily, WithoutAHostWindowOperationsDoNothing) {
  CMainWndMgr::GetInstance().SetHostWindow(nullptr);
  for (int sub = 1; sub <= 4; ++sub) EXPECT_NE(Call(Envelope(7, sub)), u"") << sub;
  EXPECT_EQ(Call(Envelope(7, 0)), u"");
}

TEST(HelpFamily, OpensTheHelpPageAndAnswersNothing) {
  FakeHost host;
  EXPECT_EQ(Call(Envelope(8, 0)), u"");
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].rfind("open https://", 0), 0u) << host.calls[0];
  host.calls.clear();
  EXPECT_EQ(Call(Envelope(8, 1)), u"");
  EXPECT_TRUE(host.calls.empty());
}

TEST(BrowserEngine, OnlyEnginesOlderThanTheOldestSupportedFailTheCheck) {
  struct Case {
    const char* version;
    int expected;
  };
  const Case cases[] = {
      {"", 0},        {"2.38.6.0", 2}, {"2.39.9.0", 2}, {"1.99.0.0", 2},
      {"2.40.0.0", 0}, {"2.50.1.0", 0}, {"3.0.0.0", 0},  {"garbage", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(BrowserEngineCheck(c.version), c.expected) << c.version;
}
