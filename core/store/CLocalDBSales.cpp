// CLocalDB: sale lines, the sales query and the persistent sales counter.
#include <ctime>
#include <string>
#include <variant>
#include <vector>

#include "store/CLocalDB.h"
#include "store/StoreShapes.h"
#include "support/TextCodec.h"

namespace {

using storedetail::Fill;
using storedetail::kTabRun;
using storedetail::Wide;

constexpr std::int64_t kSalesWindow = 172800;  // 48 hours

WareSaleInfo ReadSale(const sqlite3x::reader& r) {
  WareSaleInfo s;
  s.id = r.get_wstring(0);
  s.time = r.get_int64(1);
  s.wareId = r.get_int(2);
  s.wareTypeName = r.get_wstring(3);
  s.wareName = r.get_wstring(4);
  s.wareProp = r.get_int(5);
  s.count = r.get_int(6);
  s.price = static_cast<float>(r.get_double(7));
  s.usable = r.get_int(8) != 0;
  s.sectionId = r.get_int(9);
  s.cashier = r.get_wstring(10);
  s.remark = r.get_wstring(11);
  return s;
}

void BindSale(sqlite3x::command& cmd, const WareSaleInfo& s) {
  cmd.bind(1, s.id);
  cmd.bind(2, s.time);
  cmd.bind(3, s.wareId);
  cmd.bind(4, s.wareTypeName);
  cmd.bind(5, s.wareName);
  cmd.bind(6, s.wareProp);
  cmd.bind(7, 1);  // one row per unit, whatever the record says
  cmd.bind(8, static_cast<double>(s.price));
  cmd.bind(9, static_cast<int>(s.usable));
  cmd.bind(10, s.sectionId);
  cmd.bind(11, s.cashier);
  cmd.bind(12, s.remark);
}

using Param = std::variant<std::int64_t, double, std::u16string>;

// The sales query's text and its parameters, grown one clause at a time.
struct SalesFilter {
  std::string text = "select * from tbSalesWare ";
  std::vector<Param> params;
  bool any = false;

  void Add(const char* clause, std::initializer_list<Param> values) {
    text += any ? "and" : "where";
    text += clause;
    params.insert(params.end(), values);
    any = true;
  }
  void AddIdPrefix(const std::u16string& prefix) {
    text += "where id like ? ";  // carries its own "where"
    params.emplace_back(prefix + u"%");
    any = true;
  }
  void Bind(sqlite3x::command& cmd) const {
    int index = 1;
    for (const Param& p : params) std::visit([&](const auto& v) { cmd.bind(index++, v); }, p);
  }
};

// Start and end 0 mean the last 48 hours; no window is longer than 48 hours.
void ClampWindow(std::int64_t& start, std::int64_t& end) {
  if (start == 0 && end == 0) {
    end = static_cast<std::int64_t>(std::time(nullptr));
    start = end - kSalesWindow;
  }
  if (end - start > kSalesWindow) end = start + kSalesWindow;
}

// Thread-local memory of the last checkout number each thread drew, keyed by
// store: a checkout's later units reuse its own number even when another
// checkout advanced the counter in between.
struct DrawnNumber {
  std::uint64_t store = 0;
  int number = 0;
};
thread_local DrawnNumber t_drawn;

}  // namespace

bool CLocalDB::InserWareSale(const std::vector<WareSaleInfo>& list) {
  const std::u16string statement = Wide(
      std::string("insert into tbSalesWare(id, time, wareId, wareTypeName, wareName, wareProp, "
                  "count, price, usable, sectionId, cashier, remark)") +
      kTabRun + "  values(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  return BatchWrite("CLocalDB::InserWareSale failed", [&] {
    for (const WareSaleInfo& sale : list) {
      sqlite3x::command cmd(m_connection, statement);
      BindSale(cmd, sale);
      cmd.execute();
    }
  });
}

bool CLocalDB::QueryWareSaleById(std::vector<WareSaleInfo>& list, const std::u16string& idPrefix,
                                 std::int64_t start, std::int64_t end,
                                 const std::u16string& wareName,
                                 const std::u16string& wareTypeName,
                                 const std::u16string& cashier, float price,
                                 const std::u16string& wareProp, bool includeDisabled) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  WareWorkSectionInfo section;
  if (!QueryCurrentWareWorkSection(section)) return false;
  ClampWindow(start, end);

  SalesFilter filter;
  if (!idPrefix.empty()) filter.AddIdPrefix(idPrefix);
  if (start != 0 && end != 0) filter.Add(" time > ? and time < ? ", {start, end});
  if (!wareName.empty()) filter.Add(" wareName = ? ", {wareName});
  if (!wareTypeName.empty()) filter.Add(" wareTypeName = ? ", {wareTypeName});
  if (!cashier.empty()) filter.Add(" cashier = ? ", {cashier});
  if (price != -1.0f) filter.Add(" price = ? ", {static_cast<double>(price)});
  if (!wareProp.empty()) filter.Add(" wareProp = ? ", {wareProp});
  if (!includeDisabled) filter.text += filter.any ? " and usable=1 " : "where usable=1 ";
  filter.text += "order by time desc";

  return Guarded("CLocalDB::QueryWareSaleById failed", false, [&] {
    SelectInto(
        list, Wide(filter.text), [&](sqlite3x::command& cmd) { filter.Bind(cmd); },
        [&](const sqlite3x::reader& r) {
          WareSaleInfo sale = ReadSale(r);
          sale.istimeout = sale.time <= section.beginTime;
          return sale;
        });
    return true;
  });
}

// The id is bound rather than pasted between single quotes: it comes from the
// page, and a quote in it must neither break nor extend the statement.
bool CLocalDB::DisableWareSaleById(const std::u16string& id) {
  return Guarded("CLocalDB::DisableWareSaleById failed", false, [&] {
    sqlite3x::command cmd(m_connection, u"update tbSalesWare set usable = 0, count = 0 where id=?");
    cmd.bind(1, id);
    cmd.execute();
    return true;
  });
}

int CLocalDB::QueryWareSalesCountInCurrentWorkSection(int wareId, int sectionId) {
  return Guarded("CLocalDB::QueryWareSalesCountInCurrentWorkSection failed", 0, [&] {
    sqlite3x::command cmd(m_connection, Fill("select sum(count) from tbsalesware where "
                                             "sectionid=%d and wareid=%d and usable=1",
                                             {sectionId, wareId}));
    int sum = 0;
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) sum = r.get_int(0);
    return sum;
  });
}

// ---- Sales counter -----------------------------------------------------------------

bool CLocalDB::get_ware_sales_id_from_db(int& value) {
  return Guarded("CLocalDB::get_ware_sales_id_from_db failed", false, [&] {
    sqlite3x::command cmd(m_connection, u"select curWareSalesId from tbGlobal where ID=0");
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) value = r.get_int(0);
    return true;
  });
}

bool CLocalDB::update_ware_sales_id_to_db(int value) {
  const std::u16string statement =
      Wide(std::string("update tbGlobal set curWareSalesId=?") + kTabRun + "  where ID=0");
  return BatchWrite("CLocalDB::update_ware_sales_id_to_db failed", [&] {
    sqlite3x::command cmd(m_connection, statement);
    cmd.bind(1, value);
    cmd.execute();
  });
}

bool CLocalDB::MakeWareSalesId(int i, int n, std::u16string& id, bool advance) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  if (sales_counter == 0 && !get_ware_sales_id_from_db(sales_counter)) return false;
  int number = sales_counter;
  if (advance) {
    if (!update_ware_sales_id_to_db(sales_counter + 1)) return false;
    number = ++sales_counter;
    t_drawn = {m_instance, number};
  } else if (t_drawn.store == m_instance) {
    number = t_drawn.number;
  }
  id = Fill("%d(%d/%d)", {number, i, n});
  return true;
}
