// The sales list worker behind function 4/0: it reads the page's filter,
// queries the sales of the local store and answers with callback "cb-1-6".
// Runs on its own worker thread, started by the sales family.
#pragma once

#include "service/TaskArgs.h"

void query_waresales_thread(TaskArgs& args);
