// Helpers shared by the files of the library that work through the mapped
// window; not for callers of the library.
#pragma once

#include <cstdint>

#include "vxi/vxi.h"

// The bus offset handed to a block move: the distance of a host address from
// the window's start (right for windows that begin at bus offset 0, the only
// kind the program maps).
inline ViBusAddress windowOffset(const VxiDevice* device, const void* address) {
  return static_cast<ViBusAddress>(reinterpret_cast<uintptr_t>(address) -
                                   reinterpret_cast<uintptr_t>(device->mapAddress));
}

// The host address at a byte distance from another one, without dereferencing.
inline void* addressPlus(void* address, uintptr_t bytes) {
  return reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) + bytes);
}
