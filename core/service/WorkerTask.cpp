#include "service/WorkerTask.h"

#include <system_error>

WorkerTask::~WorkerTask() { Join(); }

bool WorkerTask::StartWorker(Procedure procedure) {
  try {
    m_thread = std::thread([this, procedure = std::move(procedure)] {
      procedure(*this);
      m_finished.store(true, std::memory_order_release);
    });
    return true;
  } catch (const std::system_error&) {
    m_finished.store(true, std::memory_order_release);
    return false;
  }
}

int WorkerTask::NotifyPage(std::u16string_view code, std::u16string_view payload) {
  if (!m_callback) return -1;
  return m_callback.Invoke(code, payload);
}

void WorkerTask::Join() {
  if (!m_thread.joinable()) return;
  // A task released by its own thread cannot wait for itself.
  if (m_thread.get_id() == std::this_thread::get_id())
    m_thread.detach();
  else
    m_thread.join();
}
