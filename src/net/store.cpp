// The fixed store: for each block size a run of blocks in one static array, with a list of the
// free ones; the block's address says which run, so freeing needs no header.
#include "net/store.h"

#include <cstdlib>

namespace net {

namespace {

struct Run {
  size_t size, count;
};
// Room for a match with a delay of 8 on a slow line: every frame's packet waits for its
// acknowledgement, and a stalled side re-sends every 20 ms.
constexpr Run Runs[] = {{64, 1024}, {256, 1024}, {2048, 64}};
constexpr int RunCount = sizeof Runs / sizeof Runs[0];

constexpr size_t StoreBytes() {
  size_t bytes = 0;
  for (const Run& r : Runs) bytes += r.size * r.count;
  return bytes;
}

struct FreeBlock {
  FreeBlock* next;
};

alignas(std::max_align_t) unsigned char Store[StoreBytes()];
FreeBlock* FreeLists[RunCount] = {};
bool Ready = false;
uint64_t FromSystem = 0;

void Prepare() {
  unsigned char* at = Store;
  for (int r = 0; r < RunCount; ++r) {
    // Pushed back to front: the first block is handed out first.
    for (size_t i = Runs[r].count; i-- > 0;) {
      auto* block = reinterpret_cast<FreeBlock*>(at + i * Runs[r].size);
      block->next = FreeLists[r];
      FreeLists[r] = block;
    }
    at += Runs[r].size * Runs[r].count;
  }
  Ready = true;
}

}  // namespace

void* StoreAlloc(size_t size) {
  if (!Ready) Prepare();
  for (int r = 0; r < RunCount; ++r) {
    if (size > Runs[r].size || FreeLists[r] == nullptr) continue;
    FreeBlock* block = FreeLists[r];
    FreeLists[r] = block->next;
    return block;
  }
  ++FromSystem;
  return std::malloc(size);
}

void StoreFree(void* block) {
  auto* at = static_cast<unsigned char*>(block);
  if (at < Store || at >= Store + sizeof Store) {
    std::free(block);
    return;
  }
  size_t offset = static_cast<size_t>(at - Store);
  int r = 0;
  for (; offset >= Runs[r].size * Runs[r].count; ++r) offset -= Runs[r].size * Runs[r].count;
  auto* free = static_cast<FreeBlock*>(block);
  free->next = FreeLists[r];
  FreeLists[r] = free;
}

uint64_t SystemBlocks() {
  return FromSystem;
}

}  // namespace net
