// WinHttpClient: one synchronous HTTP exchange (libcurl underneath) that hands
// back the raw response body. A request worker creates one per job, uses it
// on its own thread and destroys it; only Abort may be called from another
// thread, and only while the instance exists.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// libcurl's own handle types, so the header needs none of its declarations.
using CURL = void;
using CURLM = void;
struct curl_slist;
struct WinHttpAttempt;

class WinHttpClient {
 public:
  static constexpr int kAttempts = 3;
  // Last-error numbers of our own; every other one is the libcurl result
  // code of the failed step (28 a time-out, 42 an abort, 7 a refused connect).
  static constexpr std::uint32_t kErrorEmptyUrl = 3;
  static constexpr std::uint32_t kErrorBadVerb = 87;
  static constexpr std::uint32_t kErrorBadUrl = 3;  // libcurl's "malformed URL"
  // A reply larger than this ends the attempt; no server reply comes near it.
  static constexpr std::size_t kMaxBodyBytes = 64u << 20;

  explicit WinHttpClient(std::u16string url);
  ~WinHttpClient();
  WinHttpClient(const WinHttpClient&) = delete;
  WinHttpClient& operator=(const WinHttpClient&) = delete;

  // False for a null pointer; the bytes are copied.
  bool SetBody(const void* data, std::size_t size);
  // Header lines, each ending in CR LF. Always true.
  bool SetExtraHeaders(std::u16string_view headers);
  // Milliseconds; 0 means no limit of ours for that phase (libcurl still
  // gives up connecting after 300 s). Always true. Defaults 0,
  // 60,000, 30,000, 30,000. Resolve and connect together bound the time to an
  // open connection; send bounds a stall while the body goes out, receive a
  // stall while waiting for or reading the reply.
  bool SetTimeoutValues(int resolveMs, int connectMs, int sendMs, int receiveMs);
  // Off by default: HTTPS then accepts any certificate, as the counter PCs'
  // servers have always been reached.
  void SetRequireValidCertificate(bool require) { m_requireValidCertificate = require; }

  // "GET" or "POST" in any case. True once any HTTP response arrived,
  // whatever its status; up to kAttempts attempts. The proxy comes from the
  // environment (http_proxy, https_proxy, no_proxy).
  bool Perform(std::u16string_view verb, bool disableRedirects);

  // The body of the last successful Perform: leading bytes of 0x80 and above
  // dropped, cut at the first zero byte. Empty after a failure.
  std::string GetResponseBody() const { return m_responseBody; }
  std::uint32_t GetLastErrorCode() const { return m_lastError; }

  // Thread-safe. Ends a running Perform within moments, and makes any later
  // one fail at once (last error 42).
  void Abort();

 private:
  bool PrepareRequest(CURL* easy, std::u16string_view verb, bool disableRedirects,
                      curl_slist*& headers);
  bool UrlFits() const;
  std::uint32_t RunAttempt(CURL* easy, WinHttpAttempt& attempt);
  bool StalledTooLong(CURL* easy, WinHttpAttempt& attempt) const;

  std::u16string m_url;
  std::string m_body;
  std::u16string m_extraHeaders;
  int m_resolveMs = 0;
  int m_connectMs = 60000;
  int m_sendMs = 30000;
  int m_receiveMs = 30000;
  bool m_requireValidCertificate = false;
  std::string m_responseBody;
  std::uint32_t m_lastError = 0;

  // Made at construction and kept to destruction, so Abort can always wake it.
  CURLM* m_multi = nullptr;
  std::atomic<bool> m_abort{false};
};
