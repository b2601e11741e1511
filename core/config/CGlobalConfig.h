// CGlobalConfig: the user settings store, the XML document kept scrambled in
// "Global.dat" in the work directory (format: GlobalDatFile.h and
// docs/settings.md). The local store owns one; the page's thread and the
// workers call it freely. No settings stay in memory: every operation reads
// the file afresh, works on its own CXmlDoc and, when it changes something,
// replaces the file whole. One process-wide lock makes each operation's read
// and write back one step, so concurrent setters never lose an update.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

// Receipt settings (`XiaoPiaoPrint`).
struct XiaoPiaoPrintInfo {
  bool Enable = false;
  bool AutoPrint = false;
  int Number = 0;  // copies; 0 when absent, which the checkout prints once
  std::u16string title;
  std::u16string tail;
  int FontSize = 0;
  std::u16string Printer;
  std::u16string PrinterPaperType;
};

// Order-label settings (`BuGanJiaoPrint`).
struct BuGanJiaoPrintInfo {
  bool Enable = false;
  int FontSize = 0;
  std::u16string Printer;
};

// Handover-sheet settings (`JiaoJieBanPrint`).
struct JiaoJieBanPrintInfo {
  bool Enable = false;
  bool PrintWareList = false;
  int FontSize = 0;
  std::u16string Printer;
  std::u16string PrinterPaperType;
};

// Count-check sheet settings (`PanDianPrint`).
struct PanDianPrintInfo {
  std::u16string Printer;
  std::u16string PrinterPaperType;
};

// Scanner settings (`Pos`): type 0 is a serial scanner on port `com`, 1 a
// USB or PS/2 scanner.
struct PosConfigInfo {
  int type = 0;
  std::u16string com;
};

// The remembered user (`User`).
struct UserInfo {
  std::u16string id;
  std::u16string pw;
};

// Modes the server hands down (`Sytem`).
struct SystemModeInfo {
  int barmode = 0;
  int finishworksectionmode = 0;
};

// A café (shop) login record: `ActiveNetbar` itself, or one `anb_info`.
struct ActiveNetbarInfo {
  std::u16string userid;
  std::u16string id;
  std::u16string pw;
  std::u16string barid;
  std::u16string barname;
  std::u16string db;
  std::u16string fixedworksection;
  std::u16string cashier;
};

class CGlobalConfig {
public:
  // The paper types the page offers and the printing compares against.
  static constexpr std::u16string_view kPaper58 = u"58mm热敏纸";
  static constexpr std::u16string_view kPaper80 = u"80mm热敏纸";
  static constexpr std::u16string_view kPaperA4 = u"A4纸";

  // The store of the process's work directory.
  CGlobalConfig();
  // The store of "Global.dat" in `workDir` (a trailing "/" is added).
  explicit CGlobalConfig(const std::string& workDir);

  const std::string& FilePath() const { return m_path; }

  // The whole document text. True when the file was read (an empty file
  // gives empty text); false when it is missing or unreadable.
  bool LoadGlobalConfig(std::u16string& text) const;
  // Merges the login history into `text` (it is replaced by the merged
  // text), then replaces the file with it. False when the file could not be
  // written; the old file then stays as it was.
  bool SaveGlobalConfig(std::u16string& text);
  // Brings the file up to date at every start: a missing or empty file gets
  // the default document; an existing one gets `modifyPwURL` and the core's
  // version, `barmode` reset to 0, and what older files lack. A file that
  // exists but cannot be read is left alone. Always true, so a broken
  // settings file never stops the core.
  bool InitGlobalConfig(std::u16string_view modifyPwURL);

  // Readers: true when the file was read and `Config` holds the section;
  // otherwise the record is left untouched. Missing attributes read as empty
  // text or 0.
  bool GetXiaoPiaoPrint(XiaoPiaoPrintInfo& info) const;
  bool GetBuGanJiaoPrint(BuGanJiaoPrintInfo& info) const;
  bool GetJiaoJieBanPrint(JiaoJieBanPrintInfo& info) const;
  bool GetPanDianPrint(PanDianPrintInfo& info) const;
  bool GetPosConfig(PosConfigInfo& info) const;
  bool GetUserInfo(UserInfo& info) const;
  bool GetSystemMode(SystemModeInfo& info) const;
  // All eight fields from `ActiveNetbar`'s own attributes.
  bool GetActiveNetbar(ActiveNetbarInfo& info) const;
  // True when `ActiveNetbar` exists; the record is filled only from the first
  // `anb_info` whose `userid` equals `userid` exactly, else left untouched.
  bool GetNetbarInfoByUser(std::u16string_view userid, ActiveNetbarInfo& info) const;
  // True only when a `LocalUserInfo` with that `id` exists.
  bool GetLocalUserInfo(std::u16string_view id, std::u16string& pw) const;

  // Writers: true when the change was saved; false when the file could not
  // be read, lacks the section, or could not be written.
  // Sets six attributes on `ActiveNetbar` and all eight on the first
  // `anb_info` of the record's `userid`, appending one when there is none.
  bool SetActiveNetbar(const ActiveNetbarInfo& info);
  // Updates the entry of `id`, or appends one; adds `LocalLogin` if missing.
  bool SetLocalUserInfo(std::u16string_view id, std::u16string_view pw);
  bool SetSystemMode(int barmode, int finishworksectionmode);
  bool SetWorkSectionList(std::u16string_view text);

  // The local database file of a café and bar: work directory, netbar id,
  // "-", bar id, ".dat".
  std::u16string GetDBFilePath(std::u16string_view netbarId, std::u16string_view barId) const;

private:
  bool SaveLocked(std::u16string& text);

  std::u16string m_workDir;
  std::string m_path;

  // Guards "Global.dat" (of any work directory): held for the whole of each
  // operation, so no read-modify-write interleaves with another read or
  // write, whichever instance or thread runs it.
  static std::mutex s_fileLock;
};
