// CLocalDB: opening the file, schema versions, the migration ladder, and the
// failure paths shared by every method.
#include "store/CLocalDB.h"

#include <atomic>
#include <string>
#include <vector>

#include "store/StoreShapes.h"
#include "support/TextCodec.h"

namespace storedetail {

std::u16string Fill(std::string_view pattern, std::initializer_list<long long> values) {
  std::string text;
  const long long* next = values.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "%d") == 0 && next != values.end()) {
      text += std::to_string(*next++);
      ++i;
    } else {
      text += pattern[i];
    }
  }
  return TextCodec::Ascii(text);
}

std::u16string Wide(std::string_view ascii) { return TextCodec::Ascii(ascii); }

}  // namespace storedetail

namespace {

using storedetail::Fill;

std::uint64_t NextInstance() {
  static std::atomic<std::uint64_t> counter{0};
  return ++counter;
}

// Version 8 of every object, in creation order.
const char* const kSchema[] = {
    "create table IF NOT EXISTS tbGlobal (id INTEGER PRIMARY KEY, netbarid TEXT, netbarpw TEXT, "
    "netbarname TEXT, cashier TEXT, barName TEXT, barID TEXT, currentworksection TEXT, "
    "curWareSalesId INTEGER, config TEXT, dbversion INTEGER, taste TEXT)",
    R"(insert or ignore into tbGlobal values(0,"","","","","","",1,0,"",0,""))",
    "create table IF NOT EXISTS tbWareType (id INTEGER PRIMARY KEY, name TEXT, usable INTEGER)",
    "create table IF NOT EXISTS tbWare (id INTEGER PRIMARY KEY, name TEXT, unitName TEXT, "
    "usable INTEGER, typeid INTEGER REFERENCES tbWareType(id), barcode TEXT, price REAL, "
    "properties INTEGER, stock INTEGER, total INTEGER, orderId INTEGER, firstLetter TEXT, "
    "isdel INTEGER, number INTEGER)",
    "CREATE INDEX IF NOT EXISTS index_tbWare_order on tbWare (orderId)",
    "CREATE INDEX IF NOT EXISTS index_tbWare_firstLetter on tbWare (firstLetter)",
    "create table IF NOT EXISTS tbCombinModeWareStock (typeid INTEGER, price REAL, "
    "stock INTEGER, name TEXT, type_name TEXT, constraint pk_t2 primary key (typeid,price))",
    "create table IF NOT EXISTS tbWareWorkSection (id INTEGER PRIMARY KEY, "
    "bSaveToServer INTEGER, bFinish INTEGER, beginTime INTEGER, endtime INTEGER, cashier TEXT, "
    "sectionType TEXT, barid TEXT, barName TEXT, netbarid TEXT, pre REAL, sales REAL, "
    "active REAL, odd REAL, upload REAL, save REAL, error TEXT, remarks TEXT, "
    "nextSectionType TEXT, WareDetails TEXT, normalsales REAL, manualsales REAL, uuid TEXT)",
    "create table IF NOT EXISTS tbSalesWare (id TEXT, time INTEGER, "
    "wareId INTEGER REFERENCES tbWare(id), wareTypeName TEXT, wareName TEXT, wareProp INTEGER, "
    "count INTEGER, price REAL, usable INTEGER, "
    "sectionId INTEGER REFERENCES tbWareWorkSection(id), cashier TEXT, remark TEXT)",
    "create table IF NOT EXISTS tbMaterial (id INTEGER PRIMARY KEY, name TEXT, "
    "unit_name TEXT, stock INTEGER, total INTEGER, isdel INTEGER, sales INTEGER, "
    "scrap INTEGER, give INTEGER)",
    "create table IF NOT EXISTS tbMaterialWorkSection (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "bSaveToServer INTEGER, bFinish INTEGER, beginTime INTEGER, endtime INTEGER, "
    "netbarid TEXT, barid TEXT, barName TEXT, remark TEXT, totalStock INTEGER, "
    "totalSales INTEGER, cupID INTEGER, cupStock INTEGER, cupSales INTEGER, cupScrap INTEGER, "
    "cupGive INTEGER, materialDetails TEXT, totalActive INTEGER, totalScrap INTEGER, "
    "sectionType TEXT, uuid TEXT)",
};

struct Rung {
  int from;
  std::vector<std::string> statements;
};

std::string Tabbed(std::initializer_list<const char*> parts) {
  std::string text;
  for (const char* part : parts) {
    if (!text.empty()) text += storedetail::kTabRun;
    text += part;
  }
  return text;
}

// Each rung lifts a file by one version; one start climbs as far as it can.
const std::vector<Rung>& Ladder() {
  static const std::vector<Rung> ladder = {
      {1,
       {"alter table tbMaterial add sales INTEGER", "alter table tbMaterial add scrap INTEGER",
        "alter table tbMaterial add give INTEGER", "alter table tbGlobal add dbversion INTEGER"}},
      {2,
       {"alter table tbMaterialWorkSection add totalActive INTEGER",
        "alter table tbMaterialWorkSection add totalScrap INTEGER"}},
      {3, {"alter table tbGlobal add taste TEXT", "alter table tbSalesWare add remark TEXT"}},
      {4,
       {Tabbed({"create table IF NOT EXISTS tbCombinModeWareStock", "(typeid INTEGER,",
                "price REAL,", "stock INTEGER,", "constraint pk_t2 primary key (typeid,price))"})}},
      {5,
       {"alter table tbMaterialWorkSection add sectiontype TEXT",
        "alter table tbWareWorkSection add normalsales REAL",
        "alter table tbWareWorkSection add manualsales REAL"}},
      {6,
       {"alter table tbCombinModeWareStock add name TEXT",
        "alter table tbCombinModeWareStock add type_name TEXT"}},
      {7,
       {Tabbed({"create table tbSalesWare11", "(id TEXT,", "time INTEGER,",
                "wareId INTEGER REFERENCES tbWare(id),", "wareTypeName TEXT,", "wareName TEXT,",
                "wareProp INTEGER,", "count INTEGER,", "price REAL,", "usable INTEGER,",
                "sectionId INTEGER REFERENCES tbWareWorkSection(id),", "cashier TEXT,",
                "remark TEXT)"}),
        "insert into tbSalesWare11 select * from tbSalesWare", "drop table tbSalesWare",
        "alter table tbSalesWare11 rename to tbSalesWare"}},
  };
  return ladder;
}

// Not part of the fixed schema: a write-ahead log, so that a commit costs one
// flush of the log instead of the rollback journal's several (every commit is
// still flushed to disk before it returns), and indexes that only speed up
// the counter's searches (barcode, first letters in either case, the sales
// window). Applied at every open, so files made without them gain them.
const char* const kFastPaths[] = {
    "PRAGMA journal_mode=WAL",
    "PRAGMA synchronous=FULL",
    "CREATE INDEX IF NOT EXISTS index_tbWare_barcode on tbWare (barcode)",
    ("CREATE INDEX IF NOT EXISTS index_tbWare_firstLetter_nocase on tbWare "
     "(firstLetter COLLATE NOCASE)"),
    "CREATE INDEX IF NOT EXISTS index_tbSalesWare_time on tbSalesWare (time)",
};

}  // namespace

CLocalDB::CLocalDB() : m_instance(NextInstance()) {}

CLocalDB::~CLocalDB() {
  // The transaction refers to the connection, so it goes first.
  m_transaction.reset();
}

bool CLocalDB::InitDB(const std::u16string& dbPath) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  try {
    // A failed earlier start may have left the file open.
    m_connection.close();
    db_path = dbPath;
    m_connection.open(db_path);
    MigrateTo8();
    ApplyFastPaths();
    m_transaction = std::make_unique<sqlite3x::transaction>(m_connection, false);
    return true;
  } catch (...) {
    // Not traced: the login simply tries again at the next attempt.
    return false;
  }
}

bool CLocalDB::IsOpen() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_transaction != nullptr;
}

// Each rung runs in its own transaction together with its version bump, so a
// failing rung leaves the file exactly at its old version and the next start
// can run the same rung again from the beginning.
void CLocalDB::MigrateTo8() {
  int version = GetDBVersion();
  for (const Rung& rung : Ladder()) {
    if (version != rung.from) continue;
    sqlite3x::transaction tx(m_connection, true);
    for (const std::string& statement : rung.statements) m_connection.execute(statement);
    if (!SetDBVersion(rung.from + 1)) throw sqlite3x::database_error("unable to set dbversion");
    tx.commit();
    version = GetDBVersion();
  }
  // Version 0 also stands for "the check failed" (a locked file, say); an
  // existing file must never be taken for a new one and stamped version 8.
  if (version == 0) {
    if (GlobalTableExists()) throw sqlite3x::database_error("schema version unreadable");
    CreateSchema();
  }
}

// A new file gets every object at once or none, so an interrupted creation
// cannot leave a half-made file that the ladder would take for version 1.
void CLocalDB::CreateSchema() {
  sqlite3x::transaction tx(m_connection, true);
  for (const char* statement : kSchema) m_connection.execute(std::string_view(statement));
  if (!SetDBVersion(8)) throw sqlite3x::database_error("unable to set dbversion");
  tx.commit();
}

void CLocalDB::ApplyFastPaths() {
  if (GetDBVersion() != 8) return;  // a newer file is left alone
  for (const char* statement : kFastPaths) {
    try {
      m_connection.execute(std::string_view(statement));
    } catch (...) {  // only speed is lost
    }
  }
}

bool CLocalDB::GlobalTableExists() {
  sqlite3x::command cmd(m_connection,
                        u"SELECT COUNT(*)  as CNT FROM sqlite_master where type='table' and "
                        u"name='tbGlobal'");
  int count = 0;
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) count = r.get_int(0);
  return count != 0;
}

bool CLocalDB::IsTableExist() {
  return Guarded("CLocalDB::IsTableExist failed", false, [&] { return GlobalTableExists(); });
}

int CLocalDB::GetDBVersion() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (!IsTableExist()) return 0;
  int version = 0;
  try {
    sqlite3x::command cmd(m_connection, u"select dbversion from tbGlobal");
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) version = r.get_int(0);
  } catch (...) {  // a file from before the column existed: version 1
  }
  return version == 0 ? 1 : version;
}

bool CLocalDB::SetDBVersion(int version) {
  return PlainWrite("CLocalDB::SetDBVersion failed",
                    Fill("update tbGlobal set dbversion=%d", {version}));
}

bool CLocalDB::PlainWrite(const char* failureText, const std::u16string& statement) {
  return Guarded(failureText, false, [&] {
    m_connection.execute(statement);
    return true;
  });
}

void CLocalDB::AbandonBatch() {
  try {
    if (m_transaction) m_transaction->rollback();
  } catch (...) {  // no transaction was active, or the handle is gone
  }
  try {
    m_connection.close();
  } catch (...) {  // SQLite kept the handle; later calls still fail on it
  }
}
