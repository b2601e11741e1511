// HttpJob: one queued server request. The pool owns it from the post until a
// worker has finished it; it is a plain value, moved between threads under
// the pool's queue lock.
#pragma once

#include <string>

struct HttpJob {
  std::u16string id;    // fresh GUID text, the key of its reply in the result store
  std::u16string verb;  // always "POST"
  std::u16string url;
  std::u16string body;  // the request text before sealing; may be empty
};
