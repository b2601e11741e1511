// Family 2's login functions: the user login (2/4) and the café login (2/6),
// each answered at once while its worker runs and reports with "cb-1-2" or
// "cb-1-3", and the start of the keep-alive worker (2/7). Each reads its
// request from `doc`, writes the reply envelope into `reply` and returns 0
// (handled), as the family handler does. Page thread; the workers run on
// their own.
#pragma once

#include <string>

#include "gateway/CallHead.h"
#include "service/TaskArgs.h"

class CXmlDoc;

int UserLoginFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int NetbarLoginFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);
int StartKeepAliveFunction(CXmlDoc& doc, const CallHead& head, std::u16string& reply);

// The two login workers.
void login_user_thread(TaskArgs& args);
void login_netbar_thread(TaskArgs& args);
