// Fixtures for the store tests: a fresh temporary folder per test holding a
// real SQLite file, a second connection to the same file for arranging and
// inspecting rows behind the store's back, and a test base with an open
// store on top.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/TestText.h"
#include "store/CLocalDB.h"
#include "store/sqlite3x.h"

// A direct connection to a store file, independent of CLocalDB.
class RawDb {
 public:
  explicit RawDb(const std::u16string& path) { con_.open(path); }

  void Exec(std::string_view statement) { con_.execute(statement); }
  // The first column of every row, as text.
  std::vector<std::string> Column(std::string_view statement) {
    sqlite3x::command cmd(con_, statement);
    std::vector<std::string> values;
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) values.push_back(U8(r.get_wstring(0)));
    return values;
  }
  std::string Text(std::string_view statement) {
    std::vector<std::string> values = Column(statement);
    return values.empty() ? std::string("<no row>") : values.front();
  }
  int Int(std::string_view statement) { return std::stoi(Text(statement)); }
  std::vector<std::string> ColumnNames(std::string_view table) {
    sqlite3x::command cmd(con_, "PRAGMA table_info(" + std::string(table) + ")");
    std::vector<std::string> names;
    sqlite3x::reader r = cmd.execute_reader();
    while (r.read()) names.push_back(U8(r.get_wstring(1)));
    return names;
  }
  sqlite3x::connection& Connection() { return con_; }

 private:
  sqlite3x::connection con_;
};

class StoreTestDir : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = std::filesystem::temp_directory_path() / "tillora-store-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // The store file of café 1001, bar 7, named as the login names it.
  std::u16string DbPath() const { return FilePath("1001-7.dat"); }
  std::u16string FilePath(std::string_view name) const { return U16((dir_ / name).string()); }
  RawDb Raw() const { return RawDb(DbPath()); }

 private:
  std::filesystem::path dir_;
};

// A store opened on a new file at version 8.
class OpenStore : public StoreTestDir {
 protected:
  void SetUp() override {
    StoreTestDir::SetUp();
    db_ = std::make_unique<CLocalDB>();
    ASSERT_TRUE(db_->InitDB(DbPath()));
  }
  void TearDown() override {
    db_.reset();
    StoreTestDir::TearDown();
  }

  CLocalDB& Db() { return *db_; }
  // Closes the file and opens it again, as the next run of the program does.
  void Restart() {
    db_ = std::make_unique<CLocalDB>();
    ASSERT_TRUE(db_->InitDB(DbPath()));
  }
  static std::int64_t Now() { return static_cast<std::int64_t>(std::time(nullptr)); }

 private:
  std::unique_ptr<CLocalDB> db_;
};
