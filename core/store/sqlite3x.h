// sqlite3x: the thin object layer through which the local store reaches
// SQLite. A connection owns the database handle, a command owns one prepared
// statement, a reader steps through a command's rows, and a transaction runs
// "begin;" / "commit;" / "rollback;" on a connection. Every failure is thrown
// as database_error (or std::out_of_range for a bad column index); these
// exceptions never leave the store, whose methods catch them all.
//
// Thread-safety: none of these objects locks. The store serialises every use
// of its one connection with its own mutex.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sqlite3x {

class connection;

// A failure of SQLite or of the layer, carrying one message text.
class database_error : public std::runtime_error {
 public:
  // A fixed text such as "database is not open".
  explicit database_error(const char* message);
  // SQLite's current error message for the connection (sqlite3_errmsg).
  explicit database_error(const connection& con);
};

// One database handle; null while closed.
class connection {
 public:
  connection() = default;
  ~connection();
  connection(const connection&) = delete;
  connection& operator=(const connection&) = delete;

  // Opens read-write, creating the file when missing. A new file gets UTF-16
  // text encoding because the UTF-16 open call is used. Throws
  // "unable to open database".
  void open(const std::u16string& path);
  // Closes the handle if one is held; throws when SQLite refuses.
  void close();
  bool is_open() const { return db_ != nullptr; }

  // Prepares and runs one statement, ignoring result rows. Throws
  // "database is not open" without a handle.
  void execute(std::string_view statement);
  void execute(const std::u16string& statement);
  void execute(const char16_t* statement);

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

class reader;

// One prepared statement over a connection, finalised on destruction.
class command {
 public:
  command(connection& con, std::string_view statement);
  command(connection& con, const std::u16string& statement);
  command(connection& con, const char16_t* statement);
  ~command();
  command(const command&) = delete;
  command& operator=(const command&) = delete;

  // Parameter indexes start at 1. Text is copied by SQLite. Each throws the
  // connection's error when SQLite refuses the value.
  void bind(int index, std::int32_t value);
  void bind(int index, std::int64_t value);
  void bind(int index, double value);
  void bind(int index, const std::u16string& value);
  // Narrow text, bound as UTF-8.
  void bind(int index, const std::string& value);

  reader execute_reader();
  // One step; result rows are ignored.
  void execute();

  int column_count() const { return column_count_; }
  // Position of the result column named `name` (ASCII, any letter case).
  // Throws std::out_of_range("index out of range") when there is none.
  int column_index(std::string_view name) const;

 private:
  friend class reader;
  void prepare8(std::string_view statement);
  void prepare16(const void* text, int bytes);
  void check(int rc) const;

  connection& con_;
  sqlite3_stmt* stmt_ = nullptr;
  unsigned reader_count_ = 0;
  int column_count_ = 0;
};

// Forward-only cursor over a command's rows. The statement is reset when the
// last reader over it closes. Column indexes start at 0.
class reader {
 public:
  reader() = default;
  explicit reader(command* cmd);
  reader(const reader& other);
  reader& operator=(const reader& other);
  ~reader();

  // True for a row, false when done; throws the connection's error otherwise.
  bool read();
  std::int32_t get_int(int i) const;
  std::int64_t get_int64(int i) const;
  double get_double(int i) const;
  // NULL reads as an empty text.
  std::u16string get_wstring(int i) const;
  void close();

 private:
  void attach(command* cmd);
  void check_column(int i) const;

  command* cmd_ = nullptr;
};

// "begin;" / "commit;" / "rollback;" on a connection; an open transaction is
// rolled back on destruction, any failure swallowed.
class transaction {
 public:
  transaction(connection& con, bool start);
  ~transaction();
  transaction(const transaction&) = delete;
  transaction& operator=(const transaction&) = delete;

  // Each throws on failure and changes the flag only after success.
  void begin();
  void commit();
  void rollback();
  bool in_transaction() const { return in_transaction_; }

 private:
  connection& con_;
  bool in_transaction_ = false;
};

}  // namespace sqlite3x
