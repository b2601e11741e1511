// Opening store files: creation at version 8, the migration ladder, retries.
#include <gtest/gtest.h>

#include "StoreTestDir.h"
#include "store/CLocalDB.h"

namespace {

using Names = std::vector<std::string>;

const Names kGlobalColumns = {"id",      "netbarid", "netbarpw",           "netbarname",
                              "cashier", "barName",  "barID",              "currentworksection",
                              "curWareSalesId", "config", "dbversion",     "taste"};
const Names kWareColumns = {"id",    "name",       "unitName", "usable",      "typeid",
                            "barcode", "price",    "properties", "stock",     "total",
                            "orderId", "firstLetter", "isdel",  "number"};
const Names kSalesColumns = {"id",      "time",  "wareId", "wareTypeName", "wareName", "wareProp",
                             "count",   "price", "usable", "sectionId",    "cashier",  "remark"};
const Names kCombinColumns = {"typeid", "price", "stock", "name", "type_name"};
const Names kMaterialColumns = {"id",    "name",  "unit_name", "stock", "total",
                                "isdel", "sales", "scrap",     "give"};

// The schema of the oldest files: every column of version 8 except those the
// rungs add, each table's columns in the order they were created.
const char* const kVersion1Schema[] = {
    "create table tbGlobal (id INTEGER PRIMARY KEY, netbarid TEXT, netbarpw TEXT, "
    "netbarname TEXT, cashier TEXT, barName TEXT, barID TEXT, currentworksection TEXT, "
    "curWareSalesId INTEGER, config TEXT)",
    "insert into tbGlobal values(0, '1001', 'pw', 'Net Cafe', 'amy', 'Bar 7', '7', '1', 41, '')",
    "create table tbWareType (id INTEGER PRIMARY KEY, name TEXT, usable INTEGER)",
    "create table tbWare (id INTEGER PRIMARY KEY, name TEXT, unitName TEXT, usable INTEGER, "
    "typeid INTEGER REFERENCES tbWareType(id), barcode TEXT, price REAL, properties INTEGER, "
    "stock INTEGER, total INTEGER, orderId INTEGER, firstLetter TEXT, isdel INTEGER, "
    "number INTEGER)",
    "create table tbWareWorkSection (id INTEGER PRIMARY KEY, bSaveToServer INTEGER, "
    "bFinish INTEGER, beginTime INTEGER, endtime INTEGER, cashier TEXT, sectionType TEXT, "
    "barid TEXT, barName TEXT, netbarid TEXT, pre REAL, sales REAL, active REAL, odd REAL, "
    "upload REAL, save REAL, error TEXT, remarks TEXT, nextSectionType TEXT, WareDetails TEXT, "
    "uuid TEXT)",
    "create table tbSalesWare (id TEXT, time INTEGER, wareId INTEGER, wareTypeName TEXT, "
    "wareName TEXT, wareProp INTEGER, count INTEGER, price REAL, usable INTEGER, "
    "sectionId INTEGER, cashier TEXT)",
    "create table tbMaterial (id INTEGER PRIMARY KEY, name TEXT, unit_name TEXT, stock INTEGER, "
    "total INTEGER, isdel INTEGER)",
    "create table tbMaterialWorkSection (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "bSaveToServer INTEGER, bFinish INTEGER, beginTime INTEGER, endtime INTEGER, "
    "netbarid TEXT, barid TEXT, barName TEXT, remark TEXT, totalStock INTEGER, "
    "totalSales INTEGER, cupID INTEGER, cupStock INTEGER, cupSales INTEGER, cupScrap INTEGER, "
    "cupGive INTEGER, materialDetails TEXT, uuid TEXT)",
    "insert into tbSalesWare values('41(1/2)', 1700000000, 3, 'Drinks', 'Cola', 1, 1, 3.5, 1, "
    "5, 'amy')",
    "insert into tbSalesWare values('41(2/2)', 1700000000, 3, 'Drinks', 'Cola', 1, 1, 3.5, 1, "
    "5, 'amy')",
    "insert into tbWareWorkSection values(5, 0, 1, 1699990000, 1700003600, 'amy', 'day', '7', "
    "'Bar 7', '1001', 100, 7, 0, 0, 0, 0, '', '', 'night', '', 'old-uuid-5')",
    "insert into tbMaterialWorkSection values(2, 0, 1, 1699990000, 1700003600, '1001', '7', "
    "'Bar 7', '', 10, 3, 9, 40, 2, 1, 0, '', 'old-uuid-2')",
};

void BuildVersion1File(RawDb& raw) {
  for (const char* statement : kVersion1Schema) raw.Exec(statement);
}

class StoreSchema : public StoreTestDir {};

}  // namespace

TEST_F(StoreSchema, NewFileHoldsEveryObjectOfVersion8AndTheSeedRow) {
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  EXPECT_TRUE(db.IsOpen());
  EXPECT_EQ(db.GetDBVersion(), 8);

  RawDb raw = Raw();
  EXPECT_EQ(raw.ColumnNames("tbGlobal"), kGlobalColumns);
  EXPECT_EQ(raw.ColumnNames("tbWareType"), (Names{"id", "name", "usable"}));
  EXPECT_EQ(raw.ColumnNames("tbWare"), kWareColumns);
  EXPECT_EQ(raw.ColumnNames("tbCombinModeWareStock"), kCombinColumns);
  EXPECT_EQ(raw.ColumnNames("tbSalesWare"), kSalesColumns);
  EXPECT_EQ(raw.ColumnNames("tbMaterial"), kMaterialColumns);
  EXPECT_EQ(raw.ColumnNames("tbWareWorkSection").size(), 23u);
  EXPECT_EQ(raw.ColumnNames("tbMaterialWorkSection").size(), 21u);
  EXPECT_EQ(raw.Column("select name from sqlite_master where name in "
                       "('index_tbWare_order', 'index_tbWare_firstLetter') order by name"),
            (Names{"index_tbWare_firstLetter", "index_tbWare_order"}));

  EXPECT_EQ(raw.Int("select count(*) from tbGlobal"), 1);
  EXPECT_EQ(raw.Text("select netbarid || netbarpw || netbarname || cashier || barName || barID "
                     "|| config || taste from tbGlobal where id=0"),
            "");
  EXPECT_EQ(raw.Text("select currentworksection from tbGlobal where id=0"), "1");
  EXPECT_EQ(raw.Int("select curWareSalesId from tbGlobal where id=0"), 0);
  EXPECT_EQ(raw.Int("select dbversion from tbGlobal where id=0"), 8);
}

TEST_F(StoreSchema, Version1FileClimbsToVersion8InOneStartKeepingItsRows) {
  {
    RawDb raw = Raw();
    BuildVersion1File(raw);
  }
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  EXPECT_EQ(db.GetDBVersion(), 8);

  RawDb raw = Raw();
  EXPECT_EQ(raw.ColumnNames("tbGlobal"), kGlobalColumns);
  EXPECT_EQ(raw.ColumnNames("tbSalesWare"), kSalesColumns);
  EXPECT_EQ(raw.ColumnNames("tbCombinModeWareStock"), kCombinColumns);
  EXPECT_EQ(raw.ColumnNames("tbMaterial"), kMaterialColumns);
  EXPECT_EQ(raw.Int("select count(*) from sqlite_master where name='tbSalesWare11'"), 0);
  // Files made before the search indexes and the write-ahead log gain them.
  EXPECT_EQ(raw.Int("select count(*) from sqlite_master where name in ('index_tbWare_barcode', "
                    "'index_tbWare_firstLetter_nocase', 'index_tbSalesWare_time')"),
            3);
  EXPECT_EQ(raw.Text("PRAGMA journal_mode"), "wal");

  int counter = 0;
  ASSERT_TRUE(db.get_ware_sales_id_from_db(counter));
  EXPECT_EQ(counter, 41);
  std::vector<WareSaleInfo> sales;
  ASSERT_TRUE(db.QueryWareSaleById(sales, u"41(", 0, 1, u"", u"", u"", -1.0f, u"", false));
  ASSERT_EQ(sales.size(), 2u);
  EXPECT_EQ(sales[0].wareName, u"Cola");
  EXPECT_EQ(sales[0].remark, u"");
}

// A migrated file holds uuid before the columns the rungs appended; the
// section records must still come back field for field.
TEST_F(StoreSchema, MigratedSectionsReadEveryFieldByName) {
  {
    RawDb raw = Raw();
    BuildVersion1File(raw);
  }
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));

  WareWorkSectionInfo ware;
  ASSERT_TRUE(db.QueryCurrentWareWorkSection(ware));
  EXPECT_EQ(ware.id, 5);
  EXPECT_EQ(ware.uuid, u"old-uuid-5");
  EXPECT_EQ(ware.normalsales, 0.0f);
  EXPECT_EQ(ware.pre, 100.0f);

  ware.id = 6;
  ware.normalsales = 12.5f;
  ware.manualsales = 2.25f;
  ware.uuid = u"new-uuid-6";
  ASSERT_TRUE(db.InserWareWorkSection(ware));
  WareWorkSectionInfo again;
  ASSERT_TRUE(db.QueryCurrentWareWorkSection(again));
  EXPECT_EQ(again.normalsales, 12.5f);
  EXPECT_EQ(again.manualsales, 2.25f);
  EXPECT_EQ(again.uuid, u"new-uuid-6");

  MaterialWorkSectionInfo material;
  ASSERT_TRUE(db.QueryCurrentMaterialWorkSection(material));
  EXPECT_EQ(material.uuid, u"old-uuid-2");
  EXPECT_EQ(material.cupStock, 40);
  material.id = 3;
  material.totalActive = 4;
  material.totalScrap = 1;
  material.sectionType = u"night";
  material.uuid = u"new-uuid-3";
  ASSERT_TRUE(db.InserMaterialWorkSection(material));
  MaterialWorkSectionInfo latest;
  ASSERT_TRUE(db.QueryCurrentMaterialWorkSection(latest));
  EXPECT_EQ(latest.totalActive, 4);
  EXPECT_EQ(latest.totalScrap, 1);
  EXPECT_EQ(latest.sectionType, u"night");
  EXPECT_EQ(latest.uuid, u"new-uuid-3");
}

TEST_F(StoreSchema, FileWithoutVersionColumnIsTakenForVersion1) {
  {
    RawDb raw = Raw();
    BuildVersion1File(raw);
  }
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  EXPECT_EQ(Raw().ColumnNames("tbMaterial"), kMaterialColumns);
}

// A rung that fails part way leaves nothing of itself behind, so the next
// start runs it again from its first statement and climbs on.
TEST_F(StoreSchema, FailingRungIsRetriedWholeAtTheNextStart) {
  {
    RawDb raw = Raw();
    BuildVersion1File(raw);
    raw.Exec("alter table tbMaterial add sales INTEGER");
    raw.Exec("alter table tbMaterial add scrap INTEGER");
    raw.Exec("alter table tbMaterial add give INTEGER");
    raw.Exec("alter table tbGlobal add dbversion INTEGER");
    raw.Exec("alter table tbMaterialWorkSection add totalActive INTEGER");
    raw.Exec("alter table tbMaterialWorkSection add totalScrap INTEGER");
    raw.Exec("update tbGlobal set dbversion=3");
    // Rung 3's second statement needs tbSalesWare.
    raw.Exec("alter table tbSalesWare rename to tbSalesWareAside");
  }
  {
    CLocalDB db;
    EXPECT_FALSE(db.InitDB(DbPath()));
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.GetDBVersion(), 3);
  }
  RawDb raw = Raw();
  EXPECT_EQ(raw.ColumnNames("tbGlobal").back(), "dbversion");  // taste not left behind
  raw.Exec("alter table tbSalesWareAside rename to tbSalesWare");

  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  EXPECT_EQ(db.GetDBVersion(), 8);
  EXPECT_EQ(raw.ColumnNames("tbGlobal"), kGlobalColumns);
}

TEST_F(StoreSchema, FileLockedByAnotherWriterOpensAtTheNextAttempt) {
  RawDb raw = Raw();
  BuildVersion1File(raw);
  raw.Exec("begin immediate");
  CLocalDB db;
  EXPECT_FALSE(db.InitDB(DbPath()));
  EXPECT_FALSE(db.IsOpen());
  raw.Exec("commit");

  ASSERT_TRUE(db.InitDB(DbPath()));  // the same store, as the next login does
  EXPECT_EQ(db.GetDBVersion(), 8);
}

TEST_F(StoreSchema, NewerFileIsLeftAlone) {
  {
    RawDb raw = Raw();
    raw.Exec("create table tbGlobal (id INTEGER PRIMARY KEY, dbversion INTEGER)");
    raw.Exec("insert into tbGlobal values(0, 9)");
  }
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  EXPECT_EQ(db.GetDBVersion(), 9);
  EXPECT_EQ(Raw().Int("select count(*) from sqlite_master"), 1);
}

TEST_F(StoreSchema, ReopeningFindsTheSameFileAndChangesNothing) {
  {
    CLocalDB db;
    ASSERT_TRUE(db.InitDB(DbPath()));
    ASSERT_TRUE(db.InserTaste(u"少糖,多糖"));
  }
  const int objects = Raw().Int("select count(*) from sqlite_master");
  CLocalDB db;
  ASSERT_TRUE(db.InitDB(DbPath()));
  std::u16string taste;
  ASSERT_TRUE(db.QueryTaste(taste));
  EXPECT_EQ(taste, U16("少糖,多糖"));
  EXPECT_EQ(Raw().Int("select count(*) from sqlite_master"), objects);
}

TEST_F(StoreSchema, UnopenableFileLeavesTheStoreClosed) {
  CLocalDB db;
  EXPECT_FALSE(db.InitDB(DbPath() + u"/no-such-folder/x.dat"));
  EXPECT_FALSE(db.IsOpen());
  ASSERT_TRUE(db.InitDB(DbPath()));
  EXPECT_TRUE(db.IsOpen());
}
