// The last step of every request worker: the reply envelope for the head of
// the request that started it, delivered with the worker's callback code.
// Called on the worker's own thread.
#pragma once

#include <optional>
#include <string_view>

#include "service/TaskArgs.h"

// The result of NotifyPage: 0 when the page ran it. A page that has gone away
// only loses the result; the worker goes on and ends.
int SendWorkerResult(TaskArgs& args, std::u16string_view code, bool result,
                     std::optional<std::u16string_view> body = std::nullopt);
