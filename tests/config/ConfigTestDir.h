// A fresh temporary folder per test, standing in for the host program's
// folder, with small byte-level file helpers. Removed with its content when
// the test ends.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

class ConfigTestDir : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "tillora-config-XXXXXX");
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }

  // The folder with a trailing "/", as the core spells work directories.
  std::string Dir() const { return m_dir.string() + "/"; }
  std::filesystem::path PathOf(std::string_view name) const { return m_dir / name; }

  void WriteBytes(std::string_view name, std::string_view bytes) const {
    std::ofstream out(PathOf(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string ReadBytes(std::string_view name) const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

private:
  std::filesystem::path m_dir;
};
