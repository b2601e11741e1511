// Cashier and material work sections, and the café identity row.
#include <gtest/gtest.h>

#include "StoreTestDir.h"
#include "store/CLocalDB.h"

namespace {

WareWorkSectionInfo WareSection(int id, bool finished, bool saved = false) {
  WareWorkSectionInfo s;
  s.id = id;
  s.bFinish = finished;
  s.bSaveToServer = saved;
  s.beginTime = 1700000000 + id;
  s.endTime = 4102444800;  // after 2038
  s.cashier = u"amy";
  s.sectionType = U16("早班");
  s.barid = u"7";
  s.barName = U16("一号吧台");
  s.netbarid = u"1001";
  s.WareDetails = u"<Ware/>";
  s.pre = 100.5f;
  s.sales = 20.25f;
  s.active = 3.0f;
  s.odd = 0.5f;
  s.upload = 110.0f;
  s.save = 10.75f;
  s.manualsales = 1.5f;
  s.normalsales = 18.75f;
  s.error = u"e";
  s.remarks = u"r";
  s.nextSectionType = U16("晚班");
  s.uuid = u"uuid-" + U16(std::to_string(id));
  return s;
}

MaterialWorkSectionInfo MaterialSection(int id, bool finished, bool saved = false) {
  MaterialWorkSectionInfo s;
  s.id = id;
  s.bFinish = finished;
  s.bSaveToServer = saved;
  s.beginTime = 1700000000;
  s.endTime = 1700003600;
  s.barid = u"7";
  s.barName = U16("一号吧台");
  s.remark = u"r";
  s.netbarid = u"1001";
  s.sectionType = U16("早班");
  s.materialDetails = u"<M/>";
  s.uuid = u"m-" + U16(std::to_string(id));
  s.totalStock = 1;
  s.totalSales = 2;
  s.totalActive = 3;
  s.totalScrap = 4;
  s.cupID = 5;
  s.cupStock = 6;
  s.cupSales = 7;
  s.cupScrap = 8;
  s.cupGive = 9;
  return s;
}

template <typename Section>
std::vector<int> Ids(const std::vector<Section>& sections) {
  std::vector<int> ids;
  for (const Section& s : sections) ids.push_back(s.id);
  return ids;
}

class StoreSections : public OpenStore {};

}  // namespace

TEST_F(StoreSections, NewSectionIsNeededOnlyWhenTheLastIsFinished) {
  EXPECT_TRUE(Db().NeedNewWareWorkSection());
  EXPECT_TRUE(Db().NeedNewMaterialWorkSection());
  EXPECT_EQ(Db().GetCurWareWorkSectionID(), 0);
  EXPECT_EQ(Db().GetCurMaterialWorkSectionID(), 0);

  ASSERT_TRUE(Db().InserWareWorkSection(WareSection(1, true)));
  ASSERT_TRUE(Db().InserWareWorkSection(WareSection(2, false)));
  ASSERT_TRUE(Db().InserMaterialWorkSection(MaterialSection(4, false)));
  EXPECT_FALSE(Db().NeedNewWareWorkSection());
  EXPECT_FALSE(Db().NeedNewMaterialWorkSection());
  EXPECT_EQ(Db().GetCurWareWorkSectionID(), 2);
  EXPECT_EQ(Db().GetCurMaterialWorkSectionID(), 4);

  ASSERT_TRUE(Db().InserWareWorkSection(WareSection(2, true)));  // the handover closes it
  EXPECT_TRUE(Db().NeedNewWareWorkSection());
}

TEST_F(StoreSections, CurrentWareSectionReadsBackFieldForField) {
  WareWorkSectionInfo current;
  current.id = -1;
  ASSERT_TRUE(Db().QueryCurrentWareWorkSection(current));
  EXPECT_EQ(current.id, -1);  // no section yet: untouched

  const WareWorkSectionInfo stored = WareSection(3, false);
  ASSERT_TRUE(Db().InserWareWorkSection(WareSection(2, true)));
  ASSERT_TRUE(Db().InserWareWorkSection(stored));
  ASSERT_TRUE(Db().QueryCurrentWareWorkSection(current));
  EXPECT_EQ(current.id, 3);
  EXPECT_FALSE(current.bFinish);
  EXPECT_EQ(current.beginTime, stored.beginTime);
  EXPECT_EQ(current.endTime, stored.endTime);
  EXPECT_EQ(current.sectionType, stored.sectionType);
  EXPECT_EQ(current.barName, stored.barName);
  EXPECT_EQ(current.WareDetails, stored.WareDetails);
  const float figures[] = {current.pre,  current.sales,       current.active,
                           current.odd,  current.upload,      current.save,
                           current.manualsales, current.normalsales};
  const float expected[] = {100.5f, 20.25f, 3.0f, 0.5f, 110.0f, 10.75f, 1.5f, 18.75f};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(figures[k], expected[k]) << "figure " << k;
  EXPECT_EQ(current.nextSectionType, stored.nextSectionType);
  EXPECT_EQ(current.uuid, u"uuid-3");
}

TEST_F(StoreSections, CurrentMaterialSectionReadsBackFieldForField) {
  ASSERT_TRUE(Db().InserMaterialWorkSection(MaterialSection(1, true)));
  ASSERT_TRUE(Db().InserMaterialWorkSection(MaterialSection(2, false)));
  MaterialWorkSectionInfo current;
  ASSERT_TRUE(Db().QueryCurrentMaterialWorkSection(current));
  EXPECT_EQ(current.id, 2);
  const int counts[] = {current.totalStock, current.totalSales, current.totalActive,
                        current.totalScrap, current.cupID,      current.cupStock,
                        current.cupSales,   current.cupScrap,   current.cupGive};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(counts[k], k + 1) << "count " << k;
  EXPECT_EQ(current.sectionType, U16("早班"));
  EXPECT_EQ(current.materialDetails, u"<M/>");
  EXPECT_EQ(current.uuid, u"m-2");
}

TEST_F(StoreSections, UploadListsFinishedUnsentSectionsOldestFirst) {
  for (const WareWorkSectionInfo& s :
       {WareSection(4, true), WareSection(2, true), WareSection(3, true, true),
        WareSection(5, false)}) {
    ASSERT_TRUE(Db().InserWareWorkSection(s));
  }
  for (const MaterialWorkSectionInfo& s :
       {MaterialSection(7, true), MaterialSection(6, true), MaterialSection(8, false)}) {
    ASSERT_TRUE(Db().InserMaterialWorkSection(s));
  }
  std::vector<WareWorkSectionInfo> ware;
  std::vector<MaterialWorkSectionInfo> material;
  ASSERT_TRUE(Db().QueryUploadWareWorkSection(ware));
  ASSERT_TRUE(Db().QueryUploadMaterialWorkSection(material));
  EXPECT_EQ(Ids(ware), (std::vector<int>{2, 4}));
  EXPECT_EQ(Ids(material), (std::vector<int>{6, 7}));
}

TEST_F(StoreSections, CupIsWrittenIntoItsSection) {
  ASSERT_TRUE(Db().InserMaterialWorkSection(MaterialSection(1, false)));
  EXPECT_FALSE(Db().InserCup(std::nullopt, 1));
  MaterialInfo cup;
  cup.id = 12;
  cup.stock = 300;
  ASSERT_TRUE(Db().InserCup(cup, 1));
  MaterialWorkSectionInfo current;
  ASSERT_TRUE(Db().QueryCurrentMaterialWorkSection(current));
  EXPECT_EQ(current.cupID, 12);
  EXPECT_EQ(current.cupStock, 300);
}

TEST_F(StoreSections, NetbarInfoRoundTripsAndTheOverrideApplies) {
  NetbarInfo info{u"1001", u"secret", U16("星际网吧"), u"amy", U16("一号吧台"), u"7", U16("早班")};
  ASSERT_TRUE(Db().InserNetbarInfo(info));
  NetbarInfo read;
  ASSERT_TRUE(Db().QueryNetbarInfo(read));
  EXPECT_EQ(read.netbarid, info.netbarid);
  EXPECT_EQ(read.netbarpw, info.netbarpw);
  EXPECT_EQ(read.netbarname, info.netbarname);
  EXPECT_EQ(read.cashier, info.cashier);
  EXPECT_EQ(read.barName, info.barName);
  EXPECT_EQ(read.barID, info.barID);
  EXPECT_EQ(read.currentworksection, info.currentworksection);

  std::u16string cashier;
  ASSERT_TRUE(Db().GetCurrentCashierName(cashier));
  EXPECT_EQ(cashier, u"amy");

  Db().SetNetbarInfoOverride([](NetbarInfo& i) {
    i.cashier = u"offline";
    i.netbarpw = u"remembered";
  });
  ASSERT_TRUE(Db().QueryNetbarInfo(read));
  EXPECT_EQ(read.cashier, u"offline");
  EXPECT_EQ(read.netbarpw, u"remembered");
  EXPECT_EQ(read.netbarname, info.netbarname);
  ASSERT_TRUE(Db().GetCurrentCashierName(cashier));
  EXPECT_EQ(cashier, u"amy");  // the stored row itself is unchanged
}
