// The checkout's paper: an order label for every made-to-order unit and the
// receipt, each as the settings ask, handed to the device manager's host
// thread. Called on the checkout worker, after the sale is stored; a failed
// or refused print is traced and never changes the checkout's result.
#pragma once

#include "operations/CheckoutOrder.h"

class CClientConfig;
class CDevMgr;
class CGlobalConfig;

// What the printing reads besides the order.
struct CheckoutPrinting {
  CDevMgr& devices;
  const CClientConfig& templates;
  const CGlobalConfig& settings;
  CLocalDB& db;
};

// Label jobs: one per unit whose ware is made to order (properties 2), when
// the label settings are enabled and the café identity can be read. The
// labels of one order are numbered N(j/m) among those units.
void PrintCheckoutLabels(const CheckoutPrinting& printing, const CheckoutRequest& request,
                         const CheckoutOrder& order);

// Receipt jobs: `Number` copies (one when 0) on 58 or 80 mm paper, when the
// receipt settings have printing and automatic printing on; other paper
// types print nothing. `now` is the checkout's time.
void PrintCheckoutReceipts(const CheckoutPrinting& printing, const CheckoutRequest& request,
                           const CheckoutOrder& order, std::int64_t now);

// Both, in that order.
void PrintCheckout(const CheckoutPrinting& printing, const CheckoutRequest& request,
                   const CheckoutOrder& order, std::int64_t now);
