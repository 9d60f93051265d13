#include "moduleinfo/Symbols.h"

#include <windows.h>

#include "core/VArev.h"
#include "hooking/HookEngine.h"
#include "moduleinfo/DataBlockFormat.h"
#include "moduleinfo/PEImage.h"
#include "options/LibraryData.h"

namespace RevavaRez {

uintptr_t FindSymbolByID(uint8_t identifier) {
  HMODULE module = ThisModule();
  const uint8_t* block;
  size_t size;
  uint32_t offset = 0;
  if (!RURudoResourceBytes(module, block, size) || !FindSymbolOffset(block, size, identifier, offset)) return 0;
  const uint64_t address = uint64_t{reinterpret_cast<uintptr_t>(module)} + 4096 + offset;
  if (address > UINTPTR_MAX || !IsInExecutableSection(module, static_cast<uintptr_t>(address))) return 0;
  return static_cast<uintptr_t>(address);
}

void* HookSymbol(uint8_t identifier, const std::string& moduleName, const std::string& symbolName,
                 void* replacement) {
  void* routine = reinterpret_cast<void*>(FindSymbolByID(identifier));
  if (routine == nullptr && !moduleName.empty() && !symbolName.empty()) {
    if (HMODULE module = GetModuleHandleA(moduleName.c_str()))
      routine = reinterpret_cast<void*>(GetProcAddress(module, symbolName.c_str()));
  }
  if (routine == nullptr || replacement == nullptr) return routine;
  return HookProcedure(routine, replacement, "SymbolID = " + std::to_string(identifier));
}

void* HookSymbolByID(uint8_t identifier, void* replacement) { return HookSymbol(identifier, "", "", replacement); }

}  // namespace RevavaRez
