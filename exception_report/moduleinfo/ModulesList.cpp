#include "moduleinfo/ModulesList.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <type_traits>
#include <vector>

#include "base/WorkerThread.h"
#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "moduleinfo/DataBlock.h"
#include "moduleinfo/ModuleExports.h"
#include "moduleinfo/ModuleKind.h"
#include "moduleinfo/VersionInfo.h"
#include "options/CurrentRevavaRezOptions.h"

namespace RevavaRez {

namespace {

TVezavuModuleOptionsEx* OwnRecordOptions() noexcept;

// The list with its lock. Never destroyed: the library's finalisation,
// which frees the list, may run after the function-local statics are gone,
// and a thread may still wait on the lock while the list is freed. The
// section carries no debug information, so nothing of it is left behind
// when the module unloads.
struct TModulesState {
  TModulesState() {
    InitializeCriticalSectionEx(&Lock, 0, CRITICAL_SECTION_NO_DEBUG_INFO);
    ModuleRecordOptions = OwnRecordOptions;
  }
  CRITICAL_SECTION Lock;
  TVezavuModulesList* List = nullptr;
  // The options of this module's record, set under the lock whenever the
  // list changes.
  std::atomic<TVezavuModuleOptionsEx*> OwnOptions{nullptr};
};
static_assert(std::is_trivially_destructible<TModulesState>::value,
              "the module list's state is never destroyed");

// Made once, thread-safely (C++11 function-local statics; the posix-thread
// mingw-w64 build guards them).
TModulesState& State() {
  static TModulesState state;
  return state;
}

TVezavuModuleOptionsEx* OwnRecordOptions() noexcept {
  return State().OwnOptions.load(std::memory_order_acquire);
}

// Under the lock, after every change of the list.
void PublishOwnOptions() {
  TModulesState& state = State();
  TVezavuModuleOptionsEx* options = nullptr;
  if (state.List != nullptr) {
    const int index = state.List->IndexOfHandle(ThisModule());
    if (index >= 0) options = state.List->Items(index)->Options.get();
  }
  state.OwnOptions.store(options, std::memory_order_release);
}

// Owns one reference to a loaded library.
class TLibraryReference {
 public:
  explicit TLibraryReference(const char* name) : FModule(LoadLibraryA(name)) {}
  ~TLibraryReference() {
    if (FModule != nullptr) FreeLibrary(FModule);
  }
  TLibraryReference(const TLibraryReference&) = delete;
  TLibraryReference& operator=(const TLibraryReference&) = delete;
  HMODULE Get() const { return FModule; }

 private:
  HMODULE FModule;
};

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

// The handles stay open and the library loaded only for the enumeration,
// however it ends: making a record may raise std::bad_alloc.
void AddProcessModulesPSAPI(TVezavuModulesList& list) {
  TLibraryReference psapi("PSAPI.DLL");
  if (psapi.Get() == nullptr) return;
  using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  auto enumerate = reinterpret_cast<TEnumProcessModules>(
      reinterpret_cast<void*>(GetProcAddress(psapi.Get(), "EnumProcessModules")));
  if (enumerate == nullptr) return;
  TKernelHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId()));
  if (!process) return;
  DWORD needed = 0;
  HMODULE first;
  if (!enumerate(process.Get(), &first, sizeof first, &needed) || needed == 0) return;
  std::vector<HMODULE> handles(needed / sizeof(HMODULE) + 1);
  const DWORD given = static_cast<DWORD>(handles.size() * sizeof(HMODULE));
  if (!enumerate(process.Get(), handles.data(), given, &needed)) return;
  // A module loaded between the two calls makes needed larger than what was
  // given; only the handles written count.
  const size_t count = std::min(needed, given) / sizeof(HMODULE);
  for (size_t i = 0; i < count; ++i) AddMissing(list, handles[i]);
}

void AddProcessModulesToolhelp(TVezavuModulesList& list) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  using TCreateSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
  using TModuleWalk = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);
  auto createSnapshot = reinterpret_cast<TCreateSnapshot>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
  auto first =
      reinterpret_cast<TModuleWalk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Module32First")));
  auto next = reinterpret_cast<TModuleWalk>(reinterpret_cast<void*>(GetProcAddress(kernel, "Module32Next")));
  if (createSnapshot == nullptr || first == nullptr || next == nullptr) return;
  TKernelHandle snapshot(createSnapshot(TH32CS_SNAPMODULE, 0));
  if (!snapshot) return;
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = first(snapshot.Get(), &entry); more; more = next(snapshot.Get(), &entry))
    AddMissing(list, entry.hModule);
}

}  // namespace

TModulesLock::TModulesLock() { EnterCriticalSection(&State().Lock); }
TModulesLock::~TModulesLock() { LeaveCriticalSection(&State().Lock); }

TVezavuModulesList& Modules() {
  TModulesLock lock;
  TModulesState& state = State();
  if (state.List == nullptr) state.List = new TVezavuModulesList;
  return *state.List;
}

void FreeModules() {
  TModulesLock lock;
  TModulesState& state = State();
  state.OwnOptions.store(nullptr, std::memory_order_release);
  delete state.List;
  state.List = nullptr;
}

int TVezavuModulesList::IndexOfHandle(HMODULE module) const {
  TModulesLock lock;
  const std::vector<TVezavuModuleInfo*>& list = List();
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i]->Handle == module) return static_cast<int>(i);
  }
  return -1;
}

TVezavuModuleInfo* TVezavuModulesList::Add(HMODULE module) {
  TModulesLock lock;
  std::unique_ptr<TVezavuModuleInfo> record = MakeRecord(module);
  if (!record) return nullptr;
  // Room first, so that the record is owned by the list or by nobody.
  List().reserve(List().size() + 1);
  TVezavuModuleInfo* added = record.release();
  TVezavuRecordList::Add(added);
  PublishOwnOptions();
  return added;
}

void TVezavuModulesList::Drop(int index) {
  TModulesLock lock;
  FStale.List().reserve(FStale.List().size() + 1);
  TVezavuModuleInfo* record = Items(index);
  List().erase(List().begin() + index);
  record->Stale = true;
  FStale.Add(record);
  PublishOwnOptions();
}

void TVezavuModulesList::Complete(TVezavuModuleInfo& record) {
  // As MakeRecord does outside an enumeration; done again from the start
  // when a step raises, since the flag is cleared only at the end.
  if (record.Handle != GetModuleHandleA(nullptr)) {
    record.Functions->Clear();
    ReadExportedFunctions(record.Handle, *record.Functions);
    record.Kind = ModuleKindOf(record.Handle);
  }
  record.Password.clear();
  record.NamesReadable = true;
  CompleteDataBlock(record);
  record.MadeDuringEnumeration = false;
}

TVezavuModuleInfo* TVezavuModulesList::FindByHandle(HMODULE module) {
  TModulesLock lock;
  const int index = IndexOfHandle(module);
  if (index < 0) return Add(module);
  TVezavuModuleInfo* record = Items(index);
  // The module at this handle may not be the one recorded: a library freed
  // and another loaded at its base.
  if (ModuleFileNameOf(module) != record->FileName) {
    Drop(index);
    return Add(module);
  }
  // Only a record that an enumeration cut short is completed. The main
  // program's record always has kind 0; completing it on every lookup
  // would reload its block and ask for its password each time.
  if (record->Kind == mkUnknown && record->MadeDuringEnumeration && !ModulesEnumerating) Complete(*record);
  return record;
}

TVezavuModuleInfo* TVezavuModulesList::FindByAddress(uintptr_t address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(address), &module) ||
      module == nullptr)
    return nullptr;
  return FindByHandle(module);
}

void TVezavuModulesList::Refresh(DWORD platformId) {
  TModulesLock lock;
  // Gone, or another module in its place (which the enumeration adds).
  for (int i = Count() - 1; i >= 0; --i) {
    if (ModuleFileNameOf(Items(i)->Handle) != Items(i)->FileName) Drop(i);
  }
  try {
    TEnumerating enumerating;
    if (platformId == VER_PLATFORM_WIN32_NT)
      AddProcessModulesPSAPI(*this);
    else
      AddProcessModulesToolhelp(*this);
  } catch (...) {
    // What was added before the failure stays, in order.
    SortByHandle();
    throw;
  }
  SortByHandle();
}

void TVezavuModulesList::DropChangedFiles() {
  TModulesLock lock;
  for (int i = Count() - 1; i >= 0; --i) {
    if (!SameFileDate(FileDateOf(Items(i)->FileName), Items(i)->Modified)) Drop(i);
  }
}

void TVezavuModulesList::SortByHandle() {
  TModulesLock lock;
  std::stable_sort(List().begin(), List().end(), [](const TVezavuModuleInfo* a, const TVezavuModuleInfo* b) {
    return reinterpret_cast<uintptr_t>(a->Handle) < reinterpret_cast<uintptr_t>(b->Handle);
  });
}

}  // namespace RevavaRez
