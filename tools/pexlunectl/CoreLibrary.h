// CoreLibrary: libpexlune.so loaded with dlopen from the driver's own folder,
// the way the host loads it, with its exports resolved by name.
// Owned by main; used from the driver's one page thread.
#pragma once

#include <string>

#include "gateway/pexlune.h"

class CoreLibrary {
public:
  CoreLibrary() = default;
  ~CoreLibrary();
  CoreLibrary(const CoreLibrary&) = delete;
  CoreLibrary& operator=(const CoreLibrary&) = delete;

  // False with a message in `error` when the library or an export is missing.
  bool Load(const std::string& folder, std::string& error);

  decltype(&Initialize) initialize = nullptr;
  decltype(&Uninitialize) uninitialize = nullptr;
  decltype(&PexluneCallFunction) callFunction = nullptr;
  decltype(&PexluneFreeString) freeString = nullptr;
  decltype(&PexluneSetJSCallBack) setCallback = nullptr;

private:
  void* m_handle = nullptr;
};
