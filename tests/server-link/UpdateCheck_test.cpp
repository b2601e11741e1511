// The update check of the start-up against a stand-in updater library: the
// calls in their order, the updater program's command line, and a start-up
// that goes on when the library or the program is missing.
#include "server/UpdateCheck.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "server-link/LinkFixture.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A folder holding the stand-in library, as the host's folder would.
class UpdaterFolder {
public:
  UpdaterFolder() {
    std::string pattern = (fs::temp_directory_path() / "tillora-update-XXXXXX").string();
    if (::mkdtemp(pattern.data())) m_dir = pattern + "/";
  }
  ~UpdaterFolder() {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  const std::string& Dir() const { return m_dir; }

  void InstallLibrary(const std::string& mode) {
    fs::copy_file(FAKE_UPDATER_LIBRARY, m_dir + kUpdaterLibrary,
                  fs::copy_options::overwrite_existing);
    std::ofstream(m_dir + "fake-update.mode") << mode << "\n";
  }
  // An updater program that writes down its arguments.
  void InstallProgram() {
    const std::string path = m_dir + kUpdaterProgram;
    std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
                           "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/grenwick-args\"\n";
    ::chmod(path.c_str(), 0755);
  }
  Lines Calls() const {
    Lines lines;
    std::istringstream in(ReadText(m_dir + "fake-update.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string ProgramArguments() const { return ReadText(m_dir + "grenwick-args"); }
  bool ProgramRan() const { return fs::exists(m_dir + "grenwick-args"); }

private:
  std::string m_dir;
};

const std::string kUrl = "http://127.0.0.1:1/update";

std::string CheckLine(const UpdaterFolder& folder) {
  return "CheckUpdate " + folder.Dir() + "version.txt " + kUrl + " 0";
}

TEST(UpdateCheck, WithoutTheLibraryTheCheckFails) {
  UpdaterFolder folder;
  EXPECT_EQ(RunUpdateCheck(folder.Dir(), U16(kUrl)), -1);
}

TEST(UpdateCheck, NoUpdateDue) {
  UpdaterFolder folder;
  folder.InstallLibrary("no-update");
  EXPECT_EQ(RunUpdateCheck(folder.Dir(), U16(kUrl)), 0);
  EXPECT_EQ(folder.Calls(), (Lines{"globalinit", "getupdate", "Prepare", CheckLine(folder),
                                   "Finish", "globalrelease"}));
}

TEST(UpdateCheck, AFailedPrepareEndsTheCheck) {
  UpdaterFolder folder;
  folder.InstallLibrary("prepare-fails");
  EXPECT_EQ(RunUpdateCheck(folder.Dir(), U16(kUrl)), -1);
  EXPECT_EQ(folder.Calls(), (Lines{"globalinit", "getupdate", "Prepare", "globalrelease"}));
}

TEST(UpdateCheck, AFailedCheckAsksForTheErrorAndFinishes) {
  UpdaterFolder folder;
  folder.InstallLibrary("check-fails");
  EXPECT_EQ(RunUpdateCheck(folder.Dir(), U16(kUrl)), -1);
  EXPECT_EQ(folder.Calls(), (Lines{"globalinit", "getupdate", "Prepare", CheckLine(folder),
                                   "GetErrorText", "GetErrorCode", "Finish", "globalrelease"}));
}

TEST(UpdateCheck, ADueUpdateStartsTheUpdaterWithItsCommandLine) {
  UpdaterFolder folder;
  folder.InstallLibrary("update-due");
  folder.InstallProgram();
  EXPECT_EQ(RunUpdateCheck(folder.Dir(), U16(kUrl)), 1);
  EXPECT_EQ(folder.Calls(), (Lines{"globalinit", "getupdate", "Prepare", CheckLine(folder),
                                   "Finish", "globalrelease"}));
  ASSERT_TRUE(WaitFor([&] { return folder.ProgramRan(); }));
  EXPECT_EQ(folder.ProgramArguments(),
            "Wanshore|" + folder.Dir() + "version.txt|" + kUrl + "|" + folder.Dir() + "|\n");
}

TEST(UpdateCheck, ADueUpdateWithoutTheProgramFailsAndStillFinishes) {
  UpdaterFolder folder;
  folder.InstallLibrary("update-due");
  EXPECT_EQ(RunUpdateCheck(folder.Dir(), U16(kUrl)), -1);
  EXPECT_EQ(folder.Calls(), (Lines{"globalinit", "getupdate", "Prepare", CheckLine(folder),
                                   "Finish", "globalrelease"}));
}

TEST(UpdateCheck, TheCommandLineIsInCodePage936AndKeepsAnEmptyAddress) {
  EXPECT_EQ(UpdaterCommandLine("/opt/tillora/", u""),
            "Wanshore|/opt/tillora/version.txt||/opt/tillora/|");
  EXPECT_EQ(UpdaterCommandLine("/opt/tillora/", u"http://h/更新"),
            "Wanshore|/opt/tillora/version.txt|http://h/\xB8\xFC\xD0\xC2|/opt/tillora/|");
}

// The service's own start-up: an update is due but the program is missing.
class StartUpWithUpdater : public ServerLinkTest {
protected:
  void TearDown() override {
    ServerLinkTest::TearDown();
    for (const char* name : {kUpdaterLibrary, "fake-update.mode", "fake-update.log"}) {
      std::error_code ignored;
      fs::remove(LinkWorkDir() + name, ignored);
    }
  }
};

TEST_F(StartUpWithUpdater, StartUpGoesOnWhenTheUpdaterProgramIsMissing) {
  CServiceManager::DestroyInstance();
  fs::copy_file(FAKE_UPDATER_LIBRARY, LinkWorkDir() + kUpdaterLibrary,
                fs::copy_options::overwrite_existing);
  std::ofstream(LinkWorkDir() + "fake-update.mode") << "update-due\n";
  ASSERT_TRUE(Service().Init());
  const std::string calls = ReadText(LinkWorkDir() + "fake-update.log");
  EXPECT_NE(calls.find("CheckUpdate " + LinkWorkDir() + "version.txt http://127.0.0.1:"),
            std::string::npos)
      << calls;
  EXPECT_NE(calls.find("globalrelease"), std::string::npos);
  // And the service works.
  Service().SetPageCallback(page.get());
  EXPECT_EQ(Attr(LoginUser(kCashier, kCashierPassword, false), "LoginUser", "ret"), "1");
}

}  // namespace
