// TaskArgs: what a request handler hands to its worker: a copy of the
// request's parameter text and head, and the task that runs the worker.
// Owned by the worker's procedure for its whole run.
#pragma once

#include <string>

#include "gateway/CallHead.h"

class WorkerTask;

struct TaskArgs {
  std::u16string param;
  CallHead head;
  WorkerTask* task = nullptr;
};
