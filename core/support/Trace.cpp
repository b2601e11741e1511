#include "support/Trace.h"

#include <cstdio>
#include <mutex>

#include "support/Helpers.h"

namespace Trace {
namespace {
// Guards the open trace file: start-up opens it, shut-down closes it.
std::mutex g_fileMutex;
std::FILE* g_file = nullptr;
}  // namespace

bool OpenTraceFile() {
  std::lock_guard<std::mutex> lock(g_fileMutex);
  if (g_file) return true;
  g_file = std::fopen((Helpers::WorkDirA() + "ts.log").c_str(), "w+");
  return g_file != nullptr;
}

void CloseTraceFile() {
  std::lock_guard<std::mutex> lock(g_fileMutex);
  if (g_file) std::fclose(g_file);
  g_file = nullptr;
}

}  // namespace Trace
