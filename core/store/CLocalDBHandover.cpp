// CLocalDB: the writes of a handover as one transaction, and the repair of a
// store whose latest section is finished.
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "store/CLocalDB.h"
#include "store/StoreShapes.h"
#include "support/Helpers.h"

namespace {

// The single-statement methods this builds on report failure as false; a
// throw is what rolls the whole handover back.
void Require(bool done, const char* what) {
  if (!done) throw sqlite3x::database_error(what);
}

std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

// Two handovers that read the same open section must not both close it: the
// second would replace the first's closed section and lose that shift. Only
// the open section with the highest id may be closed.
void RequireOpenLatest(sqlite3x::connection& con, std::string_view table, int id) {
  sqlite3x::command cmd(con, "select id, bFinish from " + std::string(table) +
                                 " order by id desc limit 1");
  sqlite3x::reader r = cmd.execute_reader();
  if (!r.read() || r.get_int(0) != id || r.get_int(1) != 0)
    throw sqlite3x::database_error("the section is no longer the open one");
}

}  // namespace

bool CLocalDB::FinishWareWorkSection(const WareWorkSectionInfo& closed,
                                     const std::vector<HandoverStock>& stocks,
                                     const WareWorkSectionInfo& next) {
  return Guarded("CLocalDB::FinishWareWorkSection failed", false, [&] {
    if (!m_transaction) throw sqlite3x::database_error("database is not open");
    sqlite3x::transaction tx(m_connection, true);  // rolled back unless committed
    RequireOpenLatest(m_connection, "tbWareWorkSection", closed.id);
    Require(InserWareWorkSection(closed), "closed section");
    for (const HandoverStock& stock : stocks) {
      Require(stock.combined ? SetCombinStockCount(stock.name, stock.stock)
                             : SetWareCount(stock.name, stock.stock),
              "stock");
    }
    Require(InserWareWorkSection(next), "next section");
    // Only the work section changes: the identity as read may carry the
    // offline login's cashier and password, which do not belong in the row.
    sqlite3x::command cmd(m_connection, u"update tbGlobal set currentworksection=? where ID=0");
    cmd.bind(1, next.sectionType);
    cmd.execute();
    tx.commit();
    return true;
  });
}

bool CLocalDB::FinishMaterialWorkSection(const MaterialWorkSectionInfo& closed,
                                         const std::map<int, int>& stocks,
                                         const MaterialWorkSectionInfo& next) {
  return Guarded("CLocalDB::FinishMaterialWorkSection failed", false, [&] {
    if (!m_transaction) throw sqlite3x::database_error("database is not open");
    sqlite3x::transaction tx(m_connection, true);
    RequireOpenLatest(m_connection, "tbMaterialWorkSection", closed.id);
    Require(InserMaterialWorkSection(closed), "closed section");
    for (const auto& [id, stock] : stocks) Require(SetMaterialCount(id, stock), "stock");
    Require(InserMaterialWorkSection(next), "next section");
    tx.commit();
    return true;
  });
}

bool CLocalDB::EnsureOpenWareWorkSection() {
  return Guarded("CLocalDB::EnsureOpenWareWorkSection failed", false, [&] {
    if (!NeedNewWareWorkSection()) return GetCurWareWorkSectionID() > 0;
    WareWorkSectionInfo last;
    Require(QueryCurrentWareWorkSection(last), "current section");
    WareWorkSectionInfo next;
    next.id = last.id + 1;
    next.beginTime = Now();
    next.pre = last.save;
    next.cashier = last.cashier;
    next.barName = last.barName;
    next.sectionType = last.nextSectionType;
    next.uuid = Helpers::NewGuidText();
    return InserWareWorkSection(next);
  });
}

bool CLocalDB::EnsureOpenMaterialWorkSection() {
  return Guarded("CLocalDB::EnsureOpenMaterialWorkSection failed", false, [&] {
    if (!NeedNewMaterialWorkSection()) return GetCurMaterialWorkSectionID() > 0;
    MaterialWorkSectionInfo last;
    Require(QueryCurrentMaterialWorkSection(last), "current section");
    MaterialWorkSectionInfo next;
    next.id = last.id + 1;
    next.beginTime = Now();
    next.cupID = last.cupID;
    next.uuid = Helpers::NewGuidText();
    return InserMaterialWorkSection(next);
  });
}
