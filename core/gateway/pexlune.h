/* The C interface of the Tillora core (libpexlune.so).
 *
 * The host loads the library with dlopen and resolves these names. Text
 * crosses as zero-terminated UTF-16 (char16_t). Every export may be called
 * from the host thread (the page's thread); the callback object's invoke is
 * called from worker threads.
 */
#ifndef PEXLUNE_H
#define PEXLUNE_H

#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PEXLUNE_EXPORT __attribute__((visibility("default")))

typedef struct PexluneRect {
  int left, top, right, bottom;
} PexluneRect;

/* What the host offers the core. Every member may be null; the core then skips
 * that operation. All of them are called on the host thread, except post,
 * which any thread may call. */
typedef struct PexluneHost {
  void* context;
  /* Runs fn(arg) on the host thread soon; 0 when it was queued. */
  int (*post)(void* context, void (*fn)(void* arg), void* arg);
  void (*close_window)(void* context);
  void (*minimize_window)(void* context);
  void (*get_window_rect)(void* context, PexluneRect* out);
  /* Places the window at rect and shows it in its normal state. */
  void (*set_window_rect)(void* context, const PexluneRect* rect);
  void (*get_screen_size)(void* context, int* width, int* height);
  /* Starts a new instance of the host program (the core then closes this one). */
  void (*restart_host)(void* context);
  /* Opens a web address (UTF-8) in the user's default browser. */
  void (*open_url)(void* context, const char* url);
} PexluneHost;

typedef struct InitArgs {
  const PexluneHost* host; /* may be null: no window operations, no printing */
  const char* work_dir;    /* UTF-8 folder; null means the executable's folder */
} InitArgs;

/* A reference-counted page callback supplied by the host. invoke runs on a
 * worker thread and returns only after the page function has run on the
 * page's thread: 0 when it ran, non-zero when no page is attached. */
typedef struct PexluneCallback PexluneCallback;
struct PexluneCallback {
  void (*add_ref)(PexluneCallback* self);
  void (*release)(PexluneCallback* self);
  int (*invoke)(PexluneCallback* self, const char16_t* code, const char16_t* payload);
};

/* Starts the service core: 0 on success, 1 on failure. args may be null. */
PEXLUNE_EXPORT int Initialize(const InitArgs* args, void* reserved);
/* Stops the service core and waits for its workers; always 0. Before calling
 * it the host makes its callback's invoke return at once (non-zero): a worker
 * waiting for the page would otherwise wait for this very thread. */
PEXLUNE_EXPORT int Uninitialize(void* reserved1, void* reserved2);
/* 0 when the browser engine is usable, 2 when it is too old. */
PEXLUNE_EXPORT int CheckEvn(void);

/* ---- Printing ----
 * A print job the core hands to the host thread. The core posts it with
 * post(context, fn, request); a host that receives the request another way
 * runs it with CallPrint_ASync, on its thread. Opaque to the host; it stays
 * valid until it has run once. */
typedef struct PrintRequest PrintRequest;
/* Runs the request's print job on the calling (host) thread and wakes the
 * worker waiting for it; always 0. */
PEXLUNE_EXPORT int CallPrint_ASync(PrintRequest* request, void* reserved);

/* Runs one request envelope and returns the reply envelope, possibly empty,
 * never null. Free it with PexluneFreeString. */
PEXLUNE_EXPORT char16_t* PexluneCallFunction(const char16_t* request);
PEXLUNE_EXPORT void PexluneFreeString(char16_t* text);
/* Registers the page callback; null keeps the previous registration. */
PEXLUNE_EXPORT void PexluneSetJSCallBack(PexluneCallback* callback);

#ifdef __cplusplus
}
#endif

#endif /* PEXLUNE_H */
