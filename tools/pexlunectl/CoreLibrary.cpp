#include "CoreLibrary.h"

#include <dlfcn.h>

CoreLibrary::~CoreLibrary() {
  // The core's threads may still run at exit; unloading under them would
  // crash, so the library stays mapped until the process ends.
}

namespace {

template <typename F>
bool Resolve(void* handle, const char* name, F& out, std::string& error) {
  out = reinterpret_cast<F>(dlsym(handle, name));
  if (!out) error = std::string("missing export ") + name;
  return out != nullptr;
}

}  // namespace

bool CoreLibrary::Load(const std::string& folder, std::string& error) {
  std::string path = folder + "libpexlune.so";
  m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_handle) {
    const char* message = dlerror();
    error = message ? message : "cannot load " + path;
    return false;
  }
  return Resolve(m_handle, "Initialize", initialize, error) &&
         Resolve(m_handle, "Uninitialize", uninitialize, error) &&
         Resolve(m_handle, "PexluneCallFunction", callFunction, error) &&
         Resolve(m_handle, "PexluneFreeString", freeString, error) &&
         Resolve(m_handle, "PexluneSetJSCallBack", setCallback, error);
}
