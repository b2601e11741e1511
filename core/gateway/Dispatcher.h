// The dispatcher: reads the head of a request envelope and routes it to the
// family handler of its MainID. Stateless; every call owns its document, so
// it may run on any thread, though the core calls it on the page's thread.
#pragma once

#include <string>
#include <string_view>

// The reply envelope, or an empty text when the request has no complete head
// or names no function.
std::u16string CallFunction(std::u16string_view request);
