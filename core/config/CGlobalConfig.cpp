#include "config/CGlobalConfig.h"

#include <initializer_list>
#include <map>
#include <utility>

#include "config/GlobalDatFile.h"
#include "support/CXmlDoc.h"
#include "support/Helpers.h"
#include "support/TextCodec.h"
#include "support/Trace.h"

std::mutex CGlobalConfig::s_fileLock;

namespace {

constexpr char kFileName[] = "Global.dat";

// Element names of the settings document.
constexpr std::u16string_view kConfig = u"Config";
constexpr std::u16string_view kSytem = u"Sytem";
constexpr std::u16string_view kUser = u"User";
constexpr std::u16string_view kLoginHistory = u"LoginHistory";
constexpr std::u16string_view kItem = u"Item";
constexpr std::u16string_view kLocalLogin = u"LocalLogin";
constexpr std::u16string_view kLocalUserInfo = u"LocalUserInfo";
constexpr std::u16string_view kActiveNetbar = u"ActiveNetbar";
constexpr std::u16string_view kAnbInfo = u"anb_info";
constexpr std::u16string_view kPos = u"Pos";
constexpr std::u16string_view kXiaoPiaoPrint = u"XiaoPiaoPrint";
constexpr std::u16string_view kBuGanJiaoPrint = u"BuGanJiaoPrint";
constexpr std::u16string_view kJiaoJieBanPrint = u"JiaoJieBanPrint";
constexpr std::u16string_view kPanDianPrint = u"PanDianPrint";

// Attribute names.
constexpr std::u16string_view kModifyPwURL = u"modifyPwURL";
constexpr std::u16string_view kVersion = u"version";
constexpr std::u16string_view kBarMode = u"barmode";
constexpr std::u16string_view kFinishMode = u"finishworksectionmode";
constexpr std::u16string_view kWorkSectionList = u"worksectionlist";
constexpr std::u16string_view kId = u"id";
constexpr std::u16string_view kPw = u"pw";
constexpr std::u16string_view kSavePw = u"savepw";
constexpr std::u16string_view kDb = u"db";
constexpr std::u16string_view kUserId = u"userid";
constexpr std::u16string_view kBarId = u"barid";
constexpr std::u16string_view kBarName = u"barname";
constexpr std::u16string_view kFixedWorkSection = u"fixedworksection";
constexpr std::u16string_view kCashier = u"cashier";
constexpr std::u16string_view kType = u"type";
constexpr std::u16string_view kCom = u"com";
constexpr std::u16string_view kEnable = u"Enable";
constexpr std::u16string_view kAutoPrint = u"AutoPrint";
constexpr std::u16string_view kTitle = u"title";
constexpr std::u16string_view kTail = u"tail";
constexpr std::u16string_view kNumber = u"Number";
constexpr std::u16string_view kFontSize = u"FontSize";
constexpr std::u16string_view kPrinter = u"Printer";
constexpr std::u16string_view kPrinterPaperType = u"PrinterPaperType";
constexpr std::u16string_view kPrintWareList = u"PrintWareList";

using Attrs = std::initializer_list<std::pair<std::u16string_view, std::u16string_view>>;

void SetAttrs(CXmlDoc& doc, Attrs attrs) {
  for (const auto& [name, value] : attrs) doc.SetAttr(name, value);
}

int IntAttr(const CXmlDoc& doc, std::u16string_view name) {
  return Helpers::ParseInt(doc.GetAttr(name));
}

bool FlagAttr(const CXmlDoc& doc, std::u16string_view name) { return IntAttr(doc, name) != 0; }

// An ill-formed document is still indexed, and its sections stay readable.
bool ReadDocument(const std::string& path, CXmlDoc& doc) {
  std::u16string text;
  if (GlobalDatFile::Read(path, text) != GlobalDatFile::ReadStatus::Ok) return false;
  doc.Parse(text);
  return true;
}

bool EnterConfig(CXmlDoc& doc) { return doc.Find(kConfig) && doc.Enter(); }

// Leaves `section` current, its parent `Config`.
bool OpenSection(const std::string& path, std::u16string_view section, CXmlDoc& doc) {
  return ReadDocument(path, doc) && EnterConfig(doc) && doc.Find(section);
}

bool WriteDocument(const std::string& path, const CXmlDoc& doc) {
  return GlobalDatFile::Write(path, doc.GetText());
}

void ReadNetbarRecord(const CXmlDoc& doc, ActiveNetbarInfo& info) {
  info.userid = doc.GetAttr(kUserId);
  info.id = doc.GetAttr(kId);
  info.pw = doc.GetAttr(kPw);
  info.barid = doc.GetAttr(kBarId);
  info.barname = doc.GetAttr(kBarName);
  info.db = doc.GetAttr(kDb);
  info.fixedworksection = doc.GetAttr(kFixedWorkSection);
  info.cashier = doc.GetAttr(kCashier);
}

// The document a first start writes, children in their fixed order.
std::u16string DefaultDocument(std::u16string_view modifyPwURL, std::u16string_view version) {
  CXmlDoc doc;
  doc.Parse(u"");
  doc.Append(kConfig);
  doc.Enter();
  doc.Append(kSytem);
  SetAttrs(doc, {{kModifyPwURL, modifyPwURL},
                 {kVersion, version},
                 {kBarMode, u"0"},
                 {kFinishMode, u"0"},
                 {kWorkSectionList, u""}});
  doc.Append(kUser);
  SetAttrs(doc, {{kId, u""}, {kPw, u""}, {kSavePw, u"0"}});
  doc.Enter();
  doc.Append(kLoginHistory);
  doc.Leave();
  doc.Append(kLocalLogin);
  doc.Append(kActiveNetbar);
  SetAttrs(doc, {{kId, u""}, {kPw, u""}, {kDb, u""}});
  doc.Append(kPos);
  SetAttrs(doc, {{kType, u"0"}, {kCom, u""}});
  doc.Append(kXiaoPiaoPrint);
  SetAttrs(doc, {{kEnable, u"0"},
                 {kAutoPrint, u"0"},
                 {kTitle, u""},
                 {kTail, u""},
                 {kFontSize, u"9"},
                 {kPrinter, u""}});
  doc.Append(kBuGanJiaoPrint);
  SetAttrs(doc, {{kEnable, u"0"}, {kFontSize, u"9"}, {kPrinter, u""}});
  doc.Append(kJiaoJieBanPrint);
  SetAttrs(doc, {{kEnable, u"0"},
                 {kPrintWareList, u"0"},
                 {kFontSize, u"9"},
                 {kPrinter, u""},
                 {kPrinterPaperType, u""}});
  doc.Append(kPanDianPrint);
  SetAttrs(doc, {{kPrinter, u""}, {kPrinterPaperType, u""}});
  return doc.GetText();
}

// Refreshes what every start sets and adds what older files lack; anything
// else, known or not, stays exactly as it was.
std::u16string UpgradeDocument(const std::u16string& text, std::u16string_view modifyPwURL,
                               std::u16string_view version) {
  CXmlDoc doc;
  doc.Parse(text);
  if (!EnterConfig(doc)) return text;
  if (doc.Find(kSytem)) {
    SetAttrs(doc, {{kModifyPwURL, modifyPwURL}, {kVersion, version}, {kBarMode, u"0"}});
    // An empty value and an absent one read alike, so writing an empty value
    // over an empty one changes nothing.
    if (doc.GetAttr(kWorkSectionList).empty()) doc.SetAttr(kWorkSectionList, u"");
  }
  doc.RewindSiblings();
  if (!doc.Find(kLocalLogin)) doc.Append(kLocalLogin);
  doc.RewindSiblings();
  if (!doc.Find(kPanDianPrint)) {
    doc.Append(kPanDianPrint);
    SetAttrs(doc, {{kPrinter, u""}, {kPrinterPaperType, CGlobalConfig::kPaper58}});
  }
  return doc.GetText();
}

// The login history keeps one entry per user id, sorted by id; the current
// user is put in when the save-password flag is set and dropped otherwise.
// A text that is not well formed, or lacks `Config` or `User`, is returned
// unchanged.
std::u16string MergeLoginHistory(const std::u16string& text) {
  CXmlDoc doc;
  if (!doc.Parse(text) || !EnterConfig(doc) || !doc.Find(kUser)) return text;
  const bool savepw = FlagAttr(doc, kSavePw);
  const std::u16string id = doc.GetAttr(kId);
  const std::u16string pw = doc.GetAttr(kPw);
  doc.Enter();

  // Ordinal order of the UTF-16 units, which is what std::u16string's < is.
  std::map<std::u16string, std::u16string> history;
  if (doc.Find(kLoginHistory)) {
    doc.Enter();
    while (doc.Find(kItem)) history[doc.GetAttr(kId)] = doc.GetAttr(kPw);
    doc.RewindSiblings();
    while (doc.Find(kItem)) doc.Remove();
  } else {
    doc.Append(kLoginHistory);
    doc.Enter();
  }
  if (savepw) {
    history[id] = pw;
  } else {
    history.erase(id);
  }

  doc.RewindSiblings();
  for (const auto& [itemId, itemPw] : history) {
    doc.Append(kItem);
    SetAttrs(doc, {{kId, itemId}, {kPw, itemPw}});
  }
  return doc.GetText();
}

std::string WithTrailingSlash(std::string dir) {
  if (dir.empty()) dir = "./";
  if (dir.back() != '/') dir.push_back('/');
  return dir;
}

}  // namespace

CGlobalConfig::CGlobalConfig() : CGlobalConfig(Helpers::WorkDirA()) {}

CGlobalConfig::CGlobalConfig(const std::string& workDir) {
  const std::string dir = WithTrailingSlash(workDir);
  m_workDir = TextCodec::Utf8ToUtf16(dir);
  m_path = dir + kFileName;
}

bool CGlobalConfig::LoadGlobalConfig(std::u16string& text) const {
  std::lock_guard lock(s_fileLock);
  std::u16string read;
  if (GlobalDatFile::Read(m_path, read) != GlobalDatFile::ReadStatus::Ok) return false;
  text = std::move(read);
  return true;
}

bool CGlobalConfig::SaveGlobalConfig(std::u16string& text) {
  std::lock_guard lock(s_fileLock);
  return SaveLocked(text);
}

bool CGlobalConfig::SaveLocked(std::u16string& text) {
  text = MergeLoginHistory(text);
  return GlobalDatFile::Write(m_path, text);
}

bool CGlobalConfig::InitGlobalConfig(std::u16string_view modifyPwURL) {
  const std::u16string version = Helpers::CoreVersionText();
  std::lock_guard lock(s_fileLock);
  std::u16string text;
  switch (GlobalDatFile::Read(m_path, text)) {
    case GlobalDatFile::ReadStatus::Failed:
      // Defaults written over a file that merely could not be read would
      // throw away every setting the cashier made.
      Trace::Write("CGlobalConfig::InitGlobalConfig: [%s] unreadable, left alone", m_path);
      return true;
    case GlobalDatFile::ReadStatus::Missing:
    case GlobalDatFile::ReadStatus::Ok:
      break;
  }
  text = text.empty() ? DefaultDocument(modifyPwURL, version)
                      : UpgradeDocument(text, modifyPwURL, version);
  if (!SaveLocked(text)) Trace::Write("CGlobalConfig::InitGlobalConfig: save failed");
  return true;
}

bool CGlobalConfig::GetXiaoPiaoPrint(XiaoPiaoPrintInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kXiaoPiaoPrint, doc)) return false;
  info.Enable = FlagAttr(doc, kEnable);
  info.AutoPrint = FlagAttr(doc, kAutoPrint);
  info.Number = IntAttr(doc, kNumber);
  info.title = doc.GetAttr(kTitle);
  info.tail = doc.GetAttr(kTail);
  info.FontSize = IntAttr(doc, kFontSize);
  info.Printer = doc.GetAttr(kPrinter);
  info.PrinterPaperType = doc.GetAttr(kPrinterPaperType);
  return true;
}

bool CGlobalConfig::GetBuGanJiaoPrint(BuGanJiaoPrintInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kBuGanJiaoPrint, doc)) return false;
  info.Enable = FlagAttr(doc, kEnable);
  info.FontSize = IntAttr(doc, kFontSize);
  info.Printer = doc.GetAttr(kPrinter);
  return true;
}

bool CGlobalConfig::GetJiaoJieBanPrint(JiaoJieBanPrintInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kJiaoJieBanPrint, doc)) return false;
  info.Enable = FlagAttr(doc, kEnable);
  info.PrintWareList = FlagAttr(doc, kPrintWareList);
  info.FontSize = IntAttr(doc, kFontSize);
  info.Printer = doc.GetAttr(kPrinter);
  info.PrinterPaperType = doc.GetAttr(kPrinterPaperType);
  return true;
}

bool CGlobalConfig::GetPanDianPrint(PanDianPrintInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kPanDianPrint, doc)) return false;
  info.Printer = doc.GetAttr(kPrinter);
  info.PrinterPaperType = doc.GetAttr(kPrinterPaperType);
  return true;
}

bool CGlobalConfig::GetPosConfig(PosConfigInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kPos, doc)) return false;
  info.type = IntAttr(doc, kType);
  info.com = doc.GetAttr(kCom);
  return true;
}

bool CGlobalConfig::GetUserInfo(UserInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kUser, doc)) return false;
  info.id = doc.GetAttr(kId);
  info.pw = doc.GetAttr(kPw);
  return true;
}

bool CGlobalConfig::GetSystemMode(SystemModeInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kSytem, doc)) return false;
  info.barmode = IntAttr(doc, kBarMode);
  info.finishworksectionmode = IntAttr(doc, kFinishMode);
  return true;
}

bool CGlobalConfig::GetActiveNetbar(ActiveNetbarInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kActiveNetbar, doc)) return false;
  ReadNetbarRecord(doc, info);
  return true;
}

bool CGlobalConfig::GetNetbarInfoByUser(std::u16string_view userid, ActiveNetbarInfo& info) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kActiveNetbar, doc)) return false;
  doc.Enter();
  while (doc.Find(kAnbInfo)) {
    if (doc.GetAttr(kUserId) == userid) {
      ReadNetbarRecord(doc, info);
      break;
    }
  }
  return true;
}

bool CGlobalConfig::GetLocalUserInfo(std::u16string_view id, std::u16string& pw) const {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kLocalLogin, doc)) return false;
  doc.Enter();
  while (doc.Find(kLocalUserInfo)) {
    if (doc.GetAttr(kId) == id) {
      pw = doc.GetAttr(kPw);
      return true;
    }
  }
  return false;
}

bool CGlobalConfig::SetActiveNetbar(const ActiveNetbarInfo& info) {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kActiveNetbar, doc)) return false;
  SetAttrs(doc, {{kUserId, info.userid},
                 {kId, info.id},
                 {kPw, info.pw},
                 {kDb, info.db},
                 {kBarId, info.barid},
                 {kBarName, info.barname}});
  doc.Enter();
  bool found = false;
  while (!found && doc.Find(kAnbInfo)) found = doc.GetAttr(kUserId) == info.userid;
  // With no match the walk ended on the last entry, so the new one follows it.
  if (!found) doc.Append(kAnbInfo);
  SetAttrs(doc, {{kUserId, info.userid},
                 {kId, info.id},
                 {kPw, info.pw},
                 {kDb, info.db},
                 {kBarId, info.barid},
                 {kBarName, info.barname},
                 {kFixedWorkSection, info.fixedworksection},
                 {kCashier, info.cashier}});
  return WriteDocument(m_path, doc);
}

bool CGlobalConfig::SetLocalUserInfo(std::u16string_view id, std::u16string_view pw) {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!ReadDocument(m_path, doc) || !EnterConfig(doc)) return false;
  if (!doc.Find(kLocalLogin)) doc.Append(kLocalLogin);
  doc.Enter();
  bool found = false;
  while (!found && doc.Find(kLocalUserInfo)) found = doc.GetAttr(kId) == id;
  if (!found) {
    doc.Append(kLocalUserInfo);
    doc.SetAttr(kId, id);
  }
  doc.SetAttr(kPw, pw);
  return WriteDocument(m_path, doc);
}

bool CGlobalConfig::SetSystemMode(int barmode, int finishworksectionmode) {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kSytem, doc)) return false;
  doc.SetAttr(kBarMode, barmode);
  doc.SetAttr(kFinishMode, finishworksectionmode);
  return WriteDocument(m_path, doc);
}

bool CGlobalConfig::SetWorkSectionList(std::u16string_view text) {
  std::lock_guard lock(s_fileLock);
  CXmlDoc doc;
  if (!OpenSection(m_path, kSytem, doc)) return false;
  doc.SetAttr(kWorkSectionList, text);
  return WriteDocument(m_path, doc);
}

std::u16string CGlobalConfig::GetDBFilePath(std::u16string_view netbarId,
                                            std::u16string_view barId) const {
  std::u16string path = m_workDir;
  path.append(netbarId).append(u"-").append(barId).append(u".dat");
  return path;
}
