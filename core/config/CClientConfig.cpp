#include "config/CClientConfig.h"

#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/TextCodec.h"
#include "support/Trace.h"

namespace {

constexpr char kFileName[] = "ClientConfig.xml";

// Indexed by CClientConfig::Key; the order is the order the file must keep.
constexpr const char16_t* kKeyNames[CClientConfig::kKeyCount] = {
    u"Host",
    u"ModifyPW",
    u"Update",
    u"ilogin",
    u"iNetbarLogin",
    u"iMainConfig",
    u"iGetWorkSection",
    u"iGetBar",
    u"iGetWareType",
    u"iGetWare",
    u"iGetMaterial",
    u"iFinishWorkSection",
    u"iFinishMetarialWorkSection",
    u"ilogout",
    u"iWareStockNormal",
    u"iWareStockQuick",
    u"Xiaopiao58",
    u"Xiaopiao80",
    u"WorkSection58",
    u"WorkSectionA4",
    u"WorkSection80",
    u"MaterialWorkSection58",
    u"MaterialWorkSection80",
    u"MaterialWorkSectionA4",
    u"BuGanJiao",
    u"WareCheckA4",
    u"MaterialCheckA4",
    u"WareCheck58",
    u"WareCheck80",
    u"MaterialCheck58",
    u"MaterialCheck80",
};

std::string WithTrailingSlash(std::string dir) {
  if (dir.empty()) dir = "./";
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

}  // namespace

std::u16string CClientConfig::KeyName(Key key) { return kKeyNames[static_cast<std::size_t>(key)]; }

bool CClientConfig::Load() { return Load(Helpers::WorkDirA()); }

bool CClientConfig::Load(const std::string& workDir) {
  for (auto& value : m_values) value.clear();
  const std::string dir = WithTrailingSlash(workDir);
  m_workDir = TextCodec::Utf8ToUtf16(dir);
  Trace::Write("The current work dir is [%s]", m_workDir);

  CXmlDoc doc;
  if (!doc.LoadFile(dir + kFileName)) return false;
  if (!doc.Find(u"Config") || !doc.Enter()) return false;
  if (!doc.Find(u"ServerInterface") || !doc.Enter()) return false;

  // Each element is searched forward from the one before it, so an element
  // standing ahead of its predecessor is not found and the load fails.
  for (std::size_t i = 0; i < kKeyCount; ++i) {
    if (i == kServerKeyCount) {
      doc.Leave();
      if (!doc.Find(u"PrintTemplate") || !doc.Enter()) return false;
    }
    if (!doc.Find(kKeyNames[i])) {
      Trace::Write("CClientConfig::Load: element [%s] not found", kKeyNames[i]);
      return false;
    }
    m_values[i] = doc.GetValue();
  }
  return true;
}

std::u16string CClientConfig::ServerAddress(Key key) const { return GetHost() + Value(key); }

std::u16string CClientConfig::TemplatePath(Key key) const { return m_workDir + Value(key); }
