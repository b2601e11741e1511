// CupsHandles: owning smart pointers for the libcups objects the printer code
// creates (connections, destinations, IPP messages), so every exit path
// releases them. Header only; a handle belongs to the thread that made it.
#pragma once

#include <cups/cups.h>

#include <memory>

struct CupsDeleter {
  void operator()(http_t* http) const { httpClose(http); }
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

using CupsHttpPtr = std::unique_ptr<http_t, CupsDeleter>;
using CupsDestPtr = std::unique_ptr<cups_dest_t, CupsDeleter>;
using CupsIppPtr = std::unique_ptr<ipp_t, CupsDeleter>;
