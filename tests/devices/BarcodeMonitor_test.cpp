// The barcode monitor against socat pty pairs: codes framed by CR or LF
// reach the page as "cb-10", a pause splits a code, GBK bytes arrive as
// UTF-16 text, the settings move the monitor to another port, a USB scanner
// setting opens nothing, and a stop ends the monitor even with its port open.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "DevicesFixture.h"
#include "SocatPair.h"
#include "service/CServiceManager.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 10s;  // for things that must happen, generously

std::vector<std::string> Payloads(RecordingCallback& page) {
  std::vector<std::string> payloads;
  for (const RecordedCall& call : page.Calls()) {
    EXPECT_EQ(U8(call.code), "cb-10");
    payloads.push_back(U8(call.payload));
  }
  return payloads;
}

class BarcodeMonitor : public DevicesTest {
protected:
  void SetUp() override {
    DevicesTest::SetUp();
    ASSERT_TRUE(first.Ready()) << "socat did not make its pty pair";
  }

  // Points the settings at `pair`'s port as a serial scanner and starts the
  // monitor; true once it holds the port.
  bool MonitorOn(SocatPair& pair) {
    if (!SaveSetting("Pos", "type", "0") || !SaveSetting("Pos", "com", pair.Port())) return false;
    if (OpRet(Call(2, 8)) != 1) return false;
    return GridTest::waitFor([&] { return ProcessHolds(pair.Port()); }, kPatience);
  }

  SocatPair first{DevicesWorkDir(), "first"};
};

struct FramingCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> codes;
};

void PrintTo(const FramingCase& c, std::ostream* out) { *out << c.name; }

class BarcodeFraming : public BarcodeMonitor, public ::testing::WithParamInterface<FramingCase> {};

// Each case ends with a marker code, so "exactly these codes" needs no wait
// for callbacks that should not come.
TEST_P(BarcodeFraming, DeliversEachCompleteCode) {
  const FramingCase& c = GetParam();
  ASSERT_TRUE(MonitorOn(first));
  ASSERT_TRUE(first.Send(c.bytes + "END\r"));
  std::vector<std::string> expected = c.codes;
  expected.push_back("END");
  ASSERT_TRUE(page.WaitForCalls(expected.size(), kPatience)) << c.name;
  EXPECT_EQ(Payloads(page), expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, BarcodeFraming,
    ::testing::Values(FramingCase{"CrLf", "123\r\n", {"123"}},
                      FramingCase{"LfOnly", "6901234567892\n", {"6901234567892"}},
                      FramingCase{"TwoCodes", "111\r222\r\n", {"111", "222"}},
                      FramingCase{"EmptyLines", "\r\n\r\n42\r", {"42"}},
                      FramingCase{"Gbk", "\xcc\xf5\xc2\xeb-7\r", {"条码-7"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BarcodeMonitor, PauseOfHalfASecondSplitsACode) {
  ASSERT_TRUE(MonitorOn(first));
  ASSERT_TRUE(first.Send("12"));
  std::this_thread::sleep_for(500ms);  // the scanner's pause, longer than the read time-out
  ASSERT_TRUE(first.Send("3\rEND\r"));
  ASSERT_TRUE(page.WaitForCalls(2, kPatience));
  EXPECT_EQ(Payloads(page), (std::vector<std::string>{"3", "END"}));
}

TEST_F(BarcodeMonitor, SavedSettingsMoveTheMonitorToTheNewPort) {
  SocatPair second(DevicesWorkDir(), "second");
  ASSERT_TRUE(second.Ready());
  ASSERT_TRUE(MonitorOn(first));
  ASSERT_TRUE(first.Send("A1\r"));
  ASSERT_TRUE(page.WaitForCalls(1, kPatience));
  ASSERT_TRUE(SaveSetting("Pos", "com", second.Port()));
  ASSERT_TRUE(GridTest::waitFor(
      [&] { return ProcessHolds(second.Port()) && !ProcessHolds(first.Port()); }, kPatience))
      << "the monitor did not move to the new port";
  ASSERT_TRUE(second.Send("B2\r"));
  ASSERT_TRUE(page.WaitForCalls(2, kPatience));
  EXPECT_EQ(Payloads(page), (std::vector<std::string>{"A1", "B2"}));
}

TEST_F(BarcodeMonitor, UsbScannerSettingOpensNoPort) {
  ASSERT_TRUE(SaveSetting("Pos", "com", first.Port()));
  ASSERT_TRUE(SaveSetting("Pos", "type", "1"));
  ASSERT_EQ(OpRet(Call(2, 8)), 1);
  std::this_thread::sleep_for(2500ms);  // two and a half of the monitor's cycles
  EXPECT_FALSE(ProcessHolds(first.Port()));
  // The monitor was alive all along: a serial setting makes it open the port.
  ASSERT_TRUE(SaveSetting("Pos", "type", "0"));
  EXPECT_TRUE(GridTest::waitFor([&] { return ProcessHolds(first.Port()); }, kPatience));
  EXPECT_TRUE(page.Calls().empty());
}

TEST_F(BarcodeMonitor, SecondStartIsRefusedWhileOneRuns) {
  ASSERT_TRUE(MonitorOn(first));
  EXPECT_EQ(OpRet(Call(2, 8)), 0);
  ASSERT_TRUE(first.Send("1\r"));
  ASSERT_TRUE(page.WaitForCalls(1, kPatience));
  EXPECT_EQ(Payloads(page), (std::vector<std::string>{"1"}));
}

TEST_F(BarcodeMonitor, StopEndsTheMonitorWhileItsPortIsOpen) {
  ASSERT_TRUE(MonitorOn(first));
  CServiceManager::GetInstance().Stop();
  EXPECT_TRUE(GridTest::waitFor([&] { return !ProcessHolds(first.Port()); }, kPatience))
      << "the monitor still holds its port after the stop";
  std::future<void> destroyed =
      std::async(std::launch::async, [] { CServiceManager::DestroyInstance(); });
  ASSERT_EQ(destroyed.wait_for(kPatience), std::future_status::ready)
      << "destroying the service waits for a monitor that does not stop";
}

TEST_F(BarcodeMonitor, DestroyWithoutStopEndsTheMonitorToo) {
  ASSERT_TRUE(MonitorOn(first));
  std::future<void> destroyed =
      std::async(std::launch::async, [] { CServiceManager::DestroyInstance(); });
  ASSERT_EQ(destroyed.wait_for(kPatience), std::future_status::ready);
  EXPECT_FALSE(ProcessHolds(first.Port()));
}

// A scanner that goes away (its cable pulled: the pty pair ends) is picked
// up again once a port is there, without the settings being saved again.
TEST_F(BarcodeMonitor, PortThatWentAwayIsReopenedWhenItIsBack) {
  auto pair = std::make_unique<SocatPair>(DevicesWorkDir(), "unplugged");
  ASSERT_TRUE(pair->Ready());
  ASSERT_TRUE(MonitorOn(*pair));
  const std::string port = pair->Port();
  pair.reset();
  ASSERT_TRUE(GridTest::waitFor([&] { return !ProcessHolds(port); }, kPatience));
  SocatPair back(DevicesWorkDir(), "unplugged");
  ASSERT_TRUE(back.Ready());
  ASSERT_TRUE(GridTest::waitFor([&] { return ProcessHolds(back.Port()); }, kPatience))
      << "the monitor did not reopen the port";
  ASSERT_TRUE(back.Send("again\r"));
  ASSERT_TRUE(page.WaitForCalls(1, kPatience));
  EXPECT_EQ(Payloads(page), (std::vector<std::string>{"again"}));
}

}  // namespace
