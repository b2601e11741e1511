#include "gateway/BrowserEngine.h"

#include <dlfcn.h>

#include <cstdio>

namespace {
constexpr int kOldestMajor = 2;
constexpr int kOldestMinor = 40;
}  // namespace

// Looked up at run time, so the core does not link the browser engine and
// a headless machine without it still starts.
std::string InstalledWebKitVersion() {
  void* library = dlopen("libwebkit2gtk-4.1.so.0", RTLD_LAZY | RTLD_LOCAL);
  if (!library) return {};
  using VersionPart = unsigned (*)();
  auto major = reinterpret_cast<VersionPart>(dlsym(library, "webkit_get_major_version"));
  auto minor = reinterpret_cast<VersionPart>(dlsym(library, "webkit_get_minor_version"));
  auto micro = reinterpret_cast<VersionPart>(dlsym(library, "webkit_get_micro_version"));
  std::string text;
  if (major && minor && micro) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.0", major(), minor(), micro());
    text = buffer;
  }
  dlclose(library);
  return text;
}

int BrowserEngineCheck(const std::string& versionText) {
  if (versionText.empty()) return 0;
  int major = 0;
  int minor = 0;
  if (std::sscanf(versionText.c_str(), "%d.%d", &major, &minor) != 2) return 0;
  bool tooOld = major < kOldestMajor || (major == kOldestMajor && minor < kOldestMinor);
  return tooOld ? 2 : 0;
}
