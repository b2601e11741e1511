// Shared steps of the server message builders and readers, and every element
// name of the protocol, written once. Internal to core/server; plain
// functions over a caller-owned CXmlDoc.
#pragma once

#include <string>
#include <string_view>

#include "support/CXmlDoc.h"

namespace Jxc {

// Element names, letter for letter as the server spells them.
inline constexpr std::u16string_view kRoot = u"jxcapi";
inline constexpr std::u16string_view kStatus = u"status";
inline constexpr std::u16string_view kInfo = u"info";
inline constexpr std::u16string_view kData = u"data";
inline constexpr std::u16string_view kItem = u"item";
inline constexpr std::u16string_view kGoods = u"goods";

inline constexpr std::u16string_view kAccount = u"account";
inline constexpr std::u16string_view kPassword = u"password";
inline constexpr std::u16string_view kSessionId = u"session_id";
inline constexpr std::u16string_view kIdentity = u"identity";
inline constexpr std::u16string_view kNetbarNumber = u"netbar_number";
inline constexpr std::u16string_view kNetbarId = u"netbar_id";
inline constexpr std::u16string_view kNetbarName = u"netbar_name";
inline constexpr std::u16string_view kMarket = u"market";
inline constexpr std::u16string_view kMarketId = u"market_id";
inline constexpr std::u16string_view kMarketName = u"market_name";
inline constexpr std::u16string_view kCashier = u"cashier";
inline constexpr std::u16string_view kJobList = u"job_list";
inline constexpr std::u16string_view kPreShelve = u"pre_shelve";
inline constexpr std::u16string_view kJobOrder = u"job_order";
inline constexpr std::u16string_view kBarId = u"bar_id";
inline constexpr std::u16string_view kTimestamp = u"timestamp";

inline constexpr std::u16string_view kVcapiGoods = u"vcapi_goods";
inline constexpr std::u16string_view kVcapiRelief = u"vcapi_relief";
inline constexpr std::u16string_view kVcapiMarket = u"vcapi_market";
inline constexpr std::u16string_view kVcapiGoodsClass = u"vcapi_goods_class";
inline constexpr std::u16string_view kVcapiMaterial = u"vcapi_material";
inline constexpr std::u16string_view kManageMode = u"jxc_manage_mode";
inline constexpr std::u16string_view kVcapiGoodsStock = u"vcapi_goods_stock";
inline constexpr std::u16string_view kVcapiMaterialStock = u"vcapi_material_stock";
inline constexpr std::u16string_view kReliefMode = u"jxc_relief_mode";
inline constexpr std::u16string_view kTasteSetting = u"jxc_taste_setting";

inline constexpr std::u16string_view kClassId = u"class_id";
inline constexpr std::u16string_view kClassName = u"class_name";
inline constexpr std::u16string_view kGoodsId = u"goods_id";
inline constexpr std::u16string_view kGoodsName = u"goods_name";
inline constexpr std::u16string_view kNumber = u"number";
inline constexpr std::u16string_view kPropertiesId = u"properties_id";
inline constexpr std::u16string_view kBarcode = u"barcode";
inline constexpr std::u16string_view kRebate = u"rebate";
inline constexpr std::u16string_view kIsDel = u"is_del";
inline constexpr std::u16string_view kIsUse = u"is_use";
inline constexpr std::u16string_view kUintName = u"uint_name";
inline constexpr std::u16string_view kStockNum = u"stock_num";
inline constexpr std::u16string_view kTotalStockNum = u"total_stock_num";
inline constexpr std::u16string_view kMaterialId = u"material_id";
inline constexpr std::u16string_view kIsSpecial = u"is_special";
inline constexpr std::u16string_view kMaterialName = u"material_name";

inline constexpr std::u16string_view kCheckId = u"check_id";
inline constexpr std::u16string_view kHandover = u"handover";
inline constexpr std::u16string_view kRelief = u"relief";
inline constexpr std::u16string_view kNextRelief = u"next_relief";
inline constexpr std::u16string_view kSaleMoney = u"sale_money";
inline constexpr std::u16string_view kSaleNormalMoney = u"sale_normal_money";
inline constexpr std::u16string_view kSaleNowdoMoney = u"sale_nowdo_money";
inline constexpr std::u16string_view kThisShelve = u"this_shelve";
inline constexpr std::u16string_view kHandMoney = u"hand_money";
inline constexpr std::u16string_view kErrorsPrice = u"errors_price";
inline constexpr std::u16string_view kHandoverTime = u"handover_time";
inline constexpr std::u16string_view kTakeTime = u"take_time";
inline constexpr std::u16string_view kActiveGift = u"active_gift";
inline constexpr std::u16string_view kRemark = u"remark";
inline constexpr std::u16string_view kMaterialCheck = u"materialcheck";
inline constexpr std::u16string_view kMaterialStock = u"material_stock";
inline constexpr std::u16string_view kMaterialUsed = u"material_used";
inline constexpr std::u16string_view kMaterialActive = u"material_active";
inline constexpr std::u16string_view kMaterialScrap = u"material_scrap";
inline constexpr std::u16string_view kCupNum = u"cup_num";
inline constexpr std::u16string_view kSaleNum = u"sale_num";
inline constexpr std::u16string_view kScrapNum = u"scrap_num";

}  // namespace Jxc

namespace MessageFields {

// Starts a request document: the root `jxcapi`, entered.
void BeginRequest(CXmlDoc& doc);
// The XML declaration followed by the document's text.
std::u16string FinishRequest(const CXmlDoc& doc);

// Reads `jxcapi`/`status` and requires a non-zero status and `data`; on true
// `data` is entered (its children are walked next).
bool EnterData(CXmlDoc& doc, std::u16string_view reply);
// From `data` entered: enters `data`/`goods`.
bool EnterGoods(CXmlDoc& doc);

// Forward searches among the siblings after the current element: false when
// the element does not follow (the position then stays where it was).
bool FindText(CXmlDoc& doc, std::u16string_view name, std::u16string& value);
bool FindInt(CXmlDoc& doc, std::u16string_view name, int& value);
bool FindFloat(CXmlDoc& doc, std::u16string_view name, float& value);

// Decimal fraction as a wide-character conversion reads it: leading white
// space, an optional sign, digits with one optional point and an exponent;
// stops at the first other character, 0 when nothing converts. The point is
// always ".", whatever the process locale.
float ParseFloat(std::u16string_view text);

}  // namespace MessageFields
