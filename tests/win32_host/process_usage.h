// What the process holds, as a host that reloads the plug-in would watch it: open handles and
// committed private memory.
#pragma once

#include <windows.h>

#include <cstdint>

namespace k4::test {

// Open handles of this process, found by asking the system about every handle value in use.
// (The system's own count is not kept by every Windows this runs on.)
inline int openHandles() {
  int count = 0;
  for (uintptr_t value = 4; value < 0x20000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
      ++count;
  }
  return count;
}

// Committed private memory of this process in bytes: heaps, stacks and every private
// allocation, whatever allocated it.
inline uint64_t committedPrivateBytes() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region;
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
      total += region.RegionSize;
    if (static_cast<const char*>(region.BaseAddress) + region.RegionSize < address)
      break;  // wrapped at the top of the address space
  }
  return total;
}

}  // namespace k4::test
