#include "core/SharedBlock.h"

#include <cstdio>

#include "core/VArev.h"

namespace RevavaRez {

std::string SharedBlockName(DWORD processId, HMODULE module, const std::string& label) {
  char name[40];
  std::snprintf(name, sizeof name, "%08lX%0*llX", static_cast<unsigned long>(processId),
                static_cast<int>(sizeof(void*) * 2),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(module)));
  return name + label;
}

namespace {

// The size word of a mapped view when it is one the view can hold, else 0.
uint32_t TrustedSizeWord(const void* view) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(view, &info, sizeof info) != sizeof info) return 0;
  size_t mapped =
      reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize - reinterpret_cast<uintptr_t>(view);
  if (mapped < 4) return 0;
  uint32_t word = *static_cast<const uint32_t*>(view);
  return word >= 4 && word <= mapped ? word : 0;
}

HANDLE CreateBlockMapping(const std::string& name, uint32_t total, bool& existed) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, total, name.c_str());
  existed = mapping && GetLastError() == ERROR_ALREADY_EXISTS;
  return mapping;
}

}  // namespace

bool OpenSharedBlock(HMODULE module, const std::string& label, uint32_t size, TSharedBlock& block) {
  block = TSharedBlock();
  if (size > 0x7FFFFFFF - 4) return false;
  std::string name = SharedBlockName(GetCurrentProcessId(), module, label);
  bool existed = false;
  HANDLE mapping = CreateBlockMapping(name, size + 4, existed);
  if (!mapping) return false;
  if (!existed && size == 0) {
    CloseHandle(mapping);
    return false;
  }
  uint32_t total = size + 4;
  if (existed) {
    void* probe = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    total = probe ? TrustedSizeWord(probe) : 0;
    if (probe) UnmapViewOfFile(probe);
    CloseHandle(mapping);
    if (total == 0) return false;
    // Opened again at its own size; the creator may have closed it meanwhile,
    // which makes this a fresh block of that size.
    mapping = CreateBlockMapping(name, total, existed);
    if (!mapping) return false;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    return false;
  }
  if (existed) {
    // Read once more: the word may have changed since the probe.
    total = TrustedSizeWord(view);
    if (total == 0) {
      UnmapViewOfFile(view);
      CloseHandle(mapping);
      return false;
    }
  }
  *static_cast<uint32_t*>(view) = total;
  block.Handle = mapping;
  block.View = view;
  block.Data = static_cast<uint8_t*>(view) + 4;
  block.DataSize = total - 4;
  return true;
}

void CloseSharedBlock(TSharedBlock& block) {
  if (!block.Handle) return;
  if (block.View) UnmapViewOfFile(block.View);
  CloseHandle(block.Handle);
  block = TSharedBlock();
}

}  // namespace RevavaRez
