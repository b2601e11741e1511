#include "devices/CSerialException.h"

#include <system_error>

CSerialException::CSerialException(int error)
    : std::runtime_error(std::generic_category().message(error)), m_error(error) {}
