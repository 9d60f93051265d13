#include "moduleinfo/DebugInfo.h"

#include "moduleinfo/ExportNames.h"
#include "moduleinfo/LineTables.h"
#include "moduleinfo/ModuleExports.h"
#include "moduleinfo/ModulesList.h"

namespace RevavaRez {

void GetDebugInfo(uintptr_t address, DWORD threadID, TVezavuDebugInfo& info, bool threadFlag) {
  info.Clear();
  // The whole lookup: the record's debug data and the name key it sets are
  // shared by every thread that asks.
  TModulesLock lock;
  TVezavuModuleInfo* module = Modules().FindByAddress(address);
  info.Module = module;
  info.ThreadID = threadID;
  info.ThreadFlag = threadFlag;
  if (module != nullptr && module->DebugData && FindInLineTables(*module, address, info)) return;

  info.Kind = dkAddress;
  info.Address = address;
  info.Line = 0;
  if (module == nullptr) return;
  info.Kind = dkModule;
  if (!module->Functions) return;
  const TVezavuFunctionInfo* function = FindFunction(*module->Functions, address);
  if (function == nullptr) return;
  TExportNameParts parts = SplitExportName(function->Name);
  if (parts.Kind == dkModule) return;
  info.Kind = parts.Kind;
  info.UnitName = std::move(parts.UnitName);
  info.ClassName = std::move(parts.ClassName);
  info.ProcedureName = std::move(parts.ProcedureName);
}

}  // namespace RevavaRez
