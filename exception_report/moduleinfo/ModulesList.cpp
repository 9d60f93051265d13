#include "moduleinfo/ModulesList.h"

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "moduleinfo/DataBlock.h"
#include "moduleinfo/ModuleExports.h"
#include "moduleinfo/ModuleKind.h"
#include "moduleinfo/VersionInfo.h"
#include "options/CurrentRevavaRezOptions.h"

namespace RevavaRez {

namespace {

TVezavuModulesList* TheModules = nullptr;

TVezavuModuleOptionsEx* OwnRecordOptions() noexcept {
  if (TheModules == nullptr) return nullptr;
  const int index = TheModules->IndexOfHandle(ThisModule());
  return index < 0 ? nullptr : TheModules->Items(index)->Options.get();
}

uint32_t FileSizeOf(const std::string& fileName) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(fileName.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FindClose(search);
  return data.nFileSizeLow;
}

// File dates come in the two-second steps of the DOS format. Compared
// exactly, a date just computed in the x87's wider registers of the 32-bit
// build differs from the same date stored in the record.
bool SameFileDate(TDateTime a, TDateTime b) { return std::fabs(a - b) < 1.0 / 86400.0; }

// The record of the module in the state the enumeration flag asks for; null
// without a file name.
std::unique_ptr<TVezavuModuleInfo> MakeRecord(HMODULE module) {
  // A null handle would name the main program under a handle of its own.
  if (module == nullptr) return nullptr;
  std::string fileName = ModuleFileNameOf(module);
  if (fileName.empty()) return nullptr;
  auto record = std::make_unique<TVezavuModuleInfo>();
  record->Handle = module;
  record->FileName = std::move(fileName);
  record->NamesReadable = true;
  record->Modified = FileDateOf(record->FileName);
  TFileVersionInfo version = ReadFileVersionInfo(record->FileName);
  record->Description = std::move(version.Description);
  record->Version = std::move(version.Version);
  record->Size = FileSizeOf(record->FileName);
  record->Functions = std::make_unique<TVezavuFunctionsList>();
  record->MadeDuringEnumeration = ModulesEnumerating;
  // The main instance keeps kind 0: it is the program, and its exports (if
  // any) name nothing its line tables would not.
  if (!ModulesEnumerating && module != GetModuleHandleA(nullptr)) {
    ReadExportedFunctions(module, *record->Functions);
    record->Kind = ModuleKindOf(module);
  }
  record->Options = std::make_unique<TVezavuModuleOptionsEx>(false, record->FileName);
  LoadDataBlock(*record, ModulesEnumerating);
  return record;
}

// Sets the flag for the time of one enumeration, however it ends.
class TEnumerating {
 public:
  TEnumerating() : FSaved(ModulesEnumerating) { ModulesEnumerating = true; }
  ~TEnumerating() { ModulesEnumerating = FSaved; }
  TEnumerating(const TEnumerating&) = delete;
  TEnumerating& operator=(const TEnumerating&) = delete;

 private:
  bool FSaved;
};

void AddMissing(TVezavuModulesList& list, HMODULE module) {
  if (module != nullptr && list.IndexOfHandle(module) < 0) list.Add(module);
}

void AddProcessModulesPSAPI(TVezavuModulesList& list) {
  HMODULE psapi = LoadLibraryA("PSAPI.DLL");
  if (psapi == nullptr) return;
  using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  auto enumerate = reinterpret_cast<TEnumProcessModules>(
      reinterpret_cast<void*>(GetProcAddress(psapi, "EnumProcessModules")));
  HANDLE process = enumerate ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId())
                             : nullptr;
  if (process != nullptr) {
    DWORD needed = 0;
    HMODULE first;
    if (enumerate(process, &first, sizeof first, &needed) && needed > 0) {
      std::vector<HMODULE> handles(needed / sizeof(HMODULE) + 1);
      const DWORD given = static_cast<DWORD>(handles.size() * sizeof(HMODULE));
      if (enumerate(process, handles.data(), given, &needed)) {
        // A module loaded between the two calls makes needed larger than
        // what was given; only the handles written count.
        const size_t count = std::min(needed, given) / sizeof(HMODULE);
        for (size_t i = 0; i < count; ++i) AddMissing(list, handles[i]);
      }
    }
    CloseHandle(process);
  }
  FreeLibrary(psapi);
}

void AddProcessModulesToolhelp(TVezavuModulesList& list) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  using TCreateSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using TModuleWalk = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);
  auto createSnapshot = reinterpret_cast<TCreateSnapshot>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
  auto first = reinterpret_cast<TModuleWalk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Module32First")));
  auto next = reinterpret_cast<TModuleWalk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Module32Next")));
  if (createSnapshot == nullptr || first == nullptr || next == nullptr) return;
  HANDLE snapshot = createSnapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) AddMissing(list, entry.hModule);
  CloseHandle(snapshot);
}

}  // namespace

TVezavuModulesList& Modules() {
  if (TheModules == nullptr) {
    TheModules = new TVezavuModulesList;
    ModuleRecordOptions = OwnRecordOptions;
  }
  return *TheModules;
}

void FreeModules() {
  delete TheModules;
  TheModules = nullptr;
}

int TVezavuModulesList::IndexOfHandle(HMODULE module) const {
  const std::vector<TVezavuModuleInfo*>& list = List();
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->Handle == module) return static_cast<int>(i);
  }
  return -1;
}

TVezavuModuleInfo* TVezavuModulesList::Add(HMODULE module) {
  std::unique_ptr<TVezavuModuleInfo> record = MakeRecord(module);
  if (!record) return nullptr;
  TVezavuModuleInfo* added = record.release();
  TVezavuRecordList::Add(added);
  return added;
}

TVezavuModuleInfo* TVezavuModulesList::FindByHandle(HMODULE module) {
  const int index = IndexOfHandle(module);
  if (index < 0) return Add(module);
  TVezavuModuleInfo* record = Items(index);
  // Only a record that an enumeration cut short is made again. The main
  // program's record always has kind 0; making it again on every lookup
  // would reload its block and ask for its password each time.
  if (record->Kind != mkUnknown || !record->MadeDuringEnumeration || ModulesEnumerating) return record;
  std::unique_ptr<TVezavuModuleInfo> fresh = MakeRecord(module);
  if (!fresh) {
    Delete(index);
    return nullptr;
  }
  // In its place, so that the pointers already handed out stay valid.
  *record = std::move(*fresh);
  return record;
}

TVezavuModuleInfo* TVezavuModulesList::FindByAddress(uintptr_t address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(address), &module) ||
      module == nullptr)
    return nullptr;
  return FindByHandle(module);
}

void TVezavuModulesList::Refresh(DWORD platformId) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (ModuleFileNameOf(Items(i)->Handle).empty()) Delete(i);
  }
  {
    TEnumerating enumerating;
    if (platformId == VER_PLATFORM_WIN32_NT)
      AddProcessModulesPSAPI(*this);
    else
      AddProcessModulesToolhelp(*this);
  }
  SortByHandle();
}

void TVezavuModulesList::DropChangedFiles() {
  for (int i = Count() - 1; i >= 0; --i) {
    if (!SameFileDate(FileDateOf(Items(i)->FileName), Items(i)->Modified)) Delete(i);
  }
}

void TVezavuModulesList::SortByHandle() {
  std::stable_sort(List().begin(), List().end(), [](const TVezavuModuleInfo* a, const TVezavuModuleInfo* b) {
    return reinterpret_cast<uintptr_t>(a->Handle) < reinterpret_cast<uintptr_t>(b->Handle);
  });
}

}  // namespace RevavaRez
