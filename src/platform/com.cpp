#include "platform/com.h"

namespace {
long liveObjects = 0;
}

RefCounted::RefCounted() { ++liveObjects; }

RefCounted::~RefCounted() { --liveObjects; }

ULONG RefCounted::AddRef() { return ++refs_; }

ULONG RefCounted::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

long RefCounted::LiveObjectCount() { return liveObjects; }
