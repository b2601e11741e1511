// The café login identity: the seven text columns of tbGlobal row 0.
#pragma once

#include <string>

struct NetbarInfo {
  std::u16string netbarid;
  std::u16string netbarpw;
  std::u16string netbarname;
  std::u16string cashier;
  std::u16string barName;
  std::u16string barID;
  std::u16string currentworksection;
};
