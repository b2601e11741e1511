// CLocalDB: cashier and material work sections, and the global row.
#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "store/CLocalDB.h"
#include "store/StoreShapes.h"
#include "support/TextCodec.h"

namespace {

using storedetail::Fill;
using storedetail::kTabRun;
using storedetail::Wide;

// Section rows are read by column name, not position: a file migrated from
// version 1 holds uuid before the columns that later rungs appended, while a
// new file holds it last, and "select *" returns them in the file's order.
constexpr std::array<const char*, 23> kWareSectionColumns = {
    "id",      "bSaveToServer", "bFinish", "beginTime", "endtime", "cashier",
    "sectionType", "barid",     "barName", "netbarid",  "pre",     "sales",
    "active",  "odd",           "upload",  "save",      "error",   "remarks",
    "nextSectionType", "WareDetails", "normalsales", "manualsales", "uuid"};

constexpr std::array<const char*, 21> kMaterialSectionColumns = {
    "id",         "bSaveToServer", "bFinish",  "beginTime", "endtime",  "netbarid",
    "barid",      "barName",       "remark",   "totalStock", "totalSales", "cupID",
    "cupStock",   "cupSales",      "cupScrap", "cupGive",   "materialDetails",
    "totalActive", "totalScrap",   "sectionType", "uuid"};

template <std::size_t N>
using Columns = std::array<int, N>;

template <std::size_t N>
Columns<N> Locate(const sqlite3x::command& cmd, const std::array<const char*, N>& names) {
  Columns<N> at{};
  for (std::size_t k = 0; k < N; ++k) at[k] = cmd.column_index(names[k]);
  return at;
}

// The handover figures are read as text; a text without a number gives 0.
float TextToFloat(const std::u16string& text) {
  std::string ascii = TextCodec::Utf16ToUtf8(text);
  const char* first = ascii.data();
  const char* last = first + ascii.size();
  while (first != last && (*first == ' ' || *first == '\t')) ++first;
  if (first != last && *first == '+') ++first;
  float value = 0.0f;
  std::from_chars(first, last, value);
  return value;
}

WareWorkSectionInfo ReadWareSection(const sqlite3x::reader& r, const Columns<23>& at) {
  WareWorkSectionInfo s;
  s.id = r.get_int(at[0]);
  s.bSaveToServer = r.get_int(at[1]) != 0;
  s.bFinish = r.get_int(at[2]) != 0;
  s.beginTime = r.get_int64(at[3]);
  s.endTime = r.get_int64(at[4]);
  s.cashier = r.get_wstring(at[5]);
  s.sectionType = r.get_wstring(at[6]);
  s.barid = r.get_wstring(at[7]);
  s.barName = r.get_wstring(at[8]);
  s.netbarid = r.get_wstring(at[9]);
  s.pre = TextToFloat(r.get_wstring(at[10]));
  s.sales = TextToFloat(r.get_wstring(at[11]));
  s.active = TextToFloat(r.get_wstring(at[12]));
  s.odd = TextToFloat(r.get_wstring(at[13]));
  s.upload = TextToFloat(r.get_wstring(at[14]));
  s.save = TextToFloat(r.get_wstring(at[15]));
  s.error = r.get_wstring(at[16]);
  s.remarks = r.get_wstring(at[17]);
  s.nextSectionType = r.get_wstring(at[18]);
  s.WareDetails = r.get_wstring(at[19]);
  s.normalsales = TextToFloat(r.get_wstring(at[20]));
  s.manualsales = TextToFloat(r.get_wstring(at[21]));
  s.uuid = r.get_wstring(at[22]);
  return s;
}

MaterialWorkSectionInfo ReadMaterialSection(const sqlite3x::reader& r, const Columns<21>& at) {
  MaterialWorkSectionInfo s;
  s.id = r.get_int(at[0]);
  s.bSaveToServer = r.get_int(at[1]) != 0;
  s.bFinish = r.get_int(at[2]) != 0;
  s.beginTime = r.get_int64(at[3]);
  s.endTime = r.get_int64(at[4]);
  s.netbarid = r.get_wstring(at[5]);
  s.barid = r.get_wstring(at[6]);
  s.barName = r.get_wstring(at[7]);
  s.remark = r.get_wstring(at[8]);
  s.totalStock = r.get_int(at[9]);
  s.totalSales = r.get_int(at[10]);
  s.cupID = r.get_int(at[11]);
  s.cupStock = r.get_int(at[12]);
  s.cupSales = r.get_int(at[13]);
  s.cupScrap = r.get_int(at[14]);
  s.cupGive = r.get_int(at[15]);
  s.materialDetails = r.get_wstring(at[16]);
  s.totalActive = r.get_int(at[17]);
  s.totalScrap = r.get_int(at[18]);
  s.sectionType = r.get_wstring(at[19]);
  s.uuid = r.get_wstring(at[20]);
  return s;
}

template <typename Row, std::size_t N, typename Read>
std::vector<Row> SelectSections(sqlite3x::connection& con, const char16_t* statement,
                                const std::array<const char*, N>& names, Read read) {
  sqlite3x::command cmd(con, statement);
  const Columns<N> at = Locate(cmd, names);
  std::vector<Row> rows;
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) rows.push_back(read(r, at));
  return rows;
}

std::vector<WareWorkSectionInfo> SelectWareSections(sqlite3x::connection& con,
                                                    const char16_t* statement) {
  return SelectSections<WareWorkSectionInfo>(con, statement, kWareSectionColumns, ReadWareSection);
}

std::vector<MaterialWorkSectionInfo> SelectMaterialSections(sqlite3x::connection& con,
                                                            const char16_t* statement) {
  return SelectSections<MaterialWorkSectionInfo>(con, statement, kMaterialSectionColumns,
                                                 ReadMaterialSection);
}

int HighestId(sqlite3x::connection& con, const char16_t* statement) {
  sqlite3x::command cmd(con, statement);
  int id = 0;
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) id = r.get_int(0);
  return id;
}

bool LastIsFinished(sqlite3x::connection& con, const char16_t* statement) {
  sqlite3x::command cmd(con, statement);
  bool finished = true;  // no section at all: a new one is needed
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) finished = r.get_int(1) == 1;
  return finished;
}

void BindWareSection(sqlite3x::command& cmd, const WareWorkSectionInfo& s) {
  cmd.bind(1, s.id);
  cmd.bind(2, static_cast<int>(s.bSaveToServer));
  cmd.bind(3, static_cast<int>(s.bFinish));
  cmd.bind(4, s.beginTime);
  cmd.bind(5, s.endTime);
  cmd.bind(6, s.cashier);
  cmd.bind(7, s.sectionType);
  cmd.bind(8, s.barid);
  cmd.bind(9, s.barName);
  cmd.bind(10, s.netbarid);
  const float figures[] = {s.pre, s.sales, s.active, s.odd, s.upload, s.save};
  int index = 11;
  for (float figure : figures) cmd.bind(index++, static_cast<double>(figure));
  cmd.bind(17, s.error);
  cmd.bind(18, s.remarks);
  cmd.bind(19, s.nextSectionType);
  cmd.bind(20, s.WareDetails);
  cmd.bind(21, static_cast<double>(s.normalsales));
  cmd.bind(22, static_cast<double>(s.manualsales));
  cmd.bind(23, s.uuid);
}

void BindMaterialSection(sqlite3x::command& cmd, const MaterialWorkSectionInfo& s) {
  cmd.bind(1, s.id);
  cmd.bind(2, static_cast<int>(s.bSaveToServer));
  cmd.bind(3, static_cast<int>(s.bFinish));
  cmd.bind(4, s.beginTime);
  cmd.bind(5, s.endTime);
  cmd.bind(6, s.netbarid);
  cmd.bind(7, s.barid);
  cmd.bind(8, s.barName);
  cmd.bind(9, s.remark);
  const int counts[] = {s.totalStock, s.totalSales, s.cupID,   s.cupStock,
                        s.cupSales,   s.cupScrap,   s.cupGive};
  int index = 10;
  for (int count : counts) cmd.bind(index++, count);
  cmd.bind(17, s.materialDetails);
  cmd.bind(18, s.totalActive);
  cmd.bind(19, s.totalScrap);
  cmd.bind(20, s.sectionType);
  cmd.bind(21, s.uuid);
}

std::u16string InsertMaterialSectionStatement() {
  const std::string separator = std::string(", ") + kTabRun;
  std::string columns;
  for (const char* column : kMaterialSectionColumns) {
    if (!columns.empty()) columns += separator;
    // The statement names the column as rung 5 added it.
    columns += std::string_view(column) == "sectionType" ? "sectiontype" : column;
  }
  std::string marks = "?";
  for (std::size_t k = 1; k < kMaterialSectionColumns.size(); ++k) marks += ",?";
  return Wide("replace into tbMaterialWorkSection(" + columns + ") values(" + marks + ")");
}

}  // namespace

// ---- Section ids and state ------------------------------------------------------------

int CLocalDB::GetCurWareWorkSectionID() {
  return Guarded("CLocalDB::GetCurWareWorkSectionID failed", 0, [&] {
    return HighestId(m_connection, u"select id from tbWareWorkSection order by id desc limit 1");
  });
}

int CLocalDB::GetCurMaterialWorkSectionID() {
  return Guarded("CLocalDB::GetCurMaterialWorkSectionID failed", 0, [&] {
    return HighestId(m_connection,
                     u"select id from tbMaterialWorkSection order by id desc limit 1");
  });
}

bool CLocalDB::NeedNewWareWorkSection() {
  return Guarded("CLocalDB::NeedNewWareWorkSection failed", false, [&] {
    return LastIsFinished(m_connection,
                          u"select id, bFinish from tbWareWorkSection order by id desc limit 1");
  });
}

bool CLocalDB::NeedNewMaterialWorkSection() {
  return Guarded("CLocalDB::NeedNewMaterialWorkSection failed", false, [&] {
    return LastIsFinished(
        m_connection, u"select id, bFinish from tbMaterialWorkSection order by id desc limit 1");
  });
}

// ---- Section records --------------------------------------------------------------------

bool CLocalDB::QueryCurrentWareWorkSection(WareWorkSectionInfo& section) {
  return Guarded("CLocalDB::QueryCurrentWareWorkSection failed", false, [&] {
    auto rows =
        SelectWareSections(m_connection, u"select * from tbWareWorkSection order by id desc limit 1");
    if (!rows.empty()) section = std::move(rows.back());
    return true;
  });
}

bool CLocalDB::QueryCurrentMaterialWorkSection(MaterialWorkSectionInfo& section) {
  return Guarded("CLocalDB::QueryCurrentMaterialWorkSection failed", false, [&] {
    auto rows = SelectMaterialSections(
        m_connection, u"select * from tbMaterialWorkSection order by id desc limit 1");
    if (!rows.empty()) section = std::move(rows.back());
    return true;
  });
}

bool CLocalDB::QueryUploadWareWorkSection(std::vector<WareWorkSectionInfo>& list) {
  return Guarded("CLocalDB::QueryUploadWareWorkSection failed", false, [&] {
    auto rows = SelectWareSections(
        m_connection,
        u"select * from tbWareWorkSection where bSaveToServer=0 and bFinish=1 order by id");
    list.insert(list.end(), rows.begin(), rows.end());
    return true;
  });
}

bool CLocalDB::QueryUploadMaterialWorkSection(std::vector<MaterialWorkSectionInfo>& list) {
  return Guarded("CLocalDB::QueryUploadMaterialWorkSection failed", false, [&] {
    auto rows = SelectMaterialSections(
        m_connection,
        u"select * from tbMaterialWorkSection where bSaveToServer=0 and bFinish=1 order by id");
    list.insert(list.end(), rows.begin(), rows.end());
    return true;
  });
}

bool CLocalDB::InserWareWorkSection(const WareWorkSectionInfo& section) {
  return Guarded("CLocalDB::InserWareWorkSection failed", false, [&] {
    sqlite3x::command cmd(
        m_connection,
        u"replace into tbWareWorkSection(id, bSaveToServer, bFinish, beginTime, endtime, cashier, "
        u"sectionType, barid, barName, netbarid,pre, sales, active, odd, upload, save, error, "
        u"remarks, nextSectionType, WareDetails, normalsales, manualsales, uuid) "
        u"values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    BindWareSection(cmd, section);
    cmd.execute();
    return true;
  });
}

bool CLocalDB::InserMaterialWorkSection(const MaterialWorkSectionInfo& section) {
  return Guarded("CLocalDB::InserMaterialWorkSection failed", false, [&] {
    sqlite3x::command cmd(m_connection, InsertMaterialSectionStatement());
    BindMaterialSection(cmd, section);
    cmd.execute();
    return true;
  });
}

bool CLocalDB::InserCup(const std::optional<MaterialInfo>& cup, int sectionId) {
  if (!cup) return false;
  return PlainWrite(
      "CLocalDB::InserCup failed",
      Fill("update tbMaterialWorkSection set cupID = %d, cupStock = %d where id=%d",
           {cup->id, cup->stock, sectionId}));
}

// ---- Global row ---------------------------------------------------------------------------

bool CLocalDB::QueryNetbarInfo(NetbarInfo& info) {
  NetbarInfoOverride override;
  bool ok = Guarded("CLocalDB::QueryNetbarInfo failed", false, [&] {
    sqlite3x::command cmd(m_connection,
                          u"select netbarid,cashier,netbarpw,barName,barID,currentworksection,"
                          u"netbarname from tbGlobal where ID=0");
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) {
      info.netbarid = r.get_wstring(0);
      info.cashier = r.get_wstring(1);
      info.netbarpw = r.get_wstring(2);
      info.barName = r.get_wstring(3);
      info.barID = r.get_wstring(4);
      info.currentworksection = r.get_wstring(5);
      info.netbarname = r.get_wstring(6);
    }
    override = m_netbarOverride;
    return true;
  });
  // Outside the store's lock: the override reads the settings file.
  if (ok && override) override(info);
  return ok;
}

bool CLocalDB::InserNetbarInfo(const NetbarInfo& info) {
  return BatchWrite("CLocalDB::InserNetbarInfo failed", [&] {
    sqlite3x::command cmd(m_connection,
                          u"update tbGlobal set netbarid=?, cashier=?, netbarpw=?, barName=?, "
                          u"barID=?, currentworksection=?, netbarname=?  where ID=0");
    const std::u16string* values[] = {&info.netbarid, &info.cashier,           &info.netbarpw,
                                      &info.barName,  &info.barID, &info.currentworksection,
                                      &info.netbarname};
    int index = 1;
    for (const std::u16string* value : values) cmd.bind(index++, *value);
    cmd.execute();
  });
}

bool CLocalDB::GetCurrentCashierName(std::u16string& cashier) {
  Guarded("CLocalDB::GetCurrentCashierName failed", false, [&] {
    sqlite3x::command cmd(m_connection, u"select cashier from tbGlobal where ID=0");
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) cashier = r.get_wstring(0);
    return true;
  });
  return true;
}

void CLocalDB::SetNetbarInfoOverride(NetbarInfoOverride override) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  m_netbarOverride = std::move(override);
}
