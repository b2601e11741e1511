#include "functions/RoutingTable.h"

#include "support/Trace.h"

namespace {

constexpr FunctionRoute kRoutes[] = {
    {0, 0, nullptr, false},
    {0, 1, nullptr, false},
    {1, 0, "HALVORN_FUN_GET_WARE_LIST", false},
    {1, 1, "HALVORN_FUN_GET_WARE_TYPE_LIST", false},
    {1, 2, "HALVORN_FUN_GET_WARE_COUNT", false},
    {1, 3, "HALVORN_FUN_SET_WARE_ORDER", true},
    {1, 4, "HALVORN_FUN_SET_WARE_STOCK", false},
    {1, 5, "HALVORN_FUN_QUERY_WARE", false},
    {1, 6, "HALVORN_FUN_GET_ORDER_WARE_LIST", false},
    {1, 7, "HALVORN_FUN_GET_WARE_TASTE", false},
    {2, 0, "HALVORN_FUN_SET_CONFIG", false},
    {2, 1, "HALVORN_FUN_GET_CONFIG", false},
    {2, 2, "HALVORN_FUN_GET_DEVICE", false},
    {2, 3, "HALVORN_FUN_SAVE_NETBARINFO", false},
    {2, 4, "HALVORN_FUN_USER_LOGIN", true},
    {2, 5, "HALVORN_FUN_VERIFY_USER_PW", false},
    {2, 6, "HALVORN_FUN_NETBAR_LOGIN", true},
    {2, 7, "HALVORN_FUN_STARTKEEPALIVE", true},
    {2, 8, "HALVORN_FUN_STARTBARCODEMONITOR", true},
    {2, 9, "HALVORN_FUN_QUERY_NETBARINFO", false},
    {3, 0, "HALVORN_FUN_GET_MATERIAL", true},
    {3, 1, "HALVORN_FUN_SET_MATERIAL_STOCK", false},
    {3, 2, "HALVORN_FUN_FINISH_MATERIAL_WORKSECTION", true},
    {3, 3, "HALVORN_FUN_PRINT_MATERIAL_CHECK", true},
    {3, 4, "HALVORN_FUN_CHECK_MATERIALCOUNT_FROM_USER", false},
    {4, 0, "HALVORN_FUN_QUERY_WARE_SALES", true},
    {4, 1, "HALVORN_FUN_DISABLE_WARE_SALES", false},
    {4, 2, "HALVORN_FUN_CHECKOUT", true},
    {5, 0, "HALVORN_FUN_GET_CURRENT_WORKSECTION", true},
    {5, 1, "HALVORN_FUN_FINISH_WORKSECTION", true},
    {5, 2, "HALVORN_FUN_PRINT_WARE_CHECK", true},
    {5, 3, "HALVORN_FUN_CHECK_WARECOUNT_FROM_USER", false},
    {7, 0, nullptr, false},
    {7, 1, nullptr, false},
    {7, 2, nullptr, false},
    {7, 3, nullptr, false},
    {7, 4, nullptr, false},
    {8, 0, nullptr, false},
};

}  // namespace

std::span<const FunctionRoute> RoutingTable() { return kRoutes; }

const FunctionRoute* FindRoute(int mainId, int subId) {
  for (const FunctionRoute& route : kRoutes) {
    if (route.mainId == mainId && route.subId == subId) return &route;
  }
  return nullptr;
}

void TraceFunctionCall(const FunctionRoute& route) {
  if (route.traceName) Trace::Write("[FunctionCall]%s", route.traceName);
}
