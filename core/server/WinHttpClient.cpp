#include "server/WinHttpClient.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>
#include <mutex>

#include "support/TextCodec.h"

// What one attempt has seen so far; the callbacks fill it on the calling thread.
struct WinHttpAttempt {
  using Clock = std::chrono::steady_clock;
  std::string body;
  std::uint64_t headerBytes = 0;
  bool connected = false;
  std::uint64_t progress = 0;
  Clock::time_point progressAt = Clock::now();
};

namespace {

// How often a running exchange looks at its stall clocks; an abort wakes it
// at once, so this only bounds the precision of the time-outs.
constexpr int kTickMs = 50;
// The longest host name and path the original platform's URL cracker held.
constexpr std::size_t kMaxHost = 259;
constexpr std::size_t kMaxPath = 1299;
constexpr long kMaxRedirects = 10;

// curl_global_init is not safe to race with other threads' first use.
void EnsureCurlGlobal() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& attempt = *static_cast<WinHttpAttempt*>(user);
  const size_t bytes = size * count;
  if (attempt.body.size() + bytes > WinHttpClient::kMaxBodyBytes) return 0;  // write error
  attempt.body.append(data, bytes);
  return bytes;
}

size_t OnHeader(char* /*data*/, size_t size, size_t count, void* user) {
  static_cast<WinHttpAttempt*>(user)->headerBytes += size * count;
  return size * count;
}

// Called once the connection (through any proxy) stands, just before the
// request goes out: from here on the send and receive clocks apply.
int OnConnected(void* user, char*, char*, int, int) {
  auto& attempt = *static_cast<WinHttpAttempt*>(user);
  attempt.connected = true;
  attempt.progressAt = WinHttpAttempt::Clock::now();
  return CURL_PREREQFUNC_OK;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         UpperAscii(std::string(text.substr(0, prefix.size()))) == UpperAscii(std::string(prefix));
}

// The caller's header text as libcurl's list, plus the two headers libcurl
// would add on its own and the original platform never sent.
curl_slist* HeaderList(const std::string& text) {
  curl_slist* list = nullptr;
  bool hasContentType = false;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) {
      hasContentType = hasContentType || StartsWithNoCase(line, "Content-Type:");
      list = curl_slist_append(list, line.c_str());
    }
    begin = end + 1;
  }
  list = curl_slist_append(list, "Expect:");
  if (!hasContentType) list = curl_slist_append(list, "Content-Type:");
  return list;
}

std::uint32_t FinishedResult(CURLM* multi) {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE) return static_cast<std::uint32_t>(message->data.result);
  }
  return CURLE_RECV_ERROR;
}

std::string TrimmedBody(std::string_view raw) {
  size_t start = 0;
  while (start < raw.size() && static_cast<unsigned char>(raw[start]) >= 0x80) ++start;
  raw.remove_prefix(start);
  return std::string(raw.substr(0, raw.find('\0')));
}

}  // namespace

WinHttpClient::WinHttpClient(std::u16string url) : m_url(std::move(url)) {
  EnsureCurlGlobal();
  m_multi = curl_multi_init();
}

WinHttpClient::~WinHttpClient() {
  if (m_multi) curl_multi_cleanup(m_multi);
}

bool WinHttpClient::SetBody(const void* data, std::size_t size) {
  if (!data) return false;
  m_body.assign(static_cast<const char*>(data), size);
  return true;
}

bool WinHttpClient::SetExtraHeaders(std::u16string_view headers) {
  m_extraHeaders = headers;
  return true;
}

bool WinHttpClient::SetTimeoutValues(int resolveMs, int connectMs, int sendMs, int receiveMs) {
  m_resolveMs = resolveMs;
  m_connectMs = connectMs;
  m_sendMs = sendMs;
  m_receiveMs = receiveMs;
  return true;
}

void WinHttpClient::Abort() {
  m_abort = true;
  if (m_multi) curl_multi_wakeup(m_multi);
}

bool WinHttpClient::UrlFits() const {
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url) return false;
  const std::string text = TextCodec::Utf16ToUtf8(m_url);
  if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  auto part = [&](CURLUPart which) -> std::string {
    char* value = nullptr;
    if (curl_url_get(url.get(), which, &value, 0) != CURLUE_OK) return {};
    std::string copy(value);
    curl_free(value);
    return copy;
  };
  auto partLength = [&](CURLUPart which) { return part(which).size(); };
  const std::string scheme = part(CURLUPART_SCHEME);
  return (scheme == "http" || scheme == "https") && partLength(CURLUPART_HOST) <= kMaxHost &&
         partLength(CURLUPART_PATH) + partLength(CURLUPART_QUERY) <= kMaxPath;
}

bool WinHttpClient::Perform(std::u16string_view verb, bool disableRedirects) {
  m_responseBody.clear();
  if (m_url.empty()) {
    m_lastError = kErrorEmptyUrl;
    return false;
  }
  std::unique_ptr<CURL, EasyDeleter> easy(m_multi ? curl_easy_init() : nullptr);
  if (!easy) {
    m_lastError = CURLE_OUT_OF_MEMORY;
    return false;
  }
  curl_slist* rawHeaders = nullptr;
  const bool prepared = PrepareRequest(easy.get(), verb, disableRedirects, rawHeaders);
  std::unique_ptr<curl_slist, ListDeleter> headers(rawHeaders);
  if (!prepared) return false;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    WinHttpAttempt state;
    const std::uint32_t result = m_abort ? static_cast<std::uint32_t>(CURLE_ABORTED_BY_CALLBACK)
                                         : RunAttempt(easy.get(), state);
    if (result == CURLE_OK) {
      m_responseBody = TrimmedBody(state.body);
      return true;
    }
    m_lastError = result;
    if (result == CURLE_ABORTED_BY_CALLBACK) break;
  }
  return false;
}

bool WinHttpClient::PrepareRequest(CURL* easy, std::u16string_view verb, bool disableRedirects,
                                   curl_slist*& headers) {
  const std::string method = UpperAscii(TextCodec::Utf16ToUtf8(verb));
  if (method != "GET" && method != "POST") {
    m_lastError = kErrorBadVerb;
    return false;
  }
  if (!UrlFits()) {
    m_lastError = kErrorBadUrl;
    return false;
  }
  headers = HeaderList(TextCodec::Utf16ToUtf8(m_extraHeaders));
  const std::string url = TextCodec::Utf16ToUtf8(m_url);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());  // libcurl copies strings
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "WinHttpClient");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // A resolver thread stuck in the system's lookup must not hold up an abort.
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, disableRedirects ? 0L : 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  const long verify = m_requireValidCertificate ? 1L : 0L;
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verify);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, m_requireValidCertificate ? 2L : 0L);
  // libcurl has no separate resolve limit: both phases share one clock.
  const long connectMs = (m_connectMs > 0 ? m_connectMs : 0) + (m_resolveMs > 0 ? m_resolveMs : 0);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
  if (method == "POST") {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, m_body.data());
  } else {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  }
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
  // Nothing here sets CURLOPT_PROXY or CURLOPT_NOPROXY: libcurl then takes
  // the proxy from http_proxy, https_proxy and no_proxy.
  return true;
}

std::uint32_t WinHttpClient::RunAttempt(CURL* easy, WinHttpAttempt& attempt) {
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &attempt);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &attempt);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &attempt);
  if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
  std::uint32_t result = CURLE_OK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      result = FinishedResult(m_multi);
      break;
    }
    if (m_abort) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    if (StalledTooLong(easy, attempt)) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    curl_multi_poll(m_multi, nullptr, 0, kTickMs, nullptr);
  }
  curl_multi_remove_handle(m_multi, easy);
  return result;
}

bool WinHttpClient::StalledTooLong(CURL* easy, WinHttpAttempt& attempt) const {
  if (!attempt.connected) return false;  // CURLOPT_CONNECTTIMEOUT_MS covers this phase
  curl_off_t uploaded = 0;
  curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  const auto now = WinHttpAttempt::Clock::now();
  const std::uint64_t progress =
      static_cast<std::uint64_t>(uploaded) + attempt.headerBytes + attempt.body.size();
  if (progress != attempt.progress) {
    attempt.progress = progress;
    attempt.progressAt = now;
    return false;
  }
  const bool sending = static_cast<std::uint64_t>(uploaded) < m_body.size();
  const int limitMs = sending ? m_sendMs : m_receiveMs;
  return limitMs > 0 && now - attempt.progressAt >= std::chrono::milliseconds(limitMs);
}
