// CMainWndMgr: the host program's window as the core sees it. It holds the
// host interface handed over by Initialize and the rectangle saved by the last
// full-screen command. Process-wide, created on first use; its window
// operations run on the host thread (inside CallFunction).
#pragma once

#include "gateway/pexlune.h"

class CMainWndMgr {
public:
  static CMainWndMgr& GetInstance();

  // Null means no host window: every window operation then does nothing.
  void SetHostWindow(const PexluneHost* host);
  const PexluneHost* HostWindow() const { return m_host; }
  PexluneRect SavedRect() const { return m_saved; }

  void CloseHost();
  void MinimizeHost();
  void MaximizeHost();
  void RestoreHost();
  void RestartHost();
  // Opens the address in the user's default browser, through the host.
  void OpenUrl(const char* url);

private:
  CMainWndMgr() = default;

  const PexluneHost* m_host = nullptr;
  PexluneRect m_saved{0, 0, 0, 0};
};
