#include "store/sqlite3x.h"

#include <strings.h>

#include <climits>

namespace sqlite3x {
namespace {

constexpr char kNotOpen[] = "database is not open";
constexpr char kReaderClosed[] = "reader is closed";
constexpr char kOutOfRange[] = "index out of range";

int ByteLength(std::size_t chars, std::size_t unit) {
  std::size_t bytes = chars * unit;
  if (bytes > static_cast<std::size_t>(INT_MAX)) throw database_error("string or blob too big");
  return static_cast<int>(bytes);
}

}  // namespace

database_error::database_error(const char* message) : std::runtime_error(message) {}

database_error::database_error(const connection& con)
    : std::runtime_error(sqlite3_errmsg(con.handle())) {}

// ---- connection ------------------------------------------------------------

connection::~connection() {
  if (db_ != nullptr) sqlite3_close(db_);
}

void connection::open(const std::u16string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open16(path.c_str(), &db) != SQLITE_OK) {
    // SQLite hands out a handle even when opening fails; it must still be
    // released or the file stays referenced.
    sqlite3_close(db);
    throw database_error("unable to open database");
  }
  db_ = db;
}

void connection::close() {
  if (db_ == nullptr) return;
  if (sqlite3_close(db_) != SQLITE_OK) throw database_error(*this);
  db_ = nullptr;
}

void connection::execute(std::string_view statement) {
  if (db_ == nullptr) throw database_error(kNotOpen);
  command(*this, statement).execute();
}

void connection::execute(const std::u16string& statement) {
  if (db_ == nullptr) throw database_error(kNotOpen);
  command(*this, statement).execute();
}

void connection::execute(const char16_t* statement) {
  if (db_ == nullptr) throw database_error(kNotOpen);
  command(*this, statement).execute();
}

// ---- command ---------------------------------------------------------------

command::command(connection& con, std::string_view statement) : con_(con) {
  prepare8(statement);
}

command::command(connection& con, const std::u16string& statement) : con_(con) {
  prepare16(statement.data(), ByteLength(statement.size(), sizeof(char16_t)));
}

command::command(connection& con, const char16_t* statement) : con_(con) {
  prepare16(statement, -1);
}

command::~command() { sqlite3_finalize(stmt_); }

// The _v2 forms re-prepare a statement after a schema change instead of
// failing, report the real error from step, and let the planner use an index
// for a LIKE whose pattern is a bound parameter.
void command::prepare8(std::string_view statement) {
  if (!con_.is_open()) throw database_error(kNotOpen);
  int bytes = ByteLength(statement.size(), 1);
  check(sqlite3_prepare_v2(con_.handle(), statement.data(), bytes, &stmt_, nullptr));
  column_count_ = sqlite3_column_count(stmt_);
}

void command::prepare16(const void* text, int bytes) {
  if (!con_.is_open()) throw database_error(kNotOpen);
  check(sqlite3_prepare16_v2(con_.handle(), text, bytes, &stmt_, nullptr));
  column_count_ = sqlite3_column_count(stmt_);
}

void command::check(int rc) const {
  if (rc != SQLITE_OK) throw database_error(con_);
}

void command::bind(int index, std::int32_t value) { check(sqlite3_bind_int(stmt_, index, value)); }

void command::bind(int index, std::int64_t value) {
  check(sqlite3_bind_int64(stmt_, index, value));
}

void command::bind(int index, double value) { check(sqlite3_bind_double(stmt_, index, value)); }

void command::bind(int index, const std::u16string& value) {
  check(sqlite3_bind_text16(stmt_, index, value.data(),
                            ByteLength(value.size(), sizeof(char16_t)), SQLITE_TRANSIENT));
}

void command::bind(int index, const std::string& value) {
  check(sqlite3_bind_text(stmt_, index, value.data(), ByteLength(value.size(), 1),
                          SQLITE_TRANSIENT));
}

reader command::execute_reader() { return reader(this); }

void command::execute() {
  reader r = execute_reader();
  r.read();
  r.close();
}

int command::column_index(std::string_view name) const {
  for (int i = 0; i < column_count_; ++i) {
    const char* column = sqlite3_column_name(stmt_, i);
    if (column != nullptr && name.size() == std::char_traits<char>::length(column) &&
        strncasecmp(column, name.data(), name.size()) == 0) {
      return i;
    }
  }
  throw std::out_of_range(kOutOfRange);
}

// ---- reader ----------------------------------------------------------------

reader::reader(command* cmd) { attach(cmd); }

reader::reader(const reader& other) { attach(other.cmd_); }

reader& reader::operator=(const reader& other) {
  if (this != &other) {
    command* cmd = other.cmd_;
    close();
    attach(cmd);
  }
  return *this;
}

reader::~reader() { close(); }

void reader::attach(command* cmd) {
  cmd_ = cmd;
  if (cmd_ != nullptr) ++cmd_->reader_count_;
}

void reader::close() {
  if (cmd_ == nullptr) return;
  if (--cmd_->reader_count_ == 0) sqlite3_reset(cmd_->stmt_);
  cmd_ = nullptr;
}

bool reader::read() {
  if (cmd_ == nullptr) throw database_error(kReaderClosed);
  switch (sqlite3_step(cmd_->stmt_)) {
    case SQLITE_ROW:
      return true;
    case SQLITE_DONE:
      return false;
    default:
      throw database_error(cmd_->con_);
  }
}

void reader::check_column(int i) const {
  if (cmd_ == nullptr) throw database_error(kReaderClosed);
  if (i < 0 || i > cmd_->column_count_ - 1) throw std::out_of_range(kOutOfRange);
}

std::int32_t reader::get_int(int i) const {
  check_column(i);
  return sqlite3_column_int(cmd_->stmt_, i);
}

std::int64_t reader::get_int64(int i) const {
  check_column(i);
  return sqlite3_column_int64(cmd_->stmt_, i);
}

double reader::get_double(int i) const {
  check_column(i);
  return sqlite3_column_double(cmd_->stmt_, i);
}

std::u16string reader::get_wstring(int i) const {
  check_column(i);
  // The text pointer must be fetched before its byte count.
  auto* text = static_cast<const char16_t*>(sqlite3_column_text16(cmd_->stmt_, i));
  if (text == nullptr) return {};
  return std::u16string(text, static_cast<std::size_t>(sqlite3_column_bytes16(cmd_->stmt_, i)) / 2);
}

// ---- transaction -----------------------------------------------------------

transaction::transaction(connection& con, bool start) : con_(con) {
  if (start) begin();
}

transaction::~transaction() {
  if (!in_transaction_) return;
  try {
    rollback();
  } catch (...) {  // a destructor must not throw; the handle's close ends it anyway
  }
}

void transaction::begin() {
  con_.execute("begin;");
  in_transaction_ = true;
}

void transaction::commit() {
  con_.execute("commit;");
  in_transaction_ = false;
}

void transaction::rollback() {
  con_.execute("rollback;");
  in_transaction_ = false;
}

}  // namespace sqlite3x
