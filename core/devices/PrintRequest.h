// PrintRequest: one print job on its way from a worker to the host thread.
// The device manager creates it, the host hands its address back through
// CallPrint_ASync (or the posted trampoline), and the worker waits on it.
// Shared ownership, not the worker's stack: a worker that gives up waiting
// must not leave the host thread a dangling request or job record.
#pragma once

#include <memory>

#include "devices/PrintJobs.h"

class CDevMgr;

struct PrintRequest {
  // Immutable after creation.
  std::shared_ptr<CDevMgr> owner;
  std::shared_ptr<const void> job;  // the job record; its type follows the kind
  PrintKind kind = PrintKind::kReceipt58;

  // Guarded by the owner's request lock. `self` keeps the request alive while
  // the host holds only its address; the first run drops it.
  std::shared_ptr<PrintRequest> self;
  bool started = false;    // the host thread took the job
  bool done = false;       // the routine returned, or the job was skipped
  bool ran = false;        // the routine ran (false: skipped or refused)
  bool result = false;     // the routine's result, valid once done
  bool abandoned = false;  // the worker stopped waiting: skip the job
};
