// The worker behind function 1/3: stores the display order the cashier set
// for the wares and answers with callback "cb-1-8". Runs on its own worker
// thread, started by the catalogue family.
#pragma once

#include "service/TaskArgs.h"

void save_ware_order_thread(TaskArgs& args);
