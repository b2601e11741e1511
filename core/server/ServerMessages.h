// The documents exchanged with the inventory server (root `jxcapi`): one
// builder per request and one reader per reply. Builders write the fields in
// the order the server expects; readers search each field forward from the
// one before it, so a reply whose fields stand out of order loses them (only
// the main configuration is read in any order). Pure functions over their
// own CXmlDoc: no state, no I/O, safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/CatalogueState.h"
#include "store/CombinStockInfo.h"
#include "store/MaterialInfo.h"
#include "store/MaterialWorkSectionInfo.h"
#include "store/WareInfo.h"
#include "store/WareTypeInfo.h"
#include "store/WareWorkSectionInfo.h"

// ---- The three children every reply starts with ---------------------------

struct ReplyHead {
  bool hasRoot = false;    // a `jxcapi` document
  bool hasStatus = false;  // `status` under it
  int status = 0;
  bool hasInfo = false;  // `info`, searched from the first child
  std::u16string info;
  bool hasData = false;  // `data`, after `status`

  // Queries and logins succeed on any status but 0.
  bool Succeeded() const { return hasRoot && hasStatus && status != 0; }
  // The handover uploads succeed only on status 1.
  bool Accepted() const { return hasRoot && hasStatus && status == 1; }
};
ReplyHead ReadReplyHead(std::u16string_view reply);

// ---- 1. User login (ilogin) -------------------------------------------------

std::u16string BuildUserLoginRequest(std::u16string_view account, std::u16string_view password);

struct UserLoginReply {
  ReplyHead head;
  bool hasFields = false;  // `data` with `session_id` then `identity`
  std::u16string sessionId;
  std::u16string identity;  // "user" marks a cashier account
};
UserLoginReply ReadUserLoginReply(std::u16string_view reply);

// ---- 2. Café login and 3. the reachability probe (iNetbarLogin) -----------

std::u16string BuildNetbarLoginRequest(std::u16string_view sessionId, std::u16string_view password,
                                       std::u16string_view netbarNumber);
// The café login with its three fields present and empty.
std::u16string BuildProbeRequest();

struct MarketItem {
  std::optional<std::u16string> id;  // `market_id`; absent matches no bar
  std::u16string name;
};

struct NetbarLoginReply {
  static constexpr int kFieldCount = 8;

  ReplyHead head;
  // How many of the eight fields of `data` were read, in order; reading
  // stops at the first one missing.
  int fieldsRead = 0;
  std::u16string sessionId;
  std::u16string netbarId;
  std::u16string netbarName;
  std::vector<MarketItem> markets;
  std::u16string cashier;
  std::u16string jobList;
  std::u16string preShelve;
  std::u16string jobOrder;

  bool Complete() const { return head.Succeeded() && head.hasData && fieldsRead == kFieldCount; }
};
NetbarLoginReply ReadNetbarLoginReply(std::u16string_view reply);

// ---- 5. Main configuration (iMainConfig) ----------------------------------

std::u16string BuildMainConfigRequest(std::u16string_view sessionId,
                                      std::u16string_view netbarNumber, std::u16string_view barId);

struct MainConfigReply {
  bool read = false;  // `jxcapi`, a non-zero `status` and `data`
  std::array<std::optional<std::int32_t>, kCatalogueListCount> versions;
  std::optional<int> manageMode;  // `jxc_manage_mode`
  std::optional<int> reliefMode;  // `jxc_relief_mode`
  std::optional<std::u16string> tasteSetting;
};
MainConfigReply ReadMainConfigReply(std::u16string_view reply);

// The version element of each list, in CatalogueList order.
std::u16string_view VersionElement(CatalogueList list);

// ---- 6. Work-section list (iGetWorkSection) -------------------------------

std::u16string BuildWorkSectionRequest(std::u16string_view netbarNumber,
                                       std::u16string_view sessionId);
// False without a readable reply or without `job_list`.
bool ReadWorkSectionReply(std::u16string_view reply, std::u16string& jobList);

// ---- 7. Bar list (iGetBar) --------------------------------------------------

std::u16string BuildBarListRequest(std::u16string_view netbarNumber,
                                   std::u16string_view sessionId);
// False without a readable reply; every `item` is listed.
bool ReadBarListReply(std::u16string_view reply, std::vector<MarketItem>& bars);

// ---- 8. Ware types (iGetWareType) -----------------------------------------

std::u16string BuildWareTypeRequest(std::u16string_view sessionId,
                                    std::u16string_view netbarNumber);
// Every `item` becomes a usable type (id 0, empty name when absent).
bool ReadWareTypeReply(std::u16string_view reply, std::vector<WareTypeInfo>& types);

// ---- 9. Goods (iGetWare) -----------------------------------------------------

std::u16string BuildWareRequest(std::u16string_view sessionId, std::u16string_view netbarNumber,
                                std::int32_t timestamp, std::u16string_view marketId);
// Items lacking a field are skipped. `orderId` is left 0: it is local.
bool ReadWareReply(std::u16string_view reply, std::vector<WareInfo>& wares);

// ---- 10, 11. Goods stock (iWareStockNormal, iWareStockQuick) --------------

std::u16string BuildWareStockRequest(std::u16string_view sessionId,
                                     std::u16string_view netbarNumber,
                                     std::u16string_view marketId, std::int32_t timestamp);
// The first incomplete item ends the list; a repeated id keeps its last stock.
bool ReadWareStockNormalReply(std::u16string_view reply, std::map<int, int>& stocks);
bool ReadWareStockQuickReply(std::u16string_view reply, std::vector<CombinStockInfo>& rows);

// ---- 12. Materials (iGetMaterial) -------------------------------------------

std::u16string BuildMaterialRequest(std::u16string_view sessionId,
                                    std::u16string_view netbarNumber,
                                    std::u16string_view marketId, std::int32_t timestamp);

struct MaterialReply {
  std::vector<MaterialInfo> materials;
  std::optional<MaterialInfo> cup;  // id and stock of the special record (the last one)
};
// Ordinary items lacking a field are skipped.
bool ReadMaterialReply(std::u16string_view reply, MaterialReply& result);

// ---- 4. Logout (ilogout) ----------------------------------------------------
// Logout sends no body at all.

// ---- 13, 14. Handover uploads ------------------------------------------------

std::u16string BuildFinishWorkSectionRequest(const WareWorkSectionInfo& section,
                                             std::u16string_view sessionId);
std::u16string BuildFinishMetarialWorkSectionRequest(const MaterialWorkSectionInfo& section,
                                                     std::u16string_view sessionId);
// True only for a `status` of exactly 1.
bool ReadUploadReply(std::u16string_view reply);
