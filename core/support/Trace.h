// The trace channel: every component reports its steps here ("[FunctionCall]…",
// thread starts, failures). The channel discards them by design; it exists so
// that the call sites document what happens and a build can hook it later.
#pragma once

namespace Trace {

// Accepts a printf-style format and discards it. Nothing is formatted, so a
// call is free and can never fail or block.
template <typename Format, typename... Args>
inline void Write(const Format& /*format*/, const Args&... /*args*/) {}

// Creates (truncates) "ts.log" in the work directory and keeps it open, as the
// service start-up expects; false when the file cannot be created.
bool OpenTraceFile();
void CloseTraceFile();

}  // namespace Trace
