// Fixture of the device tests: one work directory for the program (the core
// fixes its work directory once per process) holding the client
// configuration and the shipped templates; per test a started service, a
// recording page, and a host thread that runs posted print jobs. Printing
// goes nowhere unless a test starts the private cupsd: CUPS_SERVER points
// at a socket nobody listens on.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>

#include "common/RecordingCallback.h"
#include "common/TestText.h"
#include "devices/CDevMgr.h"
#include "HostLoop.h"

// The work directory of this test program, with a trailing "/".
const std::string& DevicesWorkDir();
// A template shipped in templates/, by file name, as the core finds it.
std::u16string TemplatePath(std::string_view file);

// CallFunction with the envelope of (mainId, subId) and `param` (UTF-8 markup).
std::u16string Call(int mainId, int subId, std::string_view param = {});
int OpRet(std::u16string_view reply);

// The settings document with `attr` of `element` (under Config) set to
// `value`, ready to be sent back with 2/0.
std::string SettingsWith(std::string_view element, std::string_view attr, std::string_view value);
// Saves `attr` of `element` through 2/0; true when OPRet was 1.
bool SaveSetting(std::string_view element, std::string_view attr, std::string_view value);

class DevicesTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  CDevMgr& Devices();

  RecordingCallback page;
  HostLoop host;
};
