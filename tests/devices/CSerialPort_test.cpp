// CSerialPort on a socat pty pair: raw bytes both ways, the read time-out,
// input dropped at open, exclusive use, and failures as CSerialException.
#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <cerrno>
#include <memory>

#include "DevicesFixture.h"
#include "SocatPair.h"
#include "devices/CSerialException.h"
#include "devices/CSerialPort.h"

namespace {

void OpenScannerPort(CSerialPort& port, const std::string& path) {
  port.Open(path, 9600, CSerialPort::Parity::kNone, 8, CSerialPort::StopBits::kOne,
            CSerialPort::FlowControl::kNone, false);
}

// Reads until `count` bytes came or a read times out.
std::string ReadUpTo(CSerialPort& port, std::size_t count) {
  std::string bytes;
  char buffer[64];
  while (bytes.size() < count) {
    const std::size_t n = port.Read(buffer, std::min(sizeof buffer, count - bytes.size()));
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  return bytes;
}

int ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const CSerialException& error) {
    return error.Error();
  }
  return 0;
}

class CSerialPortTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(pair.Ready()) << "socat did not make its pty pair"; }

  SocatPair pair{DevicesWorkDir(), "serial"};
};

TEST_F(CSerialPortTest, ReadsRawBytesIncludingLineEndsAndHighBytes) {
  CSerialPort port;
  OpenScannerPort(port, pair.Port());
  ASSERT_TRUE(port.IsOpen());
  const std::string sent = "12\r\n\xcc\xf5\x00\x7f";
  ASSERT_TRUE(pair.Send(std::string_view(sent.data(), 8)));
  EXPECT_EQ(ReadUpTo(port, 8), std::string(sent.data(), 8));
}

TEST_F(CSerialPortTest, ReadWithNothingToReadReturnsNoBytes) {
  CSerialPort port;
  OpenScannerPort(port, pair.Port());
  char byte = 0;
  EXPECT_EQ(port.Read(&byte, 1), 0u);
}

// socat relays the bytes on its own time: watch them arrive in the port's
// input queue through a second descriptor before opening the port.
TEST_F(CSerialPortTest, BytesSentBeforeTheOpenAreDropped) {
  const int watcher = ::open(pair.Port().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(watcher, 0);
  ASSERT_TRUE(pair.Send("stale\r"));
  int queued = 0;
  EXPECT_TRUE(GridTest::waitFor(
      [&] { return ::ioctl(watcher, FIONREAD, &queued) == 0 && queued == 6; },
      std::chrono::seconds(10)));
  CSerialPort port;
  OpenScannerPort(port, pair.Port());
  ::close(watcher);
  char byte = 0;
  EXPECT_EQ(port.Read(&byte, 1), 0u);
  ASSERT_TRUE(pair.Send("new"));
  EXPECT_EQ(ReadUpTo(port, 3), "new");
}

TEST_F(CSerialPortTest, SecondOpenOfAPortInUseFails) {
  CSerialPort first;
  OpenScannerPort(first, pair.Port());
  CSerialPort second;
  EXPECT_EQ(ErrorOf([&] { OpenScannerPort(second, pair.Port()); }), EBUSY);
  EXPECT_FALSE(second.IsOpen());
  first.Close();
  OpenScannerPort(second, pair.Port());
  EXPECT_TRUE(second.IsOpen());
}

TEST_F(CSerialPortTest, TimeoutsReadBackAsSet) {
  CSerialPort port;
  OpenScannerPort(port, pair.Port());
  SerialTimeouts timeouts = port.GetTimeouts();
  timeouts.readTotalMultiplier = 300;
  timeouts.readTotalConstant = 50;
  port.SetTimeouts(timeouts);
  EXPECT_EQ(port.GetTimeouts().readTotalMultiplier, 300u);
  EXPECT_EQ(port.GetTimeouts().readTotalConstant, 50u);
}

TEST(CSerialPortFailures, MissingDeviceThrowsItsError) {
  CSerialPort port;
  EXPECT_EQ(ErrorOf([&] { OpenScannerPort(port, DevicesWorkDir() + "no-such-tty"); }), ENOENT);
  EXPECT_FALSE(port.IsOpen());
}

TEST(CSerialPortFailures, FileThatIsNoTerminalIsRefused) {
  CSerialPort port;
  EXPECT_NE(ErrorOf([&] { OpenScannerPort(port, DevicesWorkDir() + "ClientConfig.xml"); }), 0);
  EXPECT_FALSE(port.IsOpen());
}

TEST(CSerialPortFailures, ClosedPortRefusesReadsAndClosesQuietly) {
  CSerialPort port;
  port.Close();
  char byte = 0;
  EXPECT_EQ(ErrorOf([&] { port.Read(&byte, 1); }), EBADF);
  EXPECT_EQ(ErrorOf([&] { port.GetTimeouts(); }), EBADF);
}

TEST(CSerialPortFailures, DeviceThatGoesAwayFailsTheNextRead) {
  auto pair = std::make_unique<SocatPair>(DevicesWorkDir(), "vanishing");
  ASSERT_TRUE(pair->Ready());
  CSerialPort port;
  OpenScannerPort(port, pair->Port());
  pair.reset();
  char byte = 0;
  int error = 0;
  // A read may still time out once before the hang-up shows.
  for (int i = 0; i < 50 && error == 0; ++i) error = ErrorOf([&] { port.Read(&byte, 1); });
  EXPECT_NE(error, 0);
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
