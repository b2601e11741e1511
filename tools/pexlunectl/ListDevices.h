// --list-devices: asks the core for its device list (function 2/2) and
// prints one JSON line per printer and per serial port. Runs on the calling
// thread, which acts as the page thread (nothing else runs meanwhile).
#pragma once

#include "CoreLibrary.h"

// 0 when the list was printed; 1 when the core gave none (it lists ports
// only together with at least one printer).
int ListDevices(CoreLibrary& core);
