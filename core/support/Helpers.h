// Time, text and identifier helpers shared by the components. They keep no
// state beyond the work directory cache, which is filled once under a
// std::call_once, so every helper may be called from any thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace Helpers {

// Folder of the running executable with a trailing "/"; SetWorkDir overrides
// it (the host's and driver's --workdir) and must run before any other use.
// The folder is fixed for the life of the process at the first of these
// calls: a later SetWorkDir changes nothing and returns false.
const std::u16string& WorkDir();
const std::string& WorkDirA();
bool SetWorkDir(const std::string& dir);

// Always false on this platform: the core is never loaded by a browser.
bool IsHostedInBrowser();

// "%d.%d.%d.%d" of the core's own version.
std::u16string CoreVersionText();

// Local-time texts of a count of seconds since 1970.
std::u16string DateTimeText(std::int64_t t);         // "%d-%02d-%02d %02d:%02d:%02d"
std::u16string CompactDateTimeText(std::int64_t t);  // "%d%02d%02d %02d:%02d:%02d"
std::u16string ClockText(std::int64_t t);            // "%02d:%02d:%02d"

// A fresh GUID, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X".
std::u16string NewGuidText();

// "%.2f" with "." whatever the process locale (a GTK host sets it from the
// environment); halfway cases round as printf does, to even.
std::u16string MoneyText(float amount);
std::u16string IntText(int value);  // "%d"

// Decimal integer as the envelope reads it: leading white space and an
// optional sign are skipped, digits are read up to the first other character,
// a text without digits gives 0. Values beyond 32 bits saturate.
int ParseInt(std::u16string_view text);

}  // namespace Helpers
