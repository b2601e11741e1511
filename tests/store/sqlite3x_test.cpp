#include "store/sqlite3x.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "StoreTestDir.h"

namespace {

class Sqlite3x : public StoreTestDir {
 protected:
  void SetUp() override {
    StoreTestDir::SetUp();
    con.open(DbPath());
    con.execute("create table t (a INTEGER, b TEXT)");
  }
  int Rows() {
    sqlite3x::command cmd(con, "select count(*) from t");
    sqlite3x::reader r = cmd.execute_reader();
    r.read();
    return r.get_int(0);
  }
  sqlite3x::connection con;
};

template <typename F>
std::string DatabaseErrorOf(F&& f) {
  try {
    f();
  } catch (const sqlite3x::database_error& e) {
    return e.what();
  }
  return "<no database_error>";
}

}  // namespace

TEST_F(Sqlite3x, NewFileIsUtf16) {
  sqlite3x::command cmd(con, "PRAGMA encoding");
  sqlite3x::reader r = cmd.execute_reader();
  ASSERT_TRUE(r.read());
  EXPECT_EQ(U8(r.get_wstring(0)), "UTF-16le");
}

TEST_F(Sqlite3x, EmptyTableReadsNoRow) {
  sqlite3x::command cmd(con, u"select * from t");
  sqlite3x::reader r = cmd.execute_reader();
  EXPECT_FALSE(r.read());
}

TEST_F(Sqlite3x, SumOverNoRowsReadsZeroAndNullTextReadsEmpty) {
  sqlite3x::command cmd(con, "select sum(a), max(b) from t");
  sqlite3x::reader r = cmd.execute_reader();
  ASSERT_TRUE(r.read());
  EXPECT_EQ(r.get_int(0), 0);
  EXPECT_EQ(r.get_wstring(1), u"");
}

TEST_F(Sqlite3x, ColumnPastTheLastIsOutOfRange) {
  sqlite3x::command cmd(con, "select a, b from t");
  ASSERT_EQ(cmd.column_count(), 2);
  sqlite3x::reader r = cmd.execute_reader();
  try {
    r.get_int(2);
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "index out of range");
  }
  EXPECT_THROW(r.get_wstring(-1), std::out_of_range);
}

TEST_F(Sqlite3x, ClosedReaderRefusesEveryCall) {
  sqlite3x::command cmd(con, "select a from t");
  sqlite3x::reader r = cmd.execute_reader();
  r.close();
  EXPECT_EQ(DatabaseErrorOf([&] { r.read(); }), "reader is closed");
  EXPECT_EQ(DatabaseErrorOf([&] { r.get_int(0); }), "reader is closed");
}

TEST_F(Sqlite3x, TextRoundTripsAsUtf16AndNarrowAsUtf8) {
  const std::u16string wide = U16("可乐 \"x\" 'y'");
  {
    sqlite3x::command cmd(con, u"insert into t values(?, ?)");
    cmd.bind(1, 1);
    cmd.bind(2, wide);
    cmd.execute();
  }
  {
    sqlite3x::command cmd(con, u"insert into t values(?, ?)");
    cmd.bind(1, std::int64_t{4102444800});  // beyond 32 bits
    cmd.bind(2, std::string("KL\xe5\x8f\xaf"));
    cmd.execute();
  }
  sqlite3x::command cmd(con, "select a, b from t order by a");
  sqlite3x::reader r = cmd.execute_reader();
  ASSERT_TRUE(r.read());
  EXPECT_EQ(r.get_wstring(1), wide);
  ASSERT_TRUE(r.read());
  EXPECT_EQ(r.get_int64(0), 4102444800);
  EXPECT_EQ(r.get_wstring(1), U16("KL可"));
}

TEST_F(Sqlite3x, ReaderCopiesShareTheStatementUntilTheLastCloses) {
  con.execute("insert into t values(1, 'a'), (2, 'b')");
  sqlite3x::command cmd(con, "select a from t order by a");
  sqlite3x::reader first = cmd.execute_reader();
  ASSERT_TRUE(first.read());
  sqlite3x::reader second = first;
  first.close();  // one reader is still open, so the cursor stays where it is
  ASSERT_TRUE(second.read());
  EXPECT_EQ(second.get_int(0), 2);
  second.close();  // the last one resets the statement: reading starts over
  sqlite3x::reader again = cmd.execute_reader();
  ASSERT_TRUE(again.read());
  EXPECT_EQ(again.get_int(0), 1);
}

TEST_F(Sqlite3x, FailuresCarrySqlitesMessage) {
  EXPECT_NE(DatabaseErrorOf([&] { con.execute("select * from missing"); })
                .find("no such table: missing"),
            std::string::npos);
  sqlite3x::command cmd(con, "select a from t where a = ?");
  EXPECT_EQ(DatabaseErrorOf([&] { cmd.bind(2, 1); }), "column index out of range");
}

TEST_F(Sqlite3x, ClosedConnectionRefusesStatements) {
  con.close();
  con.close();  // closing twice is harmless
  EXPECT_EQ(DatabaseErrorOf([&] { con.execute("select 1"); }), "database is not open");
  EXPECT_EQ(DatabaseErrorOf([&] { sqlite3x::command cmd(con, u"select 1"); }),
            "database is not open");
}

TEST_F(Sqlite3x, OpenFailureIsReported) {
  sqlite3x::connection other;
  EXPECT_EQ(DatabaseErrorOf([&] { other.open(DbPath() + u"/missing-folder/x.dat"); }),
            "unable to open database");
  EXPECT_FALSE(other.is_open());
}

TEST_F(Sqlite3x, TransactionRollsBackUnlessCommitted) {
  {
    sqlite3x::transaction tx(con, false);
    tx.begin();
    con.execute("insert into t values(1, 'a')");
  }
  EXPECT_EQ(Rows(), 0);
  sqlite3x::transaction tx(con, true);
  con.execute("insert into t values(1, 'a')");
  tx.commit();
  EXPECT_FALSE(tx.in_transaction());
  EXPECT_EQ(Rows(), 1);
}

TEST_F(Sqlite3x, FailedBeginLeavesTheFlagClear) {
  sqlite3x::transaction outer(con, true);
  sqlite3x::transaction inner(con, false);
  EXPECT_THROW(inner.begin(), sqlite3x::database_error);  // no nesting in SQLite
  EXPECT_FALSE(inner.in_transaction());
  EXPECT_TRUE(outer.in_transaction());
}
