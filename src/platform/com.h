// Reference-counted platform objects, in the manner of COM interfaces: every object starts with one
// reference held by whoever created it; AddRef and Release return the new count, and the last Release
// deletes the object. LiveObjectCount lets tests check that create/attach/detach/release cycles
// leave nothing behind.
#pragma once

#include <cstdint>

using HRESULT = int32_t;
using ULONG = uint32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

class RefCounted {
 public:
  RefCounted();
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  ULONG AddRef();
  ULONG Release();
  ULONG RefCount() const { return refs_; }

  // Number of reference-counted platform objects alive in the process.
  static long LiveObjectCount();

 protected:
  virtual ~RefCounted();

 private:
  ULONG refs_ = 1;
};
