#include "server/HandoverResend.h"

#include <chrono>
#include <mutex>
#include <vector>

#include "server/CHttpClientMgr.h"
#include "server/ServerMessages.h"
#include "service/CServiceManager.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kUploadPoll = 5000ms;

// What differs between the cashier and the material handover.
template <typename Record>
struct Upload;

template <>
struct Upload<WareWorkSectionInfo> {
  static constexpr std::u16string_view kLogRecord = u"http 上传 [收银交班]:";
  static bool Pending(CLocalDB& db, std::vector<WareWorkSectionInfo>& list) {
    return db.QueryUploadWareWorkSection(list);
  }
  static std::u16string Request(const WareWorkSectionInfo& section, std::u16string_view session) {
    return BuildFinishWorkSectionRequest(section, session);
  }
  static std::u16string Url(const CClientConfig& config) {
    return config.GetFinishWorkSectionURL();
  }
  static bool Store(CLocalDB& db, const WareWorkSectionInfo& section) {
    return db.InserWareWorkSection(section);
  }
};

template <>
struct Upload<MaterialWorkSectionInfo> {
  static constexpr std::u16string_view kLogRecord = u"http 上传 [物料交班]:";
  static bool Pending(CLocalDB& db, std::vector<MaterialWorkSectionInfo>& list) {
    return db.QueryUploadMaterialWorkSection(list);
  }
  static std::u16string Request(const MaterialWorkSectionInfo& section,
                                std::u16string_view session) {
    return BuildFinishMetarialWorkSectionRequest(section, session);
  }
  static std::u16string Url(const CClientConfig& config) {
    return config.GetFinishMetarialWorkSectionURL();
  }
  static bool Store(CLocalDB& db, const MaterialWorkSectionInfo& section) {
    return db.InserMaterialWorkSection(section);
  }
};

template <typename Record>
bool Resend(CServiceManager& service, const std::atomic<bool>* stop) {
  using Kind = Upload<Record>;
  std::lock_guard<std::mutex> lock(service.m_uploadLock);
  CLocalDB* db = service.GetLocalDB();
  const CClientConfig* config = service.GetConfig();
  CHttpClientMgr* http = service.GetHttpMgr();
  std::vector<Record> pending;
  if (!db || !config || !http || !Kind::Pending(*db, pending)) return false;
  const std::u16string url = Kind::Url(*config);
  const std::u16string session = service.GetSessionId();
  bool result = false;
  for (Record& record : pending) {
    if (stop && *stop) break;
    const std::u16string request = Kind::Request(record, session);
    service.GetLogMgr()->Post(std::u16string(Kind::kLogRecord) + request);
    std::u16string reply;
    result = http->PostAndWait(url, request, reply, kUploadPoll) && ReadUploadReply(reply);
    // A later record must not reach the server before an earlier one.
    if (!result) break;
    record.bSaveToServer = true;
    Kind::Store(*db, record);
  }
  return result;
}

}  // namespace

bool ResendWareWorkSections(CServiceManager& service, const std::atomic<bool>* stop) {
  return Resend<WareWorkSectionInfo>(service, stop);
}

bool ResendMaterialWorkSections(CServiceManager& service, const std::atomic<bool>* stop) {
  return Resend<MaterialWorkSectionInfo>(service, stop);
}
