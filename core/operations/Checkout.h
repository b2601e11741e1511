// Checkout: the worker behind function 4/2 and its starter. The worker turns
// the page's order into sale lines (one per unit, all under one checkout
// number), stores them in one transaction, then prints the order labels and
// receipts the settings ask for, and answers with callback "cb-1-1".
//
// The sale is stored before anything is printed: a printer that fails,
// hangs until the hand-over gives up, or a crash while printing can cost a
// piece of paper but never a stored sale, and no receipt is ever handed out
// for a sale the store refused.
//
// Threads: StartCheckout on the page's thread (safe from any thread);
// checkout_thread on its own worker thread, several of which may run at once.
#pragma once

#include <string>

#include "gateway/CallHead.h"
#include "service/TaskArgs.h"

// Starts checkout_thread with copies of the head and the `Param` text, unless
// another checkout started less than four seconds earlier (CheckoutSpacing).
// The start is recorded before the thread is created, so a failed start also
// holds off the next four seconds. False: refused or not started; no callback
// follows.
bool StartCheckout(const CallHead& head, std::u16string param);

// The worker: result 1 in "cb-1-1" when the sale lines were stored.
void checkout_thread(TaskArgs& args);
