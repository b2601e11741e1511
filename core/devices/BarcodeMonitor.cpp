#include "devices/BarcodeMonitor.h"

#include <chrono>

#include "devices/CSerialException.h"
#include "devices/CSerialPort.h"
#include "operations/CallbackCodes.h"
#include "service/CServiceManager.h"
#include "service/WorkerTask.h"
#include "support/TextCodec.h"
#include "support/Trace.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kOuterCycle = 1000ms;
constexpr auto kIdlePause = 500ms;
// No scanner sends a code this long: a device that streams without line
// ends must not grow the buffer without end.
constexpr std::size_t kMaxCodeBytes = 4096;

// Opens the port the settings name, if they name one for a serial scanner.
// The reopen flag is taken before the settings are read, so a save that
// lands meanwhile is not lost; it is raised again when nothing opened.
void ReopenFromSettings(CServiceManager& service) {
  CSerialPort& port = service.m_barcodePort;
  if (!service.m_barcodeReopen.exchange(false)) return;
  port.Close();
  PosConfigInfo pos;
  CGlobalConfig* settings = service.GetGlobalConfig();
  if (!settings || !settings->GetPosConfig(pos) || pos.type != 0 || pos.com.empty()) {
    service.m_barcodeReopen = true;
    return;
  }
  const std::string name = TextCodec::Utf16ToUtf8(pos.com);
  try {
    port.Open(name, 9600, CSerialPort::Parity::kNone, 8, CSerialPort::StopBits::kOne,
              CSerialPort::FlowControl::kNone, false);
  } catch (const CSerialException&) {
    service.m_barcodeReopen = true;
    throw;
  }
  Trace::Write("change com monitor to [%s]", name.c_str());
}

void ReadCodes(CServiceManager& service, WorkerTask& task) {
  while (!service.m_barcodeReopen && !service.m_barcodeStop) {
    std::u16string code;
    if (ReadBarcode(service.m_barcodePort, service.m_barcodeStop, code)) {
      task.NotifyPage(CallbackCode::kBarcode, code);
    } else {
      service.WaitOrStop(service.m_barcodeStop, kIdlePause);
    }
  }
}

}  // namespace

bool ReadBarcode(CSerialPort& port, const std::atomic<bool>& stop, std::u16string& code) {
  SerialTimeouts timeouts = port.GetTimeouts();
  timeouts.readInterval = 0xFFFFFFFFu;
  timeouts.readTotalMultiplier = 100;
  timeouts.readTotalConstant = 100;
  port.SetTimeouts(timeouts);
  std::string bytes;
  while (!stop && bytes.size() < kMaxCodeBytes) {
    char byte = 0;
    if (port.Read(&byte, 1) != 1) return false;
    if (byte != '\r' && byte != '\n') {
      bytes.push_back(byte);
      continue;
    }
    if (bytes.empty()) return false;
    code = TextCodec::AnsiToUtf16(bytes);
    return true;
  }
  return false;
}

// The port stays with the monitor: a failed read closes it and raises the
// reopen flag, so an unplugged scanner is picked up again once it is back.
void barcode_monitor_thread(CServiceManager& service, WorkerTask& task) {
  Trace::Write("begin barcode_monitor_thread");
  while (!service.WaitOrStop(service.m_barcodeStop, kOuterCycle)) {
    try {
      ReopenFromSettings(service);
      if (!service.m_barcodePort.IsOpen()) {
        service.m_barcodeReopen = true;  // nothing open: look at the settings again
        continue;
      }
      ReadCodes(service, task);
    } catch (const CSerialException& error) {
      Trace::Write("barcode port: %s", error.what());
      service.m_barcodePort.Close();
      service.m_barcodeReopen = true;
    }
  }
  service.m_barcodePort.Close();
  Trace::Write("end barcode_monitor_thread");
}
