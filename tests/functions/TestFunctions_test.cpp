// Family 0 end to end: the test reply and the test data generator.
#include <gtest/gtest.h>

#include "functions/FunctionsFixture.h"

namespace {

class TestFunctions : public FunctionsTest {};

TEST_F(TestFunctions, TestReplyHoldsOpRetThenTestThenErrString) {
  const std::u16string reply = Call(0, 0);
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_EQ(ValueAt(reply, "/FUNCTION/ReturnValue/Test/TestNumber"), "777");
  const size_t opRet = reply.find(u"<OPRet>");
  const size_t test = reply.find(u"<Test>");
  const size_t err = reply.find(u"<ErrString/>");
  EXPECT_LT(opRet, test);
  EXPECT_LT(test, err);
  EXPECT_NE(err, std::u16string::npos);
}

TEST_F(TestFunctions, GeneratorWritesNineTypesAHundredSalesAndBoundedWaresAndMaterials) {
  const std::u16string reply = Call(0, 1, {}, "gen");
  EXPECT_EQ(OpRet(reply), 1);
  EXPECT_EQ(ValueAt(reply, "/FUNCTION/Head/RetID"), "gen");
  EXPECT_EQ(ValueAt(reply, "/FUNCTION/ReturnValue/ErrString"), "");
  EXPECT_EQ(reply.find(u"<ReturnValue>\r\n<OPRet>1</OPRet>\r\n<ErrString/>"),
            reply.find(u"<ReturnValue>"));

  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbWareType"), 9);
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbSalesWare"), 100);
  EXPECT_LE(RawInt(StorePath(), "select count(*) from tbWare"), 261);
  EXPECT_LE(RawInt(StorePath(), "select count(*) from tbMaterial"), 99);
  EXPECT_EQ(RawInt(StorePath(),
                   "select count(*) from tbWare where name not like 'T_-W%' or price < 7.09 "
                   "or price > 7.11 or stock not between 0 and 19 or properties not in (1, 2)"),
            0);
  EXPECT_EQ(
      RawInt(StorePath(),
             "select count(*) from tbSalesWare where wareProp not in (1, 2) or "
             "cashier not in ('赵x', '钱x', '孙x') or count != 1 or price not between 0 and 99"),
      0);
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbMaterial where unit_name != '包'"), 0);

  // The generated types reach the counter.
  Strings types;
  for (int t = 0; t < 9; ++t)
    types.push_back(std::to_string(t) + "|类型(" + std::to_string(t) + ")");
  EXPECT_EQ(Rows(Call(1, 1), "/FUNCTION/ReturnValue/WareTypeList", "type", {"id", "name"}), types);
}

TEST_F(TestFunctions, GeneratingTwiceKeepsTheStoreWorking) {
  ASSERT_EQ(OpRet(Call(0, 1)), 1);
  ASSERT_EQ(OpRet(Call(0, 1)), 1);
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbWareType"), 9);
  EXPECT_EQ(RawInt(StorePath(), "select count(*) from tbSalesWare"), 200);
  EXPECT_EQ(OpRet(Call(1, 0)), 1);
}

TEST_F(TestFunctions, UnknownSubIdsAnswerNothing) {
  for (int subId : {2, 3, -1}) EXPECT_EQ(Call(0, subId), u"") << subId;
}

}  // namespace
