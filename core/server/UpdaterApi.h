/* The interface of the updater library "libupdate.so", which the maker
 * ships beside the host program. The core loads it at start-up, asks it
 * whether a newer version exists and, when one does, starts the updater
 * program "Grenwick" from the same folder. Plain C, so that the library can
 * be built with any compiler.
 *
 *   void globalinit(void);       before the check
 *   TilloraUpdater* getupdate(void);
 *   void globalrelease(void);    after the check, whatever its outcome
 *
 * The object returned by getupdate belongs to the library; the core calls
 * its operations on the thread that runs the start-up, in the order Prepare,
 * CheckUpdate, then Finish, and stops using the object after Finish. */
#ifndef TILLORA_UPDATER_API_H
#define TILLORA_UPDATER_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TilloraUpdater TilloraUpdater;

/* The table of operations. A library may add operations of its own after
 * these; the core calls only these five. Truth values are non-zero. */
typedef struct TilloraUpdaterOps {
  int (*Prepare)(TilloraUpdater* self);
  /* Texts in code page 936, zero-terminated. `needUpdate` is set to 0 by the
   * caller; the library makes it non-zero when an update is due. Non-zero
   * when the check itself worked. */
  int (*CheckUpdate)(TilloraUpdater* self, const char* versionFile, const char* updateUrl,
                     int32_t* needUpdate);
  void (*Finish)(TilloraUpdater* self);
  int (*GetErrorCode)(TilloraUpdater* self);
  const char* (*GetErrorText)(TilloraUpdater* self);
} TilloraUpdaterOps;

struct TilloraUpdater {
  const TilloraUpdaterOps* ops;
};

typedef void (*TilloraGlobalInitFn)(void);
typedef TilloraUpdater* (*TilloraGetUpdateFn)(void);
typedef void (*TilloraGlobalReleaseFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* TILLORA_UPDATER_API_H */
