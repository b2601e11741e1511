#include "server/UpdateCheck.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>

#include "server/UpdaterApi.h"
#include "support/TextCodec.h"
#include "support/Trace.h"

extern char** environ;

namespace {

constexpr const char* kVersionFile = "version.txt";
constexpr const char* kUpdaterTag = "Wanshore";

// The updater library, loaded for the length of one check.
class UpdaterLibrary {
public:
  explicit UpdaterLibrary(const std::string& path)
      : m_handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!m_handle) return;
    m_init = reinterpret_cast<TilloraGlobalInitFn>(::dlsym(m_handle, "globalinit"));
    m_get = reinterpret_cast<TilloraGetUpdateFn>(::dlsym(m_handle, "getupdate"));
    m_release = reinterpret_cast<TilloraGlobalReleaseFn>(::dlsym(m_handle, "globalrelease"));
  }
  ~UpdaterLibrary() {
    if (m_handle) ::dlclose(m_handle);
  }
  UpdaterLibrary(const UpdaterLibrary&) = delete;
  UpdaterLibrary& operator=(const UpdaterLibrary&) = delete;

  bool Usable() const { return m_handle && m_init && m_get && m_release; }
  void GlobalInit() const { m_init(); }
  TilloraUpdater* GetUpdate() const { return m_get(); }
  void GlobalRelease() const { m_release(); }

private:
  void* m_handle;
  TilloraGlobalInitFn m_init = nullptr;
  TilloraGetUpdateFn m_get = nullptr;
  TilloraGlobalReleaseFn m_release = nullptr;
};

std::string Ansi(const std::string& utf8) {
  return TextCodec::Utf16ToAnsi(TextCodec::Utf8ToUtf16(utf8));
}

bool Complete(const TilloraUpdater* updater) {
  const TilloraUpdaterOps* ops = updater ? updater->ops : nullptr;
  return ops && ops->Prepare && ops->CheckUpdate && ops->Finish && ops->GetErrorCode &&
         ops->GetErrorText;
}

// Starts the updater in a session of its own and does not wait for it: a
// short-lived shell puts it in the background and ends, so the updater is
// never left as a zombie of the host. No descriptor of the host reaches it.
bool StartUpdater(const std::string& program, const std::string& commandLine, int& error) {
  if (::access(program.c_str(), X_OK) != 0) {
    error = errno;
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const char* script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
  char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                        const_cast<char*>(script), const_cast<char*>(program.c_str()),
                        const_cast<char*>(commandLine.c_str()), nullptr};
  pid_t shell = 0;
  error = posix_spawn(&shell, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

int Check(const UpdaterLibrary& library, const std::string& workDir,
          std::u16string_view updateUrl) {
  TilloraUpdater* updater = library.GetUpdate();
  if (!Complete(updater)) return -1;
  const TilloraUpdaterOps& ops = *updater->ops;
  if (!ops.Prepare(updater)) return -1;
  const std::string versionFile = Ansi(workDir) + kVersionFile;
  const std::string url = TextCodec::Utf16ToAnsi(updateUrl);
  std::int32_t needUpdate = 0;
  if (!ops.CheckUpdate(updater, versionFile.c_str(), url.c_str(), &needUpdate)) {
    const char* text = ops.GetErrorText(updater);
    Trace::Write("update->checkupdate: %d--%s--%d", ops.GetErrorCode(updater), text ? text : "",
                 errno);
    ops.Finish(updater);
    return -1;
  }
  if (needUpdate == 0) {
    Trace::Write("调用检查更新时返回不需要更新");
    ops.Finish(updater);
    return 0;
  }
  int error = 0;
  const bool started =
      StartUpdater(workDir + kUpdaterProgram, UpdaterCommandLine(workDir, updateUrl), error);
  if (!started) Trace::Write("调用更新进程失败:%d", error);
  // Finished on this path too: the library may hold resources for the check.
  ops.Finish(updater);
  return started ? 1 : -1;
}

}  // namespace

std::string UpdaterCommandLine(const std::string& workDir, std::u16string_view updateUrl) {
  const std::string dir = Ansi(workDir);
  return std::string(kUpdaterTag) + "|" + dir + kVersionFile + "|" +
         TextCodec::Utf16ToAnsi(updateUrl) + "|" + dir + "|";
}

int RunUpdateCheck(const std::string& workDir, std::u16string_view updateUrl) {
  try {
    const UpdaterLibrary library(workDir + kUpdaterLibrary);
    if (!library.Usable()) {
      const char* reason = ::dlerror();
      Trace::Write("UpdateExe Expection:[%s]", reason ? reason : kUpdaterLibrary);
      return -1;
    }
    library.GlobalInit();
    int result = -1;
    try {
      result = Check(library, workDir, updateUrl);
    } catch (...) {
      library.GlobalRelease();
      throw;
    }
    library.GlobalRelease();
    return result;
  } catch (const std::exception& e) {
    Trace::Write("UpdateExe Expection:[%s]", e.what());
  } catch (...) {
    Trace::Write("UpdateExe Expection:[%d]", errno);
  }
  return -1;
}
