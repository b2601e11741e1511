// The catalogue synchronisation (Update_Data): one pass asks the server for
// the main configuration, compares its versions with the ones kept in the
// service manager, downloads the lists that changed into the local store and
// the settings, and reports each step to the page with the "cb-4" … "cb-8"
// codes. Runs on the keep-alive worker, the only user of the kept state.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

class CServiceManager;

// Receives each callback code of the pass, in order (payloads are empty).
using SyncNotify = std::function<void(std::u16string_view code)>;

// One pass. True when it got past the main configuration (and so sent
// "cb-8"). When `stop` is raised the pass ends before its next step, sending
// nothing more.
bool Update_Data(CServiceManager& service, const SyncNotify& notify,
                 const std::atomic<bool>* stop = nullptr);
