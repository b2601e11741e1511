// CupsPrinter: hands a rendered PDF to the CUPS scheduler libcups finds and
// waits, up to a deadline, until the printer has taken the job. No state: each
// call has its own connection, so calls on different threads are independent.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

class CupsPrinter {
public:
  struct Result {
    bool ok = false;
    int jobId = 0;        // 0 when no job was created
    std::string message;  // why it failed; empty when ok
  };

  // Prints on the named destination, or on the CUPS default destination when
  // the name is empty. ok only when CUPS created the job, received the whole
  // document and started or finished printing it before the timeout; a job
  // still waiting then (a stopped queue) is cancelled, so a failure never
  // prints late.
  static Result Print(const std::string& destination, std::string_view pdf,
                      const std::string& title, std::chrono::milliseconds timeout);
};
