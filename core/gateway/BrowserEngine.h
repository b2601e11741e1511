// The environment check of the host: is the installed browser engine (the
// WebKitGTK library the host shows its page with) new enough? Stateless.
#pragma once

#include <string>

// "%d.%d.%d.%d" of the installed libwebkit2gtk-4.1, or empty text when the
// library is not installed (a headless machine).
std::string InstalledWebKitVersion();
// 2 when the version text names an engine older than 2.40, else 0 (an empty
// text, like a file without a version, passes).
int BrowserEngineCheck(const std::string& versionText);
