// The pauses the query workers make before they work or answer (the page
// expects its form to be on screen first). Tests shorten them through the
// scale; the service stopping ends a pause early.
// Thread-safety: any thread.
#pragma once

#include <chrono>

namespace QueryWaits {

// Multiplies every pause; 1 by default, 0 removes them.
void SetScale(double scale);
// Pauses for `duration` times the scale, or until the service stops.
void Pause(std::chrono::milliseconds duration);

}  // namespace QueryWaits
