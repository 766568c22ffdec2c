// The fixed store behind ENet: blocks go back to the run they came from and are handed out again;
// what does not fit comes from the system.
#include "net/store.h"

#include <gtest/gtest.h>

namespace {

TEST(Store, BlocksReturnToTheirRunAndOnlyTheOversizedComeFromTheSystem) {
  void* small = net::StoreAlloc(40);
  void* middle = net::StoreAlloc(200);
  void* large = net::StoreAlloc(2000);
  const uint64_t before = net::SystemBlocks();
  net::StoreFree(large);
  net::StoreFree(small);
  net::StoreFree(middle);
  EXPECT_EQ(net::StoreAlloc(256), middle);
  EXPECT_EQ(net::StoreAlloc(64), small);
  EXPECT_EQ(net::StoreAlloc(2048), large);
  EXPECT_EQ(net::SystemBlocks(), before);
  void* huge = net::StoreAlloc(2049);
  EXPECT_EQ(net::SystemBlocks(), before + 1);
  net::StoreFree(huge);
}

}  // namespace
