// CLocalDB: wares, ware types, combined-mode stock, materials and the taste
// list.
#include <string>

#include "store/CLocalDB.h"
#include "store/FirstLetters.h"
#include "store/StoreShapes.h"

namespace {

using storedetail::Fill;
using storedetail::kTabRun;
using storedetail::Wide;

// Wares are read with "select *", so by their position in tbWare.
WareInfo ReadWare(const sqlite3x::reader& r) {
  WareInfo w;
  w.id = r.get_int(0);
  w.name = r.get_wstring(1);
  w.unitName = r.get_wstring(2);
  w.usable = r.get_int(3) != 0;
  w.typeId = r.get_int(4);
  w.barcode = r.get_wstring(5);
  w.price = static_cast<float>(r.get_double(6));
  w.properties = r.get_int(7);
  w.stock = r.get_int(8);
  w.total = r.get_int(9);
  w.orderId = r.get_int(10);
  w.isdel = r.get_int(12) != 0;
  w.number = r.get_int(13);
  return w;
}

WareTypeInfo ReadWareType(const sqlite3x::reader& r) {
  WareTypeInfo t;
  t.id = r.get_int(0);
  t.name = r.get_wstring(1);
  t.usable = r.get_int(2) != 0;
  return t;
}

CombinStockInfo ReadCombinStock(const sqlite3x::reader& r) {
  CombinStockInfo c;
  c.typeId = r.get_int(0);
  c.price = static_cast<float>(r.get_double(1));
  c.stock = r.get_int(2);
  c.name = r.get_wstring(3);
  c.type_name = r.get_wstring(4);
  return c;
}

MaterialInfo ReadMaterial(const sqlite3x::reader& r) {
  MaterialInfo m;
  m.id = r.get_int(0);
  m.name = r.get_wstring(1);
  m.unit_name = r.get_wstring(2);
  m.stock = r.get_int(3);
  m.total = r.get_int(4);
  m.isdel = r.get_int(5) != 0;
  m.sales = r.get_int(6);
  m.scrap = r.get_int(7);
  m.give = r.get_int(8);
  return m;
}

const auto kNoBinds = [](sqlite3x::command&) {};

std::u16string InsertWareStatement() {
  return Wide(std::string(
                  "REPLACE into tbWare(id, name, unitName, usable, typeid, barcode, price, "
                  "properties, stock, total, orderId, firstLetter, isdel, number)") +
              kTabRun + "  values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
}

void BindWare(sqlite3x::command& cmd, const WareInfo& w) {
  cmd.bind(1, w.id);
  cmd.bind(2, w.name);
  cmd.bind(3, w.unitName);
  cmd.bind(4, static_cast<int>(w.usable));
  cmd.bind(5, w.typeId);
  cmd.bind(6, w.barcode);
  cmd.bind(7, static_cast<double>(w.price));
  cmd.bind(8, w.properties);
  cmd.bind(9, w.stock);
  cmd.bind(10, w.total);
  cmd.bind(11, w.orderId);
  cmd.bind(12, MakeFirstLetters(w.name));
  cmd.bind(13, static_cast<int>(w.isdel));
  cmd.bind(14, w.number);
}

void BindMaterial(sqlite3x::command& cmd, const MaterialInfo& m) {
  cmd.bind(1, m.id);
  cmd.bind(2, m.name);
  cmd.bind(3, m.unit_name);
  cmd.bind(4, m.stock);
  cmd.bind(5, m.total);
  cmd.bind(6, static_cast<int>(m.isdel));
  cmd.bind(7, m.sales);
  cmd.bind(8, m.scrap);
  cmd.bind(9, m.give);
}

}  // namespace

// ---- Ware queries -------------------------------------------------------------

bool CLocalDB::QueryWareByBarCode(std::vector<WareInfo>& list, const std::u16string& barcode) {
  return Guarded("CLocalDB::QueryWareByBarCode failed", false, [&] {
    SelectInto(list, u"select * from tbWare where barcode = ? and isdel = 0 COLLATE NOCASE limit 7",
               [&](sqlite3x::command& cmd) { cmd.bind(1, barcode); }, ReadWare);
    return true;
  });
}

bool CLocalDB::QueryWareByFirstLetter(std::vector<WareInfo>& list, const std::u16string& text) {
  return Guarded("CLocalDB::QueryWareByFirstLetter failed", false, [&] {
    SelectInto(
        list, u"select * from tbware where firstletter like ? and isdel = 0 COLLATE NOCASE limit 7",
        [&](sqlite3x::command& cmd) { cmd.bind(1, text + u"%"); }, ReadWare);
    return true;
  });
}

bool CLocalDB::QueryWareByID(std::vector<WareInfo>& list, int id) {
  return Guarded("CLocalDB::QueryWareByID failed", false, [&] {
    SelectInto(list, Fill("select * from tbWare where isdel=0 and id = %d", {id}), kNoBinds,
               ReadWare);
    return true;
  });
}

bool CLocalDB::QueryWareByName(std::vector<WareInfo>& list, const std::u16string& name) {
  return Guarded("CLocalDB::QueryWareByName failed", false, [&] {
    SelectInto(list, u"select * from tbWare where isdel=0 and name=?",
               [&](sqlite3x::command& cmd) { cmd.bind(1, name); }, ReadWare);
    return true;
  });
}

bool CLocalDB::QueryWareByType(std::vector<WareInfo>& list, int typeId) {
  return Guarded("CLocalDB::QueryWareByType failed", false, [&] {
    SelectInto(list, u"select * from tbWare where isdel=0 and typeid = ?",
               [&](sqlite3x::command& cmd) { cmd.bind(1, typeId); }, ReadWare);
    return true;
  });
}

bool CLocalDB::QueryWareByOrder(std::vector<WareInfo>& list) {
  return Guarded("CLocalDB::QueryWareByOrder failed", false, [&] {
    SelectInto(list, u"select * from tbWare where isdel=0 and usable!=0 order by orderId",
               kNoBinds, ReadWare);
    return true;
  });
}

std::optional<WareInfo> CLocalDB::GetWareByID(int id) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  std::vector<WareInfo> found;
  if (!QueryWareByID(found, id) || found.empty()) return std::nullopt;
  return std::move(found.front());
}

// ---- Ware types -----------------------------------------------------------------

bool CLocalDB::QueryWareType(std::vector<WareTypeInfo>& list, int limit) {
  return Guarded("CLocalDB::QueryWareType failed", false, [&] {
    SelectInto(list, Fill("select * from tbWareType where usable=1 limit %d", {limit}), kNoBinds,
               ReadWareType);
    return true;
  });
}

bool CLocalDB::QueryWareTypeNameById(int typeId, std::u16string& name) {
  return Guarded("CLocalDB::QueryWareTypeNameById failed", false, [&] {
    sqlite3x::command cmd(m_connection, Fill("select name from tbWareType where id = %d", {typeId}));
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) name = r.get_wstring(0);
    return true;
  });
}

bool CLocalDB::InserWareType(const std::vector<WareTypeInfo>& list) {
  const std::u16string statement =
      Wide(std::string("REPLACE into tbWareType(id, name, usable)") + kTabRun +
           "  values(?, ?, ?)");
  return BatchWrite("CLocalDB::InserWareType failed", [&] {
    for (const WareTypeInfo& type : list) {
      if (type.name.empty()) continue;  // the server sends blank types; they are not stored
      sqlite3x::command cmd(m_connection, statement);
      cmd.bind(1, type.id);
      cmd.bind(2, type.name);
      cmd.bind(3, static_cast<int>(type.usable));
      cmd.execute();
    }
  });
}

// ---- Combined-mode stock ------------------------------------------------------------

// The name is bound, not pasted between quotes: a quote in it can neither
// break the statement nor change what it does, and a name that happens to
// spell a column ("name") is still compared as text.
bool CLocalDB::QueryWare(const std::u16string& name, CombinStockInfo& info) {
  return Guarded("CLocalDB::QueryWare failed", false, [&] {
    std::vector<CombinStockInfo> found;
    SelectInto(found, u"select * from tbCombinModeWareStock where name = ?",
               [&](sqlite3x::command& cmd) { cmd.bind(1, name); }, ReadCombinStock);
    if (found.empty()) return false;
    info = std::move(found.front());
    return true;
  });
}

bool CLocalDB::QueryWare(std::vector<CombinStockInfo>& list) {
  return Guarded("CLocalDB::QueryWare failed", false, [&] {
    SelectInto(list, u"select * from tbCombinModeWareStock", kNoBinds, ReadCombinStock);
    return true;
  });
}

bool CLocalDB::InserCombinStock(const std::vector<CombinStockInfo>& list) {
  const std::u16string statement =
      Wide(std::string("REPLACE into tbCombinModeWareStock(typeid, price, stock, name, type_name)") +
           kTabRun + "  values(?, ?, ?, ?, ?)");
  return BatchWrite("CLocalDB::InserCombinStock failed", [&] {
    for (const CombinStockInfo& stock : list) {
      sqlite3x::command cmd(m_connection, statement);
      cmd.bind(1, stock.typeId);
      cmd.bind(2, static_cast<double>(stock.price));
      cmd.bind(3, stock.stock);
      cmd.bind(4, stock.name);
      cmd.bind(5, stock.type_name);
      cmd.execute();
    }
  });
}

void CLocalDB::ClearCombinStock() {
  PlainWrite("CLocalDB::ClearCombinStock failed", u"DELETE FROM tbCombinModeWareStock");
}

bool CLocalDB::SetCombinStockCount(const std::u16string& name, int stock) {
  return Guarded("CLocalDB::SetWareCount failed", false, [&] {
    sqlite3x::command cmd(m_connection,
                          Fill("update tbCombinModeWareStock set stock=%d where name=?", {stock}));
    cmd.bind(1, name);
    cmd.execute();
    return true;
  });
}

// ---- Catalogue writes ---------------------------------------------------------------

bool CLocalDB::InsertWare(const std::vector<WareInfo>& list) {
  const std::u16string statement = InsertWareStatement();
  return BatchWrite("CLocalDB::InsertWare failed", [&] {
    for (const WareInfo& ware : list) {
      sqlite3x::command cmd(m_connection, statement);
      BindWare(cmd, ware);
      cmd.execute();
    }
  });
}

bool CLocalDB::SetWareCount(int id, int stock) {
  return PlainWrite("CLocalDB::SetWareCount failed",
                    Fill("update tbWare set stock=%d where id=%d", {stock, id}));
}

bool CLocalDB::SetWareCount(const std::u16string& name, int stock) {
  return Guarded("CLocalDB::SetWareCount failed", false, [&] {
    sqlite3x::command cmd(m_connection, Fill("update tbWare set stock=%d where name=?", {stock}));
    cmd.bind(1, name);
    cmd.execute();
    return true;
  });
}

bool CLocalDB::SetWareCount(const std::map<int, int>& stocks) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  try {
    if (!m_transaction) throw sqlite3x::database_error("database is not open");
    m_transaction->begin();
    for (const auto& [id, stock] : stocks) {
      if (!SetWareCount(id, stock)) throw sqlite3x::database_error("SetWareCount failed");
    }
    m_transaction->commit();
    return true;
  } catch (...) {
    try {
      if (m_transaction) m_transaction->rollback();
    } catch (...) {  // nothing was begun
    }
    Trace::Write("CLocalDB::SetWareCount(map version) failed");
    return false;
  }
}

bool CLocalDB::SetWareOrder(int id, int order) {
  return PlainWrite("CLocalDB::SetWareOrder failed",
                    Fill("update tbWare set orderId=%d where id=%d", {order, id}));
}

// ---- Materials -----------------------------------------------------------------------

bool CLocalDB::QueryMaterial(std::vector<MaterialInfo>& list) {
  return Guarded("CLocalDB::QueryMaterial failed", false, [&] {
    SelectInto(list, u"select * from tbMaterial where isdel=0", kNoBinds, ReadMaterial);
    return true;
  });
}

std::optional<MaterialInfo> CLocalDB::QueryMaterialByID(int id) {
  return Guarded("CLocalDB::QueryMaterialByID failed", std::optional<MaterialInfo>(), [&] {
    std::vector<MaterialInfo> found;
    SelectInto(found, Fill("select * from tbMaterial where isdel=0 and id = %d", {id}), kNoBinds,
               ReadMaterial);
    return found.empty() ? std::optional<MaterialInfo>() : std::move(found.front());
  });
}

bool CLocalDB::InserMaterial(const std::vector<MaterialInfo>& list) {
  const std::u16string statement =
      Wide(std::string("replace into tbMaterial(id, name, unit_name, stock, total, isdel, sales, "
                       "scrap, give)") +
           kTabRun + "  values(?, ?, ?, ?, ?, ?, ?, ?, ?)");
  return BatchWrite("CLocalDB::InserMaterial failed", [&] {
    for (const MaterialInfo& material : list) {
      sqlite3x::command cmd(m_connection, statement);
      BindMaterial(cmd, material);
      cmd.execute();
    }
  });
}

bool CLocalDB::SetMaterialCount(int id, int stock) {
  return PlainWrite("CLocalDB::SetMaterialCount failed",
                    Fill("update tbMaterial set stock=%d where id=%d", {stock, id}));
}

// ---- Taste list ------------------------------------------------------------------------

bool CLocalDB::QueryTaste(std::u16string& taste) {
  return Guarded("CLocalDB::QueryTaste failed", false, [&] {
    sqlite3x::command cmd(m_connection, u"select taste from tbGlobal where ID=0");
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) taste = r.get_wstring(0);
    return true;
  });
}

bool CLocalDB::InserTaste(const std::u16string& taste) {
  return Guarded("CLocalDB::InserTaste failed", false, [&] {
    sqlite3x::command cmd(m_connection, u"update tbGlobal set taste=? where ID=0");
    cmd.bind(1, taste);
    cmd.execute();
    return true;
  });
}
