#include "devices/CSerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "devices/CSerialException.h"

namespace {

speed_t SpeedOf(unsigned baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

tcflag_t SizeOf(int dataBits) {
  switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return 0;
  }
}

// termios counts the time-out of a raw read in tenths of a second, at most
// 25.5 s; the monitor's 100 + 100 ms for one byte is VTIME 2.
cc_t TenthsFor(const SerialTimeouts& timeouts) {
  const std::uint64_t ms =
      std::uint64_t(timeouts.readTotalMultiplier) + timeouts.readTotalConstant;
  return static_cast<cc_t>(std::min<std::uint64_t>((ms + 99) / 100, 255));
}

}  // namespace

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::Fail(int error) {
  Close();
  throw CSerialException(error);
}

void CSerialPort::Open(const std::string& path, unsigned baud, Parity parity, int dataBits,
                       StopBits stop, FlowControl flow, bool overlapped) {
  Close();
  // Non-blocking only for the open itself, so a modem line without carrier
  // cannot hold it; reads then block up to the time-out.
  m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (m_fd < 0) Fail(errno);
  m_overlapped = overlapped;
  // Exclusive: TIOCEXCL keeps other programs out, the lock other users of
  // this class in this or another process (TIOCEXCL does not stop root).
  if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) Fail(errno == EWOULDBLOCK ? EBUSY : errno);
  if (::ioctl(m_fd, TIOCEXCL) != 0) Fail(errno);
  const int flags = ::fcntl(m_fd, F_GETFL);
  if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0) Fail(errno);
  ApplyLine(baud, parity, dataBits, stop, flow);
  m_timeouts = SerialTimeouts{0xFFFFFFFFu, 100, 100, 0, 0};
  SetTimeouts(m_timeouts);
  // Bytes that arrived before anyone listened belong to no code.
  if (::tcflush(m_fd, TCIFLUSH) != 0) Fail(errno);
}

void CSerialPort::ApplyLine(unsigned baud, Parity parity, int dataBits, StopBits stop,
                            FlowControl flow) {
  const speed_t speed = SpeedOf(baud);
  const tcflag_t size = SizeOf(dataBits);
  if (speed == B0 || size == 0) Fail(EINVAL);
  termios tio{};
  if (::tcgetattr(m_fd, &tio) != 0) Fail(errno);
  ::cfmakeraw(&tio);
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) Fail(errno);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  tio.c_cflag |= size | CLOCAL | CREAD;
  switch (parity) {
    case Parity::kEven: tio.c_cflag |= PARENB; break;
    case Parity::kOdd: tio.c_cflag |= PARENB | PARODD; break;
    case Parity::kMark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case Parity::kSpace: tio.c_cflag |= PARENB | CMSPAR; break;
    case Parity::kNone: break;
  }
  // termios has no one and a half stop bits; UARTs give 1.5 for "two" at
  // five data bits, so both ask for two.
  if (stop != StopBits::kOne) tio.c_cflag |= CSTOPB;
  if (flow == FlowControl::kNone) {
    tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  }
  if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) Fail(errno);
}

void CSerialPort::Close() {
  if (m_fd < 0) return;
  ::close(m_fd);  // also drops the lock and the exclusive mode
  m_fd = -1;
}

SerialTimeouts CSerialPort::GetTimeouts() const {
  if (m_fd < 0) throw CSerialException(EBADF);
  return m_timeouts;
}

void CSerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
  if (m_fd < 0) throw CSerialException(EBADF);
  termios tio{};
  if (::tcgetattr(m_fd, &tio) != 0) Fail(errno);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = TenthsFor(timeouts);
  if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) Fail(errno);
  m_timeouts = timeouts;
}

std::size_t CSerialPort::Read(void* buffer, std::size_t count) {
  if (m_fd < 0) throw CSerialException(EBADF);
  for (;;) {
    const ssize_t n = ::read(m_fd, buffer, count);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(errno);
    // Nothing came: the time-out, or a device that hung up (which reads as
    // an endless stream of empty reads).
    pollfd state{m_fd, POLLIN, 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL))) Fail(EIO);
    return 0;
  }
}
