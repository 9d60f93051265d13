#include "moduleinfo/ModuleExports.h"

#include <algorithm>
#include <cstring>

#include "core/VArev.h"
#include "hooking/HookEngine.h"
#include "moduleinfo/ModuleStream.h"
#include "moduleinfo/PEImage.h"

namespace RevavaRez {

namespace {

constexpr size_t kLongestName = 4096;

struct TExportDirectory {
  uint32_t Characteristics;
  uint32_t NumberOfFunctions;
  uint32_t NumberOfNames;
  uint32_t AddressOfNames;
};

bool ReadExportDirectory(const TPEHeaders& headers, TExportDirectory& directory) {
  if (headers.ExportRVA == 0) return false;
  bool inSection = false;
  for (uint16_t i = 0; i < headers.NumberOfSections && !inSection; ++i) {
    TSectionHeader section;
    if (!ReadSection(headers, i, section)) return false;
    inSection = headers.ExportRVA >= section.VirtualAddress &&
                uint64_t(headers.ExportRVA) < uint64_t(section.VirtualAddress) + section.VirtualSize;
  }
  if (!inSection) return false;
  uint8_t raw[40];
  THModuleStream stream(headers.Image);
  stream.SetPosition(headers.ExportRVA);
  if (!stream.ReadChecked(raw, sizeof raw)) return false;
  std::memcpy(&directory.Characteristics, raw, 4);
  std::memcpy(&directory.NumberOfFunctions, raw + 20, 4);
  std::memcpy(&directory.NumberOfNames, raw + 24, 4);
  std::memcpy(&directory.AddressOfNames, raw + 32, 4);
  return true;
}

// A zero-terminated name in the image, or false when it is unreadable or
// longer than any real export name.
bool ReadName(const uint8_t* at, std::string& name) {
  const size_t readable = ReadablePrefix(at, kLongestName + 1);
  const void* end = std::memchr(at, 0, readable);
  if (end == nullptr) return false;
  name.assign(reinterpret_cast<const char*>(at), static_cast<const uint8_t*>(end) - at);
  return true;
}

// Outside the NT family an export of a system library may be a stub
// "push target; jmp ..." that the system put in front of the routine.
uintptr_t SkipPushStub(uintptr_t address) {
  uint8_t stub[6];
  THModuleStream stream(reinterpret_cast<const void*>(address));
  if (!stream.ReadChecked(stub, sizeof stub) || stub[0] != 0x68 || stub[5] != 0xE9) return address;
  uint32_t target;
  std::memcpy(&target, stub + 1, 4);
  return target;
}

}  // namespace

DWORD RunningPlatformId() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) ? info.dwPlatformId : DWORD(VER_PLATFORM_WIN32_NT);
}

void ReadExportedFunctions(HMODULE module, TVezavuFunctionsList& functions, DWORD platformId) {
  TPEHeaders headers;
  uintptr_t codeStart = 0, codeEnd = 0;
  if (!ReadPEHeaders(module, headers) || !CodeRange(module, codeStart, codeEnd)) return;
  TExportDirectory directory;
  if (!ReadExportDirectory(headers, directory) || directory.Characteristics != 0) return;
  const uint32_t count = std::min(directory.NumberOfFunctions, directory.NumberOfNames);
  const uint8_t* image = headers.Image;
  const uint64_t tableBytes = uint64_t(count) * 4;
  const uint8_t* table = image + directory.AddressOfNames;
  if (count == 0 || tableBytes > SIZE_MAX || !IsReadable(table, static_cast<size_t>(tableBytes))) return;
  const bool ide = IsIDEHost();
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t nameRVA;
    std::memcpy(&nameRVA, table + size_t(i) * 4, 4);
    std::string name;
    if (!ReadName(image + nameRVA, name)) break;
    FARPROC procedure = GetProcAddress(module, name.c_str());
    if (procedure == nullptr) continue;
    uintptr_t address = reinterpret_cast<uintptr_t>(procedure);
    if (platformId != VER_PLATFORM_WIN32_NT) address = SkipPushStub(address);
    uint32_t size = 1;
    if (!ide && address >= codeStart) {
      const size_t limit = address < codeEnd ? codeEnd - address : 0;
      size = static_cast<uint32_t>(CodeSizeToReturn(reinterpret_cast<const void*>(address), limit));
    }
    auto* function = new TVezavuFunctionInfo;
    function->Name = std::move(name);
    function->Address = address;
    function->Size = size;
    functions.Add(function);
  }
  std::stable_sort(functions.List().begin(), functions.List().end(),
                   [](const TVezavuFunctionInfo* a, const TVezavuFunctionInfo* b) { return a->Address < b->Address; });
}

const TVezavuFunctionInfo* FindFunction(const TVezavuFunctionsList& functions, uintptr_t address) {
  const std::vector<TVezavuFunctionInfo*>& list = functions.List();
  // The last function that starts at or before the address.
  auto after = std::upper_bound(list.begin(), list.end(), address,
                                [](uintptr_t value, const TVezavuFunctionInfo* f) { return value < f->Address; });
  if (after == list.begin()) return nullptr;
  const TVezavuFunctionInfo* function = *(after - 1);
  return address - function->Address <= function->Size ? function : nullptr;
}

}  // namespace RevavaRez
