// The three shapes every CLocalDB method takes (query, batch write, plain
// write) and the statement-text helpers they share. Private to core/store.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/CLocalDB.h"
#include "support/Trace.h"

namespace storedetail {

// The five tabs the statement texts hold before "values" and "where".
inline constexpr char kTabRun[] = "\t\t\t\t\t";

// `pattern` with each "%d" replaced, in order, by the next value. The text
// grows to whatever length the values need.
std::u16string Fill(std::string_view pattern, std::initializer_list<long long> values);

// The ASCII statement texts as the wide strings the layer prepares.
std::u16string Wide(std::string_view ascii);

}  // namespace storedetail

// Runs `body` under the store's lock; any exception becomes the trace text and
// `failureValue`.
template <typename Result, typename Body>
Result CLocalDB::Guarded(const char* failureText, Result failureValue, Body&& body) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    Trace::Write(failureText);
    return failureValue;
  }
}

// All of `body` inside the store's transaction, or nothing: on failure the
// transaction is rolled back and the connection closed.
template <typename Body>
bool CLocalDB::BatchWrite(const char* failureText, Body&& body) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  try {
    if (!m_transaction) throw sqlite3x::database_error("database is not open");
    m_transaction->begin();
    std::forward<Body>(body)();
    m_transaction->commit();
    return true;
  } catch (...) {
    AbandonBatch();
    Trace::Write(failureText);
    return false;
  }
}

// Appends one record per row; the list gains nothing when the query fails
// part way, so callers never see half a result.
template <typename Row, typename Bind, typename Map>
void CLocalDB::SelectInto(std::vector<Row>& list, const std::u16string& statement, Bind&& bind,
                          Map&& map) {
  sqlite3x::command cmd(m_connection, statement);
  bind(cmd);
  std::vector<Row> rows;
  sqlite3x::reader r = cmd.execute_reader();
  while (r.read()) rows.push_back(map(r));
  r.close();
  list.insert(list.end(), std::make_move_iterator(rows.begin()),
              std::make_move_iterator(rows.end()));
}
