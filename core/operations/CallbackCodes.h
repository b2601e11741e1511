// The callback codes the core sends to the page, each written once. The
// request workers' codes carry a reply envelope; the catalogue
// synchronisation codes carry an empty payload.
#pragma once

#include <string_view>

namespace CallbackCode {

// Results of request workers.
inline constexpr std::u16string_view kCheckout = u"cb-1-1";
inline constexpr std::u16string_view kUserLogin = u"cb-1-2";
inline constexpr std::u16string_view kNetbarLogin = u"cb-1-3";
inline constexpr std::u16string_view kFinishWorkSection = u"cb-1-4";
inline constexpr std::u16string_view kFinishMaterialWorkSection = u"cb-1-5";
inline constexpr std::u16string_view kWareSales = u"cb-1-6";
inline constexpr std::u16string_view kSalesWorkSection = u"cb-1-7";
inline constexpr std::u16string_view kWareOrder = u"cb-1-8";
inline constexpr std::u16string_view kMaterialWorkSection = u"cb-1-9";
inline constexpr std::u16string_view kPrintWareCheck = u"cb-1-10";
inline constexpr std::u16string_view kPrintMaterialCheck = u"cb-1-11";

// Events without a request.
inline constexpr std::u16string_view kBarcode = u"cb-10";
inline constexpr std::u16string_view kServerReachable = u"cb-11";

// One catalogue synchronisation pass, in the order a pass sends them.
inline constexpr std::u16string_view kSyncBegin = u"cb-4";
inline constexpr std::u16string_view kSyncSettings = u"cb-3-1";
inline constexpr std::u16string_view kSyncWorkSectionList = u"cb-3-2";
inline constexpr std::u16string_view kSyncBarName = u"cb-3-3";
inline constexpr std::u16string_view kSyncWareTypesBegin = u"cb-5-1";
inline constexpr std::u16string_view kSyncWareTypesChanged = u"cb-5-2";
inline constexpr std::u16string_view kSyncWareTypesEnd = u"cb-5-3";
inline constexpr std::u16string_view kSyncWaresBegin = u"cb-6-1";
inline constexpr std::u16string_view kSyncWaresChanged = u"cb-6-2";
inline constexpr std::u16string_view kSyncWaresEnd = u"cb-6-3";
inline constexpr std::u16string_view kSyncStockChanged = u"cb-6-5";
inline constexpr std::u16string_view kSyncTastesChanged = u"cb-6-4";
inline constexpr std::u16string_view kSyncMaterialsBegin = u"cb-7-1";
inline constexpr std::u16string_view kSyncMaterialsChanged = u"cb-7-2";
inline constexpr std::u16string_view kSyncMaterialsEnd = u"cb-7-3";
inline constexpr std::u16string_view kSyncMaterialStockChanged = u"cb-6-6";
inline constexpr std::u16string_view kSyncEnd = u"cb-8";

}  // namespace CallbackCode
