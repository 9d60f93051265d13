#pragma once
// What the library knows of a module of the process and of an address in it,
// and the owning lists that hold those records.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "core/Streams.h"
#include "options/VezavuModuleOptionsEx.h"

namespace RevavaRez {

// The format version of the library's own data block; a module without a
// block is recorded with it.
constexpr uint16_t kDataBlockVersion = 5110;

// The list classes: each owns its records. Deleting an item disposes of it
// with what it owns; Clear deletes every item, always the first, so a
// record's destructor never sees a half-emptied list behind it.
template <typename T>
class TVezavuRecordList {
 public:
  TVezavuRecordList() = default;
  ~TVezavuRecordList() { Clear(); }
  TVezavuRecordList(const TVezavuRecordList&) = delete;
  TVezavuRecordList& operator=(const TVezavuRecordList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  T* Items(int index) const { return FItems[static_cast<size_t>(index)]; }
  // Takes ownership; answers the index.
  int Add(T* item) {
    FItems.push_back(item);
    return Count() - 1;
  }
  void Insert(int index, T* item) { FItems.insert(FItems.begin() + index, item); }
  // Removes the record without disposing of it.
  T* Extract(int index) {
    T* item = FItems[static_cast<size_t>(index)];
    FItems.erase(FItems.begin() + index);
    return item;
  }
  void Delete(int index) { delete Extract(index); }
  void Clear() {
    while (!FItems.empty()) Delete(0);
  }
  // The raw order, for sorting and searching in place.
  std::vector<T*>& List() { return FItems; }
  const std::vector<T*>& List() const { return FItems; }

 private:
  std::vector<T*> FItems;
};

struct TVezavuFunctionInfo {
  std::string Name;
  uintptr_t Address = 0;
  uint32_t Size = 0;
};

class TVezavuFunctionsList : public TVezavuRecordList<TVezavuFunctionInfo> {};

enum TVezavuModuleKind : uint8_t { mkUnknown = 0, mkProgram = 1, mkPackage = 2, mkLibrary = 3 };

struct TVezavuModuleInfo {
  HMODULE Handle = nullptr;
  std::string FileName;
  std::string Description;
  std::string Version;  // "a.b.c.d"; empty for 0.0.0.0 or none
  uint32_t Size = 0;    // low 32 bits of the file size
  std::unique_ptr<TVezavuFunctionsList> Functions;
  uint8_t Kind = mkUnknown;
  uint16_t BlockVersion = kDataBlockVersion;
  TDateTime Compiled = 0;
  std::unique_ptr<TVezavuModuleOptionsEx> Options;
  // Options came from the module's data block or from what the module
  // published; otherwise Options holds the defaults only.
  bool HasOwnOptions = false;
  std::unique_ptr<TMemoryStream> DebugData;  // null without debug data
  TDateTime Modified = 0;
  std::string Password;
  bool NamesReadable = true;
  // Made while the list was being enumerated: kind, exports, password and
  // debug data were skipped, so the first lookup outside completes it (in
  // place: its options object and the pointers to it stay valid).
  bool MadeDuringEnumeration = false;
  // Dropped from the list (module gone, file changed, another module at its
  // handle): no lookup finds it any more, but it lives until the list is
  // freed, since options and debug information handed out may point at it.
  bool Stale = false;
};

enum TVezavuDebugKind : uint8_t {
  dkAddress = 0,
  dkModule = 1,
  dkExportName = 2,
  dkExportSplit = 3,
  dkLineTables = 4,
};

struct TVezavuDebugInfo {
  uint8_t Kind = dkAddress;
  TVezavuModuleInfo* Module = nullptr;
  DWORD ThreadID = 0;
  bool ThreadFlag = false;
  uintptr_t Address = 0;
  std::string UnitName;
  std::string ClassName;
  std::string ProcedureName;
  int32_t Line = 0;
  int32_t RelativeLine = 0;

  void Clear() { *this = TVezavuDebugInfo(); }
};

// The process's modules, kept sorted by handle after a refresh. Its
// operations (finding, adding, refreshing) are in ModulesList.cpp; each
// takes the list's lock (TModulesLock, ModulesList.h). A record is never
// freed before the list: one that must go is marked stale and kept apart.
class TVezavuModulesList : public TVezavuRecordList<TVezavuModuleInfo> {
 public:
  // Taking a record out would free what callers still hold; Drop it.
  void Delete(int index) = delete;
  TVezavuModuleInfo* Extract(int index) = delete;
  // The record of the module, made when missing (see ModulesList.cpp);
  // null when the handle has no file name.
  TVezavuModuleInfo* FindByHandle(HMODULE module);
  // The record of the module whose image holds the address, made when
  // missing; null outside every module.
  TVezavuModuleInfo* FindByAddress(uintptr_t address);
  // Makes and appends the record; null when the module has no file name.
  TVezavuModuleInfo* Add(HMODULE module);
  // Drops records of modules gone, adds every module of the process, sorts.
  void Refresh(DWORD platformId = VER_PLATFORM_WIN32_NT);
  // Drops records whose file's modification date changed.
  void DropChangedFiles();
  // Marks the record stale and moves it out of the list, to be freed with
  // the list.
  void Drop(int index);
  void SortByHandle();
  int IndexOfHandle(HMODULE module) const;

 private:
  // Adds in place what an enumeration skipped.
  void Complete(TVezavuModuleInfo& record);
  TVezavuRecordList<TVezavuModuleInfo> FStale;
};

// While set, records are made without kind, exports, password and debug data.
extern bool ModulesEnumerating;

// The folder of the record's file without the final backslash, unless the
// character before that backslash is ":" (a drive root keeps it).
std::string ModuleDirectory(const TVezavuModuleInfo& module);

}  // namespace RevavaRez
