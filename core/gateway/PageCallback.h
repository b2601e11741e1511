// PageCallback: a counted reference to the page function the host registered
// (PexluneCallback). Copies share the host object; the last one releases it.
// Invoke may be called from any thread; it blocks until the page has run.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "gateway/pexlune.h"

class PageCallback {
public:
  PageCallback() = default;
  explicit PageCallback(PexluneCallback* callback) : m_callback(callback) { AddRef(); }
  PageCallback(const PageCallback& other) : m_callback(other.m_callback) { AddRef(); }
  PageCallback(PageCallback&& other) noexcept : m_callback(std::exchange(other.m_callback, nullptr)) {}
  PageCallback& operator=(PageCallback other) noexcept {
    std::swap(m_callback, other.m_callback);
    return *this;
  }
  ~PageCallback() { Release(); }

  explicit operator bool() const { return m_callback != nullptr; }
  PexluneCallback* get() const { return m_callback; }

  // 0 when the page function ran; non-zero when there is no page (or no
  // callback at all), in which case nothing was delivered.
  int Invoke(std::u16string_view code, std::u16string_view payload) const {
    if (!m_callback || !m_callback->invoke) return -1;
    std::u16string codeText(code);
    std::u16string payloadText(payload);
    return m_callback->invoke(m_callback, codeText.c_str(), payloadText.c_str());
  }

private:
  void AddRef() {
    if (m_callback && m_callback->add_ref) m_callback->add_ref(m_callback);
  }
  void Release() {
    if (m_callback && m_callback->release) m_callback->release(m_callback);
    m_callback = nullptr;
  }

  PexluneCallback* m_callback = nullptr;
};
