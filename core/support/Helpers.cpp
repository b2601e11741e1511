#include "support/Helpers.h"

#include <uuid/uuid.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <system_error>

#include "support/TextCodec.h"

namespace Helpers {
namespace {

// Guards the work directory; it is written once (by SetWorkDir or first use)
// and read everywhere after that.
std::once_flag g_workDirOnce;
std::string g_workDirA;
std::u16string g_workDir;

std::string ExecutableFolder() {
  std::string path(PATH_MAX, '\0');
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return "./";
  path.resize(static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

void FillWorkDir(std::string dir) {
  if (dir.empty()) dir = "./";
  if (dir.back() != '/') dir.push_back('/');
  g_workDirA = std::move(dir);
  g_workDir = TextCodec::Utf8ToUtf16(g_workDirA);
}

// Formats into a buffer sized from the result, so no text is ever cut.
template <typename... Args>
std::u16string Format(const char* format, Args... args) {
  int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return {};
  std::string buffer(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(buffer.data(), buffer.size(), format, args...);
  buffer.resize(static_cast<size_t>(n));
  return TextCodec::Ascii(buffer);
}

bool LocalTime(std::int64_t t, std::tm& out) {
  std::time_t value = static_cast<std::time_t>(t);
  return localtime_r(&value, &out) != nullptr;
}

}  // namespace

bool SetWorkDir(const std::string& dir) {
  bool applied = false;
  std::call_once(g_workDirOnce, [&] {
    FillWorkDir(dir);
    applied = true;
  });
  return applied;
}

const std::string& WorkDirA() {
  std::call_once(g_workDirOnce, [] { FillWorkDir(ExecutableFolder()); });
  return g_workDirA;
}

const std::u16string& WorkDir() {
  WorkDirA();
  return g_workDir;
}

bool IsHostedInBrowser() { return false; }

std::u16string CoreVersionText() {
  return Format("%d.%d.%d.%d", TILLORA_VERSION_MAJOR, TILLORA_VERSION_MINOR, TILLORA_VERSION_PATCH,
                TILLORA_VERSION_TWEAK);
}

// Times the runtime cannot convert give an empty text.
std::u16string DateTimeText(std::int64_t t) {
  std::tm tm{};
  if (!LocalTime(t, tm)) return {};
  return Format("%d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::u16string CompactDateTimeText(std::int64_t t) {
  std::tm tm{};
  if (!LocalTime(t, tm)) return {};
  return Format("%d%02d%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::u16string ClockText(std::int64_t t) {
  std::tm tm{};
  if (!LocalTime(t, tm)) return {};
  return Format("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::u16string NewGuidText() {
  uuid_t id;
  uuid_generate(id);
  return Format("%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", id[0],
                id[1], id[2], id[3], id[4], id[5], id[6], id[7], id[8], id[9], id[10], id[11],
                id[12], id[13], id[14], id[15]);
}

// Not snprintf: it takes the decimal point from LC_NUMERIC, which the host's
// toolkit sets from the environment (a German desk would print "2,50").
// std::to_chars is locale-free and rounds exactly as printf in the C locale.
std::u16string MoneyText(float amount) {
  char buffer[64];  // the largest float has 39 integer digits
  auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(amount),
                              std::chars_format::fixed, 2);
  if (result.ec != std::errc()) return {};
  return TextCodec::Ascii(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

std::u16string IntText(int value) { return Format("%d", value); }

int ParseInt(std::u16string_view text) {
  size_t i = 0;
  auto isSpace = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

}  // namespace Helpers
