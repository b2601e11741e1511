// The serial barcode monitor: a worker of the service manager that reads
// codes from the configured port and hands each one to the page ("cb-10").
// It follows the settings' port through the service's reopen flag and ends
// within about a second of the barcode stop flag, port open or not.
#pragma once

#include <atomic>
#include <string>

class CSerialPort;
class CServiceManager;
class WorkerTask;

// The worker's body; runs until the service's barcode stop flag rises, then
// closes the port.
void barcode_monitor_thread(CServiceManager& service, WorkerTask& task);

// Reads one code: bytes up to CR or LF, each within the port's 200 ms read
// time-out. True with the code (code page 936 decoded) when one was
// complete; false after a pause, a line end with nothing before it, a code
// longer than any scanner sends, or a raised stop flag. Throws
// CSerialException when the port fails.
bool ReadBarcode(CSerialPort& port, const std::atomic<bool>& stop, std::u16string& code);
