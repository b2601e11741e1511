// CClientConfig: the installer's read-only "ClientConfig.xml" beside the host
// program: the inventory server's function addresses and the report template
// of every printed form. The service manager owns the one instance and loads
// it once while it starts, before any worker exists; after that the values
// never change and any thread may read them without a lock.
#pragma once

#include <array>
#include <cstddef>
#include <string>

class CClientConfig {
public:
  // Every value the file holds, in the order the file must list them. The
  // names are the element names; the first sixteen are children of
  // `ServerInterface`, the rest children of `PrintTemplate`.
  enum class Key : std::size_t {
    Host,
    ModifyPW,
    Update,
    ilogin,
    iNetbarLogin,
    iMainConfig,
    iGetWorkSection,
    iGetBar,
    iGetWareType,
    iGetWare,
    iGetMaterial,
    iFinishWorkSection,
    iFinishMetarialWorkSection,
    ilogout,
    iWareStockNormal,
    iWareStockQuick,
    Xiaopiao58,
    Xiaopiao80,
    WorkSection58,
    WorkSectionA4,
    WorkSection80,
    MaterialWorkSection58,
    MaterialWorkSection80,
    MaterialWorkSectionA4,
    BuGanJiao,
    WareCheckA4,
    MaterialCheckA4,
    WareCheck58,
    WareCheck80,
    MaterialCheck58,
    MaterialCheck80,
  };
  static constexpr std::size_t kKeyCount = static_cast<std::size_t>(Key::MaterialCheck80) + 1;
  static constexpr std::size_t kServerKeyCount = static_cast<std::size_t>(Key::iWareStockQuick) + 1;

  // The element name of a key, as it stands in the file.
  static std::u16string KeyName(Key key);

  CClientConfig() = default;

  // Reads "ClientConfig.xml" from the work directory of the process. True
  // only when the file is well formed and every element was found in order;
  // on false the values read before the first missing one stay, the rest are
  // empty, and the core must not start.
  bool Load();
  // As Load, for the folder `workDir` (a trailing "/" is added when missing).
  bool Load(const std::string& workDir);

  // The raw text of an element, verbatim (surrounding white space kept).
  const std::u16string& Value(Key key) const { return m_values[static_cast<std::size_t>(key)]; }
  // Folder of the host program with a trailing "/"; every file of the system
  // lives there.
  const std::u16string& GetWorkDir() const { return m_workDir; }

  // Addresses used unchanged.
  const std::u16string& GetHost() const { return Value(Key::Host); }
  const std::u16string& GetModifyPWURL() const { return Value(Key::ModifyPW); }
  const std::u16string& GetUpdateURL() const { return Value(Key::Update); }

  // Server function addresses: `Host` followed directly by the path, with no
  // separator added, so one of the two must carry the slash.
  std::u16string ServerAddress(Key key) const;
  std::u16string GetLoginURL() const { return ServerAddress(Key::ilogin); }
  std::u16string GetNetbarLoginURL() const { return ServerAddress(Key::iNetbarLogin); }
  std::u16string GetMainConfigURL() const { return ServerAddress(Key::iMainConfig); }
  std::u16string GetWorkSectionURL() const { return ServerAddress(Key::iGetWorkSection); }
  std::u16string GetBarURL() const { return ServerAddress(Key::iGetBar); }
  std::u16string GetWareTypeURL() const { return ServerAddress(Key::iGetWareType); }
  std::u16string GetWareURL() const { return ServerAddress(Key::iGetWare); }
  std::u16string GetMaterialURL() const { return ServerAddress(Key::iGetMaterial); }
  std::u16string GetFinishWorkSectionURL() const { return ServerAddress(Key::iFinishWorkSection); }
  std::u16string GetFinishMetarialWorkSectionURL() const {
    return ServerAddress(Key::iFinishMetarialWorkSection);
  }
  std::u16string GetLogoutURL() const { return ServerAddress(Key::ilogout); }
  std::u16string GetWareStockNormalURL() const { return ServerAddress(Key::iWareStockNormal); }
  std::u16string GetWareStockQuickURL() const { return ServerAddress(Key::iWareStockQuick); }

  // Template paths: the work directory followed directly by the configured
  // name, so a name is a file name or a path relative to the host's folder.
  std::u16string TemplatePath(Key key) const;
  std::u16string GetXiaopiao58Path() const { return TemplatePath(Key::Xiaopiao58); }
  std::u16string GetXiaopiao80Path() const { return TemplatePath(Key::Xiaopiao80); }
  std::u16string GetWorkSection58Path() const { return TemplatePath(Key::WorkSection58); }
  std::u16string GetWorkSectionA4Path() const { return TemplatePath(Key::WorkSectionA4); }
  std::u16string GetWorkSection80Path() const { return TemplatePath(Key::WorkSection80); }
  std::u16string GetMaterialWorkSection58Path() const {
    return TemplatePath(Key::MaterialWorkSection58);
  }
  std::u16string GetMaterialWorkSection80Path() const {
    return TemplatePath(Key::MaterialWorkSection80);
  }
  std::u16string GetMaterialWorkSectionA4Path() const {
    return TemplatePath(Key::MaterialWorkSectionA4);
  }
  std::u16string GetBuGanJiaoPath() const { return TemplatePath(Key::BuGanJiao); }
  std::u16string GetWareCheckA4Path() const { return TemplatePath(Key::WareCheckA4); }
  std::u16string GetMaterialCheckA4Path() const { return TemplatePath(Key::MaterialCheckA4); }
  std::u16string GetWareCheck58Path() const { return TemplatePath(Key::WareCheck58); }
  std::u16string GetWareCheck80Path() const { return TemplatePath(Key::WareCheck80); }
  std::u16string GetMaterialCheck58Path() const { return TemplatePath(Key::MaterialCheck58); }
  std::u16string GetMaterialCheck80Path() const { return TemplatePath(Key::MaterialCheck80); }

private:
  std::array<std::u16string, kKeyCount> m_values;
  std::u16string m_workDir;
};
