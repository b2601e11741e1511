// Fixture of the function-family tests: one work directory for the whole
// program (the core fixes its work directory once per process) holding the
// client configuration, and per test a freshly started service with a
// recording page callback and a store opened the way the café set-up (2/3)
// opens it. Settings and store files are deleted between tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "common/RecordingCallback.h"
#include "common/TestText.h"
#include "config/CGlobalConfig.h"
#include "store/CLocalDB.h"

// The work directory of this test program, with a trailing "/".
const std::string& TestWorkDir();

// ---- Requests -------------------------------------------------------------

// The envelope of (mainId, subId) with `param` (UTF-8 markup) inside Param
// when it is not empty; `retId` is written as it stands (already escaped).
std::u16string Envelope(int mainId, int subId, std::string_view param = {},
                        std::string_view retId = {});
// CallFunction with that envelope.
std::u16string Call(int mainId, int subId, std::string_view param = {},
                    std::string_view retId = {});

// ---- Reading replies ------------------------------------------------------

// OPRet of a reply envelope; -1 when there is none.
int OpRet(std::u16string_view reply);
// The value of the element at an absolute path, UTF-8.
std::string ValueAt(std::u16string_view reply, std::string_view path);
// Whether the reply holds an element at an absolute path.
bool HasElement(std::u16string_view reply, std::string_view path);
// One attribute of the element at an absolute path.
std::string AttrAt(std::u16string_view reply, std::string_view path, std::string_view attr);
// The attributes at an absolute path joined with "|", in the order asked.
std::string AttrsAt(std::u16string_view reply, std::string_view path,
                    std::initializer_list<std::string_view> attrs);
// For every child `name` of the element at `path`: the chosen attributes
// joined with "|".
std::vector<std::string> Rows(std::u16string_view reply, std::string_view path,
                              std::string_view name, std::initializer_list<std::string_view> attrs);
// The names of the children of the element at `path`, in order.
std::vector<std::string> ChildNames(std::u16string_view reply, std::string_view path);

using Strings = std::vector<std::string>;

// ---- Arranging data -------------------------------------------------------

WareInfo MakeWare(int id, int typeId, std::string_view name, bool usable = true, int properties = 1,
                  float price = 3.5f, std::string_view barcode = {});
WareSaleInfo MakeSale(std::string_view id, std::int64_t time, std::string_view wareName = "可乐",
                      std::string_view typeName = "饮料", std::string_view cashier = "张三",
                      bool usable = true);
std::int64_t Now();

// First statement column of every row, read through a connection of its own.
Strings RawColumn(const std::u16string& dbPath, std::string_view statement);
int RawInt(const std::u16string& dbPath, std::string_view statement);
void RawExec(const std::u16string& dbPath, std::string_view statement);

// ---- The fixture ----------------------------------------------------------

class FunctionsTest : public ::testing::Test {
protected:
  // The café and bar the fixture sets up.
  static constexpr std::string_view kSaveNetbar =
      R"(<SaveNetbarLogin id="1001" pw="secret" netbarname="星海网吧" barname="一楼吧台" )"
      R"(barid="7" cashier="张三" currentworksection="早班"/>)";

  void SetUp() override;
  void TearDown() override;

  // Whether SetUp registers `page` and opens the store; tests of the start
  // itself turn them off.
  virtual bool RegisterPageAtStart() const { return true; }
  virtual bool OpenStoreAtStart() const { return true; }

  // Ends the service (waiting for its workers) and starts it again on the
  // same files, as the next run of the program would.
  void Restart(bool registerPage = true);

  CLocalDB& Store();
  CGlobalConfig& Settings();
  std::u16string StorePath() const;  // the file of café 1001, bar 7
  // Waits for the n-th callback (1-based) and returns its payload.
  RecordedCall AwaitCallback(size_t n);

  RecordingCallback page;
};
