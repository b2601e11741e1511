// CSerialException: a failed serial port operation with its system error
// (errno). Thrown by CSerialPort and caught inside the devices component:
// it never leaves it.
#pragma once

#include <stdexcept>
#include <string>

class CSerialException : public std::runtime_error {
public:
  explicit CSerialException(int error);

  int Error() const { return m_error; }

private:
  int m_error;
};
