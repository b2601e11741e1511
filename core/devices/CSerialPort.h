// CSerialPort: one serial device opened with termios, raw, for the barcode
// monitor. Owns its descriptor (closed by Close or the destructor). Every
// failing operation throws CSerialException. One thread at a time.
#pragma once

#include <cstdint>
#include <string>

// The port's time-outs, in the terms the monitor thinks in: a read of n bytes
// waits at most readTotalMultiplier * n + readTotalConstant milliseconds.
// The interval time-out is kept for completeness; raw termios has no
// per-byte gap once a byte came, so a read returns what has arrived.
struct SerialTimeouts {
  std::uint32_t readInterval = 0;
  std::uint32_t readTotalMultiplier = 0;
  std::uint32_t readTotalConstant = 0;
  std::uint32_t writeTotalMultiplier = 0;
  std::uint32_t writeTotalConstant = 0;
};

class CSerialPort {
public:
  enum class Parity { kEven = 0, kMark = 1, kNone = 2, kOdd = 3, kSpace = 4 };
  enum class StopBits { kOne = 0, kOneAndHalf = 1, kTwo = 2 };
  enum class FlowControl { kNone = 0 };

  CSerialPort() = default;
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Opens the device path for reading and writing, exclusively, raw, with the
  // line settings given; whatever was waiting in the input is dropped. The
  // read time-out starts at 200 ms. `overlapped` is recorded only: reads are
  // synchronous on this platform. A port already open is closed first.
  void Open(const std::string& path, unsigned baud, Parity parity, int dataBits, StopBits stop,
            FlowControl flow, bool overlapped);
  bool IsOpen() const { return m_fd >= 0; }
  // Closing a closed port does nothing.
  void Close();

  SerialTimeouts GetTimeouts() const;
  void SetTimeouts(const SerialTimeouts& timeouts);

  // Waits for input up to the read time-out; the bytes read (0 when none came
  // in time). A device that went away (hang-up) throws.
  std::size_t Read(void* buffer, std::size_t count);

private:
  void ApplyLine(unsigned baud, Parity parity, int dataBits, StopBits stop, FlowControl flow);
  [[noreturn]] void Fail(int error);

  int m_fd = -1;
  bool m_overlapped = false;
  SerialTimeouts m_timeouts;
};
