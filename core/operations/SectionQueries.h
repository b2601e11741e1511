// The two workers that fill the handover forms: the figures of the current
// cashier work section (function 5/0, callback "cb-1-7") and the material
// list of the current material section (function 3/0, callback "cb-1-9").
// Each runs on its own worker thread, started by its family handler.
#pragma once

#include "service/TaskArgs.h"

void query_salesworksection_thread(TaskArgs& args);
void query_metarialworksection_thread(TaskArgs& args);
