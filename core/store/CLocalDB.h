// CLocalDB: the local store of one café bar, a SQLite file holding the
// catalogue, stock, sales, work sections and the global row. It owns its one
// connection and transaction for its whole life; InitDB opens the file and
// brings it to schema version 8.
//
// Failures are results: every method catches all exceptions of the SQL layer,
// hands "CLocalDB::<method> failed" to the trace channel and returns its
// failure value (false, 0, an empty result). A failed batch write closes the
// connection, after which every call fails until the next run.
//
// Thread-safety: every public method may be called from any thread. One
// mutex serialises whole methods, so batch writes never interleave on the
// shared transaction and the sales counter never hands out a number twice.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "store/CombinStockInfo.h"
#include "store/MaterialInfo.h"
#include "store/MaterialWorkSectionInfo.h"
#include "store/NetbarInfo.h"
#include "store/WareInfo.h"
#include "store/WareSaleInfo.h"
#include "store/WareTypeInfo.h"
#include "store/WareWorkSectionInfo.h"
#include "store/sqlite3x.h"

class CLocalDB {
 public:
  // Applied by QueryNetbarInfo to the row it read: the service installs one
  // that puts the offline login's cashier and password in place.
  using NetbarInfoOverride = std::function<void(NetbarInfo&)>;

  CLocalDB();
  ~CLocalDB();
  CLocalDB(const CLocalDB&) = delete;
  CLocalDB& operator=(const CLocalDB&) = delete;

  // ---- File, versions and migrations --------------------------------------

  // Opens (creating when missing) the file at `dbPath` and migrates it to
  // version 8. False when opening or migrating failed; IsOpen stays false
  // and a later call may try again.
  bool InitDB(const std::u16string& dbPath);
  // True once InitDB has succeeded, for the rest of the run.
  bool IsOpen() const;
  // The schema version; 1 for a file without one, 0 without tbGlobal.
  int GetDBVersion();
  bool SetDBVersion(int version);
  // Whether tbGlobal exists; false on failure.
  bool IsTableExist();

  // ---- Wares (list queries append; true on success even without a match) --

  bool QueryWareByBarCode(std::vector<WareInfo>& list, const std::u16string& barcode);
  // Prefix match on the first letters, any letter case.
  bool QueryWareByFirstLetter(std::vector<WareInfo>& list, const std::u16string& text);
  bool QueryWareByID(std::vector<WareInfo>& list, int id);
  bool QueryWareByName(std::vector<WareInfo>& list, const std::u16string& name);
  bool QueryWareByType(std::vector<WareInfo>& list, int typeId);
  // Usable, not deleted wares by display order.
  bool QueryWareByOrder(std::vector<WareInfo>& list);
  // The first ware with this id; none when absent or on failure.
  std::optional<WareInfo> GetWareByID(int id);

  bool QueryWareType(std::vector<WareTypeInfo>& list, int limit);
  // `name` is left as it was when the type does not exist.
  bool QueryWareTypeNameById(int typeId, std::u16string& name);

  // ---- Combined-mode stock --------------------------------------------------

  // False when no row has this name (the record is then untouched).
  bool QueryWare(const std::u16string& name, CombinStockInfo& info);
  bool QueryWare(std::vector<CombinStockInfo>& list);
  bool InserCombinStock(const std::vector<CombinStockInfo>& list);
  void ClearCombinStock();
  bool SetCombinStockCount(const std::u16string& name, int stock);

  // ---- Catalogue writes -----------------------------------------------------

  // Batch writes: all records or none; a failure closes the store.
  bool InsertWare(const std::vector<WareInfo>& list);
  // Records with an empty name are skipped.
  bool InserWareType(const std::vector<WareTypeInfo>& list);
  bool SetWareCount(int id, int stock);
  bool SetWareCount(const std::u16string& name, int stock);
  // All entries or none (the store stays open on failure).
  bool SetWareCount(const std::map<int, int>& stocks);
  bool SetWareOrder(int id, int order);

  // ---- Materials and tastes -------------------------------------------------

  bool QueryMaterial(std::vector<MaterialInfo>& list);
  std::optional<MaterialInfo> QueryMaterialByID(int id);
  bool InserMaterial(const std::vector<MaterialInfo>& list);
  bool SetMaterialCount(int id, int stock);
  bool QueryTaste(std::u16string& taste);
  bool InserTaste(const std::u16string& taste);

  // ---- Sales ----------------------------------------------------------------

  // Batch write; every row is stored with count 1.
  bool InserWareSale(const std::vector<WareSaleInfo>& list);
  // Sales newest first. Start and end 0 mean the last 48 hours; a longer
  // window is cut to 48 hours after its start. Empty texts and a price of -1
  // do not filter. `istimeout` marks sales at or before the current cashier
  // section's begin.
  bool QueryWareSaleById(std::vector<WareSaleInfo>& list, const std::u16string& idPrefix,
                         std::int64_t start, std::int64_t end, const std::u16string& wareName,
                         const std::u16string& wareTypeName, const std::u16string& cashier,
                         float price, const std::u16string& wareProp, bool includeDisabled);
  bool DisableWareSaleById(const std::u16string& id);
  // 0 when there is no sale or on failure.
  int QueryWareSalesCountInCurrentWorkSection(int wareId, int sectionId);

  // ---- Sales counter --------------------------------------------------------

  bool get_ware_sales_id_from_db(int& value);
  bool update_ware_sales_id_to_db(int value);
  // "N(i/n)". With `advance` the counter moves on and N is the new number;
  // without it N is the number this thread drew last from this store (the
  // current counter when it drew none), so the units of two checkouts running
  // at once never share or swap numbers.
  bool MakeWareSalesId(int i, int n, std::u16string& id, bool advance);

  // ---- Work sections --------------------------------------------------------

  // Highest id; 0 when empty or on failure.
  int GetCurWareWorkSectionID();
  int GetCurMaterialWorkSectionID();
  // True when there is no section or the last one is finished.
  bool NeedNewWareWorkSection();
  bool NeedNewMaterialWorkSection();
  // The section with the highest id; the record is untouched when none.
  bool QueryCurrentWareWorkSection(WareWorkSectionInfo& section);
  bool QueryCurrentMaterialWorkSection(MaterialWorkSectionInfo& section);
  // Finished sections not yet accepted by the server, oldest first.
  bool QueryUploadWareWorkSection(std::vector<WareWorkSectionInfo>& list);
  bool QueryUploadMaterialWorkSection(std::vector<MaterialWorkSectionInfo>& list);
  bool InserWareWorkSection(const WareWorkSectionInfo& section);
  bool InserMaterialWorkSection(const MaterialWorkSectionInfo& section);
  // False at once without a cup record.
  bool InserCup(const std::optional<MaterialInfo>& cup, int sectionId);

  // ---- Handover: closing a section in one step (CLocalDBHandover.cpp) ------
  // A crash or a failed statement between storing the closed section and
  // opening the next one would lose the shift or leave the counter without an
  // open section; these write everything of one handover in one transaction,
  // so the file holds all of it or none. On failure the transaction is rolled
  // back and the store stays open.

  // One counted remainder: the stock of every ware (or, `combined`, of every
  // combined-stock row) with this name becomes `stock`.
  struct HandoverStock {
    std::u16string name;
    int stock = 0;
    bool combined = false;
  };
  // Stores `closed`, sets the stocks (a name without a row changes nothing),
  // stores `next` and records `next.sectionType` as the café identity's
  // current work section. Fails unless `closed.id` is still the latest,
  // open section (another handover may have closed it meanwhile).
  bool FinishWareWorkSection(const WareWorkSectionInfo& closed,
                             const std::vector<HandoverStock>& stocks,
                             const WareWorkSectionInfo& next);
  // Stores `closed`, sets each material's stock (id to remainder) and stores
  // `next`; the same condition on `closed.id`.
  bool FinishMaterialWorkSection(const MaterialWorkSectionInfo& closed,
                                 const std::map<int, int>& stocks,
                                 const MaterialWorkSectionInfo& next);
  // When the latest section is finished (or there is none), opens its
  // successor as the handover would have: the next id, begun now, a fresh
  // uuid; a cashier successor takes the till float (`save`), the cashier,
  // the bar and the next work section of its predecessor, a material one its
  // cup id. True when an open section exists afterwards.
  bool EnsureOpenWareWorkSection();
  bool EnsureOpenMaterialWorkSection();

  // ---- Global row -----------------------------------------------------------

  bool QueryNetbarInfo(NetbarInfo& info);
  bool InserNetbarInfo(const NetbarInfo& info);
  // Always true; `cashier` is left as it was when the row cannot be read.
  bool GetCurrentCashierName(std::u16string& cashier);
  void SetNetbarInfoOverride(NetbarInfoOverride override);

 private:
  template <typename Result, typename Body>
  Result Guarded(const char* failureText, Result failureValue, Body&& body);
  template <typename Body>
  bool BatchWrite(const char* failureText, Body&& body);
  bool PlainWrite(const char* failureText, const std::u16string& statement);
  void AbandonBatch();

  bool GlobalTableExists();  // throws when the check itself fails
  void MigrateTo8();
  void CreateSchema();
  void ApplyFastPaths();
  template <typename Row, typename Bind, typename Map>
  void SelectInto(std::vector<Row>& list, const std::u16string& statement, Bind&& bind, Map&& map);

  // Serialises whole methods; recursive because methods build on one another
  // (GetWareByID on QueryWareByID, MakeWareSalesId on the counter methods).
  // Guards everything below it.
  mutable std::recursive_mutex m_mutex;
  sqlite3x::connection m_connection;
  std::unique_ptr<sqlite3x::transaction> m_transaction;  // absent until InitDB succeeds
  int sales_counter = 0;  // in-memory copy of curWareSalesId; 0 = not loaded
  std::u16string db_path;
  NetbarInfoOverride m_netbarOverride;
  // Tells this store apart from earlier ones at the same address in the
  // per-thread memory of drawn checkout numbers.
  const std::uint64_t m_instance;
};
