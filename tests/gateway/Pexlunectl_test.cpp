// The driver as a support engineer runs it: a real process, requests on its
// standard input, JSON lines on its standard output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::vector<std::string> lines;
};

fs::path BinaryDir() { return fs::path(TILLORA_TEST_BINARY_DIR); }

// A work directory as an installation has it: configuration and templates.
void PrepareWorkDir(const fs::path& work) {
  fs::create_directories(work);
  fs::path bin = BinaryDir() / "bin";
  fs::copy_file(bin / "ClientConfig.xml", work / "ClientConfig.xml",
                fs::copy_options::overwrite_existing);
  fs::copy(bin / "templates", work / "templates",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

class PexlunectlTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("pexlunectl-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  RunResult Run(const std::string& input, const std::string& extraArgs = "") {
    fs::path in = m_dir / "input.txt";
    fs::path out = m_dir / "output.txt";
    std::ofstream(in, std::ios::binary) << input;
    std::string command = (BinaryDir() / "bin" / "pexlunectl").string() + " --workdir " +
                          (m_dir / "work").string() + " " + extraArgs + " < " + in.string() +
                          " > " + out.string() + " 2>/dev/null";
    PrepareWorkDir(m_dir / "work");
    RunResult result;
    int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream output(out, std::ios::binary);
    for (std::string line; std::getline(output, line);) result.lines.push_back(line);
    return result;
  }

  fs::path m_dir;
};

const char* kTestRequest =
    "<FUNCTION><Head><MainID>0</MainID><SubID>0</SubID><RetID></RetID></Head></FUNCTION>";

}  // namespace

TEST_F(PexlunectlTest, PrintsTheTestReplyAsOneJsonLine) {
  RunResult result = Run(std::string(kTestRequest) + "\n");
  ASSERT_EQ(result.exitCode, 0);
  ASSERT_EQ(result.lines.size(), 1u);
  const std::string& line = result.lines[0];
  EXPECT_EQ(line.rfind("{\"type\":\"reply\",\"text\":\"<FUNCTION>\\r\\n<Head>\\r\\n", 0), 0u) << line;
  EXPECT_NE(line.find("<TestNumber>777</TestNumber>"), std::string::npos) << line;
  EXPECT_EQ(line.substr(line.size() - 2), "\"}");
}

TEST_F(PexlunectlTest, AnswersEveryLineInOrderAndBadLinesWithAnEmptyReply) {
  std::string input = std::string("garbage\n") + kTestRequest + "\n\n" +
                      "<FUNCTION><Head><MainID>6</MainID></Head>\r\n" + "\xff\xfe\x80 bytes\n" +
                      kTestRequest;  // the last line has no line end
  RunResult result = Run(input);
  ASSERT_EQ(result.exitCode, 0);
  ASSERT_EQ(result.lines.size(), 6u);
  const std::string empty = "{\"type\":\"reply\",\"text\":\"\"}";
  EXPECT_EQ(result.lines[0], empty);
  EXPECT_NE(result.lines[1].find("777"), std::string::npos);
  EXPECT_EQ(result.lines[2], empty);
  EXPECT_EQ(result.lines[3], empty);
  EXPECT_EQ(result.lines[4], empty);
  EXPECT_NE(result.lines[5].find("777"), std::string::npos);
}

TEST_F(PexlunectlTest, FailsClearlyWhenTheWorkDirectoryHasNoConfiguration) {
  std::string command = (BinaryDir() / "bin" / "pexlunectl").string() + " --workdir " +
                        (m_dir / "empty").string() + " </dev/null >/dev/null 2>&1";
  fs::create_directories(m_dir / "empty");
  int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
}

TEST_F(PexlunectlTest, RejectsUnknownOptions) {
  EXPECT_EQ(Run("", "--bogus").exitCode, 2);
  EXPECT_EQ(Run("", "--linger -1").exitCode, 2);
}

TEST_F(PexlunectlTest, EscapesQuotesAndNonAsciiInReplies) {
  RunResult result = Run(
      "<FUNCTION><Head><MainID>0</MainID><SubID>0</SubID><RetID>\"收银\"\\</RetID></Head></FUNCTION>\n");
  ASSERT_EQ(result.lines.size(), 1u);
  EXPECT_NE(result.lines[0].find("<RetID>\\\"收银\\\"\\\\</RetID>"), std::string::npos)
      << result.lines[0];
}

TEST_F(PexlunectlTest, CommentAndWaitLinesAnswerNothing) {
  // A wait for a callback that never comes gives up after its time.
  RunResult result = Run(std::string("# a comment\n#wait cb-none 0.2\n") + kTestRequest + "\n");
  ASSERT_EQ(result.exitCode, 0);
  ASSERT_EQ(result.lines.size(), 1u);
  EXPECT_NE(result.lines[0].find("777"), std::string::npos);
}
