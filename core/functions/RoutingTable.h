// Every function the page can call, with the name its handler writes to the
// trace channel ("[FunctionCall]" + name) and whether it runs on a worker.
// One table, so the names are written once.
#pragma once

#include <span>

struct FunctionRoute {
  int mainId;
  int subId;
  const char* traceName;  // null for the families that write no trace line
  bool runsOnWorker;
};

std::span<const FunctionRoute> RoutingTable();
// The route of (mainId, subId), or null when the function does not exist.
const FunctionRoute* FindRoute(int mainId, int subId);
// Writes "[FunctionCall]<name>" to the trace channel for a routed function.
void TraceFunctionCall(const FunctionRoute& route);
