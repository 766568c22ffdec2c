// A packet of any content from the other machine, read as the game over the network reads it: it
// is refused, or it is exactly one message, which encodes back to the same bytes.
#include <algorithm>
#include <cstdint>

#include "fuzz_support.h"
#include "net/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  net::Message message;
  if (!net::Decode(data, size, &message)) return 0;
  uint8_t again[net::MaxPacket];
  const size_t length = net::Encode(message, again);
  FUZZ_CHECK(length == size && std::equal(data, data + size, again));
  return 0;
}
