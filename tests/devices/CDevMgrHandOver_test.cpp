// The print hand-over: a worker's job runs on the host thread and its result
// comes back; every way the host can fail to run it ends the wait with false
// instead of hanging the worker; a job given up on never runs later.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "DevicesFixture.h"
#include "grid/GridTestSupport.h"
#include "service/CMainWndMgr.h"
#include "service/CServiceManager.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr auto kPatience = 30s;  // for things that must happen, generously

LabelJob MissingTemplateLabel() {
  LabelJob job;
  job.templatePath = TemplatePath("NoSuchTemplate.grid");
  return job;
}

CheckSheetJob MissingTemplateSheet() {
  CheckSheetJob job;
  job.templatePath = TemplatePath("NoSuchTemplate.grid");
  return job;
}

bool FilledCopyExists() { return fs::exists(DevicesWorkDir() + CDevMgr::kFilledCopyName); }

// Runs the call on a worker thread, as the operations do.
template <typename Call>
std::future<bool> OnWorker(Call call) {
  return std::async(std::launch::async, call);
}

class CDevMgrHandOver : public DevicesTest {};

TEST_F(CDevMgrHandOver, JobRunsOnTheHostThreadAndReturnsTheRoutinesResult) {
  std::future<bool> result = OnWorker([&] { return Devices().PostLabel(MissingTemplateLabel()); });
  ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(result.get()) << "a label whose template is missing fails";
  ASSERT_EQ(host.RanOn().size(), 1u);
  EXPECT_EQ(host.RanOn()[0], host.id());
}

TEST_F(CDevMgrHandOver, CheckSheetsReportTheHandOverNotThePrint) {
  std::future<bool> result =
      OnWorker([&] { return Devices().PostCheckSheet(MissingTemplateSheet(), PrintKind::kCheckSheet58); });
  ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready);
  EXPECT_TRUE(result.get());
}

struct RefusalCase {
  const char* name;
  HostLoop::Mode mode;
  bool withHost;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class CDevMgrRefusal : public DevicesTest,
                       public ::testing::WithParamInterface<RefusalCase> {};

// Even a count-check sheet, which never reports a failed print, reports a
// job that no host ran.
TEST_P(CDevMgrRefusal, JobThatNoHostRunsReturnsFalse) {
  const RefusalCase& c = GetParam();
  host.SetMode(c.mode);
  if (!c.withHost) CMainWndMgr::GetInstance().SetHostWindow(nullptr);
  Devices().SetHandOverTimeout(300ms);
  std::future<bool> label = OnWorker([&] { return Devices().PostLabel(MissingTemplateLabel()); });
  std::future<bool> sheet = OnWorker(
      [&] { return Devices().PostCheckSheet(MissingTemplateSheet(), PrintKind::kCheckSheetA4); });
  ASSERT_EQ(label.wait_for(kPatience), std::future_status::ready) << c.name;
  ASSERT_EQ(sheet.wait_for(kPatience), std::future_status::ready) << c.name;
  EXPECT_FALSE(label.get()) << c.name;
  EXPECT_FALSE(sheet.get()) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Hosts, CDevMgrRefusal,
                         ::testing::Values(RefusalCase{"NeverRuns", HostLoop::Mode::kHold, true},
                                           RefusalCase{"PostFails", HostLoop::Mode::kRefuse, true},
                                           RefusalCase{"NoHost", HostLoop::Mode::kRun, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CDevMgrHandOver, JobGivenUpOnIsSkippedWhenTheHostRunsItLate) {
  host.SetMode(HostLoop::Mode::kHold);
  Devices().SetHandOverTimeout(200ms);
  ReceiptJob job;
  job.templatePath = TemplatePath("Xiaopiao58.grid");
  job.title = u"迟到的小票";
  std::future<bool> result = OnWorker([&] { return Devices().PostReceipt(job, PrintKind::kReceipt58); });
  ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(result.get());
  ASSERT_EQ(host.HeldCount(), 1u);
  host.RunHeld();  // the request outlived its worker's wait; running it now is harmless
  EXPECT_FALSE(FilledCopyExists()) << "the abandoned receipt was filled after all";
}

TEST_F(CDevMgrHandOver, StopReleasesAWorkerWaitingForTheHost) {
  host.SetMode(HostLoop::Mode::kHold);
  std::future<bool> result = OnWorker([&] { return Devices().PostLabel(MissingTemplateLabel()); });
  ASSERT_TRUE(GridTest::waitFor([&] { return host.HeldCount() == 1; }, kPatience));
  CServiceManager::GetInstance().Stop();
  ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready)
      << "the worker still waits after the device manager stopped";
  EXPECT_FALSE(result.get());
  EXPECT_FALSE(Devices().PostLabel(MissingTemplateLabel())) << "a stopped manager takes no job";
}

// A host that receives the request some other way runs it with the export's
// routine, on its own thread.
TEST_F(CDevMgrHandOver, HostMayRunTheRequestItselfOnce) {
  host.SetMode(HostLoop::Mode::kHold);
  CheckSheetJob job = MissingTemplateSheet();
  std::future<bool> result =
      OnWorker([&] { return Devices().PostCheckSheet(job, PrintKind::kCheckSheet80); });
  ASSERT_TRUE(GridTest::waitFor([&] { return host.HeldCount() == 1; }, kPatience));
  host.RunHeld();
  ASSERT_EQ(result.wait_for(kPatience), std::future_status::ready);
  EXPECT_TRUE(result.get());
}

TEST_F(CDevMgrHandOver, EntryPointsRefuseAnotherFormsKind) {
  ReceiptJob receipt;
  CheckSheetJob sheet;
  MaterialHandoverJob material;
  CashierHandoverJob cashier;
  EXPECT_FALSE(Devices().PostReceipt(receipt, PrintKind::kLabel));
  EXPECT_FALSE(Devices().PostCheckSheet(sheet, PrintKind::kReceipt80));
  EXPECT_FALSE(Devices().PostMaterialHandover(material, PrintKind::kCashierHandoverA4));
  EXPECT_FALSE(Devices().PostCashierHandover(cashier, PrintKind::kMaterialHandover58));
  EXPECT_TRUE(host.RanOn().empty()) << "a refused kind reached the host";
}

TEST_F(CDevMgrHandOver, HandOverBoundFollowsThePrintTimeout) {
  Devices().SetPrintTimeout(5s);
  EXPECT_EQ(Devices().HandOverTimeout(), 5s + CDevMgr::kHandOverMargin);
}

}  // namespace
