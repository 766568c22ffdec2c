// ENet's memory: blocks from a fixed store, so that a match over the network allocates nothing
// per frame. ENet asks for a few small sizes over and over (packets and their data, commands,
// acknowledgements); what is bigger, or more than the store holds, comes from the system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace net {

void* StoreAlloc(size_t size);
void StoreFree(void* block);

// Blocks handed out by the system's allocator so far (each time the store could not serve).
uint64_t SystemBlocks();

}  // namespace net
