#include "support/CLogMgr.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "support/Helpers.h"
#include "support/TextCodec.h"

namespace {

// Sized from the result, so a long log folder can never cut a path short.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return {};
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(static_cast<size_t>(n));
  return text;
}

// The counter PCs wrote "\r\n\r\n" through a text-mode stream, which turned
// each LF into CR LF; readers of these files expect exactly those bytes.
constexpr std::string_view kLineBreaks = "\r\r\n\r\r\n";

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void CLogMgr::WakeUps::Release() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_count >= kMaxWakeUps) return;
    ++m_count;
  }
  m_cv.notify_one();
}

void CLogMgr::WakeUps::Acquire() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_cv.wait(lock, [this] { return m_count > 0; });
  --m_count;
}

CLogMgr::CLogMgr(std::string logDir, Clock clock)
    : m_logDir(std::move(logDir)), m_clock(std::move(clock)) {}

// A writer still running would outlive the queue it reads.
CLogMgr::~CLogMgr() { Stop(); }

bool CLogMgr::Start() {
  if (m_writer.joinable()) return true;
  if (m_stop.load()) return false;
  if (m_logDir.empty()) m_logDir = Helpers::WorkDirA() + "LOG";
  // A folder that cannot be made only loses entries later, as an unopenable
  // file does; it is no reason to refuse the start.
  std::error_code ignored;
  std::filesystem::create_directories(m_logDir, ignored);
  try {
    m_writer = std::thread(&CLogMgr::WriterLoop, this);
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void CLogMgr::Stop() {
  if (m_stop.exchange(true)) return;
  m_wakeUps.Release();
  if (m_writer.joinable()) m_writer.join();
}

void CLogMgr::Post(const char16_t* text) {
  if (text == nullptr) return;
  Post(std::u16string_view(text));
}

void CLogMgr::Post(std::u16string_view text) {
  // Entries end at the first NUL, as the written text always did.
  text = text.substr(0, text.find(u'\0'));
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.emplace_back(text);
  }
  m_wakeUps.Release();
}

void CLogMgr::WriterLoop() {
  for (;;) {
    m_wakeUps.Acquire();
    {
      std::lock_guard<std::mutex> lock(m_lock);
      if (!m_queue.empty()) {
        WriteEntry(m_queue.front());
        m_queue.pop_front();
      }
    }
    if (m_stop.load()) break;
  }
  std::lock_guard<std::mutex> lock(m_lock);
  m_queue.clear();
}

void CLogMgr::WriteEntry(const std::u16string& message) {
  std::time_t now = m_clock ? m_clock() : std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return;

  std::string path =
      m_logDir + Format("/%04d%02d%02d.log", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "ab"));
  if (!file) return;  // the entry is lost, by design nothing reports it

  std::string entry = Format("%02d:%02d:%02d ", local.tm_hour, local.tm_min, local.tm_sec);
  entry += TextCodec::Utf16ToAnsi(message);
  entry += ' ';
  entry += kLineBreaks;
  std::fwrite(entry.data(), 1, entry.size(), file.get());
}
