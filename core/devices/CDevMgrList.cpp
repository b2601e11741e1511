// Printer and serial port listings, taken fresh from the system each time.
#include <cups/cups.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "devices/CDevMgr.h"
#include "support/TextCodec.h"
#include "support/Trace.h"

namespace fs = std::filesystem;

namespace {

struct NumberedDevice {
  long number = 0;
  std::string path;
};

// The number after `prefix` when the whole rest of the name is digits.
bool DeviceNumber(const std::string& name, std::string_view prefix, long& number) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string digits = name.substr(prefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  if (digits.size() > 6) return false;
  number = std::strtol(digits.c_str(), nullptr, 10);
  return true;
}

// Most machines have dozens of /dev/ttyS* nodes for UARTs that are not
// there. The kernel tells the UART type in sysfs without opening the port;
// where sysfs lacks it, ask the driver. A port another program holds open
// exclusively is busy, and busy means present.
bool IsRealUart(const std::string& name, const std::string& path) {
  std::ifstream type("/sys/class/tty/" + name + "/type");
  int value = 0;
  if (type >> value) return value != PORT_UNKNOWN;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;
  serial_struct info{};
  const bool real = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return real;
}

std::vector<NumberedDevice> DevicesOf(std::string_view prefix) {
  std::vector<NumberedDevice> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    long number = 0;
    if (!DeviceNumber(name, prefix, number)) continue;
    const std::string path = entry.path().string();
    if (prefix == "ttyS" && !IsRealUart(name, path)) continue;
    found.push_back({number, path});
  }
  std::sort(found.begin(), found.end(),
            [](const NumberedDevice& a, const NumberedDevice& b) { return a.number < b.number; });
  return found;
}

bool IsCharacterDevice(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

const char* OptionOf(const cups_dest_t& dest, const char* name) {
  const char* value = cupsGetOption(name, dest.num_options, dest.options);
  return value ? value : "";
}

}  // namespace

bool CDevMgr::ListPrinters(std::vector<std::u16string>& names) const {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  if (count <= 0) {
    Trace::Write("CDevMgr: no printer: %s", cupsLastErrorString());
    cupsFreeDests(count, dests);
    return false;
  }
  std::vector<std::u16string> found;
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& dest = dests[i];
    // An lpoptions instance is a set of options on a printer, not a printer.
    if (dest.instance) continue;
    Trace::Write("Printer name: %s, port name: %s, driver name: %s", dest.name,
                 OptionOf(dest, "device-uri"), OptionOf(dest, "printer-make-and-model"));
    found.push_back(TextCodec::Utf8ToUtf16(dest.name));
  }
  cupsFreeDests(count, dests);
  if (found.empty()) return false;
  names.insert(names.end(), found.begin(), found.end());
  return true;
}

bool CDevMgr::ListPorts(std::vector<std::u16string>& ports) const {
  for (std::string_view family : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (const NumberedDevice& device : DevicesOf(family)) {
      ports.push_back(TextCodec::Utf8ToUtf16(device.path));
    }
  }
  // Test rigs and unusual adapters (pty pairs, /dev/serial/by-id links).
  const char* extra = std::getenv("TILLORA_EXTRA_PORTS");
  std::string_view rest = extra ? extra : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string path(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    if (!path.empty() && IsCharacterDevice(path)) ports.push_back(TextCodec::Utf8ToUtf16(path));
  }
  return true;
}
