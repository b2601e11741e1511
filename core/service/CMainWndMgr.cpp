#include "service/CMainWndMgr.h"

CMainWndMgr& CMainWndMgr::GetInstance() {
  static CMainWndMgr instance;
  return instance;
}

void CMainWndMgr::SetHostWindow(const PexluneHost* host) { m_host = host; }

void CMainWndMgr::CloseHost() {
  if (m_host && m_host->close_window) m_host->close_window(m_host->context);
}

void CMainWndMgr::MinimizeHost() {
  if (m_host && m_host->minimize_window) m_host->minimize_window(m_host->context);
}

// Covers the whole primary screen without the window manager's maximised
// state, so the window stays frameless and a restore brings back its rectangle.
void CMainWndMgr::MaximizeHost() {
  if (!m_host) return;
  if (m_host->get_window_rect) m_host->get_window_rect(m_host->context, &m_saved);
  int width = 0;
  int height = 0;
  if (m_host->get_screen_size) m_host->get_screen_size(m_host->context, &width, &height);
  PexluneRect full{0, 0, width, height};
  if (m_host->set_window_rect) m_host->set_window_rect(m_host->context, &full);
}

void CMainWndMgr::RestoreHost() {
  if (m_host && m_host->set_window_rect) m_host->set_window_rect(m_host->context, &m_saved);
}

void CMainWndMgr::RestartHost() {
  if (m_host && m_host->restart_host) m_host->restart_host(m_host->context);
  CloseHost();
}

void CMainWndMgr::OpenUrl(const char* url) {
  if (m_host && m_host->open_url) m_host->open_url(m_host->context, url);
}
