#include "support/Helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/TestText.h"

namespace {

// Local time is fixed so that the texts do not depend on the machine.
class HelpersTime : public ::testing::Test {
protected:
  void SetUp() override {
    const char* old = std::getenv("TZ");
    m_hadTz = old != nullptr;
    if (m_hadTz) m_oldTz = old;
    setenv("TZ", "Asia/Shanghai", 1);
    tzset();
  }
  void TearDown() override {
    if (m_hadTz) {
      setenv("TZ", m_oldTz.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

private:
  bool m_hadTz = false;
  std::string m_oldTz;
};

// 2015-01-01 08:05:03 in Shanghai (UTC+8) is 00:05:03 UTC.
constexpr std::int64_t kNewYear2015 = 1420070400 + 5 * 60 + 3;

TEST_F(HelpersTime, TextsShowLocalTime) {
  struct Case {
    const char* name;
    std::u16string (*format)(std::int64_t);
    std::u16string expected;
  };
  const Case cases[] = {
      {"date-time", Helpers::DateTimeText, u"2015-01-01 08:05:03"},
      {"compact", Helpers::CompactDateTimeText, u"20150101 08:05:03"},
      {"clock", Helpers::ClockText, u"08:05:03"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(c.format(kNewYear2015)), U8(c.expected)) << c.name;
  }
}

// In UTC both moments still lie in 2009; only local conversion turns the year.
TEST_F(HelpersTime, TextsTurnTheYearAtLocalMidnight) {
  EXPECT_EQ(U8(Helpers::DateTimeText(1262275199)), "2009-12-31 23:59:59");
  EXPECT_EQ(U8(Helpers::CompactDateTimeText(1262275200)), "20100101 00:00:00");
}

TEST(Helpers, MoneyTextHasTwoDecimals) {
  struct Case {
    float amount;
    const char* expected;
  };
  const Case cases[] = {
      {2.5f, "2.50"},
      {0.0f, "0.00"},
      {-2.5f, "-2.50"},
      {19.999f, "20.00"},
      {0.004f, "0.00"},
      {1.006f, "1.01"},
      {-0.126f, "-0.13"},
      {2.675f, "2.67"},  // the float lies just below 2.675
      {1234567.0f, "1234567.00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(U8(Helpers::MoneyText(c.amount)), c.expected) << c.amount;
  }
}

TEST(Helpers, IntTextIsDecimal) {
  EXPECT_EQ(Helpers::IntText(0), u"0");
  EXPECT_EQ(Helpers::IntText(-42), u"-42");
  EXPECT_EQ(Helpers::IntText(INT_MAX), u"2147483647");
  EXPECT_EQ(Helpers::IntText(INT_MIN), u"-2147483648");
}

TEST(Helpers, ParseIntReadsTheLeadingNumber) {
  struct Case {
    std::u16string text;
    int expected;
  };
  const Case cases[] = {
      {u" 12", 12},
      {u"\t\r\n 5", 5},
      {u"+7", 7},
      {u"-3", -3},
      {u"12abc", 12},
      {u"abc", 0},
      {u"", 0},
      {u"-", 0},
      {u"- 3", 0},
      {u"007", 7},
      {u"2147483647", INT_MAX},
      {u"2147483648", INT_MAX},
      {u"99999999999999999999999", INT_MAX},
      {u"-2147483648", INT_MIN},
      {u"-2147483649", INT_MIN},
      {u"-99999999999999999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Helpers::ParseInt(c.text), c.expected) << '"' << U8(c.text) << '"';
  }
}

TEST(Helpers, GuidTextsAreFreshAndWellFormed) {
  const std::regex shape("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  // Handover and request workers create identifiers at the same time.
  constexpr int kThreads = 4;
  constexpr int kEach = 250;
  std::vector<std::vector<std::u16string>> made(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&made, t] {
      for (int i = 0; i < kEach; ++i) made[t].push_back(Helpers::NewGuidText());
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::set<std::u16string> distinct;
  for (const auto& list : made) {
    for (const std::u16string& guid : list) {
      EXPECT_TRUE(std::regex_match(U8(guid), shape)) << U8(guid);
      distinct.insert(guid);
    }
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(Helpers, NeverHostedInBrowser) { EXPECT_FALSE(Helpers::IsHostedInBrowser()); }

TEST(Helpers, CoreVersionTextIsTheProjectVersion) {
  const std::string expected =
      std::to_string(TILLORA_VERSION_MAJOR) + "." + std::to_string(TILLORA_VERSION_MINOR) + "." +
      std::to_string(TILLORA_VERSION_PATCH) + "." + std::to_string(TILLORA_VERSION_TWEAK);
  EXPECT_EQ(U8(Helpers::CoreVersionText()), expected);
  EXPECT_TRUE(std::regex_match(expected, std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
}

// The folder is fixed for the whole process at its first use, so this test
// cannot know whether another test got there first; either way, later
// overrides must be refused and both forms must agree.
TEST(Helpers, WorkDirIsFixedAtFirstUse) {
  const bool applied = Helpers::SetWorkDir("/tmp/tillora-workdir");
  const std::string dir = Helpers::WorkDirA();
  if (applied) {
    EXPECT_EQ(dir, "/tmp/tillora-workdir/");
  }
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_EQ(Helpers::WorkDir(), U16(dir));

  EXPECT_FALSE(Helpers::SetWorkDir("/somewhere/else"));
  EXPECT_EQ(Helpers::WorkDirA(), dir);
}

}  // namespace
