// A stand-in for the maker's updater library, built as "libupdate.so". It
// answers as the file "fake-update.mode" beside it says ("prepare-fails",
// "check-fails", "no-update", "update-due") and appends every call it gets
// to "fake-update.log" beside it.
#include <dlfcn.h>

#include <fstream>
#include <sstream>
#include <string>

#include "server/UpdaterApi.h"

namespace {

std::string Folder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&Folder), &info) || !info.dli_fname) return "./";
  const std::string path = info.dli_fname;
  return path.substr(0, path.rfind('/') + 1);
}

std::string Mode() {
  std::ifstream in(Folder() + "fake-update.mode");
  std::string mode;
  std::getline(in, mode);
  return mode;
}

void Note(const std::string& line) {
  std::ofstream out(Folder() + "fake-update.log", std::ios::app);
  out << line << "\n";
}

int Prepare(TilloraUpdater*) {
  Note("Prepare");
  return Mode() != "prepare-fails";
}

int CheckUpdate(TilloraUpdater*, const char* versionFile, const char* updateUrl,
                int32_t* needUpdate) {
  Note(std::string("CheckUpdate ") + versionFile + " " + updateUrl + " " +
       std::to_string(*needUpdate));
  const std::string mode = Mode();
  if (mode == "check-fails") return 0;
  *needUpdate = mode == "update-due" ? 1 : 0;
  return 1;
}

void Finish(TilloraUpdater*) { Note("Finish"); }
int GetErrorCode(TilloraUpdater*) {
  Note("GetErrorCode");
  return 12;
}
const char* GetErrorText(TilloraUpdater*) {
  Note("GetErrorText");
  return "no version file";
}

const TilloraUpdaterOps kOps = {Prepare, CheckUpdate, Finish, GetErrorCode, GetErrorText};
TilloraUpdater g_updater = {&kOps};

}  // namespace

extern "C" __attribute__((visibility("default"))) void globalinit(void) { Note("globalinit"); }
extern "C" __attribute__((visibility("default"))) void globalrelease(void) {
  Note("globalrelease");
}
extern "C" __attribute__((visibility("default"))) TilloraUpdater* getupdate(void) {
  Note("getupdate");
  return &g_updater;
}
