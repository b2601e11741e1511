#include "server/CatalogueSync.h"

#include <chrono>
#include <map>
#include <vector>

#include "operations/CallbackCodes.h"
#include "server/CHttpClientMgr.h"
#include "server/ServerMessages.h"
#include "service/CServiceManager.h"
#include "support/Trace.h"

namespace {

using namespace std::chrono_literals;
namespace Code = CallbackCode;

constexpr std::chrono::milliseconds kListPoll = 500ms;
constexpr std::chrono::milliseconds kGoodsPoll = 5000ms;
// Only the first nine usable types are retired before a new type list lands.
constexpr int kRetiredTypes = 9;

enum class HandoverMode { Normal = 1, Quick = 2 };

class SyncPass {
public:
  SyncPass(CServiceManager& service, const SyncNotify& notify, const std::atomic<bool>* stop)
      : m_service(service),
        m_state(service.m_catalogueSync),
        m_db(service.GetLocalDB()),
        m_settings(service.GetGlobalConfig()),
        m_config(service.GetConfig()),
        m_http(service.GetHttpMgr()),
        m_notify(notify),
        m_stop(stop),
        m_session(service.GetSessionId()) {}

  bool Run();

private:
  bool Stopped() const { return m_stop && m_stop->load(); }
  void Notify(std::u16string_view code) const {
    if (m_notify) m_notify(code);
  }
  bool Exchange(const std::u16string& url, const std::u16string& request, std::u16string& reply,
                std::chrono::milliseconds poll, const char* missingTrace);
  std::int32_t Timestamp(CatalogueList list) const {
    return m_state.fullDownload ? 0 : m_state.Version(list);
  }

  void ApplyMainConfig(std::u16string_view reply);
  void SyncWorkSections();
  void SyncBars();
  void ApplyBars(const std::vector<MarketItem>& bars);
  void SyncWareTypes();
  bool ApplyWareTypes(std::u16string_view reply);
  void SyncGoods();
  bool ApplyGoods(std::u16string_view reply);
  void SyncGoodsStock(int mode);
  bool ApplyGoodsStock(HandoverMode mode, std::u16string_view reply);
  void SyncMaterials();
  bool ApplyMaterials(std::u16string_view reply);

  CServiceManager& m_service;
  CatalogueSyncState& m_state;
  CLocalDB* m_db;
  CGlobalConfig* m_settings;
  const CClientConfig* m_config;
  CHttpClientMgr* m_http;
  const SyncNotify& m_notify;
  const std::atomic<bool>* m_stop;
  const std::u16string m_session;
  NetbarInfo m_netbar;
  bool m_haveNetbar = false;
};

bool SyncPass::Exchange(const std::u16string& url, const std::u16string& request,
                        std::u16string& reply, std::chrono::milliseconds poll,
                        const char* missingTrace) {
  reply.clear();
  if (m_session.empty() || url.empty() || !m_http) {
    Trace::Write(missingTrace, url, m_session);
    return false;
  }
  if (!m_haveNetbar) return false;
  return m_http->PostAndWait(url, request, reply, poll);
}

bool SyncPass::Run() {
  Trace::Write("begin Update_Data");
  Notify(Code::kSyncBegin);
  m_haveNetbar = m_db && m_config && m_db->QueryNetbarInfo(m_netbar);
  std::u16string reply;
  Exchange(m_config ? m_config->GetMainConfigURL() : u"",
           BuildMainConfigRequest(m_session, m_netbar.netbarid, m_netbar.barID), reply, kListPoll,
           "Session id or config addr is empty: [%s][%s]");
  // Any answer at all lets the pass go on; without one nothing is touched.
  if (reply.empty() || Stopped()) return false;
  ApplyMainConfig(reply);
  SystemModeInfo modes;
  if (!m_settings || !m_settings->GetSystemMode(modes)) return false;
  if (m_state.modesChanged) Notify(Code::kSyncSettings);
  if (Stopped()) return false;
  SyncWorkSections();
  if (Stopped()) return false;
  SyncBars();
  if (Stopped()) return false;
  SyncWareTypes();
  if (Stopped()) return false;
  SyncGoods();
  if (Stopped()) return false;
  SyncGoodsStock(modes.finishworksectionmode);
  if (m_state.tasteChanged) {
    Notify(Code::kSyncTastesChanged);
    m_state.tasteChanged = false;
  }
  if (Stopped()) return false;
  SyncMaterials();
  if (m_state.Changed(CatalogueList::MaterialStock)) {
    Trace::Write("update_material_stock");
    Notify(Code::kSyncMaterialStockChanged);
  }
  Notify(Code::kSyncEnd);
  m_state.fullDownload = false;
  Trace::Write("end Update_Data");
  return true;
}

void SyncPass::ApplyMainConfig(std::u16string_view reply) {
  const MainConfigReply config = ReadMainConfigReply(reply);
  if (!config.read) return;  // every flag keeps its value
  for (std::size_t i = 0; i < kCatalogueListCount; ++i) {
    if (!config.versions[i]) continue;
    m_state.changed[i] = *config.versions[i] != m_state.versions[i] || m_state.retry[i];
    m_state.versions[i] = *config.versions[i];
  }
  SystemModeInfo kept;
  if (m_settings) m_settings->GetSystemMode(kept);
  const int manage = config.manageMode.value_or(0);
  const int relief = config.reliefMode.value_or(0);
  m_state.modesChanged = manage != kept.barmode || relief != kept.finishworksectionmode;
  if (m_state.modesChanged && m_settings) m_settings->SetSystemMode(manage, relief);
  // Remembered only once stored, so a failed write is retried next pass.
  if (config.tasteSetting && *config.tasteSetting != m_state.taste && m_db &&
      m_db->InserTaste(*config.tasteSetting)) {
    m_state.taste = *config.tasteSetting;
    m_state.tasteChanged = true;
  }
}

void SyncPass::SyncWorkSections() {
  if (!m_state.Changed(CatalogueList::WorkSections)) return;
  Trace::Write("update_worksection");
  std::u16string reply;
  std::u16string jobs;
  const bool stored =
      Exchange(m_config->GetWorkSectionURL(), BuildWorkSectionRequest(m_netbar.netbarid, m_session),
               reply, kListPoll, "Session id or work section addr is empty: [%s][%s]") &&
      ReadWorkSectionReply(reply, jobs) && m_settings && m_settings->SetWorkSectionList(jobs);
  if (stored) {
    m_state.Done(CatalogueList::WorkSections);
  } else {
    m_state.Failed(CatalogueList::WorkSections);
  }
  Notify(Code::kSyncWorkSectionList);
}

void SyncPass::SyncBars() {
  if (!m_state.Changed(CatalogueList::Bars)) return;
  Trace::Write("update_bar");
  std::u16string reply;
  std::vector<MarketItem> bars;
  if (Exchange(m_config->GetBarURL(), BuildBarListRequest(m_netbar.netbarid, m_session), reply,
               kListPoll, "Session id or bar addr is empty: [%s][%s]") &&
      ReadBarListReply(reply, bars)) {
    ApplyBars(bars);
    m_state.Done(CatalogueList::Bars);
  } else {
    m_state.Failed(CatalogueList::Bars);
  }
  Notify(Code::kSyncBarName);
}

// Renames the bar of the café record and of the store's identity; the list
// is read no further once the identity's bar was seen.
void SyncPass::ApplyBars(const std::vector<MarketItem>& bars) {
  ActiveNetbarInfo record;
  if (!m_settings || !m_settings->GetNetbarInfoByUser(m_service.GetActiveNetbarUser(), record))
    return;
  for (const MarketItem& bar : bars) {
    if (!bar.id) continue;
    if (!record.barid.empty() && *bar.id == record.barid) {
      record.barname = bar.name;
      m_settings->SetActiveNetbar(record);
    }
    if (*bar.id == m_netbar.barID) {
      m_netbar.barName = bar.name;
      m_db->InserNetbarInfo(m_netbar);
      break;
    }
  }
}

void SyncPass::SyncWareTypes() {
  Notify(Code::kSyncWareTypesBegin);
  if (m_state.Changed(CatalogueList::WareTypes)) {
    Trace::Write("update_ware_type");
    std::u16string reply;
    const bool stored =
        Exchange(m_config->GetWareTypeURL(), BuildWareTypeRequest(m_session, m_netbar.netbarid),
                 reply, kListPoll, "Session id or ware type addr is empty: [%s][%s]") &&
        ApplyWareTypes(reply);
    if (stored) {
      m_state.Done(CatalogueList::WareTypes);
      Notify(Code::kSyncWareTypesChanged);
    } else {
      m_state.Failed(CatalogueList::WareTypes);
    }
  }
  Notify(Code::kSyncWareTypesEnd);
}

bool SyncPass::ApplyWareTypes(std::u16string_view reply) {
  std::vector<WareTypeInfo> received;
  if (!ReadWareTypeReply(reply, received)) return false;
  std::vector<WareTypeInfo> retired;
  m_db->QueryWareType(retired, kRetiredTypes);
  for (WareTypeInfo& type : retired) type.usable = false;
  m_db->InserWareType(retired);
  return m_db->InserWareType(received);
}

void SyncPass::SyncGoods() {
  Notify(Code::kSyncWaresBegin);
  if (m_state.Changed(CatalogueList::Goods)) {
    Trace::Write("update_ware");
    std::u16string reply;
    const bool stored =
        Exchange(m_config->GetWareURL(),
                 BuildWareRequest(m_session, m_netbar.netbarid, Timestamp(CatalogueList::Goods),
                                  m_netbar.barID),
                 reply, kGoodsPoll, "Session id or ware addr is empty: [%s][%s]") &&
        ApplyGoods(reply);
    if (stored) {
      m_state.Done(CatalogueList::Goods);
      Notify(Code::kSyncWaresChanged);
    } else {
      m_state.Failed(CatalogueList::Goods);
    }
  } else if (m_state.Changed(CatalogueList::WareTypes)) {
    // The ware list shows type names: it is reloaded after a type change.
    Notify(Code::kSyncWaresChanged);
  }
  Notify(Code::kSyncWaresEnd);
}

bool SyncPass::ApplyGoods(std::u16string_view reply) {
  std::vector<WareInfo> wares;
  if (!ReadWareReply(reply, wares)) return false;
  // The display order is the counter's own; the server does not know it.
  // One query finds it for the wares on sale, the usual case; the others
  // are looked up one by one.
  std::vector<WareInfo> onSale;
  m_db->QueryWareByOrder(onSale);
  std::map<int, int> orders;
  for (const WareInfo& ware : onSale) orders.emplace(ware.id, ware.orderId);
  for (WareInfo& ware : wares) {
    if (auto known = orders.find(ware.id); known != orders.end()) {
      ware.orderId = known->second;
      continue;
    }
    std::vector<WareInfo> existing;
    if (m_db->QueryWareByID(existing, ware.id) && !existing.empty())
      ware.orderId = existing.front().orderId;
  }
  const bool written = !wares.empty() && m_db->InsertWare(wares);
  return written || m_state.fullDownload;
}

void SyncPass::SyncGoodsStock(int mode) {
  if (!m_state.Changed(CatalogueList::GoodsStock)) return;
  Trace::Write("update_ware_stock");
  const auto handover = static_cast<HandoverMode>(mode);
  if (handover == HandoverMode::Normal || handover == HandoverMode::Quick) {
    const std::u16string url = handover == HandoverMode::Normal
                                   ? m_config->GetWareStockNormalURL()
                                   : m_config->GetWareStockQuickURL();
    std::u16string reply;
    const bool stored =
        Exchange(url,
                 BuildWareStockRequest(m_session, m_netbar.netbarid, m_netbar.barID,
                                       Timestamp(CatalogueList::Goods)),
                 reply, kListPoll, "Session id or ware stock addr is empty: [%s][%s]") &&
        ApplyGoodsStock(handover, reply);
    if (stored) {
      m_state.Done(CatalogueList::GoodsStock);
    } else {
      m_state.Failed(CatalogueList::GoodsStock);
    }
  }
  Notify(Code::kSyncStockChanged);
}

bool SyncPass::ApplyGoodsStock(HandoverMode mode, std::u16string_view reply) {
  if (mode == HandoverMode::Normal) {
    std::map<int, int> stocks;
    return ReadWareStockNormalReply(reply, stocks) && m_db->SetWareCount(stocks);
  }
  std::vector<CombinStockInfo> rows;
  if (!ReadWareStockQuickReply(reply, rows)) return false;
  m_db->ClearCombinStock();
  return m_db->InserCombinStock(rows);
}

void SyncPass::SyncMaterials() {
  Notify(Code::kSyncMaterialsBegin);
  const bool listChanged = m_state.Changed(CatalogueList::Materials);
  if (listChanged || m_state.Changed(CatalogueList::MaterialStock)) {
    Trace::Write("update_metarial");
    const std::int32_t timestamp = m_state.fullDownload ? 0
                                   : listChanged ? m_state.Version(CatalogueList::Materials)
                                                 : m_state.Version(CatalogueList::MaterialStock);
    std::u16string reply;
    const bool stored =
        Exchange(m_config->GetMaterialURL(),
                 BuildMaterialRequest(m_session, m_netbar.netbarid, m_netbar.barID, timestamp),
                 reply, kListPoll, "Session id or material addr is empty: [%s][%s]") &&
        ApplyMaterials(reply);
    if (stored) {
      m_state.Done(CatalogueList::Materials);
      m_state.Done(CatalogueList::MaterialStock);
      Notify(Code::kSyncMaterialsChanged);
    } else {
      m_state.Failed(CatalogueList::Materials);
      m_state.Failed(CatalogueList::MaterialStock);
    }
  }
  Notify(Code::kSyncMaterialsEnd);
}

bool SyncPass::ApplyMaterials(std::u16string_view reply) {
  MaterialReply received;
  if (!ReadMaterialReply(reply, received)) return false;
  // The cups are counted per material section: their stock goes to the
  // open one. A reply without a cup record leaves it alone.
  MaterialWorkSectionInfo section;
  if (received.cup && m_db->QueryCurrentMaterialWorkSection(section))
    m_db->InserCup(received.cup, section.id);
  const bool written = m_db->InserMaterial(received.materials);
  return written || m_state.fullDownload;
}

}  // namespace

bool Update_Data(CServiceManager& service, const SyncNotify& notify,
                 const std::atomic<bool>* stop) {
  return SyncPass(service, notify, stop).Run();
}
