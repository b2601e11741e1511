// The C exports of libpexlune.so. They convert between the C interface and
// the core's C++ types and never let an exception cross into the host.
#include <cstring>
#include <new>
#include <string>

#include "gateway/BrowserEngine.h"
#include "devices/CDevMgr.h"
#include "gateway/Dispatcher.h"
#include "gateway/pexlune.h"
#include "service/CMainWndMgr.h"
#include "service/CServiceManager.h"
#include "support/Helpers.h"
#include "support/Trace.h"

namespace {

char16_t* CopyOut(const std::u16string& text) {
  auto* out = new (std::nothrow) char16_t[text.size() + 1];
  if (!out) return nullptr;
  std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
  out[text.size()] = u'\0';
  return out;
}

std::u16string_view ViewOf(const char16_t* text) {
  return text ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace

extern "C" {

int Initialize(const InitArgs* args, void*) {
  try {
    if (args && args->work_dir) Helpers::SetWorkDir(args->work_dir);
    if (!CServiceManager::GetInstance().Init()) return 1;
    if (args) CMainWndMgr::GetInstance().SetHostWindow(args->host);
    return 0;
  } catch (...) {
    return 1;
  }
}

int Uninitialize(void*, void*) {
  try {
    CServiceManager::GetInstance().Stop();
    CServiceManager::DestroyInstance();
    CMainWndMgr::GetInstance().SetHostWindow(nullptr);
    Trace::CloseTraceFile();
  } catch (...) {
  }
  return 0;
}

int CheckEvn(void) {
  try {
    return BrowserEngineCheck(InstalledWebKitVersion());
  } catch (...) {
    return 0;
  }
}

char16_t* PexluneCallFunction(const char16_t* request) {
  try {
    return CopyOut(CallFunction(ViewOf(request)));
  } catch (...) {
    return CopyOut(std::u16string());
  }
}

void PexluneFreeString(char16_t* text) { delete[] text; }

void PexluneSetJSCallBack(PexluneCallback* callback) {
  CServiceManager::GetInstance().SetPageCallback(callback);
}

// ---- Printing ----

int CallPrint_ASync(PrintRequest* request, void*) {
  try {
    CDevMgr::RunPrintRequest(request);
  } catch (...) {
  }
  return 0;
}

}  // extern "C"
