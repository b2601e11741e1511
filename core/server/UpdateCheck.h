// The update check of every start: the updater library "libupdate.so" in the
// work directory says whether a newer version exists, and when one does the
// updater program "Grenwick" from the same folder is started and left to run
// on its own. Nothing of it reaches the page, and start-up goes on whatever
// happens. Start-up thread only.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kUpdaterLibrary = "libupdate.so";
inline constexpr const char* kUpdaterProgram = "Grenwick";

// Loads the library from `workDir` (with a trailing "/"), calls globalinit,
// runs the check, calls globalrelease. 1 when the updater program was
// started, 0 when no update is due, -1 for any failure (a missing library or
// program included).
int RunUpdateCheck(const std::string& workDir, std::u16string_view updateUrl);

// The updater program's one argument: "Wanshore", the version file path, the
// update address and the work directory, each followed by "|", in code page
// 936.
std::string UpdaterCommandLine(const std::string& workDir, std::u16string_view updateUrl);
