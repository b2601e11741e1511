// Feeds arbitrary text to the dispatcher as a request envelope. The input is
// read as UTF-16 code units, so every unit (lone surrogates included) reaches
// the parser.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gateway/Dispatcher.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string request;
  request.reserve(size / 2 + 1);
  if (size > 0 && data[0] == '<') {
    // Text that looks like markup: take it byte by byte, which reaches deep
    // into envelopes far more often than random code units do.
    for (size_t i = 0; i < size; ++i) request.push_back(data[i]);
  } else {
    for (size_t i = 0; i + 1 < size; i += 2)
      request.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  (void)CallFunction(request);
  return 0;
}
