// Functions 2/0, 2/1, 2/2, 2/5 and 2/8 through CallFunction: the settings
// round trip and the reopen flag, the device listing, the lock password and
// the barcode monitor's start.
#include <gtest/gtest.h>

#include <cstdlib>

#include "DevicesFixture.h"
#include "SocatPair.h"
#include "service/CServiceManager.h"
#include "support/CXmlDoc.h"

namespace {

class ConfigDeviceFunctions : public DevicesTest {
protected:
  std::atomic<bool>& ReopenFlag() { return CServiceManager::GetInstance().m_barcodeReopen; }
};

TEST_F(ConfigDeviceFunctions, SavedSettingsReadBackAndRaiseTheReopenFlag) {
  ReopenFlag() = false;
  ASSERT_EQ(OpRet(Call(2, 0, SettingsWith("Pos", "com", "/dev/ttyUSB7"))), 1);
  EXPECT_TRUE(ReopenFlag());
  const std::u16string reply = Call(2, 1);
  EXPECT_EQ(OpRet(reply), 1);
  CXmlDoc doc(reply);
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ReturnValue/Config/Pos"));
  EXPECT_EQ(U8(doc.GetAttr(u"com")), "/dev/ttyUSB7");
  PosConfigInfo pos;
  ASSERT_TRUE(CServiceManager::GetInstance().GetGlobalConfig()->GetPosConfig(pos));
  EXPECT_EQ(U8(pos.com), "/dev/ttyUSB7");
}

TEST_F(ConfigDeviceFunctions, SaveWithoutConfigWritesNothingAndLeavesTheFlag) {
  ReopenFlag() = false;
  EXPECT_EQ(OpRet(Call(2, 0, R"(<Settings><Pos com="/dev/ttyS9"/></Settings>)")), 0);
  EXPECT_EQ(OpRet(Call(2, 0)), 0);
  EXPECT_FALSE(ReopenFlag());
  CXmlDoc doc(Call(2, 1));
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ReturnValue/Config/Pos"));
  EXPECT_EQ(U8(doc.GetAttr(u"com")), "");
}

TEST_F(ConfigDeviceFunctions, GetConfigWithoutSettingsFileAnswersZero) {
  std::filesystem::remove(DevicesWorkDir() + "Global.dat");
  const std::u16string reply = Call(2, 1);
  EXPECT_EQ(OpRet(reply), 0);
  EXPECT_FALSE(CXmlDoc(reply).Find(u"/FUNCTION/ReturnValue/Config"));
}

struct PasswordCase {
  const char* name;
  const char* stored;
  const char* param;
  int expected;
};

void PrintTo(const PasswordCase& c, std::ostream* out) { *out << c.name; }

class LockPassword : public ConfigDeviceFunctions,
                     public ::testing::WithParamInterface<PasswordCase> {};

TEST_P(LockPassword, MatchesTheRememberedUsersPasswordExactly) {
  const PasswordCase& c = GetParam();
  ASSERT_TRUE(SaveSetting("User", "pw", c.stored));
  EXPECT_EQ(OpRet(Call(2, 5, c.param)), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockPassword,
    ::testing::Values(PasswordCase{"Same", "abc123", R"(<CheckLockPW pw="abc123"/>)", 1},
                      PasswordCase{"Different", "abc123", R"(<CheckLockPW pw="abc124"/>)", 0},
                      PasswordCase{"CaseMatters", "abc", R"(<CheckLockPW pw="ABC"/>)", 0},
                      PasswordCase{"BothEmpty", "", R"(<CheckLockPW pw=""/>)", 1},
                      PasswordCase{"Chinese", "密码", R"(<CheckLockPW pw="密码"/>)", 1},
                      PasswordCase{"NoElement", "", R"(<Other pw=""/>)", 0},
                      PasswordCase{"NoParam", "", "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// No scheduler answers here: the printer listing fails, so the ports are not
// reported either.
TEST_F(ConfigDeviceFunctions, DeviceListWithoutPrintersAnswersZeroWithoutBody) {
  const std::u16string reply = Call(2, 2);
  EXPECT_EQ(OpRet(reply), 0);
  EXPECT_FALSE(CXmlDoc(reply).Find(u"/FUNCTION/ReturnValue/Devicelist"));
}

TEST_F(ConfigDeviceFunctions, PortListingEndsWithTheExtraPortsThatExist) {
  SocatPair pair(DevicesWorkDir(), "listed");
  ASSERT_TRUE(pair.Ready());
  const std::string extra =
      pair.Port() + ":" + DevicesWorkDir() + "missing-tty::" + DevicesWorkDir() + "ClientConfig.xml:" +
      pair.Scanner();
  ::setenv("TILLORA_EXTRA_PORTS", extra.c_str(), 1);
  std::vector<std::u16string> ports;
  EXPECT_TRUE(Devices().ListPorts(ports));
  ::unsetenv("TILLORA_EXTRA_PORTS");
  ASSERT_GE(ports.size(), 2u);
  EXPECT_EQ(U8(ports[ports.size() - 2]), pair.Port());
  EXPECT_EQ(U8(ports.back()), pair.Scanner());
  for (std::size_t i = 0; i + 2 < ports.size(); ++i) {
    const std::string path = U8(ports[i]);
    EXPECT_TRUE(path.starts_with("/dev/ttyS") || path.starts_with("/dev/ttyUSB") ||
                path.starts_with("/dev/ttyACM"))
        << path;
  }
}

TEST_F(ConfigDeviceFunctions, StartBarcodeMonitorAnswersWithAnEmptyRemark) {
  const std::u16string reply = Call(2, 8);
  EXPECT_EQ(OpRet(reply), 1);
  CXmlDoc doc(reply);
  ASSERT_TRUE(doc.Find(u"/FUNCTION/ReturnValue/Remark"));
  EXPECT_EQ(U8(doc.GetValue()), "");
  EXPECT_EQ(OpRet(Call(2, 8)), 0) << "a second monitor was started";
}

}  // namespace
