#include "support/CLogMgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/TestText.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBreaks = "\r\r\n\r\r\n";

template <typename Predicate>
bool waitFor(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Entries end with the line breaks and nothing else does, so counting the
// breaks counts complete entries.
size_t CountEntries(const std::string& bytes) {
  size_t count = 0;
  for (size_t at = bytes.find(kBreaks); at != std::string::npos;
       at = bytes.find(kBreaks, at + kBreaks.size())) {
    ++count;
  }
  return count;
}

std::vector<std::string> Entries(const std::string& bytes) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (size_t at = bytes.find(kBreaks); at != std::string::npos; at = bytes.find(kBreaks, start)) {
    entries.push_back(bytes.substr(start, at + kBreaks.size() - start));
    start = at + kBreaks.size();
  }
  return entries;
}

std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

CLogMgr::Clock FixedClock(std::time_t moment) {
  return [moment] { return moment; };
}

// Returns the moments in turn, then keeps returning the last one; the writer
// reads the clock once per entry.
CLogMgr::Clock ScriptedClock(std::vector<std::time_t> moments) {
  auto script = std::make_shared<std::vector<std::time_t>>(std::move(moments));
  auto next = std::make_shared<size_t>(0);
  return [script, next] {
    size_t i = std::min((*next)++, script->size() - 1);
    return (*script)[i];
  };
}

std::string Message(int i) { return "m" + std::to_string(i); }

// A temporary folder holding the log folder, and local time fixed so that
// file names and entry times do not depend on the machine. The environment
// is touched only here, while no writer thread runs.
class CLogMgrTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tillora-log-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_root = pattern;
    m_logDir = m_root / "LOG";
    const char* tz = std::getenv("TZ");
    m_hadTz = tz != nullptr;
    if (m_hadTz) m_oldTz = tz;
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
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  fs::path File(const char* day) const { return m_logDir / (std::string(day) + ".log"); }

  bool WaitForEntries(const char* day, size_t count) {
    return waitFor([&] { return CountEntries(ReadBytes(File(day))) >= count; });
  }

  fs::path m_root;
  fs::path m_logDir;

private:
  bool m_hadTz = false;
  std::string m_oldTz;
};

TEST_F(CLogMgrTest, StartCreatesTheLogFolder) {
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  ASSERT_FALSE(fs::exists(m_logDir));
  ASSERT_TRUE(log.Start());
  EXPECT_TRUE(fs::is_directory(m_logDir));
  log.Post(u"ready");
  EXPECT_TRUE(WaitForEntries("20150101", 1));
}

TEST_F(CLogMgrTest, EntriesHaveExactBytes) {
  struct Case {
    const char* name;
    std::u16string message;
    std::string bytes;
  };
  const Case cases[] = {
      {"three letters", u"abc", "09:05:07 abc \r\r\n\r\r\n"},
      {"code page 936", u"销售商品: 可乐",
       "09:05:07 \xCF\xFA\xCA\xDB\xC9\xCC\xC6\xB7: \xBF\xC9\xC0\xD6 \r\r\n\r\r\n"},
      {"outside code page 936", u"x\uD55C\U0001F600y", "09:05:07 x??y \r\r\n\r\r\n"},
      {"ends at a NUL", std::u16string(u"ab\0cd", 5), "09:05:07 ab \r\r\n\r\r\n"},
      {"empty", u"", "09:05:07  \r\r\n\r\r\n"},
  };
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  ASSERT_TRUE(log.Start());
  std::string expected;
  for (const Case& c : cases) {
    log.Post(c.message);
    expected += c.bytes;
  }
  ASSERT_TRUE(WaitForEntries("20150101", std::size(cases)));
  const std::vector<std::string> entries = Entries(ReadBytes(File("20150101")));
  ASSERT_EQ(entries.size(), std::size(cases));
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i], cases[i].bytes) << cases[i].name;
  }
}

TEST_F(CLogMgrTest, EachEntryGoesToTheFileOfItsOwnDate) {
  CLogMgr log(m_logDir.string(), ScriptedClock({LocalMoment(2015, 12, 31, 23, 59, 59),
                                                LocalMoment(2016, 1, 1, 0, 0, 1)}));
  ASSERT_TRUE(log.Start());
  log.Post(u"before midnight");
  log.Post(u"after midnight");
  ASSERT_TRUE(WaitForEntries("20160101", 1));
  EXPECT_EQ(ReadBytes(File("20151231")), "23:59:59 before midnight \r\r\n\r\r\n");
  EXPECT_EQ(ReadBytes(File("20160101")), "00:00:01 after midnight \r\r\n\r\r\n");
}

TEST_F(CLogMgrTest, AnUnopenableFileLosesOnlyItsEntry) {
  ASSERT_TRUE(fs::create_directories(File("20150101")));  // a folder cannot be appended to
  CLogMgr log(m_logDir.string(), ScriptedClock({LocalMoment(2015, 1, 1, 12, 0, 0),
                                                LocalMoment(2015, 1, 2, 12, 0, 0)}));
  ASSERT_TRUE(log.Start());
  log.Post(u"lost");
  log.Post(u"kept");
  ASSERT_TRUE(WaitForEntries("20150102", 1));
  EXPECT_EQ(ReadBytes(File("20150102")), "12:00:00 kept \r\r\n\r\r\n");
}

TEST_F(CLogMgrTest, NullPostChangesNothing) {
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  log.Post(static_cast<const char16_t*>(nullptr));
  ASSERT_TRUE(log.Start());
  log.Post(static_cast<const char16_t*>(nullptr));
  log.Post(u"only");
  // Had a null post queued anything, it would have been written first.
  ASSERT_TRUE(WaitForEntries("20150101", 1));
  log.Stop();
  EXPECT_EQ(ReadBytes(File("20150101")), "09:05:07 only \r\r\n\r\r\n");
}

// Posts made before Start owe the writer only 1,024 wake-ups; after writing
// that many it sits idle with the rest still queued.
TEST_F(CLogMgrTest, StopWithMessagesQueuedWhileIdleWritesAtMostOne) {
  const int waiting = CLogMgr::kMaxWakeUps + 10;
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  for (int i = 0; i < waiting; ++i) log.Post(U16(Message(i)));
  ASSERT_TRUE(log.Start());
  ASSERT_TRUE(WaitForEntries("20150101", CLogMgr::kMaxWakeUps));

  log.Stop();
  // The stop flag may be raised while the writer finishes its last owed
  // wake-up, which then ends the loop; otherwise Stop's own wake-up writes
  // exactly one more message. Never more than one.
  const std::vector<std::string> entries = Entries(ReadBytes(File("20150101")));
  const size_t owed = static_cast<size_t>(CLogMgr::kMaxWakeUps);
  ASSERT_GE(entries.size(), owed);
  ASSERT_LE(entries.size(), owed + 1);
  for (size_t i = 0; i < entries.size(); ++i)
    ASSERT_EQ(entries[i], "09:05:07 " + Message(static_cast<int>(i)) + " \r\r\n\r\r\n");
}

// Messages beyond the semaphore's maximum are not lost: each later wake-up
// writes the oldest message waiting, in posting order.
TEST_F(CLogMgrTest, ExcessMessagesAreWrittenAtLaterWakeUps) {
  const int early = CLogMgr::kMaxWakeUps + 5;
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  for (int i = 0; i < early; ++i) log.Post(U16(Message(i)));
  ASSERT_TRUE(log.Start());
  ASSERT_TRUE(WaitForEntries("20150101", CLogMgr::kMaxWakeUps));
  for (int i = early; i < early + 3; ++i) log.Post(U16(Message(i)));
  ASSERT_TRUE(WaitForEntries("20150101", CLogMgr::kMaxWakeUps + 3));
  log.Stop();

  const std::vector<std::string> entries = Entries(ReadBytes(File("20150101")));
  ASSERT_EQ(entries.size(), static_cast<size_t>(CLogMgr::kMaxWakeUps) + 4);
  for (size_t i = 0; i < entries.size(); ++i) {
    ASSERT_EQ(entries[i], "09:05:07 " + Message(static_cast<int>(i)) + " \r\r\n\r\r\n");
  }
}

// Many threads posting far more than 1,024 messages while the writer runs:
// no post blocks for good, nothing crashes, and every message is either
// written whole, once, in its poster's order, or discarded at stop.
TEST_F(CLogMgrTest, BurstsFromManyThreadsAreWrittenOrDiscarded) {
  constexpr int kThreads = 4;
  constexpr int kEach = 700;
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  ASSERT_TRUE(log.Start());
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&log, t] {
      for (int i = 0; i < kEach; ++i) log.Post(U16(std::to_string(t) + ":" + std::to_string(i)));
    });
  }
  for (std::thread& poster : posters) poster.join();
  log.Stop();

  std::vector<int> nextOf(kThreads, 0);
  for (const std::string& entry : Entries(ReadBytes(File("20150101")))) {
    int t = -1;
    int i = -1;
    ASSERT_EQ(std::sscanf(entry.c_str(), "09:05:07 %d:%d \r\r\n\r\r\n", &t, &i), 2) << entry;
    ASSERT_TRUE(t >= 0 && t < kThreads) << entry;
    EXPECT_GE(i, nextOf[t]) << "out of order or twice: " << entry;
    EXPECT_LT(i, kEach) << entry;
    EXPECT_EQ(entry, "09:05:07 " + std::to_string(t) + ":" + std::to_string(i) + " \r\r\n\r\r\n");
    nextOf[t] = i + 1;
  }
}

TEST_F(CLogMgrTest, StopIsFinal) {
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  ASSERT_TRUE(log.Start());
  EXPECT_TRUE(log.Start());  // already running: no second writer
  log.Stop();
  log.Stop();
  EXPECT_FALSE(log.Start());
  // Kept until destruction, never written: no writer is left to write it.
  log.Post(u"after stop");
  EXPECT_FALSE(fs::exists(File("20150101")));
}

TEST_F(CLogMgrTest, StopBeforeStartIsHarmless) {
  CLogMgr log(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  log.Post(u"never written");
  log.Stop();
  EXPECT_FALSE(log.Start());
  EXPECT_FALSE(fs::exists(File("20150101")));
}

// Destruction runs on a thread of its own so that a hang fails the test
// instead of stalling the whole program.
TEST_F(CLogMgrTest, DestroyingWhileRunningDoesNotHang) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto log =
      std::make_shared<CLogMgr>(m_logDir.string(), FixedClock(LocalMoment(2015, 1, 1, 9, 5, 7)));
  ASSERT_TRUE(log->Start());
  for (int i = 0; i < 2000; ++i) log->Post(U16(Message(i)));
  std::thread destroyer([log = std::move(log), done]() mutable {
    log.reset();
    done->store(true);
  });
  if (!waitFor([&] { return done->load(); })) {
    destroyer.detach();
    FAIL() << "destroying a running log did not return";
  }
  destroyer.join();
  EXPECT_LE(CountEntries(ReadBytes(File("20150101"))), 2000u);
}

}  // namespace
