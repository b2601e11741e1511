// A process killed in the middle of a cashier handover: a child copy of this
// program runs one handover (5/1) on the shared work directory and is killed
// with SIGKILL at a random moment of it. Afterwards the store must pass
// SQLite's integrity check, hold exactly one open section, and every
// finished section must be there whole (with its stocks and its successor)
// or not at all; the re-send the keep-alive worker runs then delivers every
// finished section to the server, each under its own check id.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <set>

#include "gateway/Dispatcher.h"
#include "handover/HandoverFixture.h"
#include "server/HandoverResend.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kRuns = 60;
constexpr const char* kChildTest = "HandoverCrashChild.DISABLED_RunOneHandover";

// The handover of run `run`: the cola's remainder tells the runs apart.
std::string RunParam(int run) {
  return "<FinshWorkSection pre=\"50\" sales=\"13.00\" active=\"0\" odd=\"63\" upload=\"13\" "
         "save=\"50\" error=\"\" remark=\"run " +
         std::to_string(run) +
         "\" nextsectiontype=\"中班\"><Ware>"
         "<Item id=\"可口可乐500ml\" type=\"1\" price=\"3.00\" count=\"24\" sales=\"1\" odd=\"" +
         std::to_string(100 + run) +
         "\"/>"
         "<Item id=\"珍珠奶茶\" type=\"2\" price=\"10.00\" count=\"10\" sales=\"1\" odd=\"9\"/>"
         "</Ware></FinshWorkSection>";
}

// The cola's `handover_num` in a stored `goods` document; -1 without one.
int HandedOverCola(const std::string& goods) {
  CXmlDoc doc(U16(goods));
  if (!doc.Find(u"goods") || !doc.Enter()) return -1;
  while (doc.Find(u"item")) {
    CXmlDoc item(u"<item>" + doc.GetInner() + u"</item>");
    if (item.Find(u"/item/goods_name") && item.GetValue() == U16("可口可乐500ml") &&
        item.Find(u"/item/handover_num"))
      return Helpers::ParseInt(item.GetValue());
  }
  return -1;
}

struct Child {
  pid_t pid = -1;
  int readFd = -1;
};

Child SpawnChild(int run) {
  Child child;
  int fds[2];
  if (::pipe(fds) != 0) return child;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.push_back("TILLORA_HANDOVER_CHILD_DIR=" + HandoverWorkDir());
  env.push_back("TILLORA_HANDOVER_CHILD_PORT=" + std::to_string(TheDemoServer().Port()));
  env.push_back("TILLORA_HANDOVER_CHILD_FD=" + std::to_string(fds[1]));
  env.push_back("TILLORA_HANDOVER_CHILD_RUN=" + std::to_string(run));
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string filter = std::string("--gtest_filter=") + kChildTest;
  std::string disabled = "--gtest_also_run_disabled_tests";
  char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawn(&child.pid, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    child.pid = -1;
    return child;
  }
  child.readFd = fds[0];
  return child;
}

// The next marker byte the child writes; 0 when it ended or time ran out.
char AwaitMarker(int fd, std::chrono::milliseconds timeout) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return 0;
  char marker = 0;
  return ::read(fd, &marker, 1) == 1 ? marker : 0;
}

class HandoverCrash : public HandoverTest {
protected:
  // Checks the store as the next start would find it; `finishedBefore`
  // sections were finished before the run. The number finished now.
  size_t ExpectConsistentStore(int run, size_t finishedBefore) {
    SCOPED_TRACE("after run " + std::to_string(run));
    EXPECT_EQ(RawText(StorePath(), "PRAGMA integrity_check"), "ok");
    const std::vector<Row> sections = RawRows(
        StorePath(),
        "select id, bFinish, pre, save, sectionType, uuid, endtime, WareDetails "
        "from tbWareWorkSection order by id");
    EXPECT_FALSE(sections.empty());
    if (sections.empty()) return 0;
    int open = 0;
    for (size_t i = 0; i < sections.size(); ++i) {
      const Row& s = sections[i];
      EXPECT_EQ(s[0], std::to_string(i + 1)) << "section ids have a gap";
      if (s[1] == "0") {
        ++open;
        EXPECT_EQ(i + 1, sections.size()) << "an open section below the latest";
        continue;
      }
      EXPECT_FALSE(s[5].empty()) << "finished section " << s[0] << " without uuid";
      EXPECT_NE(s[6], "0");
      EXPECT_GT(HandedOverCola(s[7]), 99) << "finished section " << s[0] << " without its goods";
      EXPECT_LT(i + 1, sections.size()) << "finished section " << s[0] << " without successor";
      if (i + 1 == sections.size()) break;
      EXPECT_EQ(sections[i + 1][2], s[3]) << "the successor did not take the till float";
      EXPECT_EQ(sections[i + 1][4], "中班");
    }
    EXPECT_EQ(open, 1);
    // The stock is the remainder of the latest finished section, or the
    // starting stock when none finished.
    int expected = Cola().stock;
    for (const Row& s : sections) {
      if (s[1] == "1") expected = HandedOverCola(s[7]);
    }
    EXPECT_EQ(RawText(StorePath(), "select stock from tbWare where id=1001"),
              std::to_string(expected));
    // The child's café set-up wrote the morning shift; a handover that went
    // through replaced it with the next one in the same transaction.
    const size_t finished = sections.size() - 1;
    EXPECT_TRUE(finished == finishedBefore || finished == finishedBefore + 1);
    const std::string current =
        RawText(StorePath(), "select currentworksection from tbGlobal where ID=0");
    EXPECT_EQ(current, finished > finishedBefore ? "中班" : "早班");
    return finished;
  }

  // What the keep-alive worker does at the next start: send what is pending.
  void ResendAsTheNextStartWould() {
    ASSERT_TRUE(Service().Init());
    ASSERT_EQ(OpRet(Call(2, 3, kSaveNetbar)), 1);
    ResendWareWorkSections(Service());
    EXPECT_EQ(RawText(StorePath(),
                      "select count(*) from tbWareWorkSection where bFinish=1 and bSaveToServer=0"),
              "0")
        << "a finished section stayed unsent";
    CServiceManager::DestroyInstance();
  }

  // One run: the child is killed `delay` after it starts the handover, or
  // runs to its end when there is none. How long the handover took.
  std::chrono::microseconds RunChild(int run, std::optional<std::chrono::microseconds> delay) {
    Child child = SpawnChild(run);
    EXPECT_GT(child.pid, 0) << "the child did not start";
    if (child.pid <= 0) return {};
    const char ready = AwaitMarker(child.readFd, 60s);
    EXPECT_EQ(ready, 'R') << "the child did not reach the handover";
    const auto started = std::chrono::steady_clock::now();
    if (delay) {
      std::this_thread::sleep_for(*delay);
      ::kill(child.pid, SIGKILL);
    } else {
      EXPECT_EQ(AwaitMarker(child.readFd, 60s), 'D') << "the handover did not finish";
    }
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.readFd);
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
  }
};

TEST_F(HandoverCrash, AKilledHandoverLeavesAConsistentStoreAndIsSentLater) {
  InsertShiftWares();
  CServiceManager::DestroyInstance();  // the children own the store from here

  // An undisturbed run tells how long a handover takes here.
  const std::chrono::microseconds span = RunChild(0, std::nullopt);
  size_t finished = ExpectConsistentStore(0, 0);
  ASSERT_EQ(finished, 1u);
  ResendAsTheNextStartWould();

  std::mt19937 random(std::random_device{}());
  // The store's part comes early; the upload and the page's callback fill
  // the rest, so the kills are drawn from the first half.
  std::uniform_int_distribution<long long> within(0, std::max<long long>(span.count() / 2, 1000));
  int committed = 0;
  for (int run = 1; run <= kRuns; ++run) {
    // Every other run finds the server refusing, so its section waits for
    // the server to come back.
    if (run % 2) TheDemoServer().FailUploads("reject_uploads");
    RunChild(run, std::chrono::microseconds(within(random)));
    TheDemoServer().HealUploads();
    const size_t before = finished;
    finished = ExpectConsistentStore(run, finished);
    committed += finished > before;
    ResendAsTheNextStartWould();
    if (HasFailure()) break;
  }

  // Every finished section reached the server once, under its own check id.
  std::set<std::string> stored;
  for (const Row& row : RawRows(StorePath(), "select uuid from tbWareWorkSection where bFinish=1"))
    stored.insert(row[0]);
  std::set<std::string> accepted;
  const Flat uploads = TheDemoServer().GetFlat("/admin/uploads");
  for (const auto& [key, value] : uploads) {
    if (key.starts_with("accepted.cashier.") && key.ends_with(".check_id")) accepted.insert(value);
  }
  EXPECT_EQ(accepted, stored);
  EXPECT_GT(stored.size(), 1u);
  // How many kills came after the commit (the rest came before it).
  RecordProperty("committed_runs", committed);
  RecordProperty("handover_span_us", static_cast<int>(span.count()));
}

// The child's side: one handover on the parent's store, with markers on the
// pipe before it starts ('R') and once its result arrived ('D').
TEST(HandoverCrashChild, DISABLED_RunOneHandover) {
  const char* fd = std::getenv("TILLORA_HANDOVER_CHILD_FD");
  const char* run = std::getenv("TILLORA_HANDOVER_CHILD_RUN");
  ASSERT_TRUE(fd && run) << "run only by HandoverCrash";
  const int marker = std::atoi(fd);
  RecordingCallback page;
  CServiceManager& service = CServiceManager::GetInstance();
  ASSERT_TRUE(service.Init());
  service.SetPageCallback(page.get());
  auto call = [](int mainId, int subId, const std::string& param) {
    return CallFunction(U16("<FUNCTION><Head><MainID>" + std::to_string(mainId) +
                            "</MainID><SubID>" + std::to_string(subId) +
                            "</SubID><RetID>c</RetID></Head><Param>" + param +
                            "</Param></FUNCTION>"));
  };
  ASSERT_EQ(OpRet(call(2, 3, std::string(kSaveNetbar))), 1);
  ASSERT_EQ(::write(marker, "R", 1), 1);
  ASSERT_EQ(OpRet(call(5, 1, RunParam(std::atoi(run)))), 1);
  ASSERT_TRUE(page.WaitForCalls(1, 60s));
  ASSERT_EQ(::write(marker, "D", 1), 1);
  CServiceManager::DestroyInstance();
}

}  // namespace
