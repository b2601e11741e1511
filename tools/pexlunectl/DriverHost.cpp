#include "DriverHost.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "JsonLine.h"
#include "support/TextCodec.h"

namespace {

void EmitLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string RectJson(const PexluneRect& r) {
  return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
         std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
}

// Completion of one callback: the worker waits on it until the page loop ran
// the callback, or dropped it because the page went away.
struct Delivery {
  std::mutex mutex;  // guards done and delivered
  std::condition_variable signal;
  bool done = false;
  bool delivered = false;

  void Finish(bool ok) {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    delivered = ok;
    signal.notify_all();
  }
};

}  // namespace

DriverHost::DriverHost(PageLoop& loop) : m_loop(loop) {
  m_host.context = this;
  m_host.post = [](void* context, void (*fn)(void*), void* arg) {
    return Of(context).m_loop.Post([fn, arg] { fn(arg); }) ? 0 : 1;
  };
  m_host.close_window = [](void*) { EmitLine(JsonLine::Window("close")); };
  m_host.minimize_window = [](void*) { EmitLine(JsonLine::Window("minimize")); };
  m_host.get_window_rect = [](void* context, PexluneRect* out) { *out = Of(context).m_window; };
  m_host.set_window_rect = [](void* context, const PexluneRect* rect) {
    Of(context).m_window = *rect;
    EmitLine(JsonLine::Window("place " + RectJson(*rect)));
  };
  m_host.get_screen_size = [](void*, int* width, int* height) {
    *width = 1920;
    *height = 1080;
  };
  m_host.restart_host = [](void*) { EmitLine(JsonLine::Window("restart")); };
  m_host.open_url = [](void*, const char* url) {
    EmitLine(JsonLine::Window(std::string("open ") + (url ? url : "")));
  };

  m_callback.owner = this;
  // The driver owns the callback for its whole run, so counting is a no-op.
  m_callback.base.add_ref = [](PexluneCallback*) {};
  m_callback.base.release = [](PexluneCallback*) {};
  m_callback.base.invoke = &DriverHost::Invoke;
}

void DriverHost::DetachPage() { m_attached = false; }

int DriverHost::Invoke(PexluneCallback* self, const char16_t* code, const char16_t* payload) {
  DriverHost& host = *reinterpret_cast<CallbackObject*>(self)->owner;
  if (!host.m_attached) return 1;
  auto delivery = std::make_shared<Delivery>();
  std::string codeText = TextCodec::Utf16ToUtf8(code ? code : u"");
  std::string line =
      JsonLine::Callback(codeText, TextCodec::Utf16ToUtf8(payload ? payload : u""));
  bool queued = host.m_loop.Post([&host, delivery, line, codeText] {
    bool attached = host.m_attached;
    if (attached) {
      EmitLine(line);
      host.CountDelivery(codeText);
    }
    delivery->Finish(attached);
  });
  if (!queued) return 1;
  std::unique_lock<std::mutex> lock(delivery->mutex);
  // Wake now and then to notice a page that went away with this job queued.
  while (!delivery->signal.wait_for(lock, std::chrono::milliseconds(100),
                                    [&] { return delivery->done; })) {
    if (!host.m_attached) return 1;
  }
  return delivery->delivered ? 0 : 1;
}

void DriverHost::CountDelivery(const std::string& code) {
  {
    std::lock_guard<std::mutex> lock(m_countMutex);
    ++m_delivered[code];
  }
  m_deliveredSignal.notify_all();
}

bool DriverHost::WaitForCallbacks(const std::string& code, int count,
                                  std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_countMutex);
  return m_deliveredSignal.wait_for(lock, timeout, [&] { return m_delivered[code] >= count; });
}
