#include "moduleinfo/LineTables.h"

#include "moduleinfo/DebugData.h"
#include "moduleinfo/ModuleStream.h"

namespace RevavaRez {

bool FindInLineTables(TVezavuModuleInfo& module, uintptr_t address, TVezavuDebugInfo& info) {
  if (!module.DebugData || module.DebugData->Size() == 0) return false;
  const TNameCoding coding{module.BlockVersion, module.NamesReadable, module.Password};
  // The procedure offsets come from the block: its first code bytes are
  // read only where the system says they can be.
  const TCodeReader readCode = [](uint64_t at, uint8_t* buffer, size_t count) {
    if (at > UINTPTR_MAX) return false;
    THModuleStream code(reinterpret_cast<const void*>(static_cast<uintptr_t>(at)));
    return code.ReadChecked(buffer, count);
  };
  TLineHit hit;
  if (!FindLine(module.DebugData->Memory(), static_cast<size_t>(module.DebugData->Size()), coding,
                reinterpret_cast<uintptr_t>(module.Handle), address, readCode, hit))
    return false;
  info.Kind = dkLineTables;
  info.Address = address;
  info.UnitName = std::move(hit.UnitName);
  info.ClassName = std::move(hit.ClassName);
  info.ProcedureName = std::move(hit.ProcedureName);
  info.Line = hit.Line;
  info.RelativeLine = hit.RelativeLine;
  return true;
}

}  // namespace RevavaRez
