// Re-sending finished handovers the server has not accepted yet. Each
// procedure takes the service manager's upload lock, loads the pending
// records of its kind (oldest first), uploads them one by one and marks each
// accepted one sent; the first refusal or silence ends the run, so the
// server receives the records in id order. The keep-alive worker calls both
// every cycle; a handover worker calls its own after storing a section.
// Safe from any thread.
#pragma once

#include <atomic>

class CServiceManager;

// The result of the last upload tried; false when nothing was pending. A
// raised `stop` ends the run before the next record.
bool ResendWareWorkSections(CServiceManager& service, const std::atomic<bool>* stop = nullptr);
bool ResendMaterialWorkSections(CServiceManager& service,
                                const std::atomic<bool>* stop = nullptr);
